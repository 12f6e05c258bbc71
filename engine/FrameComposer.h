#pragma once
// Composing: builds the logical-screen canvas of any frame (frame k shows image k drawn
// over what the images before it left), as browsers do.
// Images are clipped to the screen, a transparent index leaves the canvas pixel as it
// was, disposal 2 clears the image's rectangle to transparent and disposal 3 restores
// what was under it. Output is non-premultiplied RGBA, transparent pixels (0,0,0,0).
//
// Random access without replaying from frame 1, within a fixed byte budget:
//  - an image that covers the screen with no transparent pixel (and is not to be
//    restored from) is a frame of its own: composing starts there, nothing is kept;
//  - key frames, whole composed states at an even stride, kept for good, in half of
//    the budget; they are laid down from the first time a frame is asked for before
//    the one shown, or from the start once told that frames will be (a reverse or
//    ping-pong sequence); until then frames only ever move forwards and nothing is
//    copied;
//  - undo steps in the rest: from then on each step forwards, played or replayed
//    towards a frame asked for, records the pixels it changes as they were (the least
//    recently used dropped first), so that playing backwards from there, or turning
//    back, takes one rectangle's copy per frame.
// A state is the canvas plus what the last image's disposal needs.

#include "AnimationTypes.h"
#include "ByteSource.h"
#include "GifScanner.h"
#include "LzwDecoder.h"

#include <cstddef>
#include <cstdint>
#include <map>
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

    const GifInfo& info() const { return m_info; }
    const ByteSource& source() const { return *m_source; }
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
    void expectBackwardSteps() { m_steppedBack = true; }

    // Recoveries met while drawing (an invalid code, data that ended early), once per image.
    const std::vector<Warning>& drawWarnings() const { return m_drawWarnings; }

    // For measuring the snapshot policy: bytes held in key frames and undo steps now, and
    // images drawn so far.
    std::size_t snapshotBytes() const { return m_heldBytes; }
    std::size_t imagesDrawn() const { return m_imagesDrawn; }

private:
    struct ClipRect {
        std::uint32_t left = 0, top = 0, right = 0, bottom = 0; // right/bottom exclusive
        bool empty() const { return left >= right || top >= bottom; }
        // The smallest rectangle holding both.
        ClipRect united(const ClipRect& other) const;
    };
    struct State {
        static constexpr std::size_t kNone = SIZE_MAX;
        std::size_t frame = kNone; // the frame this canvas shows
        std::vector<std::uint32_t> canvas;
        Disposal pendingDisposal = Disposal::None; // of the last image drawn
        ClipRect pendingRect;
        std::vector<std::uint32_t> backup; // under pendingRect, for RestorePrevious
        bool opaque = false; // every canvas pixel is opaque (see frameOpaque)
        bool backupOpaque = false; // and so were the backup's when it was taken
    };
    // Turns the state of the frame it is filed under back into the frame before's: the
    // rectangle the step changed, with `before.canvas` holding only its pixels as they were.
    struct Undo {
        ClipRect rect;
        State before;
        std::uint64_t lastUse = 0;
    };

    // Image rows in the order the data holds them, and how many of them to decode.
    struct RowPlan {
        std::vector<std::uint32_t> rows;
        std::size_t count = 0; // rows of data to decode: the last one on the screen, or the cap
        std::size_t cap = 0; // rows the decode cap per image allows
        bool capped = false; // rows on the screen were left out for the cap
    };

    ClipRect clip(const ImageRecord& image) const;
    // Draws the image that starts at `index` over nothing (see the top); false when it
    // turned out not to cover the screen after all (its data ended early).
    bool composeAfresh(std::size_t index);
    // The last frame at or before `index` that is composed from its own image alone, or
    // State::kNone.
    std::size_t freshStartAtOrBefore(std::size_t index) const;
    void composeNext(State& state);
    void markChanged(const ClipRect& rect);

    // Drawing one image, step by step.
    void drawImage(std::uint32_t imageIndex, State& state);
    // Counts the file bytes an image's data spans and now and then gives them back.
    void releaseFilePages(std::uint32_t imageIndex);
    void disposeLast(State& state);
    // A rectangle of a canvas into a buffer of its own size (`saved`), and back.
    void saveRect(
        const std::vector<std::uint32_t>& canvas, const ClipRect& rect, std::vector<std::uint32_t>& saved) const;
    void restoreRect(
        const std::vector<std::uint32_t>& saved, const ClipRect& rect, std::vector<std::uint32_t>& canvas) const;
    void prepareDisposal(const ImageRecord& image, const ClipRect& rect, State& state) const;
    // The image's colour table in the canvas's byte order, 256 entries.
    const std::uint32_t* colourTable(const ImageRecord& image);
    static RowPlan planRows(const ImageRecord& image, const ClipRect& rect);
    // Draws the rows [from, to) of the data (the last one in part where the data ends in it).
    void drawRows(const ImageRecord& image, const ClipRect& rect, const RowPlan& plan,
        std::span<const std::uint8_t> indices, std::size_t from, std::size_t to, const std::uint32_t* palette,
        State& state) const;
    // An interlaced image whose data ended early: each missing row takes the row that
    // would have been refined into it, as browsers show such images (QUIRKS.md).
    void repeatReceivedRows(const ImageRecord& image, const ClipRect& rect, const RowPlan& plan,
        std::span<const std::uint8_t> indices, const std::uint32_t* palette, State& state) const;
    void warnOnce(std::uint32_t imageIndex, const RowPlan& plan, bool dataShort);

    // Keeps `state` when it is a key frame.
    void remember(const State& state);
    // The pixels the step from `state` to the next frame changes, and the bytes their undo
    // step holds (static: from the image records alone).
    ClipRect stepRect(std::size_t nextFrame) const;
    std::size_t undoBytes(std::size_t nextFrame) const;
    void recordUndo(const State& state);
    // Steps m_work back to `index` when undo steps lead there; false (and m_work as it
    // was) when they do not.
    bool undoTo(std::size_t index);
    // Makes room for `bytes` by dropping the least recently used undo steps; false when
    // even all of them would not do.
    bool makeRoom(std::size_t bytes);
    static std::size_t stateBytes(const State& state);

    std::shared_ptr<const ByteSource> m_source;
    std::size_t m_fileBytesTouched = 0; // image data read since the file's pages were released
    GifInfo m_info;
    PixelOrder m_order;
    std::size_t m_keyStride = 0; // 0: no key frames
    bool m_steppedBack = false; // key frames and undo steps are worth their copies only after this
    std::map<std::size_t, State> m_keys;
    std::map<std::size_t, Undo> m_undo; // by the frame each leads back from
    std::vector<std::size_t> m_freshStart; // freshStartAtOrBefore of each image, as the records promise
    std::vector<bool> m_notFresh; // images that promised to cover the screen and did not
    std::size_t m_budgetBytes = 0;
    std::size_t m_heldBytes = 0; // in m_keys and m_undo
    std::uint64_t m_useCounter = 0;
    State m_work;
    ClipRect m_changed; // since the last frame() returned
    bool m_changedAll = true; // m_work was replaced or started afresh
    LzwDecoder m_decoder; // kept for its buffers: one image's colour indices, in data order
    std::uint32_t m_palette[256]; // of the table at m_paletteOffset, m_paletteSize entries
    std::size_t m_paletteOffset = 0;
    std::uint16_t m_paletteSize = 0;
    bool m_paletteFilled = false;
    std::vector<bool> m_warned;
    std::vector<Warning> m_drawWarnings;
    std::size_t m_imagesDrawn = 0;
};

} // namespace frolix::gif
