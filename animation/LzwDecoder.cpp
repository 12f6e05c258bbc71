#include "LzwDecoder.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace frolix::gif {

namespace {

// Codes are read with unaligned 8-byte loads that may run past the data.
constexpr std::size_t kInputPadding = 16;

// Room that lets a code be copied without a check against the end of the output: the
// longest string (under 4096 bytes) and the 16 bytes a move may write past it.
constexpr std::size_t kMaxStringRoom = 4096 + 16;

// A 16-byte move that reads all its bytes before writing any, so its source may lie
// closer than 16 bytes before its destination.
inline void move16(std::uint8_t* to, const std::uint8_t* from)
{
    std::uint8_t bytes[16];
    std::memcpy(bytes, from, 16);
    std::memcpy(to, bytes, 16);
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

    // One entry per code: where its string starts in `out` (bits 16 and up) and its
    // length (the low 16 bits), so a code costs one load and a new entry one store.
    // Length 0 marks the clear and end codes, and literals not yet written: the first
    // time a literal comes it is written from its value and its entry then points at
    // that byte, so every string is copied from `out` itself. Entry 4096 takes the
    // stores made while the table is full.
    std::uint64_t table[4097];
    std::fill_n(table, m_endCode + 1, std::uint64_t(0));

    std::uint8_t* const dst = out.data();
    const std::size_t capacity = out.size();
    const std::uint8_t* const input = m_input.data();
    const std::size_t inputSize = m_inputSize;
    const std::uint64_t inputBits = std::uint64_t(inputSize) * 8;
    const unsigned clearCode = m_clearCode;
    const unsigned endCode = m_endCode;
    const unsigned minCodeSize = m_minCodeSize;

    std::uint64_t bits = 0;
    unsigned bitCount = 0;
    std::size_t position = 0; // next input byte to load
    unsigned codeSize = 0;
    std::uint32_t codeMask = 0;
    unsigned nextCode = 0;
    unsigned growAt = 0;       // codes are one bit wider once nextCode reaches this
    unsigned adding = 1;       // 0 once the table is full
    std::uint64_t pending = 0; // the entry the next code makes: the last string and one byte more
    std::size_t produced = 0;

    auto refill = [&] {
        std::uint64_t chunk;
        std::memcpy(&chunk, input + position, 8);
        bits |= chunk << bitCount;
        unsigned taken = (63 - bitCount) >> 3;
        position += taken;
        bitCount += taken * 8;
    };
    // Bits loaded from the padding are not data.
    auto dataLeft = [&] { return position * 8 - bitCount + codeSize <= inputBits; };
    auto takeCode = [&] {
        unsigned code = unsigned(bits) & codeMask;
        bits >>= codeSize;
        bitCount -= codeSize;
        return code;
    };
    auto stop = [&](Status status, unsigned code = 0) {
        m_status = status;
        m_invalidCode = std::uint16_t(code);
        return false;
    };

    // At the start and after a clear: the first code must be a literal and makes no
    // entry. Returns false when decoding stops.
    auto restart = [&] {
        codeSize = minCodeSize + 1;
        codeMask = (1u << codeSize) - 1;
        growAt = codeMask + 1;
        nextCode = endCode + 1;
        adding = 1;
        for (;;) {
            if (bitCount < codeSize)
                refill();
            if (!dataLeft())
                return stop(m_inputEnd);
            unsigned code = takeCode();
            if (code == clearCode)
                continue;
            if (code == endCode)
                return stop(Status::Finished);
            if (code > clearCode)
                return stop(Status::InvalidCode, code);
            dst[produced] = std::uint8_t(code);
            table[code] = std::uint64_t(produced) << 16 | 1;
            pending = std::uint64_t(produced) << 16 | 2;
            ++produced;
            return true;
        }
    };

    // Decodes one code into room for at least one index. Returns false when decoding
    // stops, or (when not careful) before a code that would read the input's last
    // 8 bytes: careful steps check every code against the end of the input and the
    // output, the others need 4096 + 16 bytes of room.
    auto step = [&](auto carefulTag) {
        constexpr bool careful = decltype(carefulTag)::value;
        if (bitCount < codeSize) {
            if (!careful && position + 8 > inputSize)
                return false;
            refill();
        }
        if (careful && !dataLeft()) [[unlikely]]
            return stop(m_inputEnd);
        unsigned code = takeCode();
        // A code may name at most the entry about to be made (KwKwK); a full table
        // leaves nextCode at 4096, past every code.
        if (code > nextCode) [[unlikely]]
            return stop(Status::InvalidCode, code);
        // Made before the look-up: for KwKwK the code names this very entry.
        table[nextCode] = pending;
        std::uint64_t entry = table[code];
        if ((entry & 0xFFFF) == 0) [[unlikely]] {
            if (code == clearCode)
                return restart();
            if (code == endCode)
                return stop(Status::Finished);
            dst[produced] = std::uint8_t(code); // a literal's first use
            entry = table[code] = std::uint64_t(produced) << 16 | 1;
        }
        nextCode += adding;
        if (nextCode >= growAt) [[unlikely]] {
            if (codeSize < 12) {
                ++codeSize;
                codeMask = (1u << codeSize) - 1;
                growAt = codeMask + 1;
            } else {
                adding = 0; // full: no entries and 12-bit codes until a clear
                growAt = 4097;
            }
        }

        const unsigned count = unsigned(entry & 0xFFFF);
        const std::size_t start = std::size_t(entry >> 16);
        const std::uint8_t* from = dst + start;
        std::uint8_t* to = dst + produced;
        pending = std::uint64_t(produced) << 16 | (count + 1);
        if (careful && count + 16 > capacity - produced) {
            // At the end of the buffer: byte by byte, and no further than it.
            unsigned limit = unsigned(std::min<std::size_t>(count, capacity - produced));
            for (unsigned i = 0; i < limit; ++i)
                to[i] = from[i];
            produced += limit;
            return true;
        }
        // A string lies wholly before its destination, except for KwKwK: the last
        // string again plus its own first byte, which lands where that string ended.
        std::size_t distance = produced - start;
        if (count <= distance || distance >= 16) [[likely]] {
            // Most strings are short: one 16-byte move, whatever the length, without a
            // branch on it. Bytes written past the string are overwritten later; a
            // move reads only bytes before the ones it writes, or ones it wrote.
            move16(to, from);
            for (unsigned i = 16; i < count; i += 16)
                move16(to + i, from + i);
        } else {
            move16(to, from);
            to[count - 1] = from[0];
        }
        produced += count;
        return true;
    };

    if (capacity > 0 && restart()) {
        const std::size_t fastEnd = capacity > kMaxStringRoom ? capacity - kMaxStringRoom : 0;
        while (produced < fastEnd && step(std::false_type {})) { }
        while (m_status == Status::Running && produced < capacity && step(std::true_type {})) { }
    }

    m_nextCode = std::uint16_t(nextCode);
    if (m_status == Status::Running)
        m_status = Status::Finished; // the image is full; what follows is ignored
    return produced;
}

} // namespace frolix::gif
