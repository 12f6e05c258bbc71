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
#include <map>
#include <sstream>
#include <string>
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

TEST(SkyBitmap, HeaderDescribesAn8BitBottomUpImageWith65Colours)
{
    auto bmp = readFile(sourceDir() / "assets" / "sky.bmp");
    ASSERT_EQ(bmp.size(), 307514u);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(u32At(bmp, 2), 307514u);    // file size
    EXPECT_EQ(u32At(bmp, 6), 0u);         // reserved
    EXPECT_EQ(u32At(bmp, 10), 314u);      // pixel data offset
    EXPECT_EQ(u32At(bmp, 14), 40u);       // BITMAPINFOHEADER
    EXPECT_EQ(std::int32_t(u32At(bmp, 18)), 640);
    EXPECT_EQ(std::int32_t(u32At(bmp, 22)), 480); // positive: stored bottom-up
    EXPECT_EQ(u16At(bmp, 26), 1);         // planes
    EXPECT_EQ(u16At(bmp, 28), 8);         // bits per pixel
    EXPECT_EQ(u32At(bmp, 30), 0u);        // BI_RGB
    EXPECT_EQ(u32At(bmp, 34), 307200u);   // image size
    EXPECT_EQ(u32At(bmp, 38), 3790u);
    EXPECT_EQ(u32At(bmp, 42), 3780u);
    EXPECT_EQ(u32At(bmp, 46), 65u);       // colours used
    EXPECT_EQ(u32At(bmp, 50), 65u);       // colours important
    EXPECT_EQ(14u + 40u + 65u * 4u, 314u);
    EXPECT_EQ(bmp.size() - 314u, 640u * 480u);
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
    EXPECT_EQ(bytes[10], 0xF7) << "global table of 256 entries";
    EXPECT_EQ(bytes[11], 0) << "background index";
    EXPECT_EQ(bytes[12], 0) << "aspect";
    EXPECT_EQ(bytes.back(), 0x3B);

    auto scanned = frolix::gif::scan(bytes);
    ASSERT_TRUE(scanned.ok()) << scanned.error().message;
    const auto& info = scanned.value();
    EXPECT_EQ(info.width, 96);
    EXPECT_EQ(info.height, 56);
    EXPECT_FALSE(info.isGif87a);
    EXPECT_TRUE(info.warnings.empty());
    ASSERT_TRUE(info.storedLoopCount.has_value());
    EXPECT_EQ(*info.storedLoopCount, 1000);
    ASSERT_EQ(info.images.size(), 22u);
    ASSERT_EQ(info.frames.size(), 22u);
    for (int number = 1; number <= 22; ++number) {
        SCOPED_TRACE("frame " + std::to_string(number));
        const auto& image = info.images[std::size_t(number - 1)];
        if (isPatchFrame(number)) {
            EXPECT_EQ(image.left, 69);
            EXPECT_EQ(image.top, 20);
            EXPECT_EQ(image.width, 23);
            EXPECT_EQ(image.height, 21);
        } else {
            EXPECT_EQ(image.left, 0);
            EXPECT_EQ(image.top, 0);
            EXPECT_EQ(image.width, 96);
            EXPECT_EQ(image.height, 56);
        }
        EXPECT_TRUE(image.hasGraphicControl);
        EXPECT_EQ(image.delayCs, 2);
        EXPECT_EQ(image.disposal, frolix::gif::Disposal::None);
        EXPECT_FALSE(image.transparentIndex.has_value());
        EXPECT_FALSE(image.interlaced);
        EXPECT_EQ(image.minCodeSize, 8);
        EXPECT_EQ(image.paletteOffset, 13u) << "every image uses the global table";
        EXPECT_EQ(info.frames[std::size_t(number - 1)].imageCount, 1u);
    }
}

TEST(LogoGif, NamesEachFramesSourceFile)
{
    auto bytes = committedLogo();
    const std::string id = "GIFCONnb1.0";
    auto found = std::search(bytes.begin(), bytes.end(), id.begin(), id.end());
    ASSERT_NE(found, bytes.end());
    std::size_t at = std::size_t(found - bytes.begin());
    ASSERT_EQ(bytes[at - 3], 0x21);
    ASSERT_EQ(bytes[at - 2], 0xFF);
    ASSERT_EQ(bytes[at - 1], 11);
    at += id.size();
    std::vector<std::string> names;
    while (at < bytes.size() && bytes[at] != 0) {
        std::size_t size = bytes[at];
        names.emplace_back(bytes.begin() + std::ptrdiff_t(at + 1), bytes.begin() + std::ptrdiff_t(at + 1 + size));
        at += 1 + size;
    }
    ASSERT_EQ(names.size(), 22u);
    EXPECT_EQ(names[0], "01.gif");
    EXPECT_EQ(names[1], "02b.gif");
    EXPECT_EQ(names[9], "10b.gif");
    EXPECT_EQ(names[21], "22b.gif");
}

