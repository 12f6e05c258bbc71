// Our scanner and LZW decoder against giflib, file by file: the same images, rectangles,
// timing, loop count, colour tables and colour indices. giflib is the reference only for
// files it accepts whole; files it refuses are skipped with its reason.

#include "FileBytes.h"
#include "GifScanner.h"
#include "LzwDecoder.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct Sample {
    fs::path path;
    bool mustBeAccepted; // the benchmark files are real-world pictures giflib reads
    std::string name;
};

void PrintTo(const Sample& sample, std::ostream* out) { *out << sample.path.filename().string(); }

std::vector<Sample> collectSamples()
{
    std::vector<Sample> samples;
    for (auto [folder, prefix, mustBeAccepted] :
        { std::tuple(FROLIX_BENCH_CORPUS_DIR, "bench_", true), std::tuple(FROLIX_GIF_SUITE_DIR, "suite_", false) }) {
        std::vector<fs::path> paths;
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.path().extension() == ".gif")
                paths.push_back(entry.path());
        std::sort(paths.begin(), paths.end());
        for (const auto& path : paths) {
            std::string name = prefix + path.filename().string();
            std::replace_if(
                name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
            samples.push_back({ path, mustBeAccepted, name });
        }
    }
    return samples;
}

struct MemoryInput {
    const Bytes& bytes;
    std::size_t position = 0;
};

int readFromMemory(GifFileType* gif, GifByteType* out, int wanted)
{
    auto* input = static_cast<MemoryInput*>(gif->UserData);
    std::size_t count = std::min<std::size_t>(std::size_t(wanted), input->bytes.size() - input->position);
    std::memcpy(out, input->bytes.data() + input->position, count);
    input->position += count;
    return int(count);
}

// The loop count of the last looping application extension, wherever giflib filed it.
std::optional<std::uint16_t> referenceLoopCount(const GifFileType& gif)
{
    std::optional<std::uint16_t> loopCount;
    auto search = [&](const ExtensionBlock* blocks, int count) {
        bool inLoopExtension = false;
        for (const ExtensionBlock& block : std::span(blocks, std::size_t(count))) {
            if (block.Function == APPLICATION_EXT_FUNC_CODE)
                inLoopExtension = block.ByteCount == 11
                    && (std::memcmp(block.Bytes, "NETSCAPE2.0", 11) == 0
                        || std::memcmp(block.Bytes, "ANIMEXTS1.0", 11) == 0);
            else if (block.Function != CONTINUE_EXT_FUNC_CODE)
                inLoopExtension = false;
            else if (inLoopExtension && block.ByteCount >= 3 && block.Bytes[0] == 1)
                loopCount = std::uint16_t(block.Bytes[1] | (block.Bytes[2] << 8));
        }
    };
    for (int i = 0; i < gif.ImageCount; ++i)
        search(gif.SavedImages[i].ExtensionBlocks, gif.SavedImages[i].ExtensionBlockCount);
    search(gif.ExtensionBlocks, gif.ExtensionBlockCount);
    return loopCount;
}

// Our indices in data order against giflib's, which come in display order.
void compareIndices(const Bytes& bytes, const frolix::gif::ImageRecord& image, const SavedImage& reference)
{
    const std::size_t width = image.width, total = width * image.height;
    Bytes ours(total);
    frolix::gif::LzwDecoder decoder(bytes, image.dataOffset, image.minCodeSize);
    std::size_t got = decoder.decode(ours);
    EXPECT_EQ(got, total) << "decoded " << got << " of " << total << " indices; status " << int(decoder.status());
    std::vector<std::size_t> rows;
    for (auto [start, step] : image.interlaced
            ? std::vector<std::pair<int, int>> { { 0, 8 }, { 4, 8 }, { 2, 4 }, { 1, 2 } }
            : std::vector<std::pair<int, int>> { { 0, 1 } })
        for (std::size_t y = std::size_t(start); y < image.height; y += std::size_t(step))
            rows.push_back(y);
    for (std::size_t at = 0; at < got; ++at) {
        std::size_t x = at % width, row = rows[at / width];
        if (std::uint8_t want = reference.RasterBits[row * width + x]; ours[at] != want) {
            ADD_FAILURE() << "first differing index at data position " << at << " (x " << x << ", row " << row
                          << "): have " << int(ours[at]) << ", want " << int(want);
            return;
        }
    }
}

