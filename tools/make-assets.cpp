// make-assets OUTDIR: writes the project's binary assets, all drawn procedurally so
// that they can be regenerated and checked byte for byte:
//   sky.bmp                 640 x 480 8-bit BMP, a sky with clouds (a backdrop)
//   logo.gif                96 x 56 animated logo, 22 frames, exactly 11,437 bytes
//   frolix.ico              the application icon, three images
//   frolix-viewer-N.png     the same emblem for the icon theme, N = 16 ... 256
//   frolix-viewer.desktop   the desktop entry
//   Frolix1.state           the component's start-up state block holding logo.gif
// Copy all but the state block to assets/ and the state block to window/. The output depends on
// nothing but this file: no clock, no random device, and no libm calls whose last bit
// could change between library versions.

#include "ByteWriter.h"
#include "GifBuilder.h"
#include "StateBlock.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using frolix::putText;
using frolix::putU16;
using frolix::putU32;
using frolix::putU8;

struct Rgb {
    double r = 0, g = 0, b = 0;
};

Rgb mix(Rgb a, Rgb b, double t) { return { a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t }; }
std::uint8_t channel(double value) { return std::uint8_t(std::clamp(int(value + 0.5), 0, 255)); }

double smoothstep(double edge0, double edge1, double x)
{
    double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

// 4 x 4 ordered-dither thresholds in (0, 1): hides the steps of a small palette.
double bayer(int x, int y)
{
    static constexpr int matrix[4][4] = { { 0, 8, 2, 10 }, { 12, 4, 14, 6 }, { 3, 11, 1, 9 }, { 15, 7, 13, 5 } };
    return (matrix[y & 3][x & 3] + 0.5) / 16.0;
}

// Integer hash to [0, 1): the lattice values of the cloud noise.
double latticeValue(int x, int y, int octave)
{
    std::uint32_t h
        = std::uint32_t(x) * 0x8DA6B343u ^ std::uint32_t(y) * 0xD8163841u ^ std::uint32_t(octave) * 0xCB1AB31Fu;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return (h & 0xFFFFFF) / double(0x1000000);
}

double valueNoise(double x, double y, int octave)
{
    int ix = int(std::floor(x)), iy = int(std::floor(y));
    double fx = x - ix, fy = y - iy;
    double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    double top = latticeValue(ix, iy, octave) + (latticeValue(ix + 1, iy, octave) - latticeValue(ix, iy, octave)) * sx;
    double bottom = latticeValue(ix, iy + 1, octave)
        + (latticeValue(ix + 1, iy + 1, octave) - latticeValue(ix, iy + 1, octave)) * sx;
    return top + (bottom - top) * sy;
}

// ---------------------------------------------------------------------------------
// sky.bmp

constexpr int kSkyWidth = 640, kSkyHeight = 480;
constexpr int kSkyShades = 13, kCloudLevels = 5; // 65 palette entries
constexpr Rgb kSkyTop { 90, 152, 205 }, kSkyHorizon { 172, 208, 231 }, kCloudWhite { 252, 253, 255 };

Bytes makeSky()
{
    // Palette: each vertical sky shade mixed towards cloud white in even steps.
    std::vector<Rgb> palette;
    for (int shade = 0; shade < kSkyShades; ++shade)
        for (int level = 0; level < kCloudLevels; ++level)
            palette.push_back(mix(mix(kSkyTop, kSkyHorizon, shade / double(kSkyShades - 1)), kCloudWhite,
                level / double(kCloudLevels - 1)));

    std::vector<std::uint8_t> pixels(std::size_t(kSkyWidth) * kSkyHeight); // top-down here
    for (int y = 0; y < kSkyHeight; ++y) {
        double v = y / double(kSkyHeight - 1);
        for (int x = 0; x < kSkyWidth; ++x) {
            // Wide, flat cloud banks: the noise is stretched horizontally.
            double fbm = 0, amplitude = 0.5, total = 0;
            double nx = x / 150.0, ny = y / 70.0;
            for (int octave = 0; octave < 5; ++octave) {
                fbm += amplitude * valueNoise(nx, ny, octave);
                total += amplitude;
                nx *= 2.03;
                ny *= 2.03;
                amplitude *= 0.5;
            }
            fbm /= total;
            // Fewer clouds towards the horizon, so the gradient reads as depth.
            double cover = smoothstep(0.52, 0.74, fbm + 0.06 * (0.5 - v));
            int shade = std::min(kSkyShades - 1, int(v * (kSkyShades - 1) + bayer(x, y)));
            int level = std::min(kCloudLevels - 1, int(cover * (kCloudLevels - 1) + bayer(x + 2, y + 1)));
            pixels[std::size_t(y) * kSkyWidth + x] = std::uint8_t(shade * kCloudLevels + level);
        }
    }

    constexpr std::uint32_t paletteBytes = kSkyShades * kCloudLevels * 4;
    constexpr std::uint32_t pixelOffset = 14 + 40 + paletteBytes;
    constexpr std::uint32_t pixelBytes = kSkyWidth * kSkyHeight; // rows are already 4-aligned
    Bytes out;
    putText(out, "BM");
    putU32(out, pixelOffset + pixelBytes);
    putU32(out, 0);
    putU32(out, pixelOffset);
    putU32(out, 40);
    putU32(out, kSkyWidth);
    putU32(out, kSkyHeight); // positive: bottom-up rows
    putU16(out, 1);
    putU16(out, 8);
    putU32(out, 0); // BI_RGB
    putU32(out, pixelBytes);
    putU32(out, 3790);
    putU32(out, 3780);
    putU32(out, kSkyShades * kCloudLevels);
    putU32(out, kSkyShades * kCloudLevels);
    for (const Rgb& colour : palette) {
        putU8(out, channel(colour.b));
        putU8(out, channel(colour.g));
        putU8(out, channel(colour.r));
        putU8(out, 0);
    }
    for (int y = kSkyHeight - 1; y >= 0; --y)
        out.insert(out.end(), pixels.begin() + std::ptrdiff_t(y) * kSkyWidth,
            pixels.begin() + std::ptrdiff_t(y + 1) * kSkyWidth);
    return out;
}

// ---------------------------------------------------------------------------------
// logo.gif

constexpr int kLogoWidth = 96, kLogoHeight = 56;
constexpr int kPatchLeft = 69, kPatchTop = 20, kPatchWidth = 23, kPatchHeight = 21;
constexpr int kLogoFrames = 22;
constexpr std::size_t kLogoBytes = 11437;
constexpr std::uint16_t kLogoLoopCount = 1000;
constexpr std::uint16_t kLogoDelayCs = 2;

// Palette index = base * 8 + level: eight ever lighter versions of 32 base colours,
// so a highlight only raises the level and keeps the hue of what it passes over.
constexpr int kLevels = 8;
constexpr int kBackgroundBases = 8; // bases 0-7: the backdrop, top to bottom
constexpr int kShadowBase = 8, kOutlineBase = 9, kFillBase = 10, kFillShades = 16;
constexpr int kStarBase = 26;
constexpr int kBackdropStars = 3;

std::array<Rgb, 256> logoPalette()
{
    std::array<Rgb, 32> bases;
    for (int i = 0; i < kBackgroundBases; ++i)
        bases[std::size_t(i)] = mix(Rgb { 34, 44, 104 }, Rgb { 12, 16, 46 }, i / double(kBackgroundBases - 1));
    bases[kShadowBase] = { 6, 8, 26 };
    bases[kOutlineBase] = { 84, 34, 12 };
    for (int i = 0; i < kFillShades; ++i)
        bases[std::size_t(kFillBase + i)]
            = mix(Rgb { 255, 232, 120 }, Rgb { 230, 104, 28 }, i / double(kFillShades - 1));
    bases[kStarBase] = { 150, 170, 230 };
    for (std::size_t i = kStarBase + 1; i < bases.size(); ++i) // spare entries: a grey ramp
        bases[i] = { 40.0 * double(i - kStarBase), 40.0 * double(i - kStarBase), 40.0 * double(i - kStarBase) };
    std::array<Rgb, 256> palette;
    for (std::size_t base = 0; base < bases.size(); ++base)
        for (int level = 0; level < kLevels; ++level)
            palette[base * kLevels + std::size_t(level)]
                = mix(bases[base], Rgb { 255, 255, 250 }, 0.88 * level / (kLevels - 1));
    return palette;
}

// A 7-row pixel font for the letters of the name; '#' is ink.
struct Glyph {
    int width;
    const char* rows[7];
};
constexpr Glyph kGlyphF { 5, { "#####", "#....", "#....", "####.", "#....", "#....", "#...." } };
constexpr Glyph kGlyphR { 4, { "....", "....", "#.##", "##..", "#...", "#...", "#..." } };
constexpr Glyph kGlyphO { 4, { "....", "....", ".##.", "#..#", "#..#", "#..#", ".##." } };
constexpr Glyph kGlyphL { 3, { "##.", ".#.", ".#.", ".#.", ".#.", ".#.", ".##" } };
constexpr Glyph kGlyphI { 3, { ".#.", "...", "##.", ".#.", ".#.", ".#.", "###" } };
constexpr Glyph kGlyphX { 5, { ".....", ".....", "#...#", ".#.#.", "..#..", ".#.#.", "#...#" } };
constexpr int kFontScale = 3;
constexpr int kTextLeft = 4, kTextTop = 17;

// What each pixel of the still logo is made of.
struct LogoPixel {
    int base = 0;
    bool ink = false;
};

std::vector<LogoPixel> stillLogo()
{
    std::vector<bool> ink(std::size_t(kLogoWidth) * kLogoHeight, false);
    int left = kTextLeft;
    for (const Glyph* glyph : { &kGlyphF, &kGlyphR, &kGlyphO, &kGlyphL, &kGlyphI, &kGlyphX }) {
        for (int row = 0; row < 7; ++row)
            for (int column = 0; column < glyph->width; ++column)
                if (glyph->rows[row][column] == '#')
                    for (int dy = 0; dy < kFontScale; ++dy)
                        for (int dx = 0; dx < kFontScale; ++dx)
                            ink[std::size_t(kTextTop + row * kFontScale + dy) * kLogoWidth
                                + std::size_t(left + column * kFontScale + dx)]
                                = true;
        left += (glyph->width + 1) * kFontScale;
    }
    auto inkAt = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < kLogoWidth && y < kLogoHeight
            && ink[std::size_t(y) * kLogoWidth + std::size_t(x)];
    };

    std::vector<LogoPixel> logo(ink.size());
    for (int y = 0; y < kLogoHeight; ++y) {
        for (int x = 0; x < kLogoWidth; ++x) {
            LogoPixel& pixel = logo[std::size_t(y) * kLogoWidth + std::size_t(x)];
            bool nearInk = false;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    nearInk = nearInk || inkAt(x + dx, y + dy);
            if (inkAt(x, y)) {
                pixel.ink = true;
                // One shade per font row: rows of equal pixels keep the frames small.
                pixel.base = kFillBase + (y - kTextTop) / kFontScale * (kFillShades - 1) / 6;
            } else if (nearInk) {
                pixel.base = kOutlineBase;
            } else if (inkAt(x - 2, y - 2) || inkAt(x - 1, y - 2) || inkAt(x - 2, y - 1)) {
                pixel.base = kShadowBase;
            } else {
                pixel.base = std::min(kBackgroundBases - 1, y * kBackgroundBases / kLogoHeight);
            }
        }
    }
    // A few faint stars in the backdrop, placed by hash in the bands above and below
    // the text so that none sits inside a letter.
    for (int star = 0; star < kBackdropStars; ++star) {
        int x = int(latticeValue(star, 1, 99) * kLogoWidth);
        int y = int(latticeValue(star, 2, 99) * 28);
        if (y >= 14)
            y += 28;
        LogoPixel& pixel = logo[std::size_t(y) * kLogoWidth + std::size_t(x)];
        if (pixel.base < kBackgroundBases)
            pixel.base = kStarBase;
    }
    return logo;
}

