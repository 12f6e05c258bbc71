// Shrinking one frame as the component does while it plays: every pixel of the source
// rewritten first (as a new frame is copied in), then averaged down to the shown size.
// Ours with the processor's widest vectors and with portable code, and Qt's smooth
// scaling as the peer, in one run (BENCHMARKS.md, "Shrinking").
//     bench-shrink [--benchmark_filter=...]
#include "AreaShrinker.h"
#include "Frolix.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

struct Case {
    QSize from, to;
};
const Case kCases[] = {
    { { 800, 600 }, { 528, 247 } }, // Stretch in the window's rectangle
    { { 800, 600 }, { 329, 247 } }, // Proportional
    { { 1920, 1080 }, { 528, 247 } },
};

// Two frames of noise to alternate, so every output changes every time.
struct Frames {
    explicit Frames(QSize size)
        : image(size, frolix::kDisplayFormat)
    {
        std::uint32_t seed = 7;
        for (auto& frame : next) {
            frame.resize(std::size_t(size.width()) * size.height());
            for (auto& pixel : frame)
                pixel = (seed = seed * 1664525u + 1013904223u) | 0xff000000u;
        }
    }
    void copyIn(int which)
    {
        const auto rowBytes = std::size_t(image.width()) * 4;
        for (int y = 0; y < image.height(); ++y)
            std::memcpy(image.scanLine(y), next[which].data() + std::size_t(y) * image.width(), rowBytes);
    }
    QImage image;
    std::vector<std::uint32_t> next[2];
};

void ours(benchmark::State& state, frolix::AreaShrinker::Vectors vectors)
{
    const Case& c = kCases[state.range(0)];
    Frames frames(c.from);
    frolix::AreaShrinker shrinker(vectors);
    int which = 0;
    for (auto _ : state) {
        frames.copyIn(which ^= 1);
        benchmark::DoNotOptimize(shrinker.shrink(frames.image, c.to, frames.image.rect()).constBits());
    }
}

void qtSmooth(benchmark::State& state)
{
    const Case& c = kCases[state.range(0)];
    Frames frames(c.from);
    int which = 0;
    for (auto _ : state) {
        frames.copyIn(which ^= 1);
        benchmark::DoNotOptimize(frames.image.scaled(c.to, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
}

void copyOnly(benchmark::State& state)
{
    Frames frames(kCases[state.range(0)].from);
    int which = 0;
    for (auto _ : state) {
        frames.copyIn(which ^= 1);
        benchmark::DoNotOptimize(frames.image.constBits());
    }
}

} // namespace

BENCHMARK_CAPTURE(ours, widest, frolix::AreaShrinker::Vectors::Widest)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ours, portable, frolix::AreaShrinker::Vectors::Portable)
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(qtSmooth)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(copyOnly)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
