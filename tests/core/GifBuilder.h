#pragma once
// Builds GIF files in memory for the engine's tests: screen, palettes, graphic
// control, loop extension and images, with a real LZW encoder. Corner cases come from
// the lower layers: BitWriter puts codes at widths a test chooses, CodeWriter follows
// the decoder's width growth so a test can write any code sequence by value.

#include <cstddef>
#include <cstring>
#include <span>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace frolix::test {

using Bytes = std::vector<std::uint8_t>;

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
};

// 256 distinct colours, none of them black, so a wrong index or a black fallback shows.
inline Rgb paletteColour(unsigned index)
{
    return Rgb { std::uint8_t(index), std::uint8_t(255 - index), std::uint8_t(index ^ 0x5A) };
}

inline std::vector<Rgb> testPalette(unsigned entries = 256)
{
    std::vector<Rgb> palette;
    for (unsigned i = 0; i < entries; ++i)
        palette.push_back(paletteColour(i));
    return palette;
}

// Packs codes least significant bit first, as GIF does.
class BitWriter {
public:
    void put(unsigned code, unsigned width)
    {
        m_bits |= std::uint64_t(code & ((1u << width) - 1)) << m_count;
        m_count += width;
        while (m_count >= 8) {
            m_bytes.push_back(std::uint8_t(m_bits));
            m_bits >>= 8;
            m_count -= 8;
        }
    }
    Bytes finish()
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

// Writes codes at the width a reader has reached: the reader adds a table entry for
// every code after the first since a clear, and widens once the next entry no longer
// fits, up to 12 bits.
class CodeWriter {
public:
    explicit CodeWriter(unsigned minCodeSize)
        : m_min(minCodeSize)
    {
        reset();
    }
    unsigned clearCode() const { return 1u << m_min; }
    unsigned endCode() const { return clearCode() + 1; }
    unsigned width() const { return m_width; }
    // The entry the reader would add next (4096 when its table is full).
    unsigned nextEntry() const { return m_next; }

    void code(unsigned value)
    {
        m_out.put(value, m_width);
        if (m_started && m_next < 4096) {
            ++m_next;
            if (m_next >= (1u << m_width) && m_width < 12)
                ++m_width;
        }
        m_started = true;
    }
    void clear()
    {
        m_out.put(clearCode(), m_width);
        reset();
    }
    void end() { m_out.put(endCode(), m_width); }
    Bytes finish() { return m_out.finish(); }

private:
    void reset()
    {
        m_width = m_min + 1;
        m_next = clearCode() + 2;
        m_started = false;
    }
    unsigned m_min;
    unsigned m_width = 0;
    unsigned m_next = 0;
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
    const unsigned firstFree = out.clearCode() + 2;
    std::map<std::pair<unsigned, std::uint8_t>, unsigned> table;
    unsigned next = firstFree;
    int codesSinceFull = 0;
    if (options.leadingClear)
        out.clear();
    if (!indices.empty()) {
        unsigned current = indices[0];
        for (std::size_t i = 1; i < indices.size(); ++i) {
            auto key = std::make_pair(current, indices[i]);
            if (auto found = table.find(key); found != table.end()) {
                current = found->second;
                continue;
            }
            out.code(current);
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
        out.code(current);
    }
    if (options.endCode)
        out.end();
    return out.finish();
}

// Splits a code stream into data sub-blocks and adds the terminator.
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
    for (unsigned y = 0; y < height; y += 8)
        rows.push_back(y);
    for (unsigned y = 4; y < height; y += 8)
        rows.push_back(y);
    for (unsigned y = 2; y < height; y += 4)
        rows.push_back(y);
    for (unsigned y = 1; y < height; y += 2)
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
    std::size_t blockSize = 255;
    std::optional<Bytes> codeStream; // written instead of encoding `indices`
    bool terminator = true;
};

// Palette size field for `entries` colours; the table is padded to a power of two.
inline unsigned paletteSizeField(std::size_t entries)
{
    unsigned field = 0;
    while ((2u << field) < entries && field < 7)
        ++field;
    return field;
}

class GifBuilder {
public:
    GifBuilder(std::uint16_t width, std::uint16_t height, std::optional<std::vector<Rgb>> globalPalette = testPalette(),
               bool gif87a = false)
    {
        append(gif87a ? "GIF87a" : "GIF89a");
        u16(width);
        u16(height);
        std::uint8_t packed = 0;
        if (globalPalette)
            packed = std::uint8_t(0x80 | 0x70 | paletteSizeField(globalPalette->size()));
        m_bytes.push_back(packed);
        m_bytes.push_back(0); // background
        m_bytes.push_back(0); // aspect
        if (globalPalette)
            palette(*globalPalette);
    }

