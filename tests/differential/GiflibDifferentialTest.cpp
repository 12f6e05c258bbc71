// Our scanner and LZW decoder against giflib, file by file: the same images, rectangles,
// timing, loop count and colour indices. giflib is the reference only for files it
// accepts whole; files it refuses are skipped with its reason.

#include "GifScanner.h"
#include "LzwDecoder.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using frolix::gif::Disposal;
using frolix::gif::GifInfo;
using frolix::gif::ImageRecord;
using frolix::gif::LzwDecoder;

struct Sample {
    fs::path path;
    bool mustBeAccepted = false; // the benchmark files are real-world pictures giflib reads
    std::string name;
};

// Names the file rather than dumping the struct's bytes in test listings.
void PrintTo(const Sample& sample, std::ostream* out)
{
    *out << sample.path.filename().string();
}

std::string sanitise(const std::string& text)
{
    std::string out;
    for (char c : text)
        out += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return out;
}

std::vector<Sample> collectSamples()
{
    std::vector<Sample> samples;
    auto addFolder = [&](const char* folder, const char* prefix, bool mustBeAccepted) {
        std::vector<fs::path> paths;
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.is_regular_file() && entry.path().extension() == ".gif")
                paths.push_back(entry.path());
        std::sort(paths.begin(), paths.end());
        for (const auto& path : paths)
            samples.push_back({ path, mustBeAccepted, sanitise(prefix + path.filename().string()) });
    };
    addFolder(FROLIX_BENCH_CORPUS_DIR, "bench_", true);
    addFolder(FROLIX_GIF_SUITE_DIR, "suite_", false);
    return samples;
}

std::vector<std::uint8_t> readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