// The highlight of one frame: a diagonal band across the letters (frames 10-17) and a
// four-pointed glint at the right (frames 2-9 and 17-22). 0 means none.
constexpr double kBandCentre[kLogoFrames + 1]
    = { 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 8, 20, 32, 44, 56, 68, 80, 92, 0, 0, 0, 0, 0 };
constexpr double kGlintSize[kLogoFrames + 1]
    = { 0, 0, 1.5, 3, 4.5, 6, 7, 5, 3, 0, 0, 0, 0, 0, 0, 0, 0, 2, 4, 6, 4, 2, 0 };
constexpr double kGlintX = 84.5, kGlintY = 26.5;
constexpr double kBandHalfWidth = 6;

double highlight(int frame, int x, int y, bool ink)
{
    double amount = 0;
    if (ink && kBandCentre[frame] != 0) {
        double along = x + 0.5 * (y - 28) - kBandCentre[frame];
        amount = std::max(amount, 1 - std::abs(along) / kBandHalfWidth);
    }
    if (double size = kGlintSize[frame]; size > 0) {
        double dx = std::abs(x + 0.5 - kGlintX), dy = std::abs(y + 0.5 - kGlintY);
        double arms = std::max(std::max(0.0, 1 - dx / size) * std::max(0.0, 1 - dy / 1.1),
            std::max(0.0, 1 - dy / size) * std::max(0.0, 1 - dx / 1.1));
        double core = std::max(0.0, 1 - (dx + dy) / (0.45 * size + 1));
        amount = std::max(amount, std::max(arms, core));
    }
    return std::clamp(amount, 0.0, 1.0);
}

