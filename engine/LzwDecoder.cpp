#include "LzwDecoder.h"

#include "Contract.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace frolix::gif {

namespace {

// Codes are read with unaligned 8-byte loads that may run past the data.
constexpr std::size_t kInputPadding = 16;

// Room that lets a code be copied without a check against the end of the output: the
// longest string (under 4096 pixels) and the pixels a copy may write past it.
constexpr std::size_t kMaxStringRoom = LzwDecoder::kMaxCodes + 16;

// How far past a string its copy may write, in pixels: under 16 indices, no colours
// (see copyString).
template <typename Pixel> constexpr unsigned kOvershoot = sizeof(Pixel) == 1 ? 16 : 0;

// Indices: every literal's entry points at its value in a stretch before the output, set
// once, so no code branches on whether its literal came before (on noise, a mispredicted
// branch for a third of the codes). Colours are decoded into the canvas, which has no
// such room: a literal is written from its value the first time it comes.
template <typename Pixel> constexpr bool firstUse = sizeof(Pixel) != 1;
constexpr std::size_t kLiteralRoom = 1u << LzwDecoder::kMaxMinCodeSize;

// Moves that read all their bytes before writing any, so the source may lie closer
// before the destination than the size of the move.
inline void move8(std::uint8_t* to, const std::uint8_t* from)
{
    std::uint64_t bytes;
    std::memcpy(&bytes, from, 8);
    std::memcpy(to, &bytes, 8);
}

inline void move16(std::uint8_t* to, const std::uint8_t* from)
{
    std::uint8_t bytes[16];
    std::memcpy(bytes, from, 16);
    std::memcpy(to, bytes, 16);
}

using Status = LzwDecoder::Status;
using Cursor = LzwDecoder::Cursor;
using Table = std::uint64_t[LzwDecoder::kTableSize];

// What stays the same through one image. A pixel is a colour index, or the colour
// itself when indices are looked up in `palette` as they are decoded.
template <typename Pixel> struct Stream {
    const std::uint8_t* input;
    std::size_t inputSize;
    unsigned minCodeSize;
    unsigned clearCode;
    unsigned endCode;
    Status inputEnd; // what running out of input means
    Pixel* out;
    std::size_t capacity; // pixels the image takes
    const std::uint32_t* palette;

    Pixel literal(unsigned code) const
    {
        if constexpr (sizeof(Pixel) == 1)
            return Pixel(code);
        else
            return palette[code & 0xFF]; // as the index the code becomes, for minimum code sizes over 8
    }
};

template <typename Pixel> inline void refill(Cursor& c, const Stream<Pixel>& stream)
{
    std::uint64_t chunk;
    std::memcpy(&chunk, stream.input + c.position, 8);
    c.bits |= chunk << c.bitCount;
    unsigned taken = (63 - c.bitCount) >> 3;
    c.position += taken;
    c.bitCount += taken * 8;
}

// Bits loaded from the padding are not data.
template <typename Pixel> inline bool dataLeft(const Cursor& c, const Stream<Pixel>& stream)
{
    return c.position * 8 - c.bitCount + c.codeSize <= std::uint64_t(stream.inputSize) * 8;
}

// The fast kind of decoding takes codes without checking them against the end of the
// input: its own loads stop short of it, but a restart's may not.
template <typename Pixel> inline bool bitsAreData(const Cursor& c, const Stream<Pixel>& stream)
{
    return c.position <= stream.inputSize;
}

inline unsigned takeCode(Cursor& c)
{
    unsigned code = unsigned(c.bits) & c.codeMask;
    c.bits >>= c.codeSize;
    c.bitCount -= c.codeSize;
    return code;
}

// At the start and after a clear: the first code must be a literal and makes no
// entry. Needs room for one pixel.
template <typename Pixel> inline Status restart(Cursor& c, const Stream<Pixel>& stream, Table& table)
{
    c.codeSize = stream.minCodeSize + 1;
    c.codeMask = (1u << c.codeSize) - 1;
    c.nextCode = stream.endCode + 1;
    for (;;) {
        if (c.bitCount < c.codeSize)
            refill(c, stream);
        if (!dataLeft(c, stream))
            return stream.inputEnd;
        unsigned code = takeCode(c);
        if (code == stream.clearCode)
            continue;
        if (code == stream.endCode)
            return Status::Finished;
        if (code > stream.clearCode) {
            c.invalidCode = code;
            return Status::InvalidCode;
        }
        stream.out[c.produced] = stream.literal(code);
        if constexpr (firstUse<Pixel>)
            table[code] = std::uint64_t(c.produced) << 16 | 1;
        c.pending = std::uint64_t(c.produced) << 16 | 2;
        ++c.produced;
        return Status::Running;
    }
}

// The entry each code after the first makes: the last string and one pixel more. Codes
// are one bit wider once the next entry needs it; once the table is full, nextCode stays
// at kMaxCodes, past every code, its entry taking the stores, and codes stay 12 bits wide
// until a clear.
inline void addEntry(Cursor& c, Table& table)
{
    table[c.nextCode] = c.pending;
    ++c.nextCode;
    if (c.nextCode > c.codeMask) [[unlikely]] {
        if (c.codeSize < LzwDecoder::kMaxCodeSize) {
            ++c.codeSize;
            c.codeMask = (1u << c.codeSize) - 1;
        } else {
            c.nextCode = LzwDecoder::kMaxCodes;
        }
    }
}

// Copies a string that lies wholly before `to`. Indices: most strings are short, so one
// 8-byte move, whatever the length, without a branch on it; longer ones go on 16 bytes
// at a time. What is written past the string is overwritten later, and a move reads
// only bytes before the ones it writes, or ones it wrote. Colours are copied exactly,
// as the pixels past them must stay as they were: moves of 2 or 4 colours from the
// start, and the last one ending with the string.
template <typename Pixel> inline void copyString(Pixel* to, const Pixel* from, unsigned count)
{
    auto* toBytes = reinterpret_cast<std::uint8_t*>(to);
    auto* fromBytes = reinterpret_cast<const std::uint8_t*>(from);
    if constexpr (sizeof(Pixel) == 1) {
        move8(toBytes, fromBytes);
        if (count > 8) [[unlikely]]
            for (unsigned i = 8; i < count; i += 16)
                move16(toBytes + i, fromBytes + i);
    } else if (count > 4) {
        const unsigned last = (count - 4) * 4;
        for (unsigned i = 0; i < last; i += 16)
            move16(toBytes + i, fromBytes + i);
        move16(toBytes + last, fromBytes + last);
    } else if (count > 1) {
        const unsigned last = (count - 2) * 4;
        move8(toBytes, fromBytes);
        move8(toBytes + last, fromBytes + last);
    } else {
        to[0] = from[0];
    }
}

// Writes the string of `entry`; `repeat` for KwKwK, whose string is the last one plus
// its own first pixel, the one pixel of it not yet written.
template <bool careful, bool repeat, typename Pixel>
inline void writeString(Cursor& c, const Stream<Pixel>& stream, std::uint64_t entry)
{
    const unsigned count = unsigned(entry & 0xFFFF);
    const Pixel* from = stream.out + (entry >> 16);
    Pixel* to = stream.out + c.produced;
    c.pending = std::uint64_t(c.produced) << 16 | (count + 1);
    if (careful && count + kOvershoot < Pixel >> stream.capacity - c.produced) {
        // At the end of the image: pixel by pixel, and no further than it.
        unsigned stop = unsigned(std::min<std::size_t>(count, stream.capacity - c.produced));
        for (unsigned i = 0; i < stop; ++i)
            to[i] = from[i];
        c.produced += stop;
        return;
    }
    if (repeat) {
        copyString(to, from, count - 1);
        to[count - 1] = from[0];
    } else {
        copyString(to, from, count);
    }
    c.produced += count;
}

// Decodes codes until `limit` pixels are written or decoding stops. Careful decoding
// checks every code against the end of the input and of the image; the fast kind stops
// (still Running) before a code that would load the input's last 8 bytes or whose bits
// may lie past it, and writes up to kMaxStringRoom pixels past `limit`.
template <bool careful, typename Pixel>
Status decodeCodes(Cursor& cursor, const Stream<Pixel>& stream, Table& table, std::size_t limit)
{
    Cursor c = cursor;
    Status status = Status::Running;
    if (!careful && !bitsAreData(c, stream))
        return status;
    while (c.produced < limit) {
        if (c.bitCount < c.codeSize) {
            if (!careful && c.position + 8 > stream.inputSize)
                break;
            refill(c, stream);
        }
        if (careful && !dataLeft(c, stream)) [[unlikely]] {
            status = stream.inputEnd;
            break;
        }
        const unsigned code = takeCode(c);
        // A code may name at most the entry about to be made (KwKwK); a full table
        // leaves nextCode at kMaxCodes, past every code.
        if (code >= c.nextCode) [[unlikely]] {
            if (code > c.nextCode) {
                c.invalidCode = code;
                status = Status::InvalidCode;
                break;
            }
            const std::uint64_t entry = c.pending;
            addEntry(c, table);
            writeString<careful, true>(c, stream, entry);
            continue;
        }
        std::uint64_t entry = table[code];
        if ((entry & 0xFFFF) == 0) [[unlikely]] {
            if (code == stream.clearCode) {
                status = restart(c, stream, table);
                if (status != Status::Running || (!careful && !bitsAreData(c, stream)))
                    break;
                continue;
            }
            if (!firstUse<Pixel> || code == stream.endCode) {
                status = Status::Finished;
                break;
            }
            stream.out[c.produced] = stream.literal(code); // a literal's first use
            entry = table[code] = std::uint64_t(c.produced) << 16 | 1;
        }
        addEntry(c, table);
        writeString<careful, false>(c, stream, entry);
    }
    cursor = c;
    return status;
}

} // namespace

