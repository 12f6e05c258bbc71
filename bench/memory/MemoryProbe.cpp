// Measures what long reverse and ping-pong playback of a 1000-frame 1000 x 1000
// animation costs under the default snapshot budget: images drawn per displayed frame
// and the peak resident memory. Run by hand; prints figures, asserts nothing.

#include "FrameComposer.h"
#include "GifBuilder.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>

namespace {

long peakKiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main()
{
    using namespace frolix;
    auto file = FileBytes::hold(test::bigAnimation());
    std::printf("file %zu bytes, peak before loading %ld KiB\n", file->bytes().size(), peakKiB());
    auto scanned = gif::scan(file->bytes());
    if (!scanned) {
        std::printf("refused: %s\n", scanned.error().message.c_str());
        return 1;
    }
    gif::FrameComposer composer(file, std::move(scanned).value());
    const int frames = int(composer.frameCount());
    std::size_t mostHeld = 0, worstStep = 0;

    auto pass = [&](const char* name, auto&& numbers) {
        auto start = std::chrono::steady_clock::now();
        std::size_t drawnBefore = composer.imagesDrawn(), shown = 0;
        for (int n : numbers) {
            std::size_t before = composer.imagesDrawn();
            composer.frame(n);
            worstStep = std::max(worstStep, composer.imagesDrawn() - before);
            mostHeld = std::max(mostHeld, composer.snapshotBytes());
            ++shown;
        }
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%-9s %zu frames shown, %.2f images drawn per frame, worst step %zu images, %.2f s, peak %ld KiB\n",
            name, shown, double(composer.imagesDrawn() - drawnBefore) / double(shown), worstStep, seconds, peakKiB());
        worstStep = 0;
    };

    std::vector<int> forward, reverse, pingPong;
    for (int n = 1; n <= frames; ++n)
        forward.push_back(n);
    for (int n = frames; n >= 1; --n)
        reverse.push_back(n);
    for (int round = 0; round < 2; ++round) {
        for (int n = 2; n <= frames; ++n)
            pingPong.push_back(n);
        for (int n = frames - 1; n >= 1; --n)
            pingPong.push_back(n);
    }
    // As the component does when its sequence is reverse or ping-pong: key frames are laid
    // down from the first pass on, so no step back replays from frame 1.
    composer.expectBackwardSteps();
    pass("forward", forward);
    pass("reverse", reverse);
    pass("ping-pong", pingPong);
    std::printf("most held in snapshots %zu bytes (budget %zu)\n", mostHeld, gif::kDefaultSnapshotBudgetBytes);
    return 0;
}
