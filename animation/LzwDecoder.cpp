#include "LzwDecoder.h"

#include <algorithm>
#include <cstring>

namespace frolix::gif {

LzwDecoder::LzwDecoder(std::span<const std::uint8_t> data, std::size_t dataOffset, std::uint8_t minCodeSize)
    : m_data(data)
    , m_position(std::min(dataOffset, data.size()))
    , m_minCodeSize(minCodeSize)
{
    // GIF89a allows 2 to 8; 1 is written by real encoders for two-colour images and
    // decodes the same way. Above 11 the clear and end codes cannot exist.
    if (minCodeSize < 1 || minCodeSize > kMaxMinCodeSize) {
        m_status = Status::BadMinCodeSize;
        return;
    }
    m_clearCode = std::uint16_t(1u << minCodeSize);
    m_endCode = std::uint16_t(m_clearCode + 1);
    for (unsigned i = 0; i < m_clearCode; ++i) {
        m_prefix[i] = 0;
        m_suffix[i] = std::uint8_t(i);
        m_first[i] = std::uint8_t(i);
        m_length[i] = 1;
    }
    resetTable();
}

void LzwDecoder::resetTable()
{
    m_codeSize = m_minCodeSize + 1;
    m_nextCode = std::uint16_t(m_endCode + 1);
    m_previousCode = -1;
}

bool LzwDecoder::fillBits(unsigned needed)
{
    while (m_bitCount < needed) {
        if (m_blockRemaining == 0) {
            if (m_position >= m_data.size()) {
                m_status = Status::DataEnded;
                return false;
            }
            m_blockRemaining = m_data[m_position++];
            if (m_blockRemaining == 0) {
                m_status = Status::Finished; // terminator without an end code
                return false;
            }
        }
        if (m_position >= m_data.size()) {
            m_status = Status::DataEnded;
            return false;
        }
        // Take as many whole bytes of this sub-block as fit, not one at a time.
        std::size_t take = std::min<std::size_t>({ m_blockRemaining, m_data.size() - m_position, (64 - m_bitCount) / 8 });
        for (std::size_t i = 0; i < take; ++i) {
            m_bits |= std::uint64_t(m_data[m_position++]) << m_bitCount;
            m_bitCount += 8;
        }
        m_blockRemaining -= take;
    }
    return true;
}

int LzwDecoder::nextCode()
{
    if (m_bitCount < m_codeSize && !fillBits(m_codeSize))
        return -1;
    int code = int(m_bits & ((1u << m_codeSize) - 1));
    m_bits >>= m_codeSize;
    m_bitCount -= m_codeSize;
    return code;
}

void LzwDecoder::writeString(std::uint16_t code, std::uint8_t* dst) const
{
    for (std::size_t i = m_length[code]; i-- > 0;) {
        dst[i] = m_suffix[code];
        code = m_prefix[code];
    }
}

std::size_t LzwDecoder::read(std::span<std::uint8_t> out)
{
    std::size_t produced = 0;
    if (m_pendingStart < m_pendingEnd) {
        std::size_t count = std::min<std::size_t>(out.size(), m_pendingEnd - m_pendingStart);
        std::memcpy(out.data(), m_pending + m_pendingStart, count);
        m_pendingStart = std::uint16_t(m_pendingStart + count);
        produced = count;
    }

    while (produced < out.size() && m_status == Status::Running) {
        int code = nextCode();
        if (code < 0)
            break;
        if (code == m_clearCode) {
            resetTable();
            continue;
        }
        if (code == m_endCode) {
            m_status = Status::Finished;
            break;
        }
        if (m_previousCode < 0) {
            // The first code after a clear must be a literal.
            if (code > m_clearCode) {
                m_invalidCode = std::uint16_t(code);
                m_status = Status::InvalidCode;
                break;
            }
        } else {
            if (code > m_nextCode) {
                m_invalidCode = std::uint16_t(code);
                m_status = Status::InvalidCode;
                break;
            }
            if (m_nextCode < 4096) {
                // For the code not yet in the table (KwKwK) its first byte is the previous string's.
                std::uint8_t first = code == m_nextCode ? m_first[m_previousCode] : m_first[code];
                m_prefix[m_nextCode] = std::uint16_t(m_previousCode);
                m_suffix[m_nextCode] = first;
                m_first[m_nextCode] = m_first[m_previousCode];
                m_length[m_nextCode] = std::uint16_t(m_length[m_previousCode] + 1);
                ++m_nextCode;
                if (m_nextCode >= (1u << m_codeSize) && m_codeSize < 12)
                    ++m_codeSize;
            } else if (code == m_nextCode) {
                // Full table: there is no next entry to refer to.
                m_invalidCode = std::uint16_t(code);
                m_status = Status::InvalidCode;
                break;
            }
        }
        m_previousCode = code;

        std::size_t length = m_length[code];
        std::size_t room = out.size() - produced;
        if (length <= room) {
            writeString(std::uint16_t(code), out.data() + produced);
            produced += length;
        } else {
            writeString(std::uint16_t(code), m_pending);
            std::memcpy(out.data() + produced, m_pending, room);
            m_pendingStart = std::uint16_t(room);
            m_pendingEnd = std::uint16_t(length);
            produced += room;
        }
    }
    return produced;
}

} // namespace frolix::gif
