#include "OpenAnimation.h"

#include "GifAnimation.h"

namespace frolix {

// Only GIF is read so far; another format would be told apart here by its first bytes.
Result<std::shared_ptr<Animation>> openAnimation(std::shared_ptr<const ByteSource> bytes, PixelOrder order)
{
    auto loaded = GifAnimation::fromSource(std::move(bytes), order);
    if (!loaded)
        return loaded.error();
    return std::shared_ptr<Animation>(std::move(loaded).value());
}

Result<std::shared_ptr<Animation>> openAnimation(std::vector<std::uint8_t> bytes, PixelOrder order)
{
    return openAnimation(holdBytes(std::move(bytes)), order);
}

} // namespace frolix
