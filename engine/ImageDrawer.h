#pragma once
// Draws one image of a GIF over a canvas state: the last image's disposal first, then the
// image clipped to the screen, its colour table, its rows in the order the data holds them
// (interlaced images in four passes), damaged data repaired as browsers show it
// (QUIRKS.md). A transparent index leaves the canvas pixel as it was, disposal 2 clears
// the image's rectangle to transparent and disposal 3 restores what was under it.
// Recoveries are reported once per image.

#include "ByteSource.h"
#include "CanvasState.h"
#include "GifScanner.h"
#include "LzwDecoder.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace frolix::gif {

class ImageDrawer {
public:
    // `info` must outlive the drawer.
    ImageDrawer(std::shared_ptr<const ByteSource> source, const GifInfo& info, PixelOrder order);

    const ByteSource& source() const { return *m_source; }

    // Draws image `imageIndex` over `state` (which shows the frame before) and returns the
    // pixels it changed, the last image's disposal included.
    ClipRect draw(std::uint32_t imageIndex, CanvasState& state);

    // Recoveries met while drawing (an invalid code, data that ended early), once per image.
    const std::vector<Warning>& warnings() const { return m_warnings; }
    // Images drawn so far, for measuring the snapshot policy.
    std::size_t imagesDrawn() const { return m_imagesDrawn; }

private:
    // Image rows in the order the data holds them, and how many of them to decode.
    struct RowPlan {
        std::span<const std::uint32_t> rows; // m_rows
        std::size_t count = 0; // rows of data to decode: the last one on the screen, or the cap
        std::size_t cap = 0; // rows the decode cap per image allows
        bool capped = false; // rows on the screen were left out for the cap
    };
    // One image being drawn: where it lands, its rows and its colours.
    struct Drawing {
        const ImageRecord& image;
        ClipRect rect;
        RowPlan plan;
        const std::uint32_t* palette; // 256 entries in the canvas's byte order
    };

    // Counts the file bytes an image's data spans and now and then gives them back.
    void releaseFilePages(std::uint32_t imageIndex);
    // Returns the rectangle it changed.
    ClipRect disposeLast(CanvasState& state) const;
    void prepareDisposal(const ImageRecord& image, const ClipRect& rect, CanvasState& state) const;
    // The image's colour table in the canvas's byte order, 256 entries.
    const std::uint32_t* colourTable(const ImageRecord& image);
    RowPlan planRows(const ImageRecord& image, const ClipRect& rect);
    // Draws the rows [from, to) of the data (the last one in part where the data ends in it).
    void drawRows(const Drawing& drawing, std::span<const std::uint8_t> indices, std::size_t from, std::size_t to,
        CanvasState& state) const;
    // An interlaced image whose data ended early: each missing row takes the row that
    // would have been refined into it, as browsers show such images (QUIRKS.md).
    void repeatReceivedRows(const Drawing& drawing, std::span<const std::uint8_t> indices, CanvasState& state) const;
    void warnOnce(std::uint32_t imageIndex, const RowPlan& plan, bool dataShort);

    std::shared_ptr<const ByteSource> m_source;
    const GifInfo& m_info;
    PixelOrder m_order;
    std::size_t m_fileBytesTouched = 0; // image data read since the file's pages were released
    LzwDecoder m_decoder; // kept for its buffers: one image's colour indices, in data order
    std::vector<std::uint32_t> m_rows; // the image rows of the plan drawn last, in data order
    std::uint32_t m_palette[256]; // of the table at m_paletteOffset, m_paletteSize entries
    std::size_t m_paletteOffset = 0;
    std::uint16_t m_paletteSize = 0;
    bool m_paletteFilled = false;
    std::vector<bool> m_warned;
    std::vector<Warning> m_warnings;
    std::size_t m_imagesDrawn = 0;
};

} // namespace frolix::gif