struct Difference {
    std::size_t count = 0;
    double meanX = 0;
    int minX = 96, maxX = -1, minY = 56, maxY = -1;
    bool brighter = true; // every changed pixel got lighter
};

Difference differenceFrom(const std::vector<std::uint8_t>& base, const std::vector<std::uint8_t>& frame)
{
    Difference result;
    double sumX = 0;
    for (int y = 0; y < 56; ++y) {
        for (int x = 0; x < 96; ++x) {
            std::size_t at = (std::size_t(y) * 96 + std::size_t(x)) * 4;
            if (std::equal(base.begin() + std::ptrdiff_t(at), base.begin() + std::ptrdiff_t(at + 4), frame.begin() + std::ptrdiff_t(at)))
                continue;
            ++result.count;
            sumX += x;
            result.minX = std::min(result.minX, x);
            result.maxX = std::max(result.maxX, x);
            result.minY = std::min(result.minY, y);
            result.maxY = std::max(result.maxY, y);
            int before = base[at] + base[at + 1] + base[at + 2], after = frame[at] + frame[at + 1] + frame[at + 2];
            result.brighter = result.brighter && after > before;
        }
    }
    result.meanX = result.count ? sumX / double(result.count) : 0;
    return result;
}

TEST(LogoGif, ComposedFramesShowAHighlightSweepingAcross)
{
    auto loaded = frolix::GifAnimation::fromBytes(committedLogo());
    ASSERT_TRUE(loaded.ok()) << loaded.error().message;
    auto& animation = *loaded.value();
    ASSERT_EQ(animation.frameCount(), 22);
    std::vector<std::vector<std::uint8_t>> frames(23);
    for (int number = 1; number <= 22; ++number) {
        auto pixels = animation.frame(number);
        frames[std::size_t(number)].assign(pixels.begin(), pixels.end());
        ASSERT_EQ(frames[std::size_t(number)].size(), 96u * 56u * 4u);
    }
    EXPECT_TRUE(animation.composer().drawWarnings().empty());

    // Every pixel is opaque: the logo has no transparency anywhere.
    for (std::size_t at = 3; at < frames[1].size(); at += 4)
        ASSERT_EQ(frames[1][at], 255);

    // Frames 10-16: a band of light moving left to right over the whole logo.
    double previousX = -1;
    for (int number = 10; number <= 16; ++number) {
        SCOPED_TRACE("frame " + std::to_string(number));
        auto change = differenceFrom(frames[1], frames[std::size_t(number)]);
        EXPECT_GT(change.count, 20u);
        EXPECT_TRUE(change.brighter);
        EXPECT_GT(change.meanX, previousX + 5);
        previousX = change.meanX;
    }
    EXPECT_LT(differenceFrom(frames[1], frames[10]).maxX, 30) << "the sweep starts at the left";

    // The glint frames change only the patch at the right, and visibly.
    for (int number = 2; number <= 22; ++number) {
        if (!isPatchFrame(number))
            continue;
        SCOPED_TRACE("frame " + std::to_string(number));
        auto change = differenceFrom(frames[1], frames[std::size_t(number)]);
        if (change.count == 0)
            continue;
        EXPECT_GE(change.minX, 69);
        EXPECT_LE(change.maxX, 91);
        EXPECT_GE(change.minY, 20);
        EXPECT_LE(change.maxY, 40);
        EXPECT_TRUE(change.brighter);
    }
    for (int number : { 3, 4, 5, 6, 7, 18, 19, 20 })
        EXPECT_GT(differenceFrom(frames[1], frames[std::size_t(number)]).count, 5u) << "frame " << number;
    // The glint grows and shrinks, so neighbouring frames differ.
    for (int number : { 3, 4, 5, 6, 7, 19, 20, 21 })
        EXPECT_NE(frames[std::size_t(number)], frames[std::size_t(number - 1)]) << "frame " << number;
    // The last frame hands over to the first without a jump.
    EXPECT_EQ(frames[22], frames[1]);
}

