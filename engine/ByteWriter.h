#pragma once
// Appends little-endian fields to a byte vector: the writing side of ByteReader, for the
// state block and for whatever writes GIF, BMP or ICO files.

#include <cstdint>
#include <string_view>
#include <vector>

namespace frolix {

inline void putU8(std::vector<std::uint8_t>& out, unsigned value) { out.push_back(std::uint8_t(value)); }

inline void putU16(std::vector<std::uint8_t>& out, unsigned value)
{
    out.push_back(std::uint8_t(value));
    out.push_back(std::uint8_t(value >> 8));
}

inline void putU32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    putU16(out, value & 0xFFFF);
    putU16(out, value >> 16);
}

inline void putText(std::vector<std::uint8_t>& out, std::string_view text)
{
    out.insert(out.end(), text.begin(), text.end());
}

} // namespace frolix
