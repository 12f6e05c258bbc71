// Feeds arbitrary bytes through the whole engine: scan, compose (in order and out of
// order, with a budget small enough that snapshots are taken and evicted) and play.

#include "GifAnimation.h"
#include "ManualClock.h"
#include "Player.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

// Small enough that even modest canvases fall back to key frames plus recent slots.
constexpr std::size_t kSnapshotBudget = 1u << 20;
// Enough frames to reach the snapshot paths without letting one input take seconds.
constexpr int kMaxFramesComposed = 64;

// Reads both ends and a sparse sample of the pixels: enough for AddressSanitizer to
// catch a span that overruns its canvas, without an instrumented pass over canvases of
// up to 128 MiB dominating the run time.
unsigned touch(std::span<const std::uint8_t> pixels)
{
    if (pixels.empty())
        return 0;
    unsigned sum = pixels.front() + pixels.back();
    for (std::size_t i = 0; i < pixels.size(); i += 4093)
        sum += pixels[i];
    return sum;
}

void drivePlayer(const frolix::Timeline& timeline)
{
    static constexpr frolix::Sequence kSequences[]
        = { frolix::Sequence::Normal, frolix::Sequence::Reverse, frolix::Sequence::PingPong };
    for (frolix::Sequence sequence : kSequences) {
        frolix::test::ManualClock clock;
        frolix::Player player(clock, timeline);
        int steps = 0;
        player.setStepCallback([&] { ++steps; });
        player.setSequence(sequence);
        player.play();
        for (int i = 0; i < 8; ++i) {
            auto next = player.nextChangeAt();
            if (!next)
                break;
            clock.advance(*next - clock.now());
            player.update();
            if (player.currentFrame() < 1 || player.currentFrame() > player.frameCount())
                __builtin_trap(); // a frame number the window could not show
        }
        // A long stall must skip ahead, not loop through every missed frame.
        clock.advance(frolix::Milliseconds(5000));
        player.update();
        player.stop();
        player.play();
        player.update();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::uint8_t> bytes(data, data + size);
    auto loaded = frolix::GifAnimation::fromBytes(std::move(bytes), frolix::PixelOrder::Rgba, kSnapshotBudget);
    if (!loaded) {
        if (loaded.error().message.empty())
            __builtin_trap(); // a refusal says why
        return 0;
    }
    frolix::GifAnimation& animation = *loaded.value();
    const int count = animation.frameCount();
    // What is loaded can be shown: a frame at least, a screen of a pixel at least, and a
    // delay for every frame.
    if (count < 1 || animation.width() < 1 || animation.height() < 1
        || animation.timeline().storedDelaysCs.size() != std::size_t(count))
        __builtin_trap();
    const std::size_t canvasBytes = std::size_t(animation.width()) * animation.height() * 4;

    volatile unsigned sink = 0;
    auto show = [&](int number) {
        auto pixels = animation.frame(number);
        if (pixels.size() != canvasBytes)
            __builtin_trap(); // every frame is a whole canvas
        sink = sink + touch(pixels);
    };

    // Half the inputs are played as a reverse or ping-pong sequence plays them: told
    // first, so the forward pass lays down key frames and undo steps, then stepped back.
    const bool backwards = size % 2 == 1;
    if (backwards)
        animation.expectBackwardSteps();
    const int composed = count < kMaxFramesComposed ? count : kMaxFramesComposed;
    for (int number = 1; number <= composed; ++number)
        show(number);
    for (int number = composed - 1; backwards && number >= 1; --number)
        show(number);
    // Random access: jumps back to the start, forward to the end and into the middle
    // go through the snapshot lookup rather than the next-frame path.
    if (count > 0) {
        show(count);
        show(1);
        show((count + 1) / 2);
        show(count > 1 ? count - 1 : 1);
        show(composed);
    }

    drivePlayer(animation.timeline());
    return 0;
}
