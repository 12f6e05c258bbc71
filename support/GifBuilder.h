#pragma once
// The one GIF writer of the project: screen, palettes, graphic control, loop extension
// and images, with an LZW encoder whose codes follow the decoder's width growth. The
// asset generator, the benchmarks' animations and the tests all write with it; the
// engine tests also build the long, large animation of the snapshot budget test here.
// The encoder's round trips through the decoder are tests/core/LzwTest.cpp's.

#include "ByteWriter.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace frolix::test {

using Bytes = std::vector<std::uint8_t>;

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
};

// 256 distinct colours, none of them black, so a wrong index or a black fallback shows.
inline std::vector<Rgb> testPalette(unsigned entries = 256)
{
    std::vector<Rgb> palette;
    for (unsigned i = 0; i < entries; ++i)
        palette.push_back({ std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i ^ 0x5A) });
    return palette;
}

// Packs codes least significant bit first, at widths the caller chooses.
class BitWriter {
public:
    void put(unsigned code, unsigned width)
    {
        m_bits |= std::uint64_t(code & ((1u << width) - 1)) << m_count;
        for (m_count += width; m_count >= 8; m_count -= 8, m_bits >>= 8)
            m_bytes.push_back(std::uint8_t(m_bits));
    }
    Bytes finish() const
    {
        Bytes out = m_bytes;
        if (m_count > 0)
            out.push_back(std::uint8_t(m_bits));
        return out;
    }

private:
    Bytes m_bytes;
    std::uint64_t m_bits = 0;
    unsigned m_count = 0;
};

// Writes codes at the width a reader has reached: it adds an entry for every code after
// the first since a clear, and widens once the next entry no longer fits, up to 12 bits.
class CodeWriter {
public:
    explicit CodeWriter(unsigned minCodeSize)
        : m_min(minCodeSize)
    {
        clear(false);
    }
    unsigned clearCode() const { return 1u << m_min; }
    unsigned nextEntry() const { return m_next; } // 4096 when the table is full
    void code(unsigned value)
    {
        m_out.put(value, m_width);
        if (m_started && m_next < 4096 && ++m_next >= (1u << m_width) && m_width < 12)
            ++m_width;
        m_started = true;
    }
    void clear(bool write = true)
    {
        if (write)
            m_out.put(1u << m_min, m_width);
        m_width = m_min + 1;
        m_next = (1u << m_min) + 2;
        m_started = false;
    }
    void end() { m_out.put((1u << m_min) + 1, m_width); }
    Bytes finish() const { return m_out.finish(); }

private:
    unsigned m_min, m_width = 0, m_next = 0;
    bool m_started = false;
    BitWriter m_out;
};

struct LzwOptions {
    bool leadingClear = true;
    bool endCode = true;
    // Codes written after the table fills before a clear; -1 never clears (frozen table).
    int codesBeforeClearWhenFull = 0;
};

// (prefix code, next index) -> code, by open addressing; it never holds more than the
// 4096 - 258 entries of one table, so a quarter full at most.
class LzwDictionary {
public:
    LzwDictionary() { clear(); }
    void clear() { std::fill(m_keys.begin(), m_keys.end(), kEmpty); }
    // The code for `key`, or -1 after making room for it at `slot`.
    int find(std::uint32_t key, std::size_t& slot) const
    {
        for (slot = (key * 2654435761u) >> (32 - kBits);; slot = (slot + 1) & (kSlots - 1)) {
            if (m_keys[slot] == kEmpty)
                return -1;
            if (m_keys[slot] == key)
                return m_codes[slot];
        }
    }
    void insert(std::size_t slot, std::uint32_t key, unsigned code)
    {
        m_keys[slot] = key;
        m_codes[slot] = std::uint16_t(code);
    }

private:
    static constexpr unsigned kBits = 14;
    static constexpr std::size_t kSlots = std::size_t(1) << kBits;
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFF;
    std::vector<std::uint32_t> m_keys = std::vector<std::uint32_t>(kSlots);
    std::vector<std::uint16_t> m_codes = std::vector<std::uint16_t>(kSlots);
};

