#include "GifAnimation.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

namespace frolix {

Result<std::shared_ptr<GifAnimation>> GifAnimation::fromBytes(
    std::vector<std::uint8_t> bytes, PixelOrder order, std::size_t snapshotBudgetBytes)
{
    auto file = std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
    gif::GifInfo info = FROLIX_TRY(gif::scan(*file));
    return std::shared_ptr<GifAnimation>(
        new GifAnimation(std::move(file), std::move(info), snapshotBudgetBytes, order));
}

Result<std::shared_ptr<GifAnimation>> GifAnimation::fromFile(const std::filesystem::path& path, PixelOrder order)
{
    std::error_code error;
    auto status = std::filesystem::status(path, error);
    if (error)
        return makeError(Error::Kind::Io, path.string() + ": " + error.message());
    if (std::filesystem::is_directory(status))
        return makeError(Error::Kind::Io, path.string() + ": is a folder, not a file");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return makeError(Error::Kind::Io, path.string() + ": " + std::strerror(errno));
    std::vector<std::uint8_t> bytes;
    char buffer[1 << 16];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        bytes.insert(bytes.end(), buffer, buffer + in.gcount());
        if (bytes.size() > kMaxFileBytes)
            return makeError(Error::Kind::OverLimit,
                path.string() + ": larger than the limit of " + std::to_string(kMaxFileBytes) + " bytes");
    }
    if (in.bad())
        return makeError(Error::Kind::Io, path.string() + ": read failed");
    return fromBytes(std::move(bytes), order);
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
