// Decodes every file of the benchmark corpus, small multi-frame files made at start
// (where a decode's fixed costs show: two of the scene, noise and flat) and any GIF files or folders named on the
// command line, with each engine, from bytes already in memory. "ours" and "stb" and "qt" compose every frame to RGBA
// on the logical screen; "giflib" only expands each image to colour indices, the floor any full decode pays.
//
//     bench-decode [benchmark options] [FILE.gif | FOLDER]...
//     bench-decode --write-made DIR    (writes the made files, for decoders outside the project)

#include "FileBytes.h"
#include "GifAnimation.h"
#include "SceneGifs.h"

#include <benchmark/benchmark.h>
#include <gif_lib.h>
#include <stb_image.h>

#ifdef FROLIX_HAVE_QT_GUI
#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes readFile(const fs::path& path) { return frolix::readFileBytes(path).value(); }

void setPixelRate(benchmark::State& state, double pixelsPerIteration)
{
    state.counters["pixels/s"] = benchmark::Counter(pixelsPerIteration, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["pixels"] = pixelsPerIteration;
}

void decodeOurs(benchmark::State& state, std::shared_ptr<const Bytes> file)
{
    double pixels = 0;
    for (auto _ : state) {
        state.PauseTiming(); // fromBytes takes ownership; the copy is not decoding
        Bytes bytes = *file;
        state.ResumeTiming();
        auto loaded = frolix::GifAnimation::fromBytes(std::move(bytes));
        if (!loaded) {
            state.SkipWithError(loaded.error().message.c_str());
            return;
        }
        frolix::GifAnimation& animation = *loaded.value();
        for (int number = 1; number <= animation.frameCount(); ++number) {
            auto rgba = animation.frame(number);
            benchmark::DoNotOptimize(rgba.data());
        }
        pixels = double(animation.frameCount()) * animation.width() * animation.height();
        benchmark::ClobberMemory();
    }
    setPixelRate(state, pixels);
}

struct MemoryInput {
    const Bytes* bytes;
    std::size_t position = 0;
};

int readFromMemory(GifFileType* gif, GifByteType* out, int wanted)
{
    auto* input = static_cast<MemoryInput*>(gif->UserData);
    std::size_t count = std::min<std::size_t>(std::size_t(wanted), input->bytes->size() - input->position);
    std::memcpy(out, input->bytes->data() + input->position, count);
    input->position += count;
    return int(count);
}

void decodeGiflib(benchmark::State& state, std::shared_ptr<const Bytes> file)
{
    double pixels = 0;
    for (auto _ : state) {
        MemoryInput input { file.get() };
        int error = 0;
        GifFileType* gif = DGifOpen(&input, readFromMemory, &error);
        if (!gif) {
            state.SkipWithError(GifErrorString(error));
            return;
        }
        if (DGifSlurp(gif) != GIF_OK) {
            state.SkipWithError(GifErrorString(gif->Error));
            DGifCloseFile(gif, &error);
            return;
        }
        pixels = 0;
        for (int i = 0; i < gif->ImageCount; ++i) {
            benchmark::DoNotOptimize(gif->SavedImages[i].RasterBits);
            pixels += double(gif->SavedImages[i].ImageDesc.Width) * gif->SavedImages[i].ImageDesc.Height;
        }
        DGifCloseFile(gif, &error);
    }
    setPixelRate(state, pixels);
}

void decodeStb(benchmark::State& state, std::shared_ptr<const Bytes> file)
{
    double pixels = 0;
    for (auto _ : state) {
        int* delays = nullptr;
        int width = 0, height = 0, frames = 0, components = 0;
        stbi_uc* rgba = stbi_load_gif_from_memory(
            file->data(), int(file->size()), &delays, &width, &height, &frames, &components, 4);
        if (!rgba) {
            state.SkipWithError(stbi_failure_reason());
            return;
        }
        benchmark::DoNotOptimize(rgba);
        pixels = double(frames) * width * height;
        stbi_image_free(rgba);
        stbi_image_free(delays);
    }
    setPixelRate(state, pixels);
}

#ifdef FROLIX_HAVE_QT_GUI
void decodeQt(benchmark::State& state, std::shared_ptr<const Bytes> file)
{
    const QByteArray data
        = QByteArray::fromRawData(reinterpret_cast<const char*>(file->data()), qsizetype(file->size()));
    double pixels = 0;
    for (auto _ : state) {
        QBuffer buffer;
        buffer.setData(data);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "gif");
        QImage image;
        pixels = 0;
        while (reader.read(&image)) {
            benchmark::DoNotOptimize(image.constBits());
            pixels += double(image.width()) * image.height();
        }
        if (pixels == 0) {
            state.SkipWithError(reader.errorString().toStdString().c_str());
            return;
        }
    }
    setPixelRate(state, pixels);
}
#endif

