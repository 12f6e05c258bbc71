#pragma once
// The words an animation is described in, whatever its format: the byte order of its
// pixels, a rectangle of its canvas, its stored timing and how each frame is stored.

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

// What happens to a frame's image before the next one is drawn.
enum class Disposal : std::uint8_t {
    None, // 0: unspecified, treated like Keep
    Keep, // 1: leave the image in place
    RestoreBackground, // 2: clear the image's rectangle to transparent
    RestorePrevious, // 3 (and 4, see QUIRKS.md): put back what was there before
};

// How one frame is stored, as the file states it: read from the scan, nothing decoded.
struct FrameInfo {
    std::uint16_t storedDelayCs = 0; // hundredths of a second; 0 without a graphic control
    Disposal disposal = Disposal::None;
    Area area; // the image's rectangle, which may reach past the canvas
    std::optional<std::uint8_t> transparentIndex;
    std::uint16_t localColourTableSize = 0; // entries, 0 when the frame has no table of its own
    bool interlaced = false;
};

// The stored delays (one per frame) and loop count, as the player needs them.
struct Timeline {
    std::vector<std::uint16_t> storedDelaysCs; // one per frame, as stored
    std::optional<std::uint16_t> storedLoopCount;
};

} // namespace frolix