std::vector<std::uint8_t> logoFrame(const std::vector<LogoPixel>& logo, int frame)
{
    std::vector<std::uint8_t> indices(logo.size());
    for (int y = 0; y < kLogoHeight; ++y) {
        for (int x = 0; x < kLogoWidth; ++x) {
            const LogoPixel& pixel = logo[std::size_t(y) * kLogoWidth + std::size_t(x)];
            int level = std::min(kLevels - 1, int(highlight(frame, x, y, pixel.ink) * (kLevels - 1) + 0.5));
            indices[std::size_t(y) * kLogoWidth + std::size_t(x)] = std::uint8_t(pixel.base * kLevels + level);
        }
    }
    return indices;
}

bool isFullFrame(int frame) { return frame == 1 || (frame >= 10 && frame <= 16); }

std::string frameSourceName(int frame)
{
    char name[16];
    std::snprintf(name, sizeof name, frame == 1 ? "%02d.gif" : "%02db.gif", frame);
    return name;
}

Bytes makeLogo()
{
    std::vector<frolix::test::Rgb> palette;
    for (const Rgb& colour : logoPalette())
        palette.push_back({ channel(colour.r), channel(colour.g), channel(colour.b) });
    frolix::test::GifBuilder gif(kLogoWidth, kLogoHeight, palette);
    gif.loop(kLogoLoopCount);

    // The frames' source file names, for whoever edits the logo next: one data
    // sub-block per frame in frame order, each holding the bare ASCII name (its
    // sub-block size is the name's length, no terminator).
    Bytes names { 0x21, 0xFF, 11 };
    putText(names, "GIFCONnb1.0");
    for (int frame = 1; frame <= kLogoFrames; ++frame) {
        std::string name = frameSourceName(frame);
        putU8(names, unsigned(name.size()));
        putText(names, name);
    }
    putU8(names, 0);
    gif.raw(names);

    const auto logo = stillLogo();
    for (int frame = 1; frame <= kLogoFrames; ++frame) {
        auto full = logoFrame(logo, frame);
        int left = 0, top = 0, width = kLogoWidth, height = kLogoHeight;
        if (!isFullFrame(frame)) {
            left = kPatchLeft, top = kPatchTop, width = kPatchWidth, height = kPatchHeight;
        }
        // A patch frame only repaints its rectangle, so the frame before it must
        // differ from the still logo nowhere else.
        if (frame < kLogoFrames && !isFullFrame(frame + 1)) {
            auto still = logoFrame(logo, 1);
            for (int y = 0; y < kLogoHeight; ++y)
                for (int x = 0; x < kLogoWidth; ++x)
                    if ((x < kPatchLeft || x >= kPatchLeft + kPatchWidth || y < kPatchTop
                            || y >= kPatchTop + kPatchHeight)
                        && full[std::size_t(y) * kLogoWidth + std::size_t(x)]
                            != still[std::size_t(y) * kLogoWidth + std::size_t(x)])
                        throw std::runtime_error("logo frame " + std::to_string(frame)
                            + " has a highlight outside the patch at " + std::to_string(x) + "," + std::to_string(y));
        }
        std::vector<std::uint8_t> pixels;
        for (int y = top; y < top + height; ++y)
            for (int x = left; x < left + width; ++x)
                pixels.push_back(full[std::size_t(y) * kLogoWidth + std::size_t(x)]);
        gif.control({ .delayCs = kLogoDelayCs });
        gif.image({ .left = std::uint16_t(left),
            .top = std::uint16_t(top),
            .width = std::uint16_t(width),
            .height = std::uint16_t(height),
            .indices = pixels });
    }

    // The file has a fixed size (the state block that embeds it has one too); a
    // comment makes up the difference.
    const std::string note = "Frolix logo";
    std::size_t spare = kLogoBytes - 1 - gif.size();
    if (gif.size() + 1 > kLogoBytes || spare < 4 + note.size() || spare > 4 + 255)
        throw std::runtime_error(
            "logo.gif is " + std::to_string(gif.size() + 1) + " bytes before padding; adjust the picture");
    gif.comment(note + std::string(spare - 4 - note.size(), ' '));
    return gif.bytes();
}

