#include "GifAnimation.h"

#include "FileBytes.h"

#include <functional>
#include <thread>
#include <utility>

namespace frolix {

namespace {

// The scan reads a byte of every sub-block, so every page of the file; only those of
// the frames shown are needed again, so the pages behind it are given back as it goes.
// The read-ahead stops with the scan: pages it faulted in after the caller gives the
// file back would stay resident. `passed` hears where each image ends.
Result<gif::GifInfo> scanFile(const FileBytes& file, const std::function<void(std::size_t offset)>& passed)
{
    FileBytes::ReadAhead readAhead(file);
    std::size_t released = 0;
    return gif::scan(file.bytes(), [&](std::size_t offset) {
        passed(offset);
        readAhead.reached(offset);
        if (offset - released > kResidentFileBytes) {
            file.release(released, offset);
            released = offset;
        }
    });
}

} // namespace

Result<std::shared_ptr<GifAnimation>> GifAnimation::fromBytes(
    std::vector<std::uint8_t> bytes, PixelOrder order, std::size_t snapshotBudgetBytes)
{
    return fromFileBytes(FileBytes::hold(std::move(bytes)), order, snapshotBudgetBytes);
}

Result<std::shared_ptr<GifAnimation>> GifAnimation::fromFile(const std::filesystem::path& path, PixelOrder order)
{
    FROLIX_TRY(std::shared_ptr<const FileBytes> file, FileBytes::open(path));
    return fromFileBytes(std::move(file), order, gif::kDefaultSnapshotBudgetBytes);
}

Result<std::shared_ptr<GifAnimation>> GifAnimation::fromFileBytes(
    std::shared_ptr<const FileBytes> file, PixelOrder order, std::size_t snapshotBudgetBytes)
{
    // A large first image is drawn on another thread while the scan goes through the
    // rest of the file: frame 1 needs nothing past it. Smaller ones are not worth a thread.
    constexpr std::size_t kFirstImageWorthAThread = 256u << 10;
    std::unique_ptr<gif::FrameComposer> first;
    std::jthread composing;
    bool firstImage = true;
    Result<gif::GifInfo> scanned = scanFile(*file, [&](std::size_t offset) {
        if (!std::exchange(firstImage, false) || offset < kFirstImageWorthAThread)
            return;
        composing = std::jthread([&, offset] {
            auto upToFirst = gif::scan(file->bytes().first(offset));
            if (!upToFirst)
                return;
            first = std::make_unique<gif::FrameComposer>(file, std::move(upToFirst).value(), 0, order);
            first->frame(1);
        });
    });
    if (composing.joinable())
        composing.join();
    FROLIX_TRY(gif::GifInfo info, std::move(scanned));
    file->release();
    return std::shared_ptr<GifAnimation>(
        new GifAnimation(std::move(file), std::move(info), snapshotBudgetBytes, order, std::move(first)));
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

std::vector<Warning> GifAnimation::warnings() const
{
    std::vector<Warning> all = info().warnings;
    const auto& drawn = m_first ? m_first->drawWarnings() : m_composer.drawWarnings();
    all.insert(all.end(), drawn.begin(), drawn.end());
    if (fileCutShort())
        all.push_back({ Warning::Kind::FileCutShort,
            "the file was cut short by another program while it was open: from offset "
                + std::to_string(m_composer.file().lostFrom())
                + " on it reads as empty, so the frames drawn from there show what came before" });
    return all;
}

} // namespace frolix