bool LzwDecoder::Buffer::reserve(std::size_t size)
{
    if (capacity >= size)
        return false;
    bytes.reset(new std::uint8_t[size]); // no zero fill: every byte read is written first
    capacity = size;
    return true;
}

void LzwDecoder::releaseBuffersOver(std::size_t bytes)
{
    for (Buffer* buffer : { &m_input, &m_output })
        if (buffer->capacity > bytes)
            *buffer = Buffer {};
}

void LzwDecoder::start(
    std::span<const std::uint8_t> data, std::size_t dataOffset, std::uint8_t minCodeSize, std::size_t count)
{
    m_cursor = Cursor {};
    m_origin = 0;
    m_started = false;
    m_count = count;
    m_pixels = nullptr;
    m_palette = nullptr;
    m_minCodeSize = minCodeSize;
    // GIF89a allows 2 to 8; 1 is written by real encoders for two-colour images and
    // decodes the same way. Above 11 the clear and end codes cannot exist.
    if (minCodeSize < 1 || minCodeSize > kMaxMinCodeSize) {
        m_status = Status::BadMinCodeSize;
        m_inputSize = 0;
        return;
    }
    m_status = Status::Running;
    if (m_output.reserve(kLiteralRoom + count + kMaxStringRoom))
        m_literalTable = 0; // the literals' values went with the old buffer
    m_origin = kLiteralRoom;
    m_cursor.produced = m_origin;
    gatherSubBlocks(data, std::min(dataOffset, data.size()));
}