// ---------------------------------------------------------------------------------
// frolix.ico

// The icon's own 16 colours; index 0 doubles as "transparent" under the mask.
constexpr std::array<Rgb, 16> kIconPalette = { {
    { 0, 0, 0 },
    { 38, 38, 46 },
    { 70, 72, 84 },
    { 128, 130, 140 },
    { 200, 202, 210 },
    { 255, 255, 255 },
    { 20, 30, 90 },
    { 40, 70, 170 },
    { 110, 150, 230 },
    { 230, 160, 30 },
    { 255, 215, 60 },
    { 255, 245, 180 },
    { 120, 0, 0 },
    { 0, 120, 0 },
    { 0, 120, 120 },
    { 120, 0, 120 },
} };
enum IconColour {
    kTransparent = -1,
    kBlack = 0,
    kFilm = 1,
    kFilmEdge = 2,
    kHole = 4,
    kWhite = 5,
    kSkyMid = 7,
    kSkyLight = 8,
    kGold = 9,
    kYellow = 10,
    kPale = 11
};

// A film frame (sprocket holes down both sides) with a sparkle in its window, drawn on
// a 32-unit grid and sampled at the icon's size.
std::vector<int> iconEmblem(int size)
{
    std::vector<int> pixels(std::size_t(size) * size, kTransparent);
    double unit = 32.0 / size;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            double u = (x + 0.5) * unit, v = (y + 0.5) * unit;
            int colour = kTransparent;
            if (u > 2 && u < 30 && v > 3 && v < 29) {
                bool edge = u < 2 + unit || u > 30 - unit || v < 3 + unit || v > 29 - unit;
                colour = edge ? kFilmEdge : kFilm;
                bool inStrip = u < 8 || u > 24;
                double holeV = std::fmod(v - 4.5, 5.0);
                if (inStrip && v > 4.5 && v < 27.5 && holeV < 2.6 && std::abs(u - (u < 16 ? 5 : 27)) < 1.4)
                    colour = kHole;
                if (u > 9 && u < 23 && v > 6 && v < 26)
                    colour = v < 19 ? kSkyMid : kSkyLight;
                // A four-pointed star: sqrt(dx) + sqrt(dy) < r bounds a shape whose
                // points taper to the axes.
                double dx = std::abs(u - 16), dy = std::abs(v - 16);
                double star = std::sqrt(dx) + std::sqrt(dy);
                if (dx + dy < 3.2)
                    colour = kPale;
                else if (star < 2.7)
                    colour = kYellow;
                else if (star < 3.3)
                    colour = kGold;
            }
            pixels[std::size_t(y) * size + std::size_t(x)] = colour;
        }
    }
    return pixels;
}

