#pragma once
// Reads an animation from bytes, in whichever format they are. Files are opened by the
// loader (loading/OpenFile.h), which lends their bytes through a ByteSource.

#include "Animation.h"
#include "ByteSource.h"
#include "Result.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace frolix {

Result<std::shared_ptr<Animation>> openAnimation(std::shared_ptr<const ByteSource> bytes, PixelOrder order);
Result<std::shared_ptr<Animation>> openAnimation(std::vector<std::uint8_t> bytes, PixelOrder order);

} // namespace frolix
