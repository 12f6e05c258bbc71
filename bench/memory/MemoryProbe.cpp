// Measures what long reverse and ping-pong playback costs the engine under the default
// snapshot budget: images drawn per displayed frame, the most in one step and its time,
// and the bytes held. Plays the engine tests' 1000-frame 1000 x 1000 animation, or FILE.
// Run by hand; prints figures, asserts nothing.
//
//   memory-probe [FILE]

#include "FileBytes.h"
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

int main(int argc, char** argv)
{
    using namespace frolix;
    using Clock = std::chrono::steady_clock;
    std::shared_ptr<const ByteSource> file;
    if (argc > 1) {
        auto opened = FileBytes::open(argv[1]);
        if (!opened) {
            std::printf("%s: %s\n", argv[1], opened.error().message.c_str());
            return 1;
        }
        file = std::move(opened).value();
    } else {
        file = holdBytes(test::bigAnimation());
    }
    std::printf("file %zu bytes, peak before loading %ld KiB\n", file->bytes().size(), peakKiB());
    auto scanned = gif::scan(file->bytes());
    if (!scanned) {
        std::printf("refused: %s\n", scanned.error().message.c_str());
        return 1;
    }
    gif::FrameComposer composer(file, std::move(scanned).value());
    const int frames = int(composer.frameCount());
    std::size_t mostHeld = 0;

    auto pass = [&](const char* name, auto&& numbers) {
        auto start = Clock::now();
        std::size_t drawnBefore = composer.imagesDrawn(), shown = 0, worstStep = 0, worstTurn = 0;
        double slowestMs = 0;
        int slowestFrame = 0, last = 0, lastDirection = 0;
        for (int n : numbers) {
            std::size_t before = composer.imagesDrawn();
            auto stepStart = Clock::now();
            composer.frame(n);
            double ms = std::chrono::duration<double, std::milli>(Clock::now() - stepStart).count();
            if (ms > slowestMs) {
                slowestMs = ms;
                slowestFrame = n;
            }
            worstStep = std::max(worstStep, composer.imagesDrawn() - before);
            // A turn: the step goes the other way from the one before (frame 1 to the last
            // in reverse, the ends of ping-pong).
            const int direction = last == 0 ? 0 : n > last ? 1 : -1;
            if (lastDirection != 0 && direction != lastDirection)
                worstTurn = std::max(worstTurn, composer.imagesDrawn() - before);
            last = n;
            lastDirection = direction;
            mostHeld = std::max(mostHeld, composer.snapshotBytes());
            ++shown;
        }
        double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        std::printf("%-9s %zu frames shown, %.2f images drawn per frame, worst step %zu images (at a turn %zu), "
                    "slowest step %.2f ms (to frame %d), %.2f s, peak %ld KiB\n",
            name, shown, double(composer.imagesDrawn() - drawnBefore) / double(shown), worstStep, worstTurn, slowestMs,
            slowestFrame, seconds, peakKiB());
    };

    std::vector<int> forward, reverse, pingPong;
    for (int n = 1; n <= frames; ++n)
        forward.push_back(n);
    for (int round = 0; round < 2; ++round)
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