void LzwDecoder::prepareTable()
{
    const unsigned clearCode = 1u << m_minCodeSize;
    if (m_pixels) {
        std::fill_n(m_table, clearCode + 2, std::uint64_t(0));
        m_literalTable = 0;
    } else if (m_literalTable != m_minCodeSize) {
        static constexpr auto kBytes = [] {
            std::array<std::uint8_t, 256> bytes {};
            for (unsigned i = 0; i < 256; ++i)
                bytes[i] = std::uint8_t(i);
            return bytes;
        }();
        for (unsigned at = 0; at < clearCode; at += 256)
            std::memcpy(m_output.bytes.get() + at, kBytes.data(), std::min(256u, clearCode));
        // Entries past the end code are made before they are read.
        for (unsigned code = 0; code < clearCode; ++code)
            m_table[code] = std::uint64_t(code) << 16 | 1;
        m_table[clearCode] = m_table[clearCode + 1] = 0;
        m_literalTable = m_minCodeSize;
    }
}

bool LzwDecoder::coloursPayOff() const
{
    // Measured (BENCHMARKS.md, "Decoding"): colours lose on photos, whose strings are one or two
    // pixels (a mispredicted branch on the length for every code), and on long runs,
    // whose strings reach back over more memory as colours than the caches keep close.
    // Codes are about 12 bits, so a string is 1.5 * count / bytes pixels on average,
    // and the table's 4096 strings reach back 4096 times that.
    if (m_status != Status::Running || m_inputSize == 0)
        return false;
    constexpr std::size_t kMaxReachBytes = 96u << 10;
    const bool longStrings = m_inputSize * 2 <= m_count; // 3 pixels or more
    const std::size_t reach = std::min<std::size_t>(m_count, kMaxCodes * 3 / 2 * m_count / m_inputSize) * 4;
    return longStrings && reach <= kMaxReachBytes;
}