Bytes iconImage(int size, int bitsPerPixel)
{
    auto emblem = iconEmblem(size);
    const int colours = 1 << bitsPerPixel;
    const std::size_t xorStride = std::size_t((size * bitsPerPixel + 31) / 32 * 4);
    const std::size_t andStride = std::size_t((size + 31) / 32 * 4);
    Bytes out;
    putU32(out, 40);
    putU32(out, std::uint32_t(size));
    putU32(out, std::uint32_t(size * 2)); // the colour bitmap and the mask stacked
    putU16(out, 1);
    putU16(out, unsigned(bitsPerPixel));
    putU32(out, 0);
    putU32(out, std::uint32_t((xorStride + andStride) * std::size_t(size)));
    putU32(out, 0);
    putU32(out, 0);
    putU32(out, 0);
    putU32(out, 0);
    if (colours == 2) {
        putU32(out, 0x00000000);
        putU32(out, 0x00FFFFFF);
    } else {
        for (const Rgb& colour : kIconPalette) {
            putU8(out, channel(colour.b));
            putU8(out, channel(colour.g));
            putU8(out, channel(colour.r));
            putU8(out, 0);
        }
    }
    // One bit: black film, white holes, window and sparkle.
    auto mono
        = [](int colour) { return colour == kHole || colour == kPale || colour == kYellow || colour == kGold ? 1 : 0; };
    Bytes mask;
    for (int y = size - 1; y >= 0; --y) {
        Bytes colourRow(xorStride, 0), maskRow(andStride, 0);
        for (int x = 0; x < size; ++x) {
            int colour = emblem[std::size_t(y) * size + std::size_t(x)];
            if (colour == kTransparent) {
                maskRow[std::size_t(x / 8)] |= std::uint8_t(0x80 >> (x % 8));
                continue;
            }
            if (bitsPerPixel == 1)
                colourRow[std::size_t(x / 8)] |= std::uint8_t(mono(colour) << (7 - x % 8));
            else
                colourRow[std::size_t(x / 2)] |= std::uint8_t(colour << (x % 2 == 0 ? 4 : 0));
        }
        out.insert(out.end(), colourRow.begin(), colourRow.end());
        mask.insert(mask.end(), maskRow.begin(), maskRow.end());
    }
    out.insert(out.end(), mask.begin(), mask.end());
    return out;
}

