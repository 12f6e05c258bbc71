// load-probe: loading a large GIF, ours against a QMovie in the same process.
//
//   load-probe time F.gif [--reps N]
//       Time from the start of loading to the first frame composed, alternating our
//       engine (GifAnimation::fromFile, then frame 1) and a QMovie (construction, then
//       jumpToFrame(0) and currentImage()), N times each (default 9); prints medians
//       and their ratio. Our frame count is exact when the load returns; QMovie's is not
//       needed for its first frame.
//   load-probe memory ours|qmovie F.gif [--frames N]
//       Loads F and shows its frames forwards (all, or N) as fast as it can, reading
//       Rss and Anonymous from /proc/self/smaps_rollup before loading and after every
//       frame; prints the peaks over the process as it was before loading.
//
//   load-probe fresh ours|qmovie|qmovie-first F.gif
//       One load in this process, as a fresh viewer does it: times from just before
//       the load call to the frame count in hand (ours: openAnimationFile, frame(1),
//       frameCount(); QMovie: construction, jumpToFrame(0), currentImage(),
//       frameCount()); qmovie-first stops after currentImage(). Started many times in
//       turn by bench/load/fresh.py, which also times each process from spawn to exit.
//
// Prints key=value lines. Run through bench/load/run.sh.

#include "Frolix.h"
#include "GifAnimation.h"
#include "OpenFile.h"

#include <QGuiApplication>
#include <QImage>
#include <QMovie>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double fastest(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }

struct Memory {
    long rssKiB = 0, anonymousKiB = 0;
};

Memory memoryNow()
{
    std::ifstream in("/proc/self/smaps_rollup");
    std::string line;
    Memory memory;
    while (std::getline(in, line)) {
        if (line.rfind("Rss:", 0) == 0)
            memory.rssKiB = std::atol(line.c_str() + 4);
        else if (line.rfind("Anonymous:", 0) == 0)
            memory.anonymousKiB = std::atol(line.c_str() + 10);
    }
    return memory;
}

int timeLoads(const QString& path, int reps)
{
    std::vector<double> ours, oursLoad, movie;
    int frames = 0;
    for (int i = 0; i < reps; ++i) {
        auto start = Clock::now();
        {
            auto loaded = frolix::openAnimationFile(path.toStdString(), frolix::kDisplayOrder);
            if (!loaded) {
                std::fprintf(stderr, "load-probe: %s\n", loaded.error().message.c_str());
                return 1;
            }
            oursLoad.push_back(msSince(start));
            auto pixels = loaded.value()->frame(1);
            frames = loaded.value()->frameCount();
            ours.push_back(msSince(start));
            if (pixels.empty())
                return 1;
        } // released before the peer runs

        start = Clock::now();
        QMovie qmovie(path);
        qmovie.jumpToFrame(0);
        QImage first = qmovie.currentImage();
        movie.push_back(msSince(start));
        if (first.isNull()) {
            std::fprintf(stderr, "load-probe: QMovie cannot read %s\n", qPrintable(path));
            return 1;
        }
    }
    // Medians, and the fastest run: on a busy machine the shortest is the least disturbed.
    std::printf("frames=%d\nours_load_returned_ms=%.3f\nours_first_frame_ms=%.3f (fastest %.3f)\n"
                "qmovie_first_frame_ms=%.3f (fastest %.3f)\nratio=%.3f (fastest %.3f)\n",
        frames, median(oursLoad), median(ours), fastest(ours), median(movie), fastest(movie),
        median(ours) / median(movie), fastest(ours) / fastest(movie));
    return 0;
}

int freshLoad(const QString& who, const QString& path)
{
    const auto start = Clock::now();
    int frames = 0;
    double firstMs = 0;
    if (who == "ours") {
        auto loaded = frolix::openAnimationFile(path.toStdString(), frolix::kDisplayOrder);
        if (!loaded || loaded.value()->frame(1).empty())
            return 1;
        firstMs = msSince(start);
        frames = loaded.value()->frameCount();
    } else {
        QMovie qmovie(path);
        qmovie.jumpToFrame(0);
        if (qmovie.currentImage().isNull())
            return 1;
        firstMs = msSince(start);
        frames = who == "qmovie" ? qmovie.frameCount() : 0;
    }
    std::printf("frames=%d\nfirst_frame_ms=%.3f\ncount_ms=%.3f\n", frames, firstMs, msSince(start));
    std::fflush(stdout);
    return 0;
}

int memoryWhilePlaying(bool oursNotMovie, const QString& path, int maxFrames)
{
    const Memory before = memoryNow();
    Memory peak = before;
    auto note = [&] {
        Memory now = memoryNow();
        peak.rssKiB = std::max(peak.rssKiB, now.rssKiB);
        peak.anonymousKiB = std::max(peak.anonymousKiB, now.anonymousKiB);
    };
    auto start = Clock::now();
    int shown = 0;
    if (oursNotMovie) {
        auto loaded = frolix::openAnimationFile(path.toStdString(), frolix::kDisplayOrder);
        if (!loaded)
            return 1;
        note();
        auto& animation = *loaded.value();
        int frames = maxFrames > 0 ? std::min(maxFrames, animation.frameCount()) : animation.frameCount();
        for (int n = 1; n <= frames; ++n, ++shown) {
            animation.frame(n);
            note();
        }
    } else {
        // QMovie measured playing, as it is used; at this speed its frames come as fast
        // as it reads them, like ours above.
        QMovie movie(path);
        movie.setCacheMode(QMovie::CacheNone);
        movie.setSpeed(100000);
        QObject::connect(&movie, &QMovie::frameChanged, [&] {
            note();
            if (++shown == maxFrames || shown == movie.frameCount())
                QCoreApplication::quit();
        });
        QObject::connect(&movie, &QMovie::finished, &QCoreApplication::quit);
        note();
        movie.start();
        QCoreApplication::exec();
    }
    std::printf("frames_shown=%d\nseconds=%.2f\nrss_before_kib=%ld\nanonymous_before_kib=%ld\n", shown,
        msSince(start) / 1000, before.rssKiB, before.anonymousKiB);
    std::printf("rss_peak_over_kib=%ld\nanonymous_peak_over_kib=%ld\n", peak.rssKiB - before.rssKiB,
        peak.anonymousKiB - before.anonymousKiB);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    auto option = [&](const QString& name, int fallback) {
        int i = args.indexOf(name);
        return i >= 0 && i + 1 < args.size() ? args[i + 1].toInt() : fallback;
    };
    if (args.size() >= 3 && args[1] == "time")
        return timeLoads(args[2], option("--reps", 9));
    if (args.size() >= 4 && args[1] == "fresh")
        return freshLoad(args[2], args[3]);
    if (args.size() >= 4 && args[1] == "memory")
        return memoryWhilePlaying(args[2] == "ours", args[3], option("--frames", 0));
    std::fprintf(stderr,
        "usage: load-probe time F.gif [--reps N] | fresh ours|qmovie|qmovie-first F.gif"
        " | memory ours|qmovie F.gif [--frames N]\n");
    return 2;
}
