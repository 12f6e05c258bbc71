#include "Animation.h"

#include "GifAnimation.h"

namespace frolix {

// Only GIF is read so far; another format would be told apart here by its first bytes.
Result<std::shared_ptr<Animation>> openAnimation(const std::filesystem::path& path, PixelOrder order)
{
    auto loaded = GifAnimation::fromFile(path, order);
    if (!loaded)
        return loaded.error();
    return std::shared_ptr<Animation>(std::move(loaded).value());
}

Result<std::shared_ptr<Animation>> openAnimation(std::vector<std::uint8_t> bytes, PixelOrder order)
{
    auto loaded = GifAnimation::fromBytes(std::move(bytes), order);
    if (!loaded)
        return loaded.error();
    return std::shared_ptr<Animation>(std::move(loaded).value());
}

} // namespace frolix
