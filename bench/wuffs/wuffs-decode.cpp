// bench-decode-wuffs [benchmark options] FILE.gif... : decodes each file from memory to
// non-premultiplied RGBA, every frame composed on the logical screen as a browser shows it
// (disposal 2 clears to transparent, 3 restores the rectangle), from scratch per iteration.
// --dump DIR FILE writes frame-NNNN.rgba for each frame instead.
#include WUFFS_C
#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

template <typename Frame> static const char* decodeAll(const Bytes& file, Frame&& onFrame, std::size_t& pixelsOut)
{
    wuffs_gif__decoder* dec = wuffs_gif__decoder__alloc();
    if (!dec)
        return "alloc";
    wuffs_base__io_buffer src = wuffs_base__ptr_u8__reader(const_cast<std::uint8_t*>(file.data()), file.size(), true);
    wuffs_base__image_config ic {};
    wuffs_base__status st = wuffs_gif__decoder__decode_image_config(dec, &ic, &src);
    if (!wuffs_base__status__is_ok(&st)) {
        free(dec);
        return wuffs_base__status__message(&st);
    }
    const std::uint32_t w = wuffs_base__pixel_config__width(&ic.pixcfg);
    const std::uint32_t h = wuffs_base__pixel_config__height(&ic.pixcfg);
    wuffs_base__pixel_config__set(
        &ic.pixcfg, WUFFS_BASE__PIXEL_FORMAT__RGBA_NONPREMUL, WUFFS_BASE__PIXEL_SUBSAMPLING__NONE, w, h);
    const std::size_t len = std::size_t(w) * h * 4;
    std::uint8_t* canvas = static_cast<std::uint8_t*>(calloc(len ? len : 1, 1));
    std::vector<std::uint8_t> saved;
    const std::uint64_t workLen = wuffs_gif__decoder__workbuf_len(dec).max_incl;
    std::uint8_t* work = static_cast<std::uint8_t*>(malloc(workLen ? workLen : 1));
    wuffs_base__pixel_buffer pb {};
    st = wuffs_base__pixel_buffer__set_from_slice(&pb, &ic.pixcfg, wuffs_base__make_slice_u8(canvas, len));
    const char* error = nullptr;
    std::size_t pixels = 0;
    while (wuffs_base__status__is_ok(&st)) {
        wuffs_base__frame_config fc {};
        st = wuffs_gif__decoder__decode_frame_config(dec, &fc, &src);
        if (!wuffs_base__status__is_ok(&st)) {
            if (st.repr != wuffs_base__note__end_of_data)
                error = wuffs_base__status__message(&st);
            break;
        }
        const wuffs_base__rect_ie_u32 r = wuffs_base__frame_config__bounds(&fc);
        const auto disposal = wuffs_base__frame_config__disposal(&fc);
        const std::size_t rowBytes = std::size_t(r.max_excl_x - r.min_incl_x) * 4;
        if (disposal == WUFFS_BASE__ANIMATION_DISPOSAL__RESTORE_PREVIOUS) {
            saved.resize(rowBytes * (r.max_excl_y - r.min_incl_y));
            for (std::uint32_t y = r.min_incl_y; y < r.max_excl_y; ++y)
                std::memcpy(
                    &saved[(y - r.min_incl_y) * rowBytes], canvas + (std::size_t(y) * w + r.min_incl_x) * 4, rowBytes);
        }
        st = wuffs_gif__decoder__decode_frame(dec, &pb, &src,
            wuffs_base__frame_config__overwrite_instead_of_blend(&fc) ? WUFFS_BASE__PIXEL_BLEND__SRC
                                                                      : WUFFS_BASE__PIXEL_BLEND__SRC_OVER,
            wuffs_base__make_slice_u8(work, workLen), nullptr);
        if (st.repr == wuffs_base__note__end_of_data)
            break;
        onFrame(canvas, len);
        pixels += std::size_t(w) * h;
        if (!wuffs_base__status__is_ok(&st)) {
            error = wuffs_base__status__message(&st);
            break;
        }
        if (disposal == WUFFS_BASE__ANIMATION_DISPOSAL__RESTORE_BACKGROUND) {
            for (std::uint32_t y = r.min_incl_y; y < r.max_excl_y; ++y)
                std::memset(canvas + (std::size_t(y) * w + r.min_incl_x) * 4, 0, rowBytes);
        } else if (disposal == WUFFS_BASE__ANIMATION_DISPOSAL__RESTORE_PREVIOUS) {
            for (std::uint32_t y = r.min_incl_y; y < r.max_excl_y; ++y)
                std::memcpy(
                    canvas + (std::size_t(y) * w + r.min_incl_x) * 4, &saved[(y - r.min_incl_y) * rowBytes], rowBytes);
        }
    }
    free(work);
    free(canvas);
    free(dec);
    pixelsOut = pixels;
    return error;
}

static void decodeWuffs(benchmark::State& state, std::shared_ptr<const Bytes> file)
{
    std::size_t pixels = 0;
    for (auto _ : state) {
        const char* error = decodeAll(
            *file, [](const std::uint8_t* rgba, std::size_t) { benchmark::DoNotOptimize(rgba); }, pixels);
        if (error) {
            state.SkipWithError(error);
            return;
        }
        benchmark::ClobberMemory();
    }
    state.counters["pixels/s"] = benchmark::Counter(double(pixels), benchmark::Counter::kIsIterationInvariantRate);
}

static Bytes readFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--dump") == 0) {
        Bytes file = readFile(argv[3]);
        int n = 0;
        std::size_t pixels = 0;
        const char* error = decodeAll(
            file,
            [&](const std::uint8_t* rgba, std::size_t len) {
                char name[64];
                std::snprintf(name, sizeof name, "/frame-%04d.rgba", ++n);
                std::ofstream(std::string(argv[2]) + name, std::ios::binary)
                    .write(reinterpret_cast<const char*>(rgba), std::streamsize(len));
            },
            pixels);
        std::printf("%d frames%s%s\n", n, error ? ", error: " : "", error ? error : "");
        return error ? 1 : 0;
    }
    benchmark::Initialize(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        name = name.substr(name.find_last_of('/') + 1);
        benchmark::RegisterBenchmark(
            ("decode/wuffs/" + name).c_str(), decodeWuffs, std::make_shared<const Bytes>(readFile(argv[i])))
            ->MeasureProcessCPUTime()
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