class GiflibDifferential : public testing::TestWithParam<Sample> { };

TEST_P(GiflibDifferential, MatchesGiflib)
{
    const Sample& sample = GetParam();
    auto read = frolix::readFileBytes(sample.path);
    ASSERT_TRUE(read.ok()) << read.error().message;
    const Bytes& bytes = read.value();

    MemoryInput input { bytes };
    int error = 0;
    auto close = [](GifFileType* gif) { DGifCloseFile(gif, nullptr); };
    std::unique_ptr<GifFileType, decltype(close)> gif(DGifOpen(&input, readFromMemory, &error), close);
    std::string refusal = !gif           ? std::string("DGifOpen: ") + GifErrorString(error)
        : DGifSlurp(gif.get()) != GIF_OK ? std::string("DGifSlurp: ") + GifErrorString(gif->Error)
                                         : "";
    if (!refusal.empty()) {
        ASSERT_FALSE(sample.mustBeAccepted) << "giflib refuses a benchmark file: " << refusal;
        GTEST_SKIP() << "giflib refuses it (" << refusal << ")";
    }

    auto scanned = frolix::gif::scan(bytes);
    ASSERT_TRUE(scanned.ok()) << "we refuse a file giflib reads: " << scanned.error().message;
    const frolix::gif::GifInfo& info = scanned.value();
    EXPECT_EQ(info.width, gif->SWidth);
    EXPECT_EQ(info.height, gif->SHeight);
    EXPECT_EQ(info.storedLoopCount, referenceLoopCount(*gif));
    ASSERT_EQ(info.images.size(), std::size_t(gif->ImageCount)) << "image count";

    for (std::size_t i = 0; i < info.images.size(); ++i) {
        const frolix::gif::ImageRecord& image = info.images[i];
        const SavedImage& saved = gif->SavedImages[i];
        const GifImageDesc& desc = saved.ImageDesc;
        SCOPED_TRACE("image " + std::to_string(i));
        EXPECT_EQ(std::tuple(image.left, image.top, image.width, image.height, image.interlaced),
            std::tuple(desc.Left, desc.Top, desc.Width, desc.Height, bool(desc.Interlace)));

        // giflib reads the first graphic control before an image; with several the two
        // readers may rightly differ, so timing is compared only where there is one.
        GraphicsControlBlock control;
        bool hasControl = DGifSavedExtensionToGCB(gif.get(), int(i), &control) == GIF_OK;
        auto controls = std::count_if(saved.ExtensionBlocks, saved.ExtensionBlocks + saved.ExtensionBlockCount,
            [](const ExtensionBlock& block) { return block.Function == GRAPHICS_EXT_FUNC_CODE; });
        if (controls <= 1) {
            EXPECT_EQ(image.hasGraphicControl, hasControl);
            if (hasControl) {
                EXPECT_EQ(image.delayCs, control.DelayTime);
                EXPECT_EQ(image.disposal, frolix::gif::disposalFromWire(std::uint8_t(control.DisposalMode)));
                EXPECT_EQ(image.transparentIndex,
                    control.TransparentColor == NO_TRANSPARENT_COLOR
                        ? std::nullopt
                        : std::optional<std::uint8_t>(control.TransparentColor));
            }
        }

        // The table each image draws with: its own, else the global one.
        const ColorMapObject* palette = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
        ASSERT_EQ(image.paletteSize, palette ? palette->ColorCount : 0) << "colour table size";
        for (int entry = 0; entry < image.paletteSize; ++entry) {
            const std::uint8_t* rgb = &bytes[image.paletteOffset + 3 * std::size_t(entry)];
            const GifColorType& want = palette->Colors[entry];
            ASSERT_TRUE(rgb[0] == want.Red && rgb[1] == want.Green && rgb[2] == want.Blue)
                << "colour table entry " << entry;
        }
        compareIndices(bytes, image, saved);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, GiflibDifferential, testing::ValuesIn(collectSamples()),
    [](const testing::TestParamInfo<Sample>& info) { return info.param.name; });

} // namespace
