#pragma once
// A bounds-checked little-endian cursor: every read either succeeds or reports that
// the data ended, so no parser can step past its input.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace frolix {

class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> data, std::size_t offset = 0)
        : m_data(data)
        , m_offset(offset <= data.size() ? offset : data.size())
    {
    }

    std::size_t offset() const { return m_offset; }
    std::span<const std::uint8_t> data() const { return m_data; }
    std::size_t remaining() const { return m_data.size() - m_offset; }

    std::optional<std::uint8_t> readU8()
    {
        if (remaining() < 1)
            return std::nullopt;
        return m_data[m_offset++];
    }

    std::optional<std::uint16_t> readU16()
    {
        if (remaining() < 2)
            return std::nullopt;
        std::uint16_t value = std::uint16_t(m_data[m_offset] | (m_data[m_offset + 1] << 8));
        m_offset += 2;
        return value;
    }

    std::optional<std::uint32_t> readU32()
    {
        if (remaining() < 4)
            return std::nullopt;
        std::uint32_t value = std::uint32_t(m_data[m_offset]) | (std::uint32_t(m_data[m_offset + 1]) << 8)
            | (std::uint32_t(m_data[m_offset + 2]) << 16) | (std::uint32_t(m_data[m_offset + 3]) << 24);
        m_offset += 4;
        return value;
    }

    std::optional<std::span<const std::uint8_t>> readBytes(std::size_t count)
    {
        if (remaining() < count)
            return std::nullopt;
        auto bytes = m_data.subspan(m_offset, count);
        m_offset += count;
        return bytes;
    }

    bool skip(std::size_t count)
    {
        if (remaining() < count) {
            m_offset = m_data.size();
            return false;
        }
        m_offset += count;
        return true;
    }

private:
    std::span<const std::uint8_t> m_data;
    std::size_t m_offset;
};

} // namespace frolix
