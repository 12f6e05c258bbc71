#pragma once
// Composing: builds the logical-screen canvas of any frame (frame k shows image k drawn
// over what the images before it left), as browsers do. An ImageDrawer draws the images
// and a FrameCache keeps states to start from; a frame is composed by starting from the
// nearest state there is and drawing the images from there on. Output is
// non-premultiplied RGBA, transparent pixels (0,0,0,0).

#include "AnimationTypes.h"
#include "ByteSource.h"
#include "CanvasState.h"
#include "FrameCache.h"
#include "GifScanner.h"
#include "ImageDrawer.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace frolix::gif {

// Enough for every frame of most animations; a 1000 x 1000 one keeps 6 key canvases and
// the rest in undo steps (BENCHMARKS.md, "Reverse and ping-pong").
inline constexpr std::size_t kDefaultSnapshotBudgetBytes = 48u << 20;

class FrameComposer {
public:
    FrameComposer(std::shared_ptr<const ByteSource> source, GifInfo info,
        std::size_t snapshotBudgetBytes = kDefaultSnapshotBudgetBytes, PixelOrder order = PixelOrder::Rgba);
    // The drawer and the cache refer to m_info.
    FrameComposer(const FrameComposer&) = delete;
    FrameComposer& operator=(const FrameComposer&) = delete;

    const GifInfo& info() const { return m_info; }
    const ByteSource& source() const { return m_drawer.source(); }
    std::size_t frameCount() const { return m_info.frameCount(); }
    std::uint16_t width() const { return m_info.width; }
    std::uint16_t height() const { return m_info.height; }

    // As Animation::frame, lastChange and frameOpaque: frames numbered from 1, any
    // other number a caller's bug. Opaque means an image without transparency has
    // covered the whole screen since it was last cleared.
    std::span<const std::uint8_t> frame(int number);
    Area lastChange() const;
    bool frameOpaque() const { return m_work.opaque; }
    // Frames will be asked for backwards (a reverse or ping-pong sequence): key frames
    // and undo steps are laid down from now on, so the first step back does not replay
    // from frame 1 and a turn back does not replay at all.
    void expectBackwardSteps() { m_cache.expectBackwardSteps(); }

    // Recoveries met while drawing (an invalid code, data that ended early), once per image.
    const std::vector<Warning>& drawWarnings() const { return m_drawer.warnings(); }

    // For measuring the snapshot policy: bytes held in key frames and undo steps now, and
    // images drawn so far.
    std::size_t snapshotBytes() const { return m_cache.heldBytes(); }
    std::size_t imagesDrawn() const { return m_drawer.imagesDrawn(); }
    const FrameCache& cache() const { return m_cache; }

private:
    // Where composing a frame starts from.
    struct Start {
        enum class From {
            Canvas, // the canvas as it is, at or before the frame
            UndoSteps, // the canvas stepped back along undo steps
            KeyFrame,
            FreshImage, // an image that covers the screen, drawn over nothing
            Nothing, // an empty canvas, before frame 1
        };
        From from;
        std::size_t frame = 0; // what the start shows (FreshImage: the image drawn), but for Nothing
        const CanvasState* key = nullptr; // KeyFrame: the one in the cache
    };
    // The start with the fewest images left to draw up to `index`.
    Start nearestStart(std::size_t index) const;
    // Moves m_work to `start`; false when a fresh image turned out not to cover the screen.
    bool startFrom(const Start& start);
    // Draws images onto m_work up to frame `index`, recording undo steps on the way.
    void replayTo(std::size_t index);
    // Draws the image that starts at `index` over nothing; false when it turned out not
    // to cover the screen after all (its data ended early).
    bool composeAfresh(std::size_t index);
    void composeNext(CanvasState& state);
    void markChanged(const ClipRect& rect) { m_changed = m_changed.united(rect); }

    GifInfo m_info;
    ImageDrawer m_drawer;
    FrameCache m_cache;
    CanvasState m_work;
    ClipRect m_changed; // since the last frame() returned
    bool m_changedAll = true; // m_work was replaced or started afresh
};

} // namespace frolix::gif
