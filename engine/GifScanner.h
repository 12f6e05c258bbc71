#pragma once
// Scanning: parses a GIF's structure and records each image's position, rectangle,
// palette, timing and disposal without decoding any pixels. Values are kept as the
// file states them; playback policy (delay clamping, loop arithmetic) lives in
// Player.h only.
//
// Layout read here (GIF89a, little-endian):
//   Header              +0 "GIF87a" | "GIF89a"
//   Logical screen      +6 u16 width, +8 u16 height, +10 packed (bit 7 global table,
//                        bits 0-2 table size 2^(n+1)), +11 background index, +12 aspect
//   Global colour table 3 * size bytes, when flagged
//   Then blocks:        0x21 extension (label, data sub-blocks), 0x2C image, 0x3B trailer
//   Graphic control     0x21 0xF9, size 4, packed (bits 2-4 disposal, bit 0 transparent),
//                        u16 delay in 1/100 s, transparent index, terminator
//   Application         0x21 0xFF, size 11, "NETSCAPE2.0" | "ANIMEXTS1.0", then a sub-block
//                        of 3 bytes: 1, u16 loop count
//   Image descriptor    0x2C u16 left, top, width, height, packed (bit 7 local table,
//                        bit 6 interlace, bits 0-2 size), local table, LZW minimum code
//                        size, data sub-blocks

#include "AnimationTypes.h"
#include "Result.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace frolix::gif {

// A canvas this large is 128 MiB of RGBA; more would let one file exhaust the machine,
// while the widest real GIFs (65535 x 1 strips) stay well within it.
inline constexpr std::uint64_t kMaxCanvasPixels = 33554432;
// Every image is a frame, and counts reach the window as 16-bit signed integers.
inline constexpr std::size_t kMaxFrames = 32767;

// The global colour table, when there is one, follows the 13 bytes of header and screen.
inline constexpr std::size_t kGlobalTableOffset = 13;

Disposal disposalFromWire(std::uint8_t value);

struct ImageRecord {
    std::uint16_t left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    bool hasGraphicControl = false;
    std::uint16_t delayCs = 0; // as stored; 0 when there is no graphic control
    Disposal disposal = Disposal::None;
    std::optional<std::uint8_t> transparentIndex;
    // Colour table in the file: 3 bytes per entry. Entries past paletteSize draw opaque
    // black. A size of 0 means the image has no table at all (see QUIRKS.md).
    std::size_t paletteOffset = 0;
    std::uint16_t paletteSize = 0;
    // A table of the image's own rather than the global one.
    bool hasLocalTable() const { return paletteSize > 0 && paletteOffset != kGlobalTableOffset; }
    std::uint8_t minCodeSize = 0;
    std::size_t dataOffset = 0; // first data sub-block (the byte after the code size)
};

struct GifInfo {
    std::uint16_t width = 0, height = 0;
    bool isGif87a = false;
    std::optional<std::uint16_t> storedLoopCount; // absent when there is no loop extension
    std::vector<ImageRecord> images; // at most kMaxFrames
    std::vector<Warning> warnings; // recoveries, not refusals

    // Every image is a frame of its own, as browsers play it, whatever its delay; a
    // file without any image shows one empty frame.
    std::size_t frameCount() const { return images.empty() ? 1 : images.size(); }
};

// `passed`, when given, hears after each image how far the scan has read, so a caller
// holding a mapped file can give back the pages behind it. It answers whether to go on:
// false stops the scan there, which then fails as Stopped.
using ScanProgress = std::function<bool(std::size_t offset)>;
Result<GifInfo> scan(std::span<const std::uint8_t> data, const ScanProgress& passed = nullptr);

} // namespace frolix::gif
