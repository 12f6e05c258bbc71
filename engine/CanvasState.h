#pragma once
// What composing works on: the logical-screen canvas of one frame and what the last
// image's disposal needs, rectangles clipped to the screen, and copies of a rectangle.

#include "AnimationTypes.h"
#include "GifScanner.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace frolix::gif {

struct ClipRect {
    std::uint32_t left = 0, top = 0, right = 0, bottom = 0; // right/bottom exclusive
    bool empty() const { return left >= right || top >= bottom; }
    std::size_t area() const { return empty() ? 0 : std::size_t(right - left) * (bottom - top); }
    // The smallest rectangle holding both.
    ClipRect united(const ClipRect& other) const
    {
        if (other.empty())
            return *this;
        if (empty())
            return other;
        return ClipRect { std::min(left, other.left), std::min(top, other.top), std::max(right, other.right),
            std::max(bottom, other.bottom) };
    }
};

// The part of `image` on a `width` x `height` screen.
inline ClipRect clipToScreen(const ImageRecord& image, std::uint32_t width, std::uint32_t height)
{
    ClipRect rect;
    rect.left = std::min<std::uint32_t>(image.left, width);
    rect.top = std::min<std::uint32_t>(image.top, height);
    rect.right = std::min<std::uint32_t>(std::uint32_t(image.left) + image.width, width);
    rect.bottom = std::min<std::uint32_t>(std::uint32_t(image.top) + image.height, height);
    return rect;
}

struct CanvasState {
    std::optional<std::size_t> frame; // the frame this canvas shows (from 0), none before the first
    std::vector<std::uint32_t> canvas;
    Disposal pendingDisposal = Disposal::None; // of the last image drawn
    ClipRect pendingRect;
    std::vector<std::uint32_t> backup; // under pendingRect, for RestorePrevious
    bool opaque = false; // every canvas pixel is opaque (see FrameComposer::frameOpaque)
    bool backupOpaque = false; // and so were the backup's when it was taken

    // The pixel bytes it holds.
    std::size_t bytes() const { return (canvas.size() + backup.size()) * 4; }
};

// A rectangle of a canvas `canvasWidth` wide into a buffer of its own size (`saved`), and back.
inline void saveRect(const std::vector<std::uint32_t>& canvas, std::uint32_t canvasWidth, const ClipRect& rect,
    std::vector<std::uint32_t>& saved)
{
    saved.clear();
    if (rect.empty())
        return;
    std::uint32_t width = rect.right - rect.left;
    saved.resize(std::size_t(width) * (rect.bottom - rect.top));
    for (std::uint32_t y = rect.top; y < rect.bottom; ++y)
        std::copy_n(
            &canvas[std::size_t(y) * canvasWidth + rect.left], width, &saved[std::size_t(y - rect.top) * width]);
}

inline void restoreRect(const std::vector<std::uint32_t>& saved, const ClipRect& rect,
    std::vector<std::uint32_t>& canvas, std::uint32_t canvasWidth)
{
    if (rect.empty())
        return;
    std::uint32_t width = rect.right - rect.left;
    for (std::uint32_t y = rect.top; y < rect.bottom; ++y)
        std::copy_n(
            &saved[std::size_t(y - rect.top) * width], width, &canvas[std::size_t(y) * canvasWidth + rect.left]);
}

} // namespace frolix::gif
