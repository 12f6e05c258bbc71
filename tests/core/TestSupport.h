#pragma once
// Expected pictures and a comparison that names the first pixel that differs.

#include "GifBuilder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <vector>

namespace frolix::test {

using Rgba = std::array<std::uint8_t, 4>;
inline constexpr Rgba kClear { 0, 0, 0, 0 };
inline constexpr Rgba kBlack { 0, 0, 0, 255 };

inline Rgba colourOf(unsigned index)
{
    Rgb c = paletteColour(index);
    return Rgba { c.r, c.g, c.b, 255 };
}

// An expected canvas, transparent until painted.
class Picture {
public:
    Picture(unsigned width, unsigned height)
        : m_width(width)
        , m_height(height)
        , m_bytes(std::size_t(width) * height * 4, 0)
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
    unsigned height() const { return m_height; }
    std::span<const std::uint8_t> bytes() const { return m_bytes; }

private:
    unsigned m_width, m_height;
    std::vector<std::uint8_t> m_bytes;
};

inline std::string rgbaText(const std::uint8_t* p)
{
    std::ostringstream out;
    out << "(" << int(p[0]) << "," << int(p[1]) << "," << int(p[2]) << "," << int(p[3]) << ")";
    return out.str();
}

// Empty when equal; otherwise the first differing pixel as "(x, y) have ... want ...".
inline std::string firstDifference(std::span<const std::uint8_t> have, std::span<const std::uint8_t> want, unsigned width)
{
    if (have.size() != want.size())
        return "size " + std::to_string(have.size()) + " bytes, want " + std::to_string(want.size());
    for (std::size_t i = 0; i < have.size(); i += 4) {
        if (!std::equal(have.begin() + std::ptrdiff_t(i), have.begin() + std::ptrdiff_t(i + 4), want.begin() + std::ptrdiff_t(i))) {
            std::size_t pixel = i / 4;
            return "pixel (" + std::to_string(pixel % width) + ", " + std::to_string(pixel / width) + ") have "
                + rgbaText(&have[i]) + " want " + rgbaText(&want[i]);
        }
    }
    return {};
}

inline std::string firstDifference(std::span<const std::uint8_t> have, const Picture& want)
{
    return firstDifference(have, want.bytes(), want.width());
}

} // namespace frolix::test
