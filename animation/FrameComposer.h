#pragma once
// Composing: builds the logical-screen canvas of any frame (frame k shows image k drawn
// over what the images before it left), as browsers do.
// Images are clipped to the screen, a transparent index leaves the canvas pixel as it
// was, disposal 2 clears the image's rectangle to transparent and disposal 3 restores
// what was under it. Output is non-premultiplied RGBA, transparent pixels (0,0,0,0).
//
// Random access without replaying from frame 1: composed states are saved as
// snapshots within a fixed byte budget, from the first time a frame is asked for
// before the one shown (other than frame 1); until then frames only ever move forwards
// and nothing is copied. Half of it holds key frames at an even stride,
// kept for good; the other half holds the frames most recently passed on the way to a
// requested one, so that playing backwards finds its next frame ready. A snapshot is
// the whole compositor state: the canvas plus what the last image's disposal needs.

#include "Animation.h"
#include "FileBytes.h"
#include "GifScanner.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <vector>

namespace frolix::gif {

class LzwDecoder;

// Enough for every frame of most animations; a 1000 x 1000 one keeps 12 canvases, so a
// 1000-frame file plays backwards within its size plus 96 MiB (BENCHMARKS.md, Playing).
inline constexpr std::size_t kDefaultSnapshotBudgetBytes = 48u << 20;

class FrameComposer {
public:
    FrameComposer(std::shared_ptr<const FileBytes> file, GifInfo info,
        std::size_t snapshotBudgetBytes = kDefaultSnapshotBudgetBytes, PixelOrder order = PixelOrder::Rgba);

    const GifInfo& info() const { return m_info; }
    std::size_t frameCount() const { return m_info.frameCount(); }
    std::uint16_t width() const { return m_info.width; }
    std::uint16_t height() const { return m_info.height; }

    // As Animation::frame, lastChange and frameOpaque: frames numbered from 1, any
    // other number a caller's bug. Opaque means an image without transparency has
    // covered the whole screen since it was last cleared.
    std::span<const std::uint8_t> frame(int number);
    Area lastChange() const;
    bool frameOpaque() const { return m_work.opaque; }

    // Recoveries met while drawing (an invalid code, data that ended early), once per image.
    const std::vector<Warning>& drawWarnings() const { return m_drawWarnings; }

    // For measuring the snapshot policy: bytes held in snapshots now, and images drawn so far.
    std::size_t snapshotBytes() const { return m_heldBytes; }
    std::size_t imagesDrawn() const { return m_imagesDrawn; }

private:
    struct ClipRect {
        std::uint32_t left = 0, top = 0, right = 0, bottom = 0; // right/bottom exclusive
        bool empty() const { return left >= right || top >= bottom; }
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
    struct Snapshot {
        State state;
        bool isKey = false;
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
    void composeNext(State& state);
    void markChanged(const ClipRect& rect);

    // Drawing one image, step by step.
    void drawImage(std::uint32_t imageIndex, State& state);
    // Counts the file bytes an image's data spans and now and then gives them back.
    void releaseFilePages(std::uint32_t imageIndex);
    void disposeLast(State& state);
    void prepareDisposal(const ImageRecord& image, const ClipRect& rect, State& state) const;
    void fillPalette(const ImageRecord& image, std::uint32_t (&palette)[256]) const;
    static RowPlan planRows(const ImageRecord& image, const ClipRect& rect);
    std::span<const std::uint8_t> decodeIndices(LzwDecoder& decoder, std::size_t count);
    void releaseLargeIndexBuffer();
    void drawRows(const ImageRecord& image, const ClipRect& rect, const RowPlan& plan,
        std::span<const std::uint8_t> indices, const std::uint32_t* palette, State& state) const;
    // An interlaced image whose data ended early: each missing row takes the row that
    // would have been refined into it, as browsers show such images (QUIRKS.md).
    void repeatReceivedRows(const ImageRecord& image, const ClipRect& rect, const RowPlan& plan,
        std::span<const std::uint8_t> indices, const std::uint32_t* palette, State& state) const;
    void warnOnce(std::uint32_t imageIndex, const LzwDecoder& decoder, const RowPlan& plan, bool dataShort);

    void remember(const State& state, bool passedOnTheWay);
    // The least recently used snapshot that is not a key frame; end() when none.
    std::map<std::size_t, Snapshot>::iterator oldestRecent();
    void forget(std::map<std::size_t, Snapshot>::iterator snapshot);
    static std::size_t stateBytes(const State& state);

    std::shared_ptr<const FileBytes> m_file;
    std::size_t m_fileBytesTouched = 0; // image data read since the file's pages were released
    GifInfo m_info;
    PixelOrder m_order;
    std::size_t m_keyStride = 0; // 0: no key frames
    std::size_t m_recentSlots = 0; // snapshots of frames passed on the way
    bool m_steppedBack = false; // snapshots are worth their copies only after this
    std::map<std::size_t, Snapshot> m_snapshots;
    std::size_t m_budgetBytes = 0;
    std::size_t m_heldBytes = 0; // canvases and backups in m_snapshots
    std::uint64_t m_useCounter = 0;
    State m_work;
    ClipRect m_changed; // since the last frame() returned
    bool m_changedAll = true; // m_work was replaced or started afresh
    std::unique_ptr<std::uint8_t[]> m_indices; // one image's colour indices, in data order
    std::size_t m_indicesCapacity = 0;
    std::vector<bool> m_warned;
    std::vector<Warning> m_drawWarnings;
    std::size_t m_imagesDrawn = 0;
};

} // namespace frolix::gif
