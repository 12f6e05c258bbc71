// The committed binary assets: that the generator still produces them byte for byte,
// and that each one is what the rest of the project takes it to be, read back from
// its bytes rather than from the generator's constants.

#include "AssetFiles.h"

#include "GifAnimation.h"
#include "GifScanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <unistd.h>

using namespace assets_test;

namespace {

TEST(GeneratedAssets, GeneratorReproducesEveryCommittedFile)
{
    auto dir = std::filesystem::temp_directory_path() / ("frolix-assets-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::string command = std::string("\"") + FROLIX_MAKE_ASSETS + "\" \"" + dir.string() + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    const std::pair<const char*, std::filesystem::path> files[] = {
        { "sky.bmp", sourceDir() / "assets" / "sky.bmp" },
        { "logo.gif", sourceDir() / "assets" / "logo.gif" },
        { "frolix.ico", sourceDir() / "assets" / "frolix.ico" },
        { "frolix-viewer.desktop", sourceDir() / "assets" / "frolix-viewer.desktop" },
        { "frolix-viewer-16.png", sourceDir() / "assets" / "frolix-viewer-16.png" },
        { "frolix-viewer-32.png", sourceDir() / "assets" / "frolix-viewer-32.png" },
        { "frolix-viewer-48.png", sourceDir() / "assets" / "frolix-viewer-48.png" },
        { "frolix-viewer-64.png", sourceDir() / "assets" / "frolix-viewer-64.png" },
        { "frolix-viewer-128.png", sourceDir() / "assets" / "frolix-viewer-128.png" },
        { "frolix-viewer-256.png", sourceDir() / "assets" / "frolix-viewer-256.png" },
        { "Frolix1.state", sourceDir() / "window" / "Frolix1.state" },
    };
    for (const auto& [name, committed] : files) {
        auto made = readFile(dir / name);
        auto stored = readFile(committed);
        ASSERT_FALSE(stored.empty()) << committed;
        EXPECT_EQ(made.size(), stored.size()) << name;
        auto mismatch = std::mismatch(made.begin(), made.end(), stored.begin(), stored.end());
        EXPECT_TRUE(mismatch.first == made.end() && mismatch.second == stored.end())
            << name << " first differs at offset " << (mismatch.first - made.begin());
    }
    std::filesystem::remove_all(dir);
}

// --- sky.bmp -------------------------------------------------------------------------

// Little-endian fields as (offset, bytes, value).
struct Field {
    std::size_t offset, size;
    std::uint32_t value;
};

void expectFields(const std::vector<std::uint8_t>& data, std::size_t base, std::initializer_list<Field> fields)
{
    for (const Field& f : fields)
        EXPECT_EQ(f.size == 1 ? data[base + f.offset]
                : f.size == 2 ? u16At(data, base + f.offset)
                              : u32At(data, base + f.offset),
            f.value)
            << "field at offset " << base + f.offset;
}

TEST(SkyBitmap, HeaderDescribesAn8BitBottomUpImageWith65Colours)
{
    auto bmp = readFile(sourceDir() / "assets" / "sky.bmp");
    ASSERT_EQ(bmp.size(), 14u + 40u + 65u * 4u + 640u * 480u);
    // Signature, file size, reserved, pixel offset; then the info header: size, width,
    // height (positive: bottom-up), planes, bits, BI_RGB, image size, resolution, colours.
    expectFields(bmp, 0,
        { { 0, 2, 'B' | 'M' << 8 }, { 2, 4, 307514 }, { 6, 4, 0 }, { 10, 4, 314 }, { 14, 4, 40 }, { 18, 4, 640 },
            { 22, 4, 480 }, { 26, 2, 1 }, { 28, 2, 8 }, { 30, 4, 0 }, { 34, 4, 307200 }, { 38, 4, 3790 },
            { 42, 4, 3780 }, { 46, 4, 65 }, { 50, 4, 65 } });
}

struct SkyPixels {
    std::vector<std::array<int, 3>> rgb; // top-down, row-major
    int at(int x, int y, int channel) const { return rgb[std::size_t(y) * 640 + std::size_t(x)][std::size_t(channel)]; }
};

SkyPixels readSky()
{
    auto bmp = readFile(sourceDir() / "assets" / "sky.bmp");
    SkyPixels sky;
    sky.rgb.resize(640 * 480);
    for (int row = 0; row < 480; ++row) {
        for (int x = 0; x < 640; ++x) {
            std::uint8_t index = bmp[314 + std::size_t(row) * 640 + std::size_t(x)];
            EXPECT_LT(index, 65) << "pixel outside the colour table";
            std::size_t entry = 54 + std::size_t(index) * 4; // blue, green, red, 0
            sky.rgb[std::size_t(479 - row) * 640 + std::size_t(x)] = { bmp[entry + 2], bmp[entry + 1], bmp[entry] };
        }
    }
    return sky;
}

TEST(SkyBitmap, LooksLikeALightBlueSkyWithClouds)
{
    auto sky = readSky();
    double sum[3] = {};
    std::size_t cloudy = 0;
    for (const auto& pixel : sky.rgb) {
        for (int c = 0; c < 3; ++c)
            sum[c] += pixel[std::size_t(c)];
        if (std::min({ pixel[0], pixel[1], pixel[2] }) >= 225)
            ++cloudy;
    }
    const double target[3] = { 159, 197, 227 };
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(sum[c] / double(sky.rgb.size()), target[c], 3.0) << "channel " << c;

    // Clouds: a real share of near-white pixels, but mostly open sky.
    double cloudShare = double(cloudy) / double(sky.rgb.size());
    EXPECT_GT(cloudShare, 0.05);
    EXPECT_LT(cloudShare, 0.5);

    // The sky is deepest at the top: the clear-sky pixels of the top rows are darker
    // than those of the bottom rows. (This also fails if the rows were stored top-down.)
    auto clearRed = [&](int firstRow) {
        double total = 0;
        int count = 0;
        for (int y = firstRow; y < firstRow + 40; ++y)
            for (int x = 0; x < 640; ++x)
                if (sky.at(x, y, 2) - sky.at(x, y, 0) > 40) { // blue well above red: not cloud
                    total += sky.at(x, y, 0);
                    ++count;
                }
        return count ? total / count : 0.0;
    };
    EXPECT_LT(clearRed(0) + 30, clearRed(440));
}

// --- logo.gif ------------------------------------------------------------------------

bool isPatchFrame(int number) { return (number >= 2 && number <= 9) || number >= 17; }

TEST(LogoGif, StructureReadsBackWithOurScanner)
{
    auto bytes = committedLogo();
    ASSERT_EQ(bytes.size(), 11437u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "GIF89a");
    expectFields(bytes, 10, { { 0, 1, 0xF7 }, { 1, 1, 0 }, { 2, 1, 0 } }); // 256 global colours, background, aspect
    EXPECT_EQ(bytes.back(), 0x3B);

    auto scanned = frolix::gif::scan(bytes);
    ASSERT_TRUE(scanned.ok()) << scanned.error().message;
    const auto& info = scanned.value();
    EXPECT_EQ(std::tuple(info.width, info.height, info.isGif87a, info.warnings.size(), info.storedLoopCount),
        std::tuple(std::uint16_t(96), std::uint16_t(56), false, std::size_t(0), std::optional<std::uint16_t>(1000)));
    ASSERT_EQ(info.images.size(), 22u);
    for (int number = 1; number <= 22; ++number) {
        const auto& image = info.images[std::size_t(number - 1)];
        // Full frames, or a patch over the glint at the right, all alike.
        auto rect = isPatchFrame(number) ? std::tuple(69, 20, 23, 21) : std::tuple(0, 0, 96, 56);
        EXPECT_EQ(std::tuple(int(image.left), int(image.top), int(image.width), int(image.height)), rect) << number;
        EXPECT_TRUE(image.hasGraphicControl && image.delayCs == 2 && image.disposal == frolix::gif::Disposal::None
            && !image.transparentIndex && !image.interlaced && image.minCodeSize == 8 && image.paletteOffset == 13)
            << "frame " << number;
    }
}

TEST(LogoGif, NamesEachFramesSourceFile)
{
    auto bytes = committedLogo();
    const std::vector<std::uint8_t> id = { 0x21, 0xFF, 11, 'G', 'I', 'F', 'C', 'O', 'N', 'n', 'b', '1', '.', '0' };
    auto at = std::size_t(std::search(bytes.begin(), bytes.end(), id.begin(), id.end()) - bytes.begin()) + id.size();
    std::vector<std::string> names;
    for (; at < bytes.size() && bytes[at] != 0; at += 1 + bytes[at])
        names.emplace_back(bytes.begin() + std::ptrdiff_t(at + 1), bytes.begin() + std::ptrdiff_t(at + 1 + bytes[at]));
    ASSERT_EQ(names.size(), 22u);
    EXPECT_EQ(
        std::tuple(names[0], names[1], names[9], names[21]), std::tuple("01.gif", "02b.gif", "10b.gif", "22b.gif"));
}

// Pixels of `frame` that differ from `base`: how many, their mean x, and whether every
// one of them got lighter.
std::tuple<std::size_t, double, bool> differenceFrom(
    std::span<const std::uint8_t> base, std::span<const std::uint8_t> frame)
{
    std::size_t count = 0;
    double sumX = 0;
    bool brighter = true;
    for (std::size_t at = 0; at < base.size(); at += 4) {
        if (std::equal(&base[at], &base[at] + 4, &frame[at]))
            continue;
        ++count;
        sumX += double(at / 4 % 96);
        brighter = brighter && frame[at] + frame[at + 1] + frame[at + 2] > base[at] + base[at + 1] + base[at + 2];
    }
    return { count, count ? sumX / double(count) : 0.0, brighter };
}

TEST(LogoGif, ComposedFramesShowAGlintAndAHighlightSweepingAcross)
{
    auto loaded = frolix::GifAnimation::fromBytes(committedLogo());
    ASSERT_TRUE(loaded.ok()) << loaded.error().message;
    auto& animation = *loaded.value();
    ASSERT_EQ(animation.frameCount(), 22);
    std::vector<std::vector<std::uint8_t>> frames(23);
    for (int number = 1; number <= 22; ++number) {
        auto pixels = animation.frame(number);
        frames[std::size_t(number)].assign(pixels.begin(), pixels.end());
    }
    EXPECT_TRUE(animation.warnings().empty());
    for (std::size_t at = 3; at < frames[1].size(); at += 4)
        ASSERT_EQ(frames[1][at], 255) << "the logo has no transparency";
    // Frames 10-16: a band of light moving left to right, starting at the left.
    double previousX = -1;
    for (int number = 10; number <= 16; ++number) {
        auto [count, meanX, brighter] = differenceFrom(frames[1], frames[std::size_t(number)]);
        EXPECT_TRUE(count > 20 && brighter && meanX > previousX + 5 && (number > 10 || meanX < 30))
            << "frame " << number;
        previousX = meanX;
    }
    // The glint in the patch grows and shrinks, lighter than the logo under it.
    for (int number : { 3, 4, 5, 6, 7, 18, 19, 20 }) {
        auto [count, meanX, brighter] = differenceFrom(frames[1], frames[std::size_t(number)]);
        EXPECT_TRUE(count > 5 && brighter && meanX >= 69) << "frame " << number;
        EXPECT_NE(frames[std::size_t(number)], frames[std::size_t(number + 1)]) << "frame " << number;
    }
    EXPECT_EQ(frames[22], frames[1]) << "the last frame hands over to the first without a jump";
}

// --- frolix.ico ------------------------------------------------------------------

TEST(Icon, DirectoryListsThreeClassicImages)
{
    auto ico = readFile(sourceDir() / "assets" / "frolix.ico");
    ASSERT_GE(ico.size(), 6u + 3u * 16u);
    expectFields(ico, 0, { { 0, 2, 0 }, { 2, 2, 1 }, { 4, 2, 3 } }); // an icon of three images
    std::size_t nextOffset = 6 + 3 * 16;
    for (auto [i, side, colours, bits] :
        { std::tuple(0, 32, 2, 1), std::tuple(1, 32, 16, 4), std::tuple(2, 16, 16, 4) }) {
        SCOPED_TRACE("image " + std::to_string(i));
        const std::size_t entry = 6 + std::size_t(i) * 16, offset = u32At(ico, entry + 12),
                          bytes = u32At(ico, entry + 8);
        const std::size_t colourRow = std::size_t((side * bits + 31) / 32 * 4),
                          maskRow = std::size_t((side + 31) / 32 * 4);
        expectFields(ico, entry,
            { { 0, 1, std::uint32_t(side) }, { 1, 1, std::uint32_t(side) }, { 2, 1, std::uint32_t(colours) },
                { 3, 1, 0 }, { 4, 2, 1 }, { 6, 2, std::uint32_t(bits) } });
        EXPECT_EQ(offset, nextOffset) << "images follow one another";
        ASSERT_LE(offset + bytes, ico.size());
        nextOffset = offset + bytes;
        // A DIB header with the height doubled for the mask, the colour table, the colour
        // rows and the 1-bit mask rows, each row 4-aligned.
        expectFields(ico, offset,
            { { 0, 4, 40 }, { 4, 4, std::uint32_t(side) }, { 8, 4, std::uint32_t(2 * side) }, { 12, 2, 1 },
                { 14, 2, std::uint32_t(bits) }, { 16, 4, 0 } });
        EXPECT_EQ(bytes, 40 + 4 * std::size_t(colours) + (colourRow + maskRow) * std::size_t(side));
        // The emblem does not fill the square: some pixels are masked out, most are not.
        std::size_t maskStart = offset + 40 + 4 * std::size_t(colours) + colourRow * std::size_t(side), masked = 0;
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
                masked += (ico[maskStart + std::size_t(y) * maskRow + std::size_t(x / 8)] >> (7 - x % 8)) & 1;
        EXPECT_GT(masked, 0u);
        EXPECT_LT(masked, std::size_t(side * side / 2));
    }
    EXPECT_EQ(nextOffset, ico.size());
}

} // namespace
