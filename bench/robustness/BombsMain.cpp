// Loads one hostile file and reports what it cost: refused or played, wall time, CPU
// time and peak resident memory (getrusage). One case per process, so each peak is its
// own. Built twice: engine only (scan and compose), and through the real component
// (FROLIX_WITH_COMPONENT: Frolix on the offscreen platform, frames painted as shown).
//
//   robust-bombs list | NAME [--write FILE]
//   robust-bombs-component NAME [--play SECONDS]

#include "Bombs.h"
#include "GifAnimation.h"

#ifdef FROLIX_WITH_COMPONENT
#include "Frolix.h"
#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#endif

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace {

long peakKiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    using namespace frolix;
#ifdef FROLIX_WITH_COMPONENT
    QApplication app(argc, argv);
#endif
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s list | NAME [--write FILE] [--play SECONDS]\n", argv[0]);
        return 2;
    }
    auto bombs = bombs::allBombs();
    if (std::strcmp(argv[1], "list") == 0) {
        for (const auto& bomb : bombs)
            std::printf("%-22s %s\n", bomb.name.c_str(), bomb.what.c_str());
        return 0;
    }
    const bombs::Bomb* bomb = nullptr;
    for (const auto& candidate : bombs)
        if (candidate.name == argv[1])
            bomb = &candidate;
    if (!bomb) {
        std::fprintf(stderr, "no case %s\n", argv[1]);
        return 2;
    }
    double playSeconds = 0;
    const char* writeTo = nullptr;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--play") == 0)
            playSeconds = std::atof(argv[i + 1]);
        else if (std::strcmp(argv[i], "--write") == 0)
            writeTo = argv[i + 1];
    }

    bombs::Bytes file = bomb->make();
    if (writeTo)
        std::ofstream(writeTo, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    const long baseKiB = peakKiB();
    const double baseCpu = cpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    std::printf("case %s: %s\nfile %zu bytes; peak before loading %ld KiB\n", bomb->name.c_str(), bomb->what.c_str(),
        file.size(), baseKiB);

#ifndef FROLIX_WITH_COMPONENT
    (void)playSeconds; // playing needs the component
    auto loaded = GifAnimation::fromBytes(std::move(file));
    if (!loaded) {
        std::printf("result: refused: %s\n", loaded.error().message.c_str());
    } else {
        GifAnimation& animation = *loaded.value();
        const int frames = animation.frameCount();
        std::printf("result: loaded %d x %d, %d frames\n", animation.width(), animation.height(), frames);

        // First, second, middle and last frames, then the first again (random access).
        for (int number : { 1, 2, frames / 2, frames, 1 }) {
            if (number < 1 || number > frames)
                continue;
            auto t = std::chrono::steady_clock::now();
            (void)animation.frame(number);
            std::printf("frame %d composed in %.3f s\n", number, secondsSince(t));
        }
        for (const auto& warning : animation.warnings())
            std::printf("warning: %s\n", warning.message.c_str());
    }
#else
    Frolix component;
    component.resize(528, 247);
    component.show();
    int steps = 0;
    QObject::connect(&component, &FrolixControl::Step, [&] { ++steps; });
    if (!component.showAnimation(std::move(file))) {
        std::printf("result: refused: %s\n", qPrintable(component.lastError()));
    } else {
        std::printf("result: loaded %d x %d, %d frames\n", component.animationSize().width(),
            component.animationSize().height(), component.FrameCount());
        QApplication::processEvents(); // first tick and paint
        std::printf("loaded and first frame shown in %.3f s\n", secondsSince(start));
        if (playSeconds > 0) {
            const double cpuBefore = cpuSeconds();
            const auto playStart = std::chrono::steady_clock::now();
            QEventLoop loop;
            QTimer::singleShot(int(playSeconds * 1000), &loop, &QEventLoop::quit);
            loop.exec();
            const double wall = secondsSince(playStart);
            std::printf("played %.2f s: %d frame changes (%.1f per second), CPU %.3f s (%.1f%% of one core)\n", wall,
                steps, steps / wall, cpuSeconds() - cpuBefore, 100 * (cpuSeconds() - cpuBefore) / wall);
        } else {
            for (int number : { 2, component.FrameCount() / 2, component.FrameCount(), 1 }) {
                if (number < 1 || number > component.FrameCount())
                    continue;
                auto t = std::chrono::steady_clock::now();
                component.showFrame(number);
                component.repaint();
                std::printf("frame %d shown in %.3f s\n", number, secondsSince(t));
            }
        }
    }
#endif
    std::printf("wall %.3f s, CPU %.3f s, peak RSS %ld KiB (%.1f MiB), %.1f MiB above the start\n", secondsSince(start),
        cpuSeconds() - baseCpu, peakKiB(), peakKiB() / 1024.0, (peakKiB() - baseKiB) / 1024.0);
    return 0;
}
