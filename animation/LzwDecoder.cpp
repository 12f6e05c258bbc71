#include "LzwDecoder.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace frolix::gif {

namespace {

// Codes are read with unaligned 8-byte loads that may run past the data.
constexpr std::size_t kInputPadding = 16;

// Room that lets a code be copied without a check against the end of the output: the
// longest string (under 4096 bytes) and the 16 bytes a move may write past it.
constexpr std::size_t kMaxStringRoom = 4096 + 16;

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

// What stays the same through one image.
struct Stream {
    const std::uint8_t* input;
    std::size_t inputSize;
    unsigned minCodeSize;
    unsigned clearCode;
    unsigned endCode;
    Status inputEnd; // what running out of input means
    std::uint8_t* out;
    std::size_t capacity;
};

// Where decoding is. The loops below copy it into locals, which stay in registers.
struct Cursor {
    std::uint64_t bits = 0;
    unsigned bitCount = 0;
    std::size_t position = 0; // next input byte to load
    unsigned codeSize = 0;
    std::uint32_t codeMask = 0;
    unsigned nextCode = 0;
    unsigned growAt = 0; // codes are one bit wider once nextCode reaches this
    unsigned adding = 1; // 0 once the table is full
    std::uint64_t pending = 0; // the entry the next code makes: the last string and one byte more
    std::size_t produced = 0;
    unsigned invalidCode = 0;
};

// One entry per code: where its string starts in the output (bits 16 and up) and its
// length (the low 16 bits), so a code costs one load and a new entry one store.
// Length 0 marks the clear and end codes, and literals not yet written: the first
// time a literal comes it is written from its value and its entry then points at
// that byte, so every string is copied from the output itself. Entry 4096 takes the
// stores made while the table is full.
using Table = std::uint64_t[4097];

inline void refill(Cursor& c, const Stream& stream)
{
    std::uint64_t chunk;
    std::memcpy(&chunk, stream.input + c.position, 8);
    c.bits |= chunk << c.bitCount;
    unsigned taken = (63 - c.bitCount) >> 3;
    c.position += taken;
    c.bitCount += taken * 8;
}

// Bits loaded from the padding are not data.
inline bool dataLeft(const Cursor& c, const Stream& stream)
{
    return c.position * 8 - c.bitCount + c.codeSize <= std::uint64_t(stream.inputSize) * 8;
}

inline unsigned takeCode(Cursor& c)
{
    unsigned code = unsigned(c.bits) & c.codeMask;
    c.bits >>= c.codeSize;
    c.bitCount -= c.codeSize;
    return code;
}

// At the start and after a clear: the first code must be a literal and makes no
// entry. Needs room for one index.
inline Status restart(Cursor& c, const Stream& stream, Table& table)
{
    c.codeSize = stream.minCodeSize + 1;
    c.codeMask = (1u << c.codeSize) - 1;
    c.growAt = c.codeMask + 1;
    c.nextCode = stream.endCode + 1;
    c.adding = 1;
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
        stream.out[c.produced] = std::uint8_t(code);
        table[code] = std::uint64_t(c.produced) << 16 | 1;
        c.pending = std::uint64_t(c.produced) << 16 | 2;
        ++c.produced;
        return Status::Running;
    }
}

// The entry each code after the first makes: the last string and one byte more.
inline void addEntry(Cursor& c, Table& table)
{
    table[c.nextCode] = c.pending;
    c.nextCode += c.adding;
    if (c.nextCode >= c.growAt) [[unlikely]] {
        if (c.codeSize < 12) {
            ++c.codeSize;
            c.codeMask = (1u << c.codeSize) - 1;
            c.growAt = c.codeMask + 1;
        } else {
            c.adding = 0; // full: no entries and 12-bit codes until a clear
            c.growAt = 4097;
        }
    }
}

// Copies a string that lies wholly before `to`. Most strings are short: one 8-byte
// move, whatever the length, without a branch on it; longer ones go on 16 bytes at a
// time. Bytes written past the string are overwritten later, and a move reads only
// bytes before the ones it writes, or ones it wrote.
inline void copyString(std::uint8_t* to, const std::uint8_t* from, unsigned count)
{
    move8(to, from);
    if (count > 8) [[unlikely]]
        for (unsigned i = 8; i < count; i += 16)
            move16(to + i, from + i);
}

