#pragma once
// The engine tests' GIF writer (screen, palettes, graphic control, loop extension and
// images, with a real LZW encoder over a CodeWriter that follows the decoder's width
// growth), expected pictures with a first-difference message, and the long, large
// animation of the snapshot budget test.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <span>
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

// A dictionary LZW encoder: longest known prefix, one new entry per code written.
inline Bytes lzwEncode(const std::vector<std::uint8_t>& indices, unsigned minCodeSize, LzwOptions options = {})
{
    CodeWriter out(minCodeSize);
    const unsigned firstFree = (1u << minCodeSize) + 2;
    std::map<std::pair<unsigned, std::uint8_t>, unsigned> table;
    unsigned next = firstFree;
    int codesSinceFull = 0;
    if (options.leadingClear)
        out.clear();
    for (std::size_t i = 1, current = indices.empty() ? 0 : indices[0]; i <= indices.size(); ++i) {
        if (i == indices.size()) {
            out.code(unsigned(current));
            break;
        }
        auto key = std::make_pair(unsigned(current), indices[i]);
        if (auto found = table.find(key); found != table.end()) {
            current = found->second;
            continue;
        }
        out.code(unsigned(current));
        if (next < 4096) {
            table.emplace(key, next++);
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
        raw({ 'G', 'I', 'F', '8', std::uint8_t(gif87a ? '7' : '9'), 'a' });
        raw({ std::uint8_t(width), std::uint8_t(width >> 8), std::uint8_t(height), std::uint8_t(height >> 8) });
        raw({ std::uint8_t(global ? 0xF0 | sizeField(global->size()) : 0), 0, 0 });
        if (global)
            palette(*global);
    }
    GifBuilder& loop(std::uint16_t count)
    {
        raw({ 0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1 });
        return raw({ std::uint8_t(count), std::uint8_t(count >> 8), 0 });
    }
    GifBuilder& control(const Control& c)
    {
        Bytes body { std::uint8_t((c.disposal & 7) << 2 | (c.transparent ? 1 : 0)), std::uint8_t(c.delayCs),
            std::uint8_t(c.delayCs >> 8), c.transparent.value_or(0) };
        body.resize(c.blockSize);
        raw({ 0x21, 0xF9, c.blockSize }).raw(body);
        return raw({ 0 });
    }
    GifBuilder& image(const Image& image)
    {
        raw({ 0x2C, std::uint8_t(image.left), std::uint8_t(image.left >> 8), std::uint8_t(image.top),
            std::uint8_t(image.top >> 8), std::uint8_t(image.width), std::uint8_t(image.width >> 8),
            std::uint8_t(image.height), std::uint8_t(image.height >> 8),
            std::uint8_t((image.interlaced ? 0x40 : 0)
                | (image.localPalette ? 0x80 | sizeField(image.localPalette->size()) : 0)) });
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

using Rgba = std::array<std::uint8_t, 4>;
inline constexpr Rgba kClear { 0, 0, 0, 0 };
inline constexpr Rgba kBlack { 0, 0, 0, 255 };

inline Rgba colourOf(unsigned index)
{
    return Rgba { std::uint8_t(index), std::uint8_t(255 - index), std::uint8_t(index ^ 0x5A), 255 };
}

// An expected canvas, transparent until painted.
class Picture {
public:
    Picture(unsigned width, unsigned height)
        : m_width(width)
        , m_height(height)
        , m_bytes(std::size_t(width) * height * 4)
    {
    }
    Picture& set(unsigned x, unsigned y, Rgba colour)
    {
        std::copy(colour.begin(), colour.end(), m_bytes.begin() + std::ptrdiff_t((std::size_t(y) * m_width + x) * 4));
        return *this;
    }
    // Paints a rectangle, clipped to the picture.
    Picture& fill(int left, int top, int width, int height, Rgba colour)
    {
        for (int y = std::max(top, 0); y < std::min<int>(top + height, int(m_height)); ++y)
            for (int x = std::max(left, 0); x < std::min<int>(left + width, int(m_width)); ++x)
                set(unsigned(x), unsigned(y), colour);
        return *this;
    }
    unsigned width() const { return m_width; }
    std::span<const std::uint8_t> bytes() const { return m_bytes; }

private:
    unsigned m_width, m_height;
    Bytes m_bytes;
};

// Empty when equal; otherwise the first differing pixel as "pixel (x, y) have ... want ...".
inline std::string firstDifference(
    std::span<const std::uint8_t> have, std::span<const std::uint8_t> want, unsigned width)
{
    if (have.size() != want.size())
        return "size " + std::to_string(have.size()) + " bytes, want " + std::to_string(want.size());
    auto text = [](const std::uint8_t* p) {
        return "(" + std::to_string(p[0]) + "," + std::to_string(p[1]) + "," + std::to_string(p[2]) + ","
            + std::to_string(p[3]) + ")";
    };
    for (std::size_t i = 0; i < have.size(); i += 4)
        if (std::memcmp(&have[i], &want[i], 4) != 0)
            return "pixel (" + std::to_string(i / 4 % width) + ", " + std::to_string(i / 4 / width) + ") have "
                + text(&have[i]) + " want " + text(&want[i]);
    return {};
}

inline std::string firstDifference(std::span<const std::uint8_t> have, const Picture& want)
{
    return firstDifference(have, want.bytes(), want.width());
}

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
