#pragma once
// The words an animation is described in, whatever its format: the byte order of its
// pixels, a rectangle of its canvas and its stored timing.

#include <cstdint>
#include <optional>
#include <vector>

namespace frolix {

// The byte order of each output pixel. Every pixel is either opaque or (0,0,0,0), so
// the output is premultiplied as well as straight; Bgra is what a little-endian
// display wants without conversion.
enum class PixelOrder { Rgba, Bgra };

// A rectangle of the canvas, in pixels.
struct Area {
    std::uint32_t left = 0, top = 0, width = 0, height = 0;
};

// The stored delays (one per frame) and loop count, as the player needs them.
struct Timeline {
    std::vector<std::uint16_t> storedDelaysCs; // one per frame, as stored
    std::optional<std::uint16_t> storedLoopCount;
};

} // namespace frolix
