#include "LzwDecoder.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace frolix::gif {

namespace {

// Codes are read with unaligned 8-byte loads that may run past the data.
constexpr std::size_t kInputPadding = 16;

// Literal strings: the byte values themselves, with room for 16-byte loads past the end.
struct Literals {
    std::uint8_t bytes[4096 + 16];
    constexpr Literals()
        : bytes {}
    {
        for (unsigned i = 0; i < 4096; ++i)
            bytes[i] = std::uint8_t(i);
    }
};
constexpr Literals kLiterals;

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

    // Where each code's string starts (in kLiterals or in `out`) and its length.
    const std::uint8_t* source[4096];
    std::uint16_t length[4096];
    for (unsigned i = 0; i < m_clearCode; ++i) {
        source[i] = kLiterals.bytes + i;
        length[i] = 1;
    }

    std::uint8_t* const dst = out.data();
    const std::size_t capacity = out.size();
    const std::uint8_t* const input = m_input.data();
    const std::size_t inputSize = m_inputSize;
    const unsigned clearCode = m_clearCode;
    const unsigned endCode = m_endCode;

    std::uint64_t bits = 0;
    unsigned bitCount = 0;
    std::size_t position = 0; // next input byte to load
    const std::uint64_t inputBits = std::uint64_t(inputSize) * 8;
    std::uint64_t consumedBits = 0;
    unsigned codeSize = m_minCodeSize + 1;
    std::uint32_t codeMask = (1u << codeSize) - 1;
    unsigned nextCode = endCode + 1;
    bool afterClear = true; // the next code starts the table afresh
    std::size_t previousAt = 0;
    unsigned previousLength = 0;
    std::size_t produced = 0;

    while (produced < capacity) {
        if (bitCount < codeSize) {
            std::uint64_t chunk;
            std::memcpy(&chunk, input + position, 8);
            bits |= chunk << bitCount;
            unsigned taken = (63 - bitCount) >> 3;
            position += taken;
            bitCount += taken * 8;
        }
        // Bits loaded from the padding are not data.
        consumedBits += codeSize;
        if (consumedBits > inputBits) [[unlikely]] {
            m_status = m_inputEnd;
            break;
        }
        unsigned code = unsigned(bits) & codeMask;
        bits >>= codeSize;
        bitCount -= codeSize;

        if (code >= clearCode) [[unlikely]] {
            if (code == clearCode) {
                codeSize = m_minCodeSize + 1;
                codeMask = (1u << codeSize) - 1;
                nextCode = endCode + 1;
                afterClear = true;
                continue;
            }
            if (code == endCode) {
                m_status = Status::Finished;
                break;
            }
        }
        if (afterClear) [[unlikely]] {
            // The first code after a clear must be a literal, and makes no entry.
            if (code >= clearCode) {
                m_invalidCode = std::uint16_t(code);
                m_status = Status::InvalidCode;
                break;
            }
            afterClear = false;
        } else {
            // A code may name at most the entry about to be made (KwKwK), and only
            // while the table has room for it.
            if (code >= nextCode && (code > nextCode || nextCode >= 4096)) [[unlikely]] {
                m_invalidCode = std::uint16_t(code);
                m_status = Status::InvalidCode;
                break;
            }
            if (nextCode < 4096) {
                // The previous string plus the first byte of this one, which follows it.
                source[nextCode] = dst + previousAt;
                length[nextCode] = std::uint16_t(previousLength + 1);
                if (++nextCode > codeMask && codeSize < 12) {
                    ++codeSize;
                    codeMask = (1u << codeSize) - 1;
                }
            }
        }

        unsigned count = length[code];
        const std::uint8_t* from = source[code];
        std::uint8_t* to = dst + produced;
        std::size_t room = capacity - produced;
        // How far back the string lies; literals live elsewhere, so any value will do.
        std::uintptr_t distance = std::uintptr_t(to) - std::uintptr_t(from);
        if (count + 16 <= room && distance >= 16) [[likely]] {
            // Most strings are short: one 16-byte move, whatever the length, without a
            // branch on it. Bytes written past the string are overwritten later.
            std::memcpy(to, from, 16);
            for (unsigned i = 16; i < count; i += 16)
                std::memcpy(to + i, from + i, 16);
        } else {
            // Short distance (the KwKwK case) or the end of the buffer: byte by byte.
            unsigned limit = unsigned(std::min<std::size_t>(count, room));
            for (unsigned i = 0; i < limit; ++i)
                to[i] = from[i];
        }
        previousAt = produced;
        previousLength = count;
        produced += std::min<std::size_t>(count, room);
    }

    m_nextCode = std::uint16_t(nextCode);
    if (m_status == Status::Running)
        m_status = Status::Finished; // the image is full; what follows is ignored
    return produced;
}

} // namespace frolix::gif
