#pragma once
// Opens an animation from a file: maps it (FileBytes.h), faults its pages in ahead of
// the scan, and draws frame 1 (a large one on another thread while the scan reads the
// rest).
// Blocks its caller for as long as the file system takes: never call it from the
// window's thread (AnimationLoader.h does it on a thread of its own). `wanted`, when
// given, is asked after each image whether the animation is still wanted; once it says
// no, the open stops reading and fails as Stopped, so work nobody waits for any more
// does not keep a slow share busy to the end of the file.

#include "Animation.h"
#include "Result.h"

#include <filesystem>
#include <functional>
#include <memory>

namespace frolix {

Result<std::shared_ptr<Animation>> openAnimationFile(
    const std::filesystem::path& path, PixelOrder order, const std::function<bool()>& wanted = nullptr);

} // namespace frolix