// --- frolix.ico and the desktop entry ------------------------------------------------

TEST(Icon, DirectoryListsThreeClassicImages)
{
    auto ico = readFile(sourceDir() / "assets" / "frolix.ico");
    ASSERT_GE(ico.size(), 6u + 3u * 16u);
    EXPECT_EQ(u16At(ico, 0), 0);
    EXPECT_EQ(u16At(ico, 2), 1) << "icon, not cursor";
    ASSERT_EQ(u16At(ico, 4), 3);

    struct Expected {
        int size, colours, bitsPerPixel;
    };
    const Expected expected[] = { { 32, 2, 1 }, { 32, 16, 4 }, { 16, 16, 4 } };
    std::size_t nextOffset = 6 + 3 * 16;
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE("image " + std::to_string(i));
        std::size_t entry = 6 + std::size_t(i) * 16;
        const Expected& want = expected[i];
        EXPECT_EQ(ico[entry], want.size);
        EXPECT_EQ(ico[entry + 1], want.size);
        EXPECT_EQ(ico[entry + 2], want.colours);
        EXPECT_EQ(ico[entry + 3], 0);
        EXPECT_EQ(u16At(ico, entry + 4), 1);
        EXPECT_EQ(u16At(ico, entry + 6), want.bitsPerPixel);
        std::uint32_t bytes = u32At(ico, entry + 8), offset = u32At(ico, entry + 12);
        EXPECT_EQ(offset, nextOffset) << "images follow one another";
        ASSERT_LE(std::size_t(offset) + bytes, ico.size());
        nextOffset = offset + bytes;

        // The image itself: a DIB header with the height doubled for the mask, the
        // colour table, the colour rows and the 1-bit mask rows, each row 4-aligned.
        EXPECT_EQ(u32At(ico, offset), 40u);
        EXPECT_EQ(std::int32_t(u32At(ico, offset + 4)), want.size);
        EXPECT_EQ(std::int32_t(u32At(ico, offset + 8)), 2 * want.size);
        EXPECT_EQ(u16At(ico, offset + 12), 1);
        EXPECT_EQ(u16At(ico, offset + 14), want.bitsPerPixel);
        EXPECT_EQ(u32At(ico, offset + 16), 0u);
        std::size_t colourRow = std::size_t((want.size * want.bitsPerPixel + 31) / 32 * 4);
        std::size_t maskRow = std::size_t((want.size + 31) / 32 * 4);
        EXPECT_EQ(bytes, 40 + 4 * std::size_t(want.colours) + (colourRow + maskRow) * std::size_t(want.size));

        // The emblem does not fill the square: some pixels are masked out, most are not.
        std::size_t maskStart = offset + 40 + 4 * std::size_t(want.colours) + colourRow * std::size_t(want.size);
        std::size_t masked = 0;
        for (int y = 0; y < want.size; ++y)
            for (int x = 0; x < want.size; ++x)
                masked += (ico[maskStart + std::size_t(y) * maskRow + std::size_t(x / 8)] >> (7 - x % 8)) & 1;
        EXPECT_GT(masked, 0u);
        EXPECT_LT(masked, std::size_t(want.size * want.size / 2));
    }
    EXPECT_EQ(nextOffset, ico.size());
}

TEST(DesktopEntry, HasTheKeysALauncherNeeds)
{
    auto bytes = readFile(sourceDir() / "assets" / "frolix-viewer.desktop");
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    std::string line;
    ASSERT_TRUE(std::getline(in, line));
    EXPECT_EQ(line, "[Desktop Entry]");
    std::map<std::string, std::string> keys;
    while (std::getline(in, line)) {
        auto equals = line.find('=');
        ASSERT_NE(equals, std::string::npos) << line;
        EXPECT_TRUE(keys.emplace(line.substr(0, equals), line.substr(equals + 1)).second) << "duplicate " << line;
    }
    EXPECT_EQ(keys["Type"], "Application");
    EXPECT_EQ(keys["Version"], "1.0");
    EXPECT_EQ(keys["Name"], "Frolix viewer");
    EXPECT_EQ(keys["Exec"], "frolix-viewer");
    EXPECT_EQ(keys["Icon"], "frolix");
    EXPECT_EQ(keys["Categories"], "Graphics;Viewer;");
}

} // namespace
