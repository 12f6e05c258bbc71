#pragma once
// Expected canvases for the engine tests, and a first-difference message to compare
// a composed frame with one.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace frolix::test {

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
    std::vector<std::uint8_t> m_bytes;
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

} // namespace frolix::test