// Writes the string of `entry`; `repeat` for KwKwK, whose string is the last one plus
// its own first byte, the one byte of it not yet written.
template <bool careful, bool repeat> inline void writeString(Cursor& c, const Stream& stream, std::uint64_t entry)
{
    const unsigned count = unsigned(entry & 0xFFFF);
    const std::uint8_t* from = stream.out + (entry >> 16);
    std::uint8_t* to = stream.out + c.produced;
    c.pending = std::uint64_t(c.produced) << 16 | (count + 1);
    if (careful && count + 16 > stream.capacity - c.produced) {
        // At the end of the buffer: byte by byte, and no further than it.
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

// Decodes codes until `limit` indices are written or decoding stops. Careful decoding
// checks every code against the end of the input and the output; the fast kind stops
// (still Running) before a code that would load the input's last 8 bytes, and needs
// kMaxStringRoom bytes of room after `limit`.
template <bool careful> Status decodeCodes(Cursor& cursor, const Stream& stream, Table& table, std::size_t limit)
{
    Cursor c = cursor;
    Status status = Status::Running;
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
        // leaves nextCode at 4096, past every code.
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
                if (status != Status::Running)
                    break;
                continue;
            }
            if (code == stream.endCode) {
                status = Status::Finished;
                break;
            }
            stream.out[c.produced] = std::uint8_t(code); // a literal's first use
            entry = table[code] = std::uint64_t(c.produced) << 16 | 1;
        }
        addEntry(c, table);
        writeString<careful, false>(c, stream, entry);
    }
    cursor = c;
    return status;
}

} // namespace

LzwDecoder::LzwDecoder(std::span<const std::uint8_t> data, std::size_t dataOffset, std::uint8_t minCodeSize)
    : m_minCodeSize(minCodeSize)
{
    // GIF89a allows 2 to 8; 1 is written by real encoders for two-colour images and
    // decodes the same way. Above 11 the clear and end codes cannot exist.
    if (minCodeSize < 1 || minCodeSize > kMaxMinCodeSize) {
        m_status = Status::BadMinCodeSize;
        return;
    }
    gatherSubBlocks(data, std::min(dataOffset, data.size()));
    m_clearCode = std::uint16_t(1u << minCodeSize);
    m_endCode = std::uint16_t(m_clearCode + 1);
    m_nextCode = std::uint16_t(m_endCode + 1);
}

void LzwDecoder::gatherSubBlocks(std::span<const std::uint8_t> data, std::size_t offset)
{
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
    m_input.resize(total + kInputPadding);
    std::size_t at = offset;
    std::size_t written = 0;
    while (written < total) {
        std::size_t size = std::min<std::size_t>(data[at], total - written);
        std::memcpy(m_input.data() + written, data.data() + at + 1, size);
        written += size;
        at += 1 + data[at];
    }
    m_inputSize = total;
}

std::size_t LzwDecoder::decode(std::span<std::uint8_t> out)
{
    if (m_status != Status::Running)
        return 0;

    Table table;
    std::fill_n(table, m_endCode + 1, std::uint64_t(0));
    const Stream stream { m_input.data(), m_inputSize, m_minCodeSize, m_clearCode, m_endCode, m_inputEnd, out.data(),
        out.size() };
    Cursor cursor;
    if (!out.empty())
        m_status = restart(cursor, stream, table);
    if (m_status == Status::Running && out.size() > kMaxStringRoom)
        m_status = decodeCodes<false>(cursor, stream, table, out.size() - kMaxStringRoom);
    if (m_status == Status::Running)
        m_status = decodeCodes<true>(cursor, stream, table, out.size());

    m_nextCode = std::uint16_t(cursor.nextCode);
    m_invalidCode = std::uint16_t(cursor.invalidCode);
    if (m_status == Status::Running)
        m_status = Status::Finished; // the image is full; what follows is ignored
    return cursor.produced;
}

} // namespace frolix::gif