// CPU time of the whole process: a large first image is drawn on a thread of its own
// while the scan goes on, and that work counts too.
void registerFile(const std::string& name, std::shared_ptr<const Bytes> file)
{
    benchmark::RegisterBenchmark(("decode/ours/" + name).c_str(), decodeOurs, file)
        ->MeasureProcessCPUTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("decode/giflib/" + name).c_str(), decodeGiflib, file)
        ->MeasureProcessCPUTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("decode/stb/" + name).c_str(), decodeStb, file)
        ->MeasureProcessCPUTime()
        ->Unit(benchmark::kMillisecond);
#ifdef FROLIX_HAVE_QT_GUI
    benchmark::RegisterBenchmark(("decode/qt/" + name).c_str(), decodeQt, file)
        ->MeasureProcessCPUTime()
        ->Unit(benchmark::kMillisecond);
#endif
}

// The .gif files of a folder, sorted, or the file itself.
void addGifs(const fs::path& path, std::vector<fs::path>& paths)
{
    if (!fs::is_directory(path)) {
        paths.push_back(path);
        return;
    }
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(path))
        if (entry.is_regular_file() && entry.path().extension() == ".gif")
            found.push_back(entry.path());
    std::sort(found.begin(), found.end());
    paths.insert(paths.end(), found.begin(), found.end());
}

std::vector<std::pair<std::string, Bytes>> madeFiles()
{
    const auto palette = frolix::test::scenePalette();
    return {
        { "scene-64x48x4.gif", frolix::test::sceneAnimation(64, 48, 4, palette) },
        { "scene-30x20x15.gif", frolix::test::sceneAnimation(30, 20, 15, palette) },
        { "noise-30x20x15.gif", frolix::test::noiseAnimation(30, 20, 15) },
        { "flat-30x20x15.gif", frolix::test::flatAnimation(30, 20, 15) },
        { "flat-64x48x4.gif", frolix::test::flatAnimation(64, 48, 4) },
    };
}

void registerAll(int argc, char** argv)
{
    std::vector<fs::path> paths;
    addGifs(FROLIX_BENCH_CORPUS_DIR, paths);
    for (int i = 1; i < argc; ++i)
        addGifs(argv[i], paths);
    for (const auto& path : paths)
        registerFile(path.filename().string(), std::make_shared<const Bytes>(readFile(path)));
    for (auto& [name, bytes] : madeFiles())
        registerFile(name, std::make_shared<const Bytes>(std::move(bytes)));
}

} // namespace

int main(int argc, char** argv)
{
    // QImageReader finds its GIF plugin without an application object, so none is made.
    // What the benchmark library does not take are the files to add.
    if (argc == 3 && std::string(argv[1]) == "--write-made") {
        for (const auto& [name, bytes] : madeFiles()) {
            std::ofstream out(fs::path(argv[2]) / name, std::ios::binary);
            out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
            if (!out) {
                std::fprintf(stderr, "cannot write %s\n", name.c_str());
                return 1;
            }
        }
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    registerAll(argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
