#include "GifAnimation.h"

#include "FileBytes.h"

namespace frolix {

Result<std::shared_ptr<GifAnimation>> GifAnimation::fromBytes(
    std::vector<std::uint8_t> bytes, PixelOrder order, std::size_t snapshotBudgetBytes)
{
    auto file = std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
    FROLIX_TRY(gif::GifInfo info, gif::scan(*file));
    return std::shared_ptr<GifAnimation>(
        new GifAnimation(std::move(file), std::move(info), snapshotBudgetBytes, order));
}

Result<std::shared_ptr<GifAnimation>> GifAnimation::fromFile(const std::filesystem::path& path, PixelOrder order)
{
    auto bytes = readFileBytes(path, kMaxFileBytes);
    if (!bytes.ok())
        return bytes.error();
    return fromBytes(std::move(bytes).value(), order);
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
    const auto& drawn = m_composer.drawWarnings();
    all.insert(all.end(), drawn.begin(), drawn.end());
    return all;
}

} // namespace frolix