void LzwDecoder::intoColours(std::span<std::uint32_t> out, const std::uint32_t* palette)
{
    FROLIX_EXPECTS(!m_started && out.size() == m_count);
    m_pixels = out.data();
    m_palette = palette;
    m_origin = 0;
    m_cursor.produced = 0;
}

void LzwDecoder::gatherSubBlocks(std::span<const std::uint8_t> data, std::size_t offset)
{
    // The chain is measured first, so the buffer grows at most once.
    std::size_t end = offset;
    std::size_t total = 0;
    m_inputEnd = Status::DataEnded;
    while (end < data.size()) {
        std::size_t size = data[end];
        if (size == 0) {
            m_inputEnd = Status::Finished; // terminator without an end code
            break;
        }
        std::size_t available = std::min(size, data.size() - end - 1);
        total += available;
        end += 1 + available;
        if (available < size)
            break;
    }
    m_input.reserve(total + kInputPadding);
    std::uint8_t* input = m_input.bytes.get();
    for (std::size_t at = offset, written = 0; written < total; at += 1 + data[at]) {
        std::size_t size = std::min<std::size_t>(data[at], total - written);
        std::memcpy(input + written, data.data() + at + 1, size);
        written += size;
    }
    std::memset(input + total, 0, kInputPadding);
    m_inputSize = total;
}

std::span<const std::uint8_t> LzwDecoder::indices() const
{
    return m_pixels ? std::span<const std::uint8_t>()
                    : std::span(m_output.bytes.get() + m_origin, m_cursor.produced - m_origin);
}

std::size_t LzwDecoder::decode(std::size_t upTo)
{
    if (m_status != Status::Running)
        return m_cursor.produced - m_origin;
    if (m_pixels)
        return decodeInto<std::uint32_t>(m_pixels, upTo);
    return decodeInto<std::uint8_t>(m_output.bytes.get(), upTo);
}

template <typename Pixel> std::size_t LzwDecoder::decodeInto(Pixel* out, std::size_t upTo)
{
    constexpr bool colours = sizeof(Pixel) == 4;
    const Stream<Pixel> stream { m_input.bytes.get(), m_inputSize, m_minCodeSize, 1u << m_minCodeSize,
        (1u << m_minCodeSize) + 1, m_inputEnd, out, m_origin + m_count, m_palette };
    // Positions in the output count from the literals' stretch before it.
    const std::size_t end = m_origin + m_count;
    upTo = m_origin + std::min(upTo, m_count);
    if (!m_started && m_count > 0) {
        m_started = true;
        prepareTable();
        m_status = restart(m_cursor, stream, m_table);
    }
    // The index buffer has room past the image for the last string's copy; an image
    // decoded into the canvas has none, so its last pixels are decoded with care.
    std::size_t fastLimit = upTo;
    if (colours)
        fastLimit = m_count > kMaxStringRoom ? std::min(upTo, end - kMaxStringRoom) : 0;
    if (m_status == Status::Running && m_cursor.produced < fastLimit) {
        m_status = decodeCodes<false>(m_cursor, stream, m_table, fastLimit);
    }
    if (m_status == Status::Running && m_cursor.produced < upTo)
        m_status = decodeCodes<true>(m_cursor, stream, m_table, end);
    m_cursor.produced = std::min(m_cursor.produced, end);
    if (m_status == Status::Running && m_cursor.produced == end)
        m_status = Status::Finished; // the image is full; what follows is ignored
    return m_cursor.produced - m_origin;
}

} // namespace frolix::gif
