#include "OpenFile.h"

#include "FileBytes.h"
#include "GifAnimation.h"

#include <thread>
#include <utility>

namespace frolix {

Result<std::shared_ptr<Animation>> openAnimationFile(
    const std::filesystem::path& path, PixelOrder order, const std::function<bool()>& wanted)
{
    FROLIX_TRY(std::shared_ptr<const FileBytes> file, FileBytes::open(path));
    // A large first image is drawn on another thread while the scan goes through the
    // rest of the file: frame 1 needs nothing past it. Smaller ones are not worth a thread.
    constexpr std::size_t kFirstImageWorthAThread = 256u << 10;
    std::unique_ptr<gif::FrameComposer> first;
    std::jthread composing;
    bool firstImage = true;
    Result<gif::GifInfo> scanned = [&] {
        // Stops with the scan: pages faulted in after the file is given back would stay resident.
        FileBytes::ReadAhead readAhead(*file);
        return gif::scanSource(*file, [&](std::size_t offset) {
            readAhead.reached(offset);
            if (wanted && !wanted())
                return false;
            if (!std::exchange(firstImage, false) || offset < kFirstImageWorthAThread)
                return true;
            composing = std::jthread([&, offset] {
                auto upToFirst = gif::scan(file->bytes().first(offset));
                if (!upToFirst)
                    return;
                first = std::make_unique<gif::FrameComposer>(file, std::move(upToFirst).value(), 0, order);
                first->frame(1);
            });
            return true;
        });
    }();
    if (composing.joinable())
        composing.join();
    FROLIX_TRY(gif::GifInfo info, std::move(scanned));
    const bool drawn = first != nullptr;
    std::shared_ptr<Animation> animation
        = GifAnimation::fromScan(std::move(file), std::move(info), order, std::move(first));
    // Frame 1 is drawn here, whatever its size: whoever shows it gets it without
    // touching the file.
    if (!drawn)
        animation->frame(1);
    return animation;
}

} // namespace frolix
