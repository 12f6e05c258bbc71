#pragma once
// The composed states kept for random access, within a fixed byte budget:
//  - an image that covers the screen with no transparent pixel (and is not to be
//    restored from) is a frame of its own: composing starts there, nothing is kept;
//  - key frames, whole composed states at an even stride, kept for good, in half of
//    the budget; they are laid down once told that frames will be asked for backwards;
//    until then frames only ever move forwards and nothing is copied;
//  - undo steps in the rest: each step forwards the composer asks for records the
//    pixels it changes as they were (the least recently used dropped first), so that
//    playing backwards from there, or turning back, takes one rectangle's copy per frame.
// Frames are numbered from 0 here.

#include "CanvasState.h"
#include "GifScanner.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <map>
#include <optional>
#include <vector>

namespace frolix::gif {

class FrameCache {
public:
    // `info` must outlive the cache.
    FrameCache(const GifInfo& info, std::size_t budgetBytes);

    // Frames will be asked for backwards: key frames and undo steps are worth their copies.
    void expectBackwardSteps() { m_steppedBack = true; }
    bool expectsBackwardSteps() const { return m_steppedBack; }

    // The last frame at or before `frame` composed from its own image alone.
    std::optional<std::size_t> freshStartAtOrBefore(std::size_t frame) const
    {
        std::optional<std::size_t> fresh = frame < m_freshStart.size() ? m_freshStart[frame] : std::nullopt;
        while (fresh && m_notFresh[*fresh])
            fresh = *fresh > 0 ? m_freshStart[*fresh - 1] : std::nullopt;
        return fresh;
    }
    // The image of `frame` promised to cover the screen and did not (its data ended early).
    void markNotFresh(std::size_t frame) { m_notFresh[frame] = true; }

    // The nearest key frame at or before `frame`, or null.
    const CanvasState* keyAtOrBefore(std::size_t frame) const
    {
        auto key = m_keys.upper_bound(frame);
        return key == m_keys.begin() ? nullptr : &std::prev(key)->second;
    }
    // Whether undo steps lead from frame `from` back to frame `to`.
    bool undoLeads(std::size_t from, std::size_t to) const;
    // Steps `state` back to frame `to` along undo steps (undoLeads must hold); returns the
    // pixels it changed.
    ClipRect undoTo(CanvasState& state, std::size_t to);

    // Keeps `state` when it is a key frame.
    void remember(const CanvasState& state);
    // The first frame whose step there is worth an undo step on the way from `firstDrawn`
    // to `target`: the steps just before the target, as many as fit the budget beside the
    // key frames (playing backwards asks for those frames next). None before backward
    // steps are expected, or when not even the last step fits.
    std::optional<std::size_t> firstRecordedStep(std::size_t firstDrawn, std::size_t target) const;
    // Records how to step back to `state` from the frame after it.
    void recordUndo(const CanvasState& state);

    std::size_t budgetBytes() const { return m_budgetBytes; }
    std::size_t heldBytes() const { return m_heldBytes; }
    // What is held, as stored: one entry per key frame and undo step, in pixels.
    struct Held {
        std::size_t frame; // a key frame's, or the frame an undo step leads back from
        bool key;
        std::size_t canvasPixels, backupPixels;
    };
    std::vector<Held> held() const;

private:
    // Turns the state of the frame it is filed under back into the frame before's: the
    // rectangle the step changed, with `before.canvas` holding only its pixels as they were.
    struct Undo {
        ClipRect rect;
        CanvasState before;
        std::uint64_t lastUse = 0;
    };

    ClipRect clip(const ImageRecord& image) const { return clipToScreen(image, m_info.width, m_info.height); }
    // The pixels the step from the frame before to `nextFrame` changes, and the bytes its
    // undo step holds (from the image records alone).
    ClipRect stepRect(std::size_t nextFrame) const;
    std::size_t undoBytes(std::size_t nextFrame) const;
    // Makes room for `bytes` by dropping the least recently used undo steps; false when
    // even all of them would not do.
    bool makeRoom(std::size_t bytes);

    const GifInfo& m_info;
    std::size_t m_budgetBytes = 0;
    std::size_t m_keyStride = 0; // 0: no key frames
    bool m_steppedBack = false;
    std::vector<std::optional<std::size_t>> m_freshStart; // freshStartAtOrBefore of each image, as the records promise
    std::vector<bool> m_notFresh; // images that promised to cover the screen and did not
    std::map<std::size_t, CanvasState> m_keys;
    std::map<std::size_t, Undo> m_undo; // by the frame each leads back from
    std::size_t m_heldBytes = 0; // in m_keys and m_undo
    std::uint64_t m_useCounter = 0;
};

} // namespace frolix::gif