// A dictionary LZW encoder: longest known prefix, one new entry per code written.
inline Bytes lzwEncode(const std::vector<std::uint8_t>& indices, unsigned minCodeSize, LzwOptions options = {})
{
    CodeWriter out(minCodeSize);
    const unsigned firstFree = (1u << minCodeSize) + 2;
    LzwDictionary table;
    unsigned next = firstFree;
    int codesSinceFull = 0;
    if (options.leadingClear)
        out.clear();
    for (std::size_t i = 1, current = indices.empty() ? 0 : indices[0]; i <= indices.size(); ++i) {
        if (i == indices.size()) {
            out.code(unsigned(current));
            break;
        }
        const std::uint32_t key = std::uint32_t(current) << 8 | indices[i];
        std::size_t slot = 0;
        if (int found = table.find(key, slot); found >= 0) {
            current = unsigned(found);
            continue;
        }
        out.code(unsigned(current));
        if (next < 4096) {
            table.insert(slot, key, next++);
        } else if (options.codesBeforeClearWhenFull >= 0 && codesSinceFull++ >= options.codesBeforeClearWhenFull) {
            out.clear();
            table.clear();
            next = firstFree;
            codesSinceFull = 0;
        }
        current = indices[i];
    }
    if (options.endCode)
        out.end();
    return out.finish();
}

// Splits a code stream into data sub-blocks, with the terminator unless told otherwise.
inline Bytes subBlocks(const Bytes& stream, std::size_t blockSize = 255, bool terminator = true)
{
    Bytes out;
    for (std::size_t at = 0; at < stream.size(); at += blockSize) {
        std::size_t n = std::min(blockSize, stream.size() - at);
        out.push_back(std::uint8_t(n));
        out.insert(out.end(), stream.begin() + std::ptrdiff_t(at), stream.begin() + std::ptrdiff_t(at + n));
    }
    if (terminator)
        out.push_back(0);
    return out;
}

// Rows 0, 8, 16 ... then 4, 12 ... then 2, 6 ... then 1, 3, 5 ...
inline std::vector<unsigned> interlacedRowOrder(unsigned height)
{
    std::vector<unsigned> rows;
    for (auto [start, step] : { std::pair { 0u, 8u }, { 4u, 8u }, { 2u, 4u }, { 1u, 2u } })
        for (unsigned y = start; y < height; y += step)
            rows.push_back(y);
    return rows;
}

struct Control {
    std::uint16_t delayCs = 0;
    unsigned disposal = 0;
    std::optional<std::uint8_t> transparent;
    std::uint8_t blockSize = 4; // extra bytes are zeros
};

struct Image {
    std::uint16_t left = 0, top = 0, width = 1, height = 1;
    std::vector<std::uint8_t> indices; // row by row, top to bottom, whatever the interlacing
    std::optional<std::vector<Rgb>> localPalette;
    bool interlaced = false;
    unsigned minCodeSize = 8;
    LzwOptions lzw;
    std::optional<Bytes> codeStream; // written instead of encoding `indices`
};