    GifBuilder& loop(std::uint16_t count, const char* identifier = "NETSCAPE2.0")
    {
        m_bytes.insert(m_bytes.end(), { 0x21, 0xFF, 11 });
        append(identifier);
        m_bytes.insert(m_bytes.end(), { 3, 1 });
        u16(count);
        m_bytes.push_back(0);
        return *this;
    }

    GifBuilder& control(const Control& control)
    {
        m_bytes.insert(m_bytes.end(), { 0x21, 0xF9, control.blockSize });
        Bytes body(std::max<std::size_t>(control.blockSize, 4), 0);
        body[0] = std::uint8_t((control.disposal & 7) << 2 | (control.transparent ? 1 : 0));
        body[1] = std::uint8_t(control.delayCs);
        body[2] = std::uint8_t(control.delayCs >> 8);
        body[3] = control.transparent.value_or(0);
        m_bytes.insert(m_bytes.end(), body.begin(), body.begin() + control.blockSize);
        m_bytes.push_back(0);
        return *this;
    }

    GifBuilder& image(const Image& image)
    {
        m_bytes.push_back(0x2C);
        u16(image.left);
        u16(image.top);
        u16(image.width);
        u16(image.height);
        std::uint8_t packed = image.interlaced ? 0x40 : 0;
        if (image.localPalette)
            packed |= std::uint8_t(0x80 | paletteSizeField(image.localPalette->size()));
        m_bytes.push_back(packed);
        if (image.localPalette)
            palette(*image.localPalette);
        m_bytes.push_back(std::uint8_t(image.minCodeSize));
        Bytes stream;
        if (image.codeStream) {
            stream = *image.codeStream;
        } else {
            std::vector<std::uint8_t> ordered = image.indices;
            if (image.interlaced) {
                ordered.clear();
                for (unsigned row : interlacedRowOrder(image.height))
                    ordered.insert(ordered.end(), image.indices.begin() + std::ptrdiff_t(row) * image.width,
                                   image.indices.begin() + std::ptrdiff_t(row + 1) * image.width);
            }
            stream = lzwEncode(ordered, image.minCodeSize, image.lzw);
        }
        Bytes blocks = subBlocks(stream, image.blockSize, image.terminator);
        m_bytes.insert(m_bytes.end(), blocks.begin(), blocks.end());
        return *this;
    }

    // A whole image of one index.
    GifBuilder& fill(std::uint16_t left, std::uint16_t top, std::uint16_t width, std::uint16_t height, std::uint8_t index)
    {
        Image image;
        image.left = left;
        image.top = top;
        image.width = width;
        image.height = height;
        image.indices.assign(std::size_t(width) * height, index);
        return this->image(image);
    }

    GifBuilder& comment(const std::string& text)
    {
        m_bytes.insert(m_bytes.end(), { 0x21, 0xFE });
        Bytes blocks = subBlocks(Bytes(text.begin(), text.end()));
        m_bytes.insert(m_bytes.end(), blocks.begin(), blocks.end());
        return *this;
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
    void append(const char* text)
    {
        for (; *text; ++text)
            m_bytes.push_back(std::uint8_t(*text));
    }
    void u16(std::uint16_t value)
    {
        m_bytes.push_back(std::uint8_t(value));
        m_bytes.push_back(std::uint8_t(value >> 8));
    }
    void palette(const std::vector<Rgb>& colours)
    {
        std::size_t entries = 2u << paletteSizeField(colours.size());
        for (std::size_t i = 0; i < entries; ++i) {
            Rgb c = i < colours.size() ? colours[i] : Rgb {};
            m_bytes.insert(m_bytes.end(), { c.r, c.g, c.b });
        }
    }

    Bytes m_bytes;
};

} // namespace frolix::test
