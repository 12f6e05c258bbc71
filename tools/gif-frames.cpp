// gif-frames FILE.gif OUTDIR [--png]: decodes a GIF with our engine and writes
// OUTDIR/info.txt and one raw RGBA file per frame, that is per image, with its stored
// delay (and PNGs on request).

#include "FileBytes.h"
#include "OpenAnimation.h"
#include "Player.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#ifdef FROLIX_HAVE_QT_GUI
#include <QImage>
#endif

namespace {

int usage()
{
    std::fprintf(stderr, "usage: gif-frames FILE.gif OUTDIR [--png]\n");
    return 2;
}

std::string loopText(const frolix::Timeline& timeline)
{
    auto plays = frolix::playCount(timeline);
    return plays ? std::to_string(*plays - 1) : "infinite";
}

} // namespace

int main(int argc, char** argv)
{
    std::string input, outdir;
    bool png = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--png")
            png = true;
        else if (input.empty())
            input = arg;
        else if (outdir.empty())
            outdir = arg;
        else
            return usage();
    }
    if (input.empty() || outdir.empty())
        return usage();
#ifndef FROLIX_HAVE_QT_GUI
    if (png) {
        std::fprintf(stderr, "gif-frames: built without PNG support\n");
        return 2;
    }
#endif

    // Read whole, then decoded by the engine alone: no mapping, no threads.
    auto bytes = frolix::readFileBytes(input, frolix::kMaxReadBytes);
    if (!bytes) {
        std::fprintf(stderr, "gif-frames: %s\n", bytes.error().message.c_str());
        return 1;
    }
    auto loaded = frolix::openAnimation(std::move(bytes).value(), frolix::PixelOrder::Rgba);
    if (!loaded) {
        std::fprintf(stderr, "gif-frames: %s: %s\n", input.c_str(), loaded.error().message.c_str());
        return 1;
    }
    auto& animation = *loaded.value();

    std::error_code error;
    std::filesystem::create_directories(outdir, error);
    if (error) {
        std::fprintf(stderr, "gif-frames: cannot create %s: %s\n", outdir.c_str(), error.message().c_str());
        return 1;
    }
    std::filesystem::path dir(outdir);
    std::ofstream info(dir / "info.txt");
    const frolix::Timeline timeline = animation.timeline();
    info << "width " << animation.width() << "\nheight " << animation.height() << "\nloop-count " << loopText(timeline)
         << "\nframes " << animation.frameCount() << "\n";
    for (int number = 1; number <= animation.frameCount(); ++number) {
        info << "frame " << number << " delay " << timeline.storedDelaysCs[std::size_t(number - 1)] << "\n";
        auto pixels = animation.frame(number);
        char name[32];
        std::snprintf(name, sizeof name, "frame-%03d", number);
        std::ofstream raw(dir / (std::string(name) + ".rgba"), std::ios::binary);
        raw.write(reinterpret_cast<const char*>(pixels.data()), std::streamsize(pixels.size()));
#ifdef FROLIX_HAVE_QT_GUI
        if (png) {
            QImage image(pixels.data(), animation.width(), animation.height(), QImage::Format_RGBA8888);
            image.save(QString::fromStdString((dir / (std::string(name) + ".png")).string()));
        }
#endif
        if (!raw) {
            std::fprintf(stderr, "gif-frames: cannot write into %s\n", outdir.c_str());
            return 1;
        }
    }
    for (const auto& warning : animation.warnings())
        std::fprintf(stderr, "gif-frames: warning: %s\n", warning.message.c_str());
    return info ? 0 : 1;
}
