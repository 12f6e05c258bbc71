#pragma once
// Opens an animation from a file: maps it (FileBytes.h), faults its pages in ahead of
// the scan, and draws frame 1 (a large one on another thread while the scan reads the
// rest).
// Blocks its caller for as long as the file system takes: never call it from the
// window's thread (AnimationLoader.h does it on a thread of its own).

#include "Animation.h"
#include "Result.h"

#include <filesystem>
#include <memory>

namespace frolix {

Result<std::shared_ptr<Animation>> openAnimationFile(const std::filesystem::path& path, PixelOrder order);

} // namespace frolix
