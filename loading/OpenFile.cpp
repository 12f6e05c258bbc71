#include "OpenFile.h"

#include "FileBytes.h"
#include "GifAnimation.h"

#include <thread>
#include <utility>

namespace frolix {

Result<std::shared_ptr<Animation>> openAnimationFile(const std::filesystem::path& path, PixelOrder order)
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
    }();
    if (composing.joinable())
        composing.join();
    FROLIX_TRY(gif::GifInfo info, std::move(scanned));
    return std::shared_ptr<Animation>(
        GifAnimation::fromScan(std::move(file), std::move(info), order, std::move(first)));
}

} // namespace frolix
