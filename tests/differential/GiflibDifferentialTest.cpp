// Our scanner and LZW decoder against giflib, file by file: the same images, rectangles,
// colour tables and colour indices. giflib is the reference only for files it
// accepts whole; files it refuses are skipped with its reason.

#include "FileBytes.h"
#include "GifBuilder.h"
#include "GifScanner.h"
#include "LzwDecoder.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The benchmark files are real-world pictures giflib reads; some suite files it refuses.
std::vector<fs::path> samples()
{
    std::vector<fs::path> paths;
    for (const char* folder : { FROLIX_BENCH_CORPUS_DIR, FROLIX_GIF_SUITE_DIR })
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.path().extension() == ".gif")
                paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    return paths;
}

// Our indices in data order against giflib's, which come in display order.
void compareIndices(std::span<const std::uint8_t> bytes, const frolix::gif::ImageRecord& image, const SavedImage& want)
{
    const std::size_t width = image.width, total = width * image.height;
    frolix::gif::LzwDecoder decoder;
    decoder.start(bytes, image.dataOffset, image.minCodeSize, total);
    std::size_t got = decoder.decode();
    std::span<const std::uint8_t> ours = decoder.indices();
    EXPECT_EQ(got, total) << "decoded " << got << " of " << total << " indices; status " << int(decoder.status());
    std::vector<unsigned> rows = frolix::test::interlacedRowOrder(image.height);
    if (!image.interlaced)
        std::iota(rows.begin(), rows.end(), 0u);
    for (std::size_t at = 0; at < got; ++at) {
        const std::size_t x = at % width, row = rows[at / width];
        if (ours[at] != want.RasterBits[row * width + x]) {
            ADD_FAILURE() << "first differing index at (" << x << ", " << row << "): have " << int(ours[at])
                          << ", want " << int(want.RasterBits[row * width + x]);
            return;
        }
    }
}

class GiflibDifferential : public testing::TestWithParam<fs::path> { };

TEST_P(GiflibDifferential, MatchesGiflib)
{
    const fs::path& path = GetParam();
    auto read = frolix::FileBytes::open(path);
    ASSERT_TRUE(read.ok()) << read.error().message;
    const std::span<const std::uint8_t> bytes = read.value()->bytes();

    int error = 0;
    auto close = [](GifFileType* gif) { DGifCloseFile(gif, nullptr); };
    std::unique_ptr<GifFileType, decltype(close)> gif(DGifOpenFileName(path.c_str(), &error), close);
    if (!gif || DGifSlurp(gif.get()) != GIF_OK) {
        const std::string refusal = GifErrorString(gif ? gif->Error : error);
        ASSERT_EQ(path.parent_path(), fs::path(FROLIX_GIF_SUITE_DIR)) << "giflib refuses a real picture: " << refusal;
        GTEST_SKIP() << "giflib refuses it (" << refusal << ")";
    }

    auto scanned = frolix::gif::scan(bytes);
    ASSERT_TRUE(scanned.ok()) << "we refuse a file giflib reads: " << scanned.error().message;
    const frolix::gif::GifInfo& info = scanned.value();
    EXPECT_EQ(std::tuple(info.width, info.height), std::tuple(gif->SWidth, gif->SHeight));
    ASSERT_EQ(info.images.size(), std::size_t(gif->ImageCount)) << "image count";
    for (std::size_t i = 0; i < info.images.size(); ++i) {
        const frolix::gif::ImageRecord& image = info.images[i];
        const SavedImage& saved = gif->SavedImages[i];
        const GifImageDesc& desc = saved.ImageDesc;
        SCOPED_TRACE("image " + std::to_string(i));
        EXPECT_EQ(std::tuple(image.left, image.top, image.width, image.height, image.interlaced),
            std::tuple(desc.Left, desc.Top, desc.Width, desc.Height, bool(desc.Interlace)));

        // The table each image draws with: its own, else the global one.
        const ColorMapObject* palette = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
        ASSERT_EQ(image.paletteSize, palette ? palette->ColorCount : 0) << "colour table size";
        for (int entry = 0; entry < image.paletteSize; ++entry) {
            const std::uint8_t* rgb = &bytes[image.paletteOffset + 3 * std::size_t(entry)];
            const GifColorType& want = palette->Colors[entry];
            ASSERT_EQ(std::tuple(rgb[0], rgb[1], rgb[2]), std::tuple(want.Red, want.Green, want.Blue))
                << "colour table entry " << entry;
        }
        compareIndices(bytes, image, saved);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, GiflibDifferential, testing::ValuesIn(samples()), [](const auto& info) {
    std::string name = info.param.parent_path().filename().string() + "_" + info.param.filename().string();
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
});

} // namespace