class GifBuilder {
public:
    GifBuilder(std::uint16_t width, std::uint16_t height, std::optional<std::vector<Rgb>> global = testPalette(),
        bool gif87a = false)
    {
        putText(m_bytes, gif87a ? "GIF87a" : "GIF89a");
        putU16(m_bytes, width);
        putU16(m_bytes, height);
        raw({ std::uint8_t(global ? 0xF0 | sizeField(global->size()) : 0), 0, 0 });
        if (global)
            palette(*global);
    }
    GifBuilder& loop(std::uint16_t count)
    {
        raw({ 0x21, 0xFF, 11 });
        putText(m_bytes, "NETSCAPE2.0");
        raw({ 3, 1 });
        putU16(m_bytes, count);
        return raw({ 0 });
    }
    GifBuilder& control(const Control& c)
    {
        Bytes body;
        putU8(body, (c.disposal & 7) << 2 | (c.transparent ? 1 : 0));
        putU16(body, c.delayCs);
        putU8(body, c.transparent.value_or(0));
        body.insert(body.end(), std::max<std::size_t>(c.blockSize, 4) - 4, 0); // extra bytes are zeros
        raw({ 0x21, 0xF9, c.blockSize }).raw(Bytes(body.begin(), body.begin() + c.blockSize));
        return raw({ 0 });
    }
    GifBuilder& image(const Image& image)
    {
        putU8(m_bytes, 0x2C);
        for (std::uint16_t field : { image.left, image.top, image.width, image.height })
            putU16(m_bytes, field);
        putU8(m_bytes,
            (image.interlaced ? 0x40 : 0) | (image.localPalette ? 0x80 | sizeField(image.localPalette->size()) : 0));
        if (image.localPalette)
            palette(*image.localPalette);
        raw({ std::uint8_t(image.minCodeSize) });
        if (image.codeStream)
            return raw(subBlocks(*image.codeStream));
        std::vector<std::uint8_t> ordered;
        for (unsigned row : image.interlaced ? interlacedRowOrder(image.height) : std::vector<unsigned> {})
            ordered.insert(ordered.end(), image.indices.begin() + std::ptrdiff_t(row) * image.width,
                image.indices.begin() + std::ptrdiff_t(row + 1) * image.width);
        return raw(subBlocks(lzwEncode(image.interlaced ? ordered : image.indices, image.minCodeSize, image.lzw)));
    }
    // A whole image of one index.
    GifBuilder& fill(
        std::uint16_t left, std::uint16_t top, std::uint16_t width, std::uint16_t height, std::uint8_t index)
    {
        return image({ left, top, width, height, std::vector<std::uint8_t>(std::size_t(width) * height, index) });
    }
    GifBuilder& comment(const std::string& text)
    {
        return raw({ 0x21, 0xFE }).raw(subBlocks(Bytes(text.begin(), text.end())));
    }
    GifBuilder& raw(const Bytes& bytes)
    {
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
        return *this;
    }
    std::size_t size() const { return m_bytes.size(); }
    Bytes bytes(bool trailer = true) const
    {
        Bytes out = m_bytes;
        if (trailer)
            out.push_back(0x3B);
        return out;
    }

private:
    // The table is padded to a power of two of at least 2 entries.
    static std::uint8_t sizeField(std::size_t entries)
    {
        std::uint8_t field = 0;
        while ((2u << field) < entries && field < 7)
            ++field;
        return field;
    }
    void palette(const std::vector<Rgb>& colours)
    {
        for (std::size_t i = 0; i < (2u << sizeField(colours.size())); ++i) {
            Rgb c = i < colours.size() ? colours[i] : Rgb {};
            raw({ c.r, c.g, c.b });
        }
    }
    Bytes m_bytes;
};

// 1000 frames of 1000 x 1000: one full-screen run of a single index, then small patches
// whose disposal depends on their number, so each picture depends on the history before it.
inline constexpr unsigned kBigFrames = 1000;

inline Bytes bigAnimation()
{
    GifBuilder gif(1000, 1000);
    gif.loop(0).control({ 4, 1 }).fill(0, 0, 1000, 1000, 1);
    for (unsigned f = 1; f < kBigFrames; ++f)
        gif.control({ 4,
                        (f % 7 == 3)       ? 3u
                            : (f % 5 == 0) ? 2u
                                           : 1u })
            .fill(std::uint16_t(f * 37 % 984), std::uint16_t(f * 53 % 984), 16, 16, std::uint8_t(2 + f % 200));
    return gif.bytes();
}

} // namespace frolix::test