Bytes makeIcon()
{
    struct Entry {
        int size, bitsPerPixel;
    };
    const Entry entries[] = { { 32, 1 }, { 32, 4 }, { 16, 4 } };
    std::vector<Bytes> images;
    for (const Entry& entry : entries)
        images.push_back(iconImage(entry.size, entry.bitsPerPixel));

    Bytes out;
    putU16(out, 0);
    putU16(out, 1); // icon, not cursor
    putU16(out, unsigned(images.size()));
    std::uint32_t offset = 6 + 16 * std::uint32_t(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        putU8(out, unsigned(entries[i].size));
        putU8(out, unsigned(entries[i].size));
        putU8(out, 1u << entries[i].bitsPerPixel);
        putU8(out, 0);
        putU16(out, 1);
        putU16(out, unsigned(entries[i].bitsPerPixel));
        putU32(out, std::uint32_t(images[i].size()));
        putU32(out, offset);
        offset += std::uint32_t(images[i].size());
    }
    for (const Bytes& image : images)
        out.insert(out.end(), image.begin(), image.end());
    return out;
}

// ---------------------------------------------------------------------------------
// frolix-viewer-N.png: the icon's emblem for the desktop's icon theme, sampled at each
// size from the same grid, so 16 and 32 are the icon's 16-colour images pixel for pixel.
// 4-bit indexed with the icon's palette; index 0 (black, which the emblem never uses)
// is the transparent one, as under the icon's mask. The pixel data goes in stored
// deflate blocks: no compressor to depend on, and the largest is still 33 KiB.

constexpr int kIconThemeSizes[] = { 16, 32, 48, 64, 128, 256 };

void putU32BigEndian(Bytes& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        putU8(out, (value >> shift) & 0xFF);
}

std::uint32_t crc32(const Bytes& bytes, std::size_t from)
{
    std::uint32_t crc = 0xFFFFFFFF;
    for (std::size_t i = from; i < bytes.size(); ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320 & (0u - (crc & 1)));
    }
    return ~crc;
}

void putPngChunk(Bytes& out, const char* type, const Bytes& data)
{
    putU32BigEndian(out, std::uint32_t(data.size()));
    const std::size_t start = out.size();
    putText(out, type);
    out.insert(out.end(), data.begin(), data.end());
    putU32BigEndian(out, crc32(out, start));
}

