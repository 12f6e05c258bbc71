#include "GifAnimation.h"

#include "Contract.h"

#include <utility>

namespace frolix {

Result<gif::GifInfo> gif::scanSource(const ByteSource& source, const ScanProgress& passed)
{
    std::size_t released = 0;
    return gif::scan(source.bytes(), [&](std::size_t offset) {
        if (offset - released > kResidentFileBytes) {
            source.release(released, offset);
            released = offset;
        }
        return !passed || passed(offset);
    });
}

Result<std::shared_ptr<GifAnimation>> GifAnimation::fromSource(
    std::shared_ptr<const ByteSource> bytes, PixelOrder order, std::size_t snapshotBudgetBytes)
{
    FROLIX_TRY(gif::GifInfo info, gif::scanSource(*bytes));
    return fromScan(std::move(bytes), std::move(info), order, nullptr, snapshotBudgetBytes);
}

Result<std::shared_ptr<GifAnimation>> GifAnimation::fromBytes(
    std::vector<std::uint8_t> bytes, PixelOrder order, std::size_t snapshotBudgetBytes)
{
    return fromSource(holdBytes(std::move(bytes)), order, snapshotBudgetBytes);
}

std::shared_ptr<GifAnimation> GifAnimation::fromScan(std::shared_ptr<const ByteSource> bytes, gif::GifInfo info,
    PixelOrder order, std::unique_ptr<gif::FrameComposer> firstDrawn, std::size_t snapshotBudgetBytes)
{
    bytes->release();
    return std::shared_ptr<GifAnimation>(
        new GifAnimation(std::move(bytes), std::move(info), snapshotBudgetBytes, order, std::move(firstDrawn)));
}

std::span<const std::uint8_t> GifAnimation::frame(int number)
{
    if (m_first && number == 1)
        return m_first->frame(1);
    m_first.reset();
    return m_composer.frame(number);
}

Timeline GifAnimation::timeline() const
{
    Timeline timeline;
    for (const auto& image : info().images)
        timeline.storedDelaysCs.push_back(image.delayCs);
    if (info().images.empty())
        timeline.storedDelaysCs.push_back(0); // the one empty frame
    timeline.storedLoopCount = info().storedLoopCount;
    return timeline;
}

FrameInfo GifAnimation::frameInfo(int number) const
{
    FROLIX_EXPECTS(number >= 1 && number <= frameCount());
    FrameInfo out;
    if (info().images.empty())
        return out; // the one empty frame
    const gif::ImageRecord& image = info().images[std::size_t(number - 1)];
    out.storedDelayCs = image.delayCs;
    out.disposal = image.disposal;
    out.area = { image.left, image.top, image.width, image.height };
    out.transparentIndex = image.transparentIndex;
    out.localColourTableSize = image.hasLocalTable() ? image.paletteSize : 0;
    out.interlaced = image.interlaced;
    return out;
}

std::vector<Warning> GifAnimation::warnings() const
{
    std::vector<Warning> all = info().warnings;
    const auto& drawn = m_first ? m_first->drawWarnings() : m_composer.drawWarnings();
    all.insert(all.end(), drawn.begin(), drawn.end());
    if (fileCutShort())
        all.push_back({ Warning::Kind::FileCutShort,
            "the file was cut short by another program while it was open: from offset "
                + std::to_string(m_composer.source().lostFrom())
                + " on it reads as empty, so the frames drawn from there show what came before" });
    return all;
}

} // namespace frolix