struct MemoryInput {
    const std::vector<std::uint8_t>* bytes;
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

struct GifCloser {
    void operator()(GifFileType* gif) const
    {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

// giflib's view of the file, or the reason it refused it.
struct Reference {
    GifHandle gif;
    std::string refusal;
};

Reference slurp(MemoryInput& input)
{
    int error = 0;
    GifHandle gif(DGifOpen(&input, readFromMemory, &error));
    if (!gif)
        return { nullptr, std::string("DGifOpen: ") + GifErrorString(error) };
    if (DGifSlurp(gif.get()) != GIF_OK)
        return { nullptr, std::string("DGifSlurp: ") + GifErrorString(gif->Error) };
    return { std::move(gif), {} };
}

// The loop count of the last looping application extension, wherever giflib filed it.
std::optional<std::uint16_t> referenceLoopCount(const GifFileType& gif)
{
    std::optional<std::uint16_t> loopCount;
    auto search = [&](const ExtensionBlock* blocks, int count) {
        bool inLoopExtension = false;
        for (int i = 0; i < count; ++i) {
            const ExtensionBlock& block = blocks[i];
            if (block.Function == APPLICATION_EXT_FUNC_CODE) {
                inLoopExtension = block.ByteCount == 11
                    && (std::memcmp(block.Bytes, "NETSCAPE2.0", 11) == 0 || std::memcmp(block.Bytes, "ANIMEXTS1.0", 11) == 0);
            } else if (block.Function == CONTINUE_EXT_FUNC_CODE) {
                if (inLoopExtension && block.ByteCount >= 3 && block.Bytes[0] == 1)
                    loopCount = std::uint16_t(block.Bytes[1] | (block.Bytes[2] << 8));
            } else {
                inLoopExtension = false;
            }
        }
    };
    for (int i = 0; i < gif.ImageCount; ++i)
        search(gif.SavedImages[i].ExtensionBlocks, gif.SavedImages[i].ExtensionBlockCount);
    search(gif.ExtensionBlocks, gif.ExtensionBlockCount);
    return loopCount;
}

int graphicControlCount(const SavedImage& image)
{
    return int(std::count_if(image.ExtensionBlocks, image.ExtensionBlocks + image.ExtensionBlockCount,
                             [](const ExtensionBlock& block) { return block.Function == GRAPHICS_EXT_FUNC_CODE; }));
}

// Rows in the order the data holds them; giflib hands interlaced images over in display order.
std::vector<std::uint32_t> dataRowOrder(std::uint32_t height, bool interlaced)
{
    std::vector<std::uint32_t> rows;
    if (!interlaced) {
        for (std::uint32_t y = 0; y < height; ++y)
            rows.push_back(y);
        return rows;
    }
    static constexpr std::uint32_t kStart[4] = { 0, 4, 2, 1 };
    static constexpr std::uint32_t kStep[4] = { 8, 8, 4, 2 };
    for (int pass = 0; pass < 4; ++pass)
        for (std::uint32_t y = kStart[pass]; y < height; y += kStep[pass])
            rows.push_back(y);
    return rows;
}

void compareIndices(const std::vector<std::uint8_t>& bytes, const ImageRecord& image, const SavedImage& reference,
                    std::size_t imageIndex)
{
    const std::size_t width = image.width, height = image.height, total = width * height;
    std::vector<std::uint8_t> ours(total);
    LzwDecoder decoder(bytes, image.dataOffset, image.minCodeSize);
    std::size_t got = decoder.decode(ours);
    EXPECT_EQ(got, total) << "image " << imageIndex << ": decoded " << got << " of " << total
                          << " indices; status " << int(decoder.status());

    std::vector<std::uint32_t> rows = dataRowOrder(image.height, image.interlaced);
    for (std::size_t position = 0; position < got; ++position) {
        std::size_t dataRow = position / width, x = position % width;
        std::size_t displayRow = rows[dataRow];
        std::uint8_t want = reference.RasterBits[displayRow * width + x];
        if (ours[position] != want) {
            ADD_FAILURE() << "image " << imageIndex << ": first differing index at data position " << position
                          << " (x " << x << ", row " << displayRow << "): have " << int(ours[position]) << ", want "
                          << int(want);
            return;
        }
    }
}

class GiflibDifferential : public testing::TestWithParam<Sample> {};

TEST_P(GiflibDifferential, MatchesGiflib)
{
    const Sample& sample = GetParam();
    SCOPED_TRACE(sample.path.string());
    std::vector<std::uint8_t> bytes = readFile(sample.path);
    ASSERT_FALSE(bytes.empty()) << "cannot read " << sample.path;

    MemoryInput input { &bytes };
    Reference reference = slurp(input);
    if (!reference.gif) {
        ASSERT_FALSE(sample.mustBeAccepted) << "giflib refuses a benchmark file: " << reference.refusal;
        GTEST_SKIP() << "giflib refuses it (" << reference.refusal << ")";
    }
    const GifFileType& gif = *reference.gif;

    auto scanned = frolix::gif::scan(bytes);
    ASSERT_TRUE(scanned.ok()) << "we refuse a file giflib reads: " << scanned.error().message;
    const GifInfo& info = scanned.value();

    EXPECT_EQ(info.width, gif.SWidth);
    EXPECT_EQ(info.height, gif.SHeight);
    EXPECT_EQ(info.storedLoopCount, referenceLoopCount(gif));
    ASSERT_EQ(info.images.size(), std::size_t(gif.ImageCount)) << "image count";

    for (std::size_t i = 0; i < info.images.size(); ++i) {
        const ImageRecord& image = info.images[i];
        const SavedImage& saved = gif.SavedImages[i];
        const GifImageDesc& desc = saved.ImageDesc;
        SCOPED_TRACE("image " + std::to_string(i));
        EXPECT_EQ(image.left, desc.Left);
        EXPECT_EQ(image.top, desc.Top);
        EXPECT_EQ(image.width, desc.Width);
        EXPECT_EQ(image.height, desc.Height);
        EXPECT_EQ(image.interlaced, desc.Interlace);

        // giflib reads the first graphic control before an image; with several the two
        // readers may rightly differ, so timing is compared only where there is one.
        GraphicsControlBlock control;
        bool hasControl = DGifSavedExtensionToGCB(reference.gif.get(), int(i), &control) == GIF_OK;
        int controls = graphicControlCount(saved);
        if (controls <= 1) {
            EXPECT_EQ(image.hasGraphicControl, hasControl);
            if (hasControl) {
                EXPECT_EQ(image.delayCs, control.DelayTime);
                EXPECT_EQ(image.disposal, frolix::gif::disposalFromWire(std::uint8_t(control.DisposalMode)));
                std::optional<std::uint8_t> transparent;
                if (control.TransparentColor != NO_TRANSPARENT_COLOR)
                    transparent = std::uint8_t(control.TransparentColor);
                EXPECT_EQ(image.transparentIndex, transparent);
            }
        }

        // The table each image draws with: its own, else the global one.
        const ColorMapObject* palette = desc.ColorMap ? desc.ColorMap : gif.SColorMap;
        EXPECT_EQ(image.paletteSize, palette ? palette->ColorCount : 0) << "colour table size";
        if (palette && image.paletteSize == palette->ColorCount) {
            for (int entry = 0; entry < palette->ColorCount; ++entry) {
                const std::uint8_t* rgb = &bytes[image.paletteOffset + 3 * std::size_t(entry)];
                const GifColorType& want = palette->Colors[entry];
                if (rgb[0] != want.Red || rgb[1] != want.Green || rgb[2] != want.Blue) {
                    ADD_FAILURE() << "colour table entry " << entry << " differs";
                    break;
                }
            }
        }

        compareIndices(bytes, image, saved, i);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, GiflibDifferential, testing::ValuesIn(collectSamples()),
                         [](const testing::TestParamInfo<Sample>& info) { return info.param.name; });

} // namespace
