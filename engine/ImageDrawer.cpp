#include "ImageDrawer.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

namespace frolix::gif {

namespace {

// Decoding a row costs its full width even where it is clipped away; this caps what
// one image, and so one frame, may make us decode (a 1-pixel screen with a 65535 x
// 65535 image) while leaving room for every image that fits the canvas limit.
constexpr std::uint64_t kMaxDecodedPixelsPerImage = kMaxCanvasPixels;
// Index buffers up to this size are kept from one image to the next.
constexpr std::size_t kKeptIndexBytes = 16u << 20;
// Rows are decoded and drawn this many indices at a time, so that drawing reads them
// from the cache they were just written to.
constexpr std::size_t kStripIndices = 16u << 10;

std::uint32_t opaque(std::uint8_t r, std::uint8_t g, std::uint8_t b, PixelOrder order)
{
    const std::uint8_t rgba[4] = { r, g, b, 255 };
    const std::uint8_t bgra[4] = { b, g, r, 255 };
    const std::uint8_t* bytes = order == PixelOrder::Rgba ? rgba : bgra;
    std::uint32_t value;
    std::memcpy(&value, bytes, 4);
    return value;
}

// Image rows in the order the data holds them: interlaced images come in four passes.
void rowOrder(std::uint32_t height, bool interlaced, std::vector<std::uint32_t>& rows)
{
    rows.resize(height);
    if (!interlaced) {
        for (std::uint32_t y = 0; y < height; ++y)
            rows[y] = y;
        return;
    }
    static constexpr std::uint32_t kStart[4] = { 0, 4, 2, 1 };
    static constexpr std::uint32_t kStep[4] = { 8, 8, 4, 2 };
    std::size_t i = 0;
    for (int pass = 0; pass < 4; ++pass)
        for (std::uint32_t y = kStart[pass]; y < height; y += kStep[pass])
            rows[i++] = y;
}

// Unrolled by hand (the compiler does not): three loads and stores per pixel and
// little else.
void drawOpaqueRow(const std::uint8_t* src, std::uint32_t* dst, std::uint32_t count, const std::uint32_t* palette)
{
    const std::uint8_t* const end = src + count;
    for (; end - src >= 8; src += 8, dst += 8)
        for (unsigned i = 0; i < 8; ++i)
            dst[i] = palette[src[i]];
    for (; src < end; ++src, ++dst)
        *dst = palette[*src];
}

// Animations often draw each frame as a full rectangle that is mostly the transparent
// index, so eight indices are tested at once: all transparent is skipped, none
// transparent is drawn without a test per pixel.
void drawRowWithTransparency(const std::uint8_t* src, std::uint32_t* dst, std::uint32_t count,
    const std::uint32_t* palette, std::uint8_t transparent)
{
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHighs = 0x8080808080808080ull;
    const std::uint64_t spread = kOnes * transparent;
    std::uint32_t x = 0;
    for (; x + 8 <= count; x += 8) {
        std::uint64_t group;
        std::memcpy(&group, src + x, 8);
        if (group == spread)
            continue;
        std::uint64_t differs = group ^ spread; // a zero byte where the index is transparent
        bool anyTransparent = ((differs - kOnes) & ~differs & kHighs) != 0;
        if (!anyTransparent) {
            for (unsigned i = 0; i < 8; ++i)
                dst[x + i] = palette[src[x + i]];
        } else {
            for (unsigned i = 0; i < 8; ++i)
                if (src[x + i] != transparent)
                    dst[x + i] = palette[src[x + i]];
        }
    }
    for (; x < count; ++x)
        if (src[x] != transparent)
            dst[x] = palette[src[x]];
}

} // namespace

ImageDrawer::ImageDrawer(std::shared_ptr<const ByteSource> source, const GifInfo& info, PixelOrder order)
    : m_source(std::move(source))
    , m_info(info)
    , m_order(order)
    , m_warned(info.images.size(), false)
{
}

ClipRect ImageDrawer::disposeLast(CanvasState& state) const
{
    const ClipRect& rect = state.pendingRect;
    if (rect.empty())
        return {};
    if (state.pendingDisposal == Disposal::RestoreBackground) {
        state.opaque = false;
        for (std::uint32_t y = rect.top; y < rect.bottom; ++y)
            std::fill_n(&state.canvas[std::size_t(y) * m_info.width + rect.left], rect.right - rect.left, 0u);
        return rect;
    }
    if (state.pendingDisposal == Disposal::RestorePrevious) {
        state.opaque = state.opaque && state.backupOpaque;
        restoreRect(state.backup, rect, state.canvas, m_info.width);
        return rect;
    }
    return {};
}

void ImageDrawer::prepareDisposal(const ImageRecord& image, const ClipRect& rect, CanvasState& state) const
{
    state.pendingDisposal = image.disposal;
    state.pendingRect = rect;
    state.backup.clear();
    if (image.disposal != Disposal::RestorePrevious || rect.empty())
        return;
    state.backupOpaque = state.opaque;
    saveRect(state.canvas, m_info.width, rect, state.backup);
}

const std::uint32_t* ImageDrawer::colourTable(const ImageRecord& image)
{
    // Images mostly share the global table: it is converted once, not once per image.
    if (m_paletteFilled && m_paletteOffset == image.paletteOffset && m_paletteSize == image.paletteSize)
        return m_palette;
    m_paletteFilled = true;
    m_paletteOffset = image.paletteOffset;
    m_paletteSize = image.paletteSize;
    // Indices past the colour table draw opaque black (QUIRKS.md).
    const std::span<const std::uint8_t> file = m_source->bytes();
    std::size_t entries
        = std::min<std::size_t>(image.paletteSize, (file.size() - std::min(file.size(), image.paletteOffset)) / 3);
    for (std::size_t i = 0; i < entries; ++i) {
        const std::uint8_t* rgb = &file[image.paletteOffset + 3 * i];
        m_palette[i] = opaque(rgb[0], rgb[1], rgb[2], m_order);
    }
    std::fill(m_palette + entries, m_palette + 256, opaque(0, 0, 0, m_order));
    return m_palette;
}

ImageDrawer::RowPlan ImageDrawer::planRows(const ImageRecord& image, const ClipRect& rect)
{
    // Rows below the screen need no decoding; find how many rows of data we must read.
    RowPlan plan;
    rowOrder(image.height, image.interlaced, m_rows); // kept from image to image: no allocation each
    plan.rows = m_rows;
    std::uint32_t visibleRows = rect.bottom - image.top;
    for (std::size_t i = 0; i < plan.rows.size(); ++i)
        if (plan.rows[i] < visibleRows)
            plan.count = i + 1;
    plan.cap = image.width ? std::size_t(kMaxDecodedPixelsPerImage / image.width) : 0;
    plan.capped = plan.count > plan.cap;
    plan.count = std::min(plan.count, plan.cap);
    return plan;
}

void ImageDrawer::drawRows(const Drawing& drawing, std::span<const std::uint8_t> indices, std::size_t from,
    std::size_t to, CanvasState& state) const
{
    const ImageRecord& image = drawing.image;
    const ClipRect& rect = drawing.rect;
    // Images start on the screen (a drawn rectangle has rect.left == image.left), so only
    // their right part may be clipped away.
    std::uint32_t visibleWidth = rect.right - rect.left;
    for (std::size_t i = from; i < to; ++i) {
        std::size_t rowStart = i * image.width;
        if (rowStart >= indices.size())
            break;
        std::uint32_t y = image.top + drawing.plan.rows[i];
        if (y >= rect.bottom)
            continue;
        std::uint32_t count = std::uint32_t(std::min<std::size_t>(visibleWidth, indices.size() - rowStart));
        const std::uint8_t* src = indices.data() + rowStart;
        std::uint32_t* dst = &state.canvas[std::size_t(y) * m_info.width + rect.left];
        if (!image.transparentIndex)
            drawOpaqueRow(src, dst, count, drawing.palette);
        else
            drawRowWithTransparency(src, dst, count, drawing.palette, *image.transparentIndex);
    }
}

void ImageDrawer::releaseFilePages(std::uint32_t imageIndex)
{
    // A mapped file's pages stay resident once read; they are given back now and then,
    // so playing a file of any size holds only a little of it at a time.
    const std::size_t fileSize = m_source->bytes().size();
    const std::size_t start = m_info.images[imageIndex].dataOffset;
    const std::size_t end = imageIndex + 1 < m_info.images.size() ? m_info.images[imageIndex + 1].dataOffset : fileSize;
    m_fileBytesTouched += end - std::min(end, start);
    if (m_fileBytesTouched > kResidentFileBytes) {
        m_source->release();
        m_fileBytesTouched = 0;
    }
}

ClipRect ImageDrawer::draw(std::uint32_t imageIndex, CanvasState& state)
{
    const ImageRecord& image = m_info.images[imageIndex];
    ++m_imagesDrawn;
    releaseFilePages(imageIndex);
    const ClipRect disposed = disposeLast(state);
    const ClipRect rect = clipToScreen(image, m_info.width, m_info.height);
    prepareDisposal(image, rect, state);
    if (rect.empty())
        return disposed;

    const std::uint32_t* palette = colourTable(image);
    const Drawing drawing { image, rect, planRows(image, rect), palette };
    const RowPlan& plan = drawing.plan;
    const std::size_t needed = plan.count * image.width;
    // An opaque image as wide as the screen lies in one stretch of the canvas: it may be
    // decoded straight into it, each index looked up once per literal instead of once
    // per pixel. Otherwise indices are decoded and drawn.
    m_decoder.start(m_source->bytes(), image.dataOffset, image.minCodeSize, needed);
    const bool direct = !image.transparentIndex && !image.interlaced && image.left == 0 && image.width == m_info.width
        && !plan.capped && m_decoder.coloursPayOff();
    if (direct)
        m_decoder.intoColours(std::span(state.canvas).subspan(std::size_t(image.top) * m_info.width, needed), palette);
    // A strip of rows at a time, drawn while its indices are still in the cache.
    const std::size_t stripRows = std::max<std::size_t>(1, kStripIndices / image.width);
    std::size_t decoded = 0;
    for (std::size_t drawn = 0;;) {
        decoded = m_decoder.decode((drawn + stripRows) * image.width);
        const bool stopped = m_decoder.status() != LzwDecoder::Status::Running;
        const std::size_t whole = decoded / image.width;
        if (!direct)
            drawRows(drawing, m_decoder.indices(), drawn, stopped ? plan.count : whole, state);
        if (stopped)
            break;
        drawn = whole;
    }
    bool dataShort = decoded < needed;
    if (dataShort && image.interlaced)
        repeatReceivedRows(drawing, m_decoder.indices(), state);
    bool coversScreen = rect.left == 0 && rect.top == 0 && rect.right == m_info.width && rect.bottom == m_info.height;
    if (!image.transparentIndex && coversScreen && !dataShort && !plan.capped)
        state.opaque = true;
    m_decoder.releaseBuffersOver(kKeptIndexBytes); // a hostile image may need a large buffer once
    warnOnce(imageIndex, plan, dataShort);
    return disposed.united(rect);
}
void ImageDrawer::warnOnce(std::uint32_t imageIndex, const RowPlan& plan, bool dataShort)
{
    const LzwDecoder& decoder = m_decoder;
    const ImageRecord& image = m_info.images[imageIndex];
    if (m_warned[imageIndex])
        return;
    std::optional<Warning> warning;
    switch (decoder.status()) {
    case LzwDecoder::Status::InvalidCode:
        warning = Warning { Warning::Kind::InvalidCode,
            "invalid LZW code " + std::to_string(decoder.invalidCode()) + " with " + std::to_string(decoder.tableSize())
                + " table entries; the pixels before it are kept" };
        break;
    case LzwDecoder::Status::BadMinCodeSize:
        warning = Warning { Warning::Kind::BadMinCodeSize,
            "LZW minimum code size " + std::to_string(image.minCodeSize) + " is outside 1 to "
                + std::to_string(LzwDecoder::kMaxMinCodeSize) + "; the image is not drawn" };
        break;
    default:
        if (dataShort)
            warning = Warning { Warning::Kind::DataEndsEarly,
                image.interlaced ? "pixel data ends early; each row received is repeated over the rows of later passes"
                                 : "pixel data ends early; the missing pixels are left as they were" };
        else if (plan.capped)
            warning
                = Warning { Warning::Kind::RowCap, "only the first " + std::to_string(plan.cap) + " rows are decoded" };
        break;
    }
    if (warning) {
        m_warned[imageIndex] = true;
        warning->message = "image " + std::to_string(imageIndex + 1) + ": " + warning->message;
        m_warnings.push_back(std::move(*warning));
    }
}

void ImageDrawer::repeatReceivedRows(
    const Drawing& drawing, std::span<const std::uint8_t> indices, CanvasState& state) const
{
    const ImageRecord& image = drawing.image;
    const ClipRect& rect = drawing.rect;
    const RowPlan& plan = drawing.plan;
    const std::uint32_t* palette = drawing.palette;
    const std::uint32_t visibleWidth = rect.right - rect.left;
    auto draw = [&](std::size_t from, std::uint32_t y, std::uint32_t count) {
        const std::uint8_t* src = indices.data() + from;
        std::uint32_t* dst = &state.canvas[std::size_t(image.top + y) * m_info.width + rect.left];
        if (!image.transparentIndex)
            drawOpaqueRow(src, dst, count, palette);
        else
            drawRowWithTransparency(src, dst, count, palette, *image.transparentIndex);
    };
    const std::size_t receivedRows = indices.size() / image.width;
    // Where each image row lies in the data, to tell which rows came in full.
    std::vector<std::uint32_t> dataRow(image.height);
    for (std::size_t i = 0; i < plan.rows.size(); ++i)
        dataRow[plan.rows[i]] = std::uint32_t(i);
    auto received = [&](std::uint32_t y) { return dataRow[y] < receivedRows; };
    for (std::uint32_t y = 0; image.top + y < rect.bottom; ++y) {
        if (received(y))
            continue;
        // The finest received row that a later pass would have refined down to y: a
        // third-pass row covers the one below it, a second-pass row the three below it,
        // a first-pass row the seven below it.
        std::uint32_t block = y - y % 8;
        std::uint32_t source;
        if (y % 4 == 3 && received(y - 1))
            source = y - 1;
        else if (y % 8 > 4 && received(block + 4))
            source = block + 4;
        else if (y % 8 > 0 && received(block))
            source = block;
        else
            continue;
        draw(std::size_t(dataRow[source]) * image.width, y, visibleWidth);
        // The row the data ended in keeps what it received, over the repeated row.
        std::size_t start = receivedRows * image.width;
        if (dataRow[y] == receivedRows && indices.size() > start)
            draw(start, y, std::min<std::uint32_t>(visibleWidth, std::uint32_t(indices.size() - start)));
    }
}

} // namespace frolix::gif