Bytes storedZlib(const Bytes& raw)
{
    Bytes out { 0x78, 0x01 };
    std::size_t at = 0;
    do {
        const std::size_t length = std::min<std::size_t>(raw.size() - at, 65535);
        putU8(out, at + length == raw.size() ? 1 : 0); // last block?, stored
        putU16(out, unsigned(length));
        putU16(out, unsigned(~length & 0xFFFF));
        out.insert(out.end(), raw.begin() + std::ptrdiff_t(at), raw.begin() + std::ptrdiff_t(at + length));
        at += length;
    } while (at < raw.size());
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    putU32BigEndian(out, b << 16 | a);
    return out;
}

Bytes makeIconPng(int size)
{
    auto emblem = iconEmblem(size);
    Bytes header;
    putU32BigEndian(header, std::uint32_t(size));
    putU32BigEndian(header, std::uint32_t(size));
    header.insert(header.end(), { 4, 3, 0, 0, 0 }); // 4 bits, indexed, deflate, no filter choice, not interlaced
    Bytes palette;
    for (const Rgb& colour : kIconPalette)
        palette.insert(palette.end(), { channel(colour.r), channel(colour.g), channel(colour.b) });
    Bytes raw;
    for (int y = 0; y < size; ++y) {
        raw.push_back(0); // filter: none
        for (int x = 0; x < size; x += 2) {
            auto index = [&](int at) {
                int colour = emblem[std::size_t(y) * size + std::size_t(at)];
                if (colour == kBlack)
                    throw std::runtime_error("the emblem uses black, the PNG's transparent index");
                return colour == kTransparent ? 0 : colour;
            };
            raw.push_back(std::uint8_t(index(x) << 4 | index(x + 1)));
        }
    }
    Bytes out { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n' };
    putPngChunk(out, "IHDR", header);
    putPngChunk(out, "PLTE", palette);
    putPngChunk(out, "tRNS", Bytes { 0 });
    putPngChunk(out, "IDAT", storedZlib(raw));
    putPngChunk(out, "IEND", Bytes {});
    return out;
}

// ---------------------------------------------------------------------------------
// frolix-viewer.desktop and Frolix1.state

Bytes makeDesktopEntry()
{
    Bytes out;
    putText(out,
        "[Desktop Entry]\n"
        "Version=1.0\n"
        "Type=Application\n"
        "Name=Frolix viewer\n"
        "Comment=Play animated GIF files\n"
        "Exec=frolix-viewer %f\n"
        "Icon=frolix-viewer\n"
        "Terminal=false\n"
        "Categories=Graphics;Viewer;\n"
        "MimeType=image/gif;\n"
        "Keywords=GIF;animation;animated;player;\n");
    return out;
}

constexpr std::size_t kStateBlockBytes = 23016;

Bytes makeStateBlock(const Bytes& logo)
{
    frolix::DesignState state;
    state.extentWidthHimetric = 13970;
    state.extentHeightHimetric = 6535;
    state.backColor = 0x00FFC0C0;
    state.transparent = true;
    state.autoPlay = true;
    state.startFrame = 1;
    state.stretchMode = frolix::StretchMode::None;
    state.autoSize = false;
    state.sequence = frolix::Sequence::Normal;
    state.picture = frolix::StandardPicture {};
    state.mousePointer = frolix::kMousePointerArrowQuestion;
    state.mouseIcon = frolix::NoObject {};
    state.animation = logo;
    return frolix::writeStateBlock(frolix::stateBlockFrom(state));
}

void writeFile(const std::filesystem::path& path, const Bytes& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!file)
        throw std::runtime_error("cannot write " + path.string());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-assets OUTDIR\n");
        return 2;
    }
    try {
        std::filesystem::path dir(argv[1]);
        std::filesystem::create_directories(dir);
        Bytes logo = makeLogo();
        Bytes state = makeStateBlock(logo);
        if (state.size() != kStateBlockBytes)
            throw std::runtime_error("Frolix1.state is " + std::to_string(state.size()) + " bytes");
        writeFile(dir / "sky.bmp", makeSky());
        writeFile(dir / "logo.gif", logo);
        writeFile(dir / "frolix.ico", makeIcon());
        for (int size : kIconThemeSizes)
            writeFile(dir / ("frolix-viewer-" + std::to_string(size) + ".png"), makeIconPng(size));
        writeFile(dir / "frolix-viewer.desktop", makeDesktopEntry());
        writeFile(dir / "Frolix1.state", state);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make-assets: %s\n", error.what());
        return 1;
    }
    return 0;
}
