#pragma once
// Small files built to cost a reader as much as possible: huge screens, frames that
// expand from a few kilobytes, more frames than the cap, delays of zero.

#include "GifBuilder.h"

#include <functional>
#include <string>
#include <vector>

namespace frolix::bombs {

using test::Bytes;

// One colour for `pixels` pixels at the smallest cost: each code is the previous string
// plus one pixel until the table is full, then the longest string again and again (the
// table is never cleared, which GIF allows).
inline Bytes oneColourCodes(std::uint64_t pixels, unsigned minCodeSize = 2)
{
    test::CodeWriter out(minCodeSize);
    const unsigned clear = out.clearCode();
    out.clear();
    out.code(0);
    std::uint64_t produced = 1;
    unsigned next = clear + 2;
    while (produced < pixels) {
        if (next < 4096) {
            out.code(next);
            produced += next - clear;
            ++next;
        } else {
            out.code(4095);
            produced += 4095 - clear;
        }
    }
    out.end();
    return out.finish();
}

inline test::Image oneColourImage(std::uint16_t left, std::uint16_t top, std::uint16_t width, std::uint16_t height,
    std::uint64_t pixels, bool interlaced = false)
{
    test::Image image;
    image.left = left;
    image.top = top;
    image.width = width;
    image.height = height;
    image.interlaced = interlaced;
    image.minCodeSize = 2;
    image.codeStream = oneColourCodes(pixels);
    return image;
}

struct Bomb {
    std::string name;
    std::string what;
    std::function<Bytes()> make;
};

inline std::vector<Bomb> allBombs()
{
    using test::GifBuilder;
    const auto four = test::testPalette(4);
    return {
        { "huge-screen", "65535 x 65535 logical screen, one 1 x 1 frame",
            [=] {
                GifBuilder gif(65535, 65535, four);
                gif.control({ 10 }).fill(0, 0, 1, 1, 1);
                return gif.bytes();
            } },
        { "expanding-frame", "8192 x 4096 screen (the canvas limit), one image of one colour",
            [=] {
                GifBuilder gif(8192, 4096, four);
                gif.control({ 10 }).image(oneColourImage(0, 0, 8192, 4096, 8192ull * 4096));
                return gif.bytes();
            } },
        { "huge-rect", "64 x 64 screen, a 65535 x 65535 image with data for 4 x 33554432 pixels",
            [=] {
                GifBuilder gif(64, 64, four);
                gif.control({ 10 }).image(oneColourImage(0, 0, 65535, 65535, 4ull * 33554432));
                return gif.bytes();
            } },
        { "huge-rect-interlaced", "as huge-rect, interlaced (the second pass lies after 8192 rows)",
            [=] {
                GifBuilder gif(64, 64, four);
                gif.control({ 10 }).image(oneColourImage(0, 0, 65535, 65535, 4ull * 33554432, true));
                return gif.bytes();
            } },
        { "huge-rect-wide-screen", "65535 x 512 screen, a 65535 x 65535 image with data for 4 x 33554432 pixels",
            [=] {
                GifBuilder gif(65535, 512, four);
                gif.control({ 10 }).image(oneColourImage(0, 0, 65535, 65535, 4ull * 33554432));
                return gif.bytes();
            } },
        { "40000-frames", "1 x 1 screen, 40000 one-pixel frames of 20 ms, looping",
            [=] {
                GifBuilder gif(1, 1, four);
                gif.loop(0);
                for (unsigned i = 0; i < 40000; ++i)
                    gif.control({ 2 }).fill(0, 0, 1, 1, std::uint8_t(i % 4));
                return gif.bytes();
            } },
        { "stacked-images",
            "8192 x 4096 screen, 64 full-screen one-colour images, only the last with a delay "
            "(each a frame)",
            [=] {
                GifBuilder gif(8192, 4096, four);
                test::Image image = oneColourImage(0, 0, 8192, 4096, 8192ull * 4096);
                for (unsigned i = 0; i < 63; ++i)
                    gif.image(image);
                gif.control({ 10 }).image(image);
                return gif.bytes();
            } },
        { "zero-delays", "64 x 64 screen, 16 frames with delay 0, looping forever",
            [=] {
                GifBuilder gif(64, 64, four);
                gif.loop(0);
                for (unsigned i = 0; i < 16; ++i)
                    gif.control({ 0 }).fill(0, 0, 64, 64, std::uint8_t(i % 4));
                return gif.bytes();
            } },
        { "one-cs-delays", "64 x 64 screen, 16 frames with delay 1, looping forever",
            [=] {
                GifBuilder gif(64, 64, four);
                gif.loop(0);
                for (unsigned i = 0; i < 16; ++i)
                    gif.control({ 1 }).fill(0, 0, 64, 64, std::uint8_t(i % 4));
                return gif.bytes();
            } },
    };
}

} // namespace frolix::bombs
