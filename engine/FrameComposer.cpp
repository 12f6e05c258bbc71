#include "FrameComposer.h"

#include "Contract.h"

#include <algorithm>
#include <cstring>

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
std::vector<std::uint32_t> rowOrder(std::uint32_t height, bool interlaced)
{
    std::vector<std::uint32_t> rows;
    rows.reserve(height);
    if (!interlaced) {
        for (std::uint32_t y = 0; y < height; ++y)
            rows.push_back(y);
        return rows;
    }
    static constexpr std::uint32_t kStart[4] = { 0, 4, 2, 1 };
    static constexpr std::uint32_t kStep[4] = { 8, 8, 4, 2 };
    for (int pass = 0; pass < 4; ++pass)
        for (std::uint32_t y = kStart[pass]; y < height; y += kStep[pass])
            rows.push_back(y);
    return rows;
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

FrameComposer::FrameComposer(
    std::shared_ptr<const ByteSource> source, GifInfo info, std::size_t snapshotBudgetBytes, PixelOrder order)
    : m_source(std::move(source))
    , m_info(std::move(info))
    , m_order(order)
    , m_budgetBytes(snapshotBudgetBytes)
    , m_warned(m_info.images.size(), false)
{
    std::size_t canvasBytes = std::size_t(m_info.width) * m_info.height * 4;
    std::size_t slots = canvasBytes ? snapshotBudgetBytes / canvasBytes : 0;
    std::size_t frames = frameCount();
    if (slots >= 2) {
        // Half the budget in key frames, the rest for undo steps. A key at most every
        // kMinKeyStride frames: replaying that many images costs less than copying
        // canvases all the way forwards.
        constexpr std::size_t kMinKeyStride = 16;
        std::size_t keySlots = slots / 2;
        m_keyStride = std::max(kMinKeyStride, (frames + keySlots - 1) / keySlots);
    }
    m_freshStart.resize(m_info.images.size(), State::kNone);
    m_notFresh.resize(m_info.images.size(), false);
    for (std::size_t i = 0; i < m_info.images.size(); ++i) {
        const ImageRecord& image = m_info.images[i];
        ClipRect rect = clip(image);
        bool fresh = !image.transparentIndex && image.disposal != Disposal::RestorePrevious && rect.left == 0
            && rect.top == 0 && rect.right == m_info.width && rect.bottom == m_info.height && !rect.empty();
        m_freshStart[i] = fresh ? i : i > 0 ? m_freshStart[i - 1] : State::kNone;
    }
}

std::size_t FrameComposer::stateBytes(const State& state) { return (state.canvas.size() + state.backup.size()) * 4; }

FrameComposer::ClipRect FrameComposer::clip(const ImageRecord& image) const
{
    ClipRect rect;
    rect.left = std::min<std::uint32_t>(image.left, m_info.width);
    rect.top = std::min<std::uint32_t>(image.top, m_info.height);
    rect.right = std::min<std::uint32_t>(std::uint32_t(image.left) + image.width, m_info.width);
    rect.bottom = std::min<std::uint32_t>(std::uint32_t(image.top) + image.height, m_info.height);
    return rect;
}

void FrameComposer::disposeLast(State& state)
{
    const ClipRect& rect = state.pendingRect;
    if (rect.empty())
        return;
    if (state.pendingDisposal == Disposal::RestoreBackground) {
        markChanged(rect);
        state.opaque = false;
        for (std::uint32_t y = rect.top; y < rect.bottom; ++y)
            std::fill_n(&state.canvas[std::size_t(y) * m_info.width + rect.left], rect.right - rect.left, 0u);
    } else if (state.pendingDisposal == Disposal::RestorePrevious) {
        markChanged(rect);
        state.opaque = state.opaque && state.backupOpaque;
        restoreRect(state.backup, rect, state.canvas);
    }
}

void FrameComposer::saveRect(
    const std::vector<std::uint32_t>& canvas, const ClipRect& rect, std::vector<std::uint32_t>& saved) const
{
    saved.clear();
    if (rect.empty())
        return;
    std::uint32_t width = rect.right - rect.left;
    saved.resize(std::size_t(width) * (rect.bottom - rect.top));
    for (std::uint32_t y = rect.top; y < rect.bottom; ++y)
        std::copy_n(
            &canvas[std::size_t(y) * m_info.width + rect.left], width, &saved[std::size_t(y - rect.top) * width]);
}

void FrameComposer::restoreRect(
    const std::vector<std::uint32_t>& saved, const ClipRect& rect, std::vector<std::uint32_t>& canvas) const
{
    if (rect.empty())
        return;
    std::uint32_t width = rect.right - rect.left;
    for (std::uint32_t y = rect.top; y < rect.bottom; ++y)
        std::copy_n(
            &saved[std::size_t(y - rect.top) * width], width, &canvas[std::size_t(y) * m_info.width + rect.left]);
}

void FrameComposer::prepareDisposal(const ImageRecord& image, const ClipRect& rect, State& state) const
{
    state.pendingDisposal = image.disposal;
    state.pendingRect = rect;
    state.backup.clear();
    if (image.disposal != Disposal::RestorePrevious || rect.empty())
        return;
    state.backupOpaque = state.opaque;
    saveRect(state.canvas, rect, state.backup);
}

const std::uint32_t* FrameComposer::colourTable(const ImageRecord& image)
{
    // Images mostly share the global table: it is converted once, not once per image.
    if (m_paletteFilled && m_paletteOffset == image.paletteOffset && m_paletteSize == image.paletteSize)
        return m_palette;
    m_paletteFilled = true;
    m_paletteOffset = image.paletteOffset;
    m_paletteSize = image.paletteSize;
    // Indices past the colour table draw opaque black (QUIRKS.md).
    const std::span<const std::uint8_t> file = m_source->bytes();
    std::fill_n(m_palette, 256, opaque(0, 0, 0, m_order));
    std::size_t entries
        = std::min<std::size_t>(image.paletteSize, (file.size() - std::min(file.size(), image.paletteOffset)) / 3);
    for (std::size_t i = 0; i < entries; ++i) {
        const std::uint8_t* rgb = &file[image.paletteOffset + 3 * i];
        m_palette[i] = opaque(rgb[0], rgb[1], rgb[2], m_order);
    }
    return m_palette;
}

FrameComposer::RowPlan FrameComposer::planRows(const ImageRecord& image, const ClipRect& rect)
{
    // Rows below the screen need no decoding; find how many rows of data we must read.
    RowPlan plan;
    plan.rows = rowOrder(image.height, image.interlaced);
    std::uint32_t visibleRows = rect.bottom - image.top;
    for (std::size_t i = 0; i < plan.rows.size(); ++i)
        if (plan.rows[i] < visibleRows)
            plan.count = i + 1;
    plan.cap = image.width ? std::size_t(kMaxDecodedPixelsPerImage / image.width) : 0;
    plan.capped = plan.count > plan.cap;
    plan.count = std::min(plan.count, plan.cap);
    return plan;
}

void FrameComposer::drawRows(const ImageRecord& image, const ClipRect& rect, const RowPlan& plan,
    std::span<const std::uint8_t> indices, std::size_t from, std::size_t to, const std::uint32_t* palette,
    State& state) const
{
    // Images start on the screen (a drawn rectangle has rect.left == image.left), so only
    // their right part may be clipped away.
    std::uint32_t visibleWidth = rect.right - rect.left;
    for (std::size_t i = from; i < to; ++i) {
        std::size_t rowStart = i * image.width;
        if (rowStart >= indices.size())
            break;
        std::uint32_t y = image.top + plan.rows[i];
        if (y >= rect.bottom)
            continue;
        std::uint32_t count = std::uint32_t(std::min<std::size_t>(visibleWidth, indices.size() - rowStart));
        const std::uint8_t* src = indices.data() + rowStart;
        std::uint32_t* dst = &state.canvas[std::size_t(y) * m_info.width + rect.left];
        if (!image.transparentIndex)
            drawOpaqueRow(src, dst, count, palette);
        else
            drawRowWithTransparency(src, dst, count, palette, *image.transparentIndex);
    }
}

Area FrameComposer::lastChange() const
{
    if (m_changedAll)
        return Area { 0, 0, m_info.width, m_info.height };
    if (m_changed.empty())
        return Area {};
    return Area { m_changed.left, m_changed.top, m_changed.right - m_changed.left, m_changed.bottom - m_changed.top };
}

FrameComposer::ClipRect FrameComposer::ClipRect::united(const ClipRect& other) const
{
    if (other.empty())
        return *this;
    if (empty())
        return other;
    return ClipRect { std::min(left, other.left), std::min(top, other.top), std::max(right, other.right),
        std::max(bottom, other.bottom) };
}

void FrameComposer::markChanged(const ClipRect& rect) { m_changed = m_changed.united(rect); }

void FrameComposer::releaseFilePages(std::uint32_t imageIndex)
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

void FrameComposer::drawImage(std::uint32_t imageIndex, State& state)
{
    const ImageRecord& image = m_info.images[imageIndex];
    ++m_imagesDrawn;
    releaseFilePages(imageIndex);
    disposeLast(state);
    ClipRect rect = clip(image);
    prepareDisposal(image, rect, state);
    if (rect.empty())
        return;
    markChanged(rect);

    const std::uint32_t* palette = colourTable(image);
    RowPlan plan = planRows(image, rect);
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
            drawRows(image, rect, plan, m_decoder.indices(), drawn, stopped ? plan.count : whole, palette, state);
        if (stopped)
            break;
        drawn = whole;
    }
    bool dataShort = decoded < needed;
    if (dataShort && image.interlaced)
        repeatReceivedRows(image, rect, plan, m_decoder.indices(), palette, state);
    bool coversScreen = rect.left == 0 && rect.top == 0 && rect.right == m_info.width && rect.bottom == m_info.height;
    if (!image.transparentIndex && coversScreen && !dataShort && !plan.capped)
        state.opaque = true;
    m_decoder.releaseBuffersOver(kKeptIndexBytes); // a hostile image may need a large buffer once
    warnOnce(imageIndex, plan, dataShort);
}

void FrameComposer::warnOnce(std::uint32_t imageIndex, const RowPlan& plan, bool dataShort)
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
        m_drawWarnings.push_back(std::move(*warning));
    }
}

void FrameComposer::repeatReceivedRows(const ImageRecord& image, const ClipRect& rect, const RowPlan& plan,
    std::span<const std::uint8_t> indices, const std::uint32_t* palette, State& state) const
{
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

void FrameComposer::composeNext(State& state)
{
    if (state.frame == State::kNone) {
        m_changedAll = true;
        state.canvas.assign(std::size_t(m_info.width) * m_info.height, 0u);
        state.pendingDisposal = Disposal::None;
        state.pendingRect = {};
        state.backup.clear();
        state.opaque = false;
        state.frame = 0;
    } else {
        ++state.frame;
    }
    if (state.frame < m_info.images.size())
        drawImage(std::uint32_t(state.frame), state);
}

std::size_t FrameComposer::freshStartAtOrBefore(std::size_t index) const
{
    std::size_t fresh = index < m_freshStart.size() ? m_freshStart[index] : State::kNone;
    while (fresh != State::kNone && m_notFresh[fresh])
        fresh = fresh > 0 ? m_freshStart[fresh - 1] : State::kNone;
    return fresh;
}

bool FrameComposer::composeAfresh(std::size_t index)
{
    // Every pixel is drawn over, so the canvas keeps whatever it held.
    m_changedAll = true;
    m_work.canvas.resize(std::size_t(m_info.width) * m_info.height);
    m_work.pendingDisposal = Disposal::None;
    m_work.pendingRect = {};
    m_work.backup.clear();
    m_work.opaque = false;
    m_work.frame = index;
    drawImage(std::uint32_t(index), m_work);
    if (m_work.opaque)
        return true;
    m_notFresh[index] = true;
    m_work.frame = State::kNone;
    return false;
}

void FrameComposer::remember(const State& state)
{
    if (!m_steppedBack || m_keyStride == 0 || state.frame % m_keyStride != 0 || m_keys.count(state.frame))
        return;
    // A key is not worth its canvas where an image covering the screen lies close before it.
    std::size_t fresh = freshStartAtOrBefore(state.frame);
    if (fresh != State::kNone && state.frame - fresh < m_keyStride)
        return;
    std::size_t bytes = stateBytes(state);
    if (!makeRoom(bytes))
        return;
    m_keys.emplace(state.frame, state);
    m_heldBytes += bytes;
}

FrameComposer::ClipRect FrameComposer::stepRect(std::size_t nextFrame) const
{
    ClipRect rect = clip(m_info.images[nextFrame]);
    const ImageRecord& last = m_info.images[nextFrame - 1];
    if (last.disposal == Disposal::RestoreBackground || last.disposal == Disposal::RestorePrevious)
        rect = rect.united(clip(last));
    return rect;
}

std::size_t FrameComposer::undoBytes(std::size_t nextFrame) const
{
    auto area = [](const ClipRect& r) { return r.empty() ? 0 : std::size_t(r.right - r.left) * (r.bottom - r.top); };
    const ImageRecord& last = m_info.images[nextFrame - 1];
    std::size_t backup = last.disposal == Disposal::RestorePrevious ? area(clip(last)) : 0;
    return (area(stepRect(nextFrame)) + backup) * 4;
}

void FrameComposer::recordUndo(const State& state)
{
    // A frame drawn from its own image costs that image again; its undo would often
    // hold a whole canvas (every frame of a video-like file) for little.
    const std::size_t next = state.frame + 1;
    if (next >= m_info.images.size() || m_undo.count(next) || freshStartAtOrBefore(state.frame) == state.frame)
        return;
    if (!makeRoom(undoBytes(next)))
        return;
    Undo undo { stepRect(next), State {}, ++m_useCounter };
    undo.before.frame = state.frame;
    undo.before.pendingDisposal = state.pendingDisposal;
    undo.before.pendingRect = state.pendingRect;
    undo.before.backup = state.backup;
    undo.before.opaque = state.opaque;
    undo.before.backupOpaque = state.backupOpaque;
    saveRect(state.canvas, undo.rect, undo.before.canvas);
    m_heldBytes += stateBytes(undo.before);
    m_undo.emplace(next, std::move(undo));
}

bool FrameComposer::undoTo(std::size_t index)
{
    for (std::size_t f = index + 1; f <= m_work.frame; ++f)
        if (!m_undo.count(f))
            return false;
    while (m_work.frame > index) {
        Undo& undo = m_undo.at(m_work.frame);
        undo.lastUse = ++m_useCounter;
        restoreRect(undo.before.canvas, undo.rect, m_work.canvas);
        markChanged(undo.rect);
        m_work.frame = undo.before.frame;
        m_work.pendingDisposal = undo.before.pendingDisposal;
        m_work.pendingRect = undo.before.pendingRect;
        m_work.backup = undo.before.backup;
        m_work.opaque = undo.before.opaque;
        m_work.backupOpaque = undo.before.backupOpaque;
    }
    return true;
}

bool FrameComposer::makeRoom(std::size_t bytes)
{
    while (m_heldBytes + bytes > m_budgetBytes) {
        auto oldest = m_undo.end();
        for (auto it = m_undo.begin(); it != m_undo.end(); ++it)
            if (oldest == m_undo.end() || it->second.lastUse < oldest->second.lastUse)
                oldest = it;
        if (oldest == m_undo.end())
            return false;
        m_heldBytes -= stateBytes(oldest->second.before);
        m_undo.erase(oldest);
    }
    return true;
}

std::span<const std::uint8_t> FrameComposer::frame(int number)
{
    FROLIX_EXPECTS(number >= 1 && std::size_t(number) <= frameCount());
    const std::size_t index = std::size_t(number - 1); // states are kept by index from 0
    const std::size_t none = State::kNone;
    auto bytes = [this] {
        return std::span<const std::uint8_t>(
            reinterpret_cast<const std::uint8_t*>(m_work.canvas.data()), m_work.canvas.size() * 4);
    };
    m_changed = {};
    m_changedAll = false;
    if (m_work.frame == index)
        return bytes();
    // Playing forwards, looping included, only ever continues or restarts the canvas.
    if (m_work.frame != none && index < m_work.frame) {
        m_steppedBack = m_steppedBack || index != 0;
        if (undoTo(index))
            return bytes();
    }

    // Start where the fewest images are left to draw: from the canvas as it is, a key
    // frame, an image that covers the screen, or nothing. Copying a key frame counts as
    // drawing one image, and on a tie the canvas as it is wins: a step forward onto a
    // key draws its image, and records its undo step, instead of copying a canvas.
    const std::size_t fromWork = m_work.frame != none && m_work.frame < index ? index - m_work.frame : SIZE_MAX;
    auto key = m_keys.upper_bound(index);
    key = key == m_keys.begin() ? m_keys.end() : std::prev(key);
    const std::size_t fromKey = key != m_keys.end() ? index - key->first + 1 : SIZE_MAX;
    const std::size_t fresh = freshStartAtOrBefore(index);
    const std::size_t fromFresh = fresh != none ? index - fresh + 1 : SIZE_MAX;
    const std::size_t best = std::min({ fromWork, fromKey, fromFresh, index + 1 });
    if (best != fromWork) {
        // A key frame is saved as composing leaves it, so the frame shown last is never
        // copied until it must be: a still picture is never copied at all.
        if (m_work.frame != none)
            remember(m_work);
        if (best == fromKey) {
            m_work = key->second;
            m_changedAll = true;
        } else if (best == fromFresh) {
            if (!composeAfresh(fresh))
                return frame(number); // it is no longer a fresh start
        } else {
            m_work.frame = none;
        }
    }

    // The steps just before the frame wanted, as many as their undo fits the budget
    // beside the key frames, are recorded: playing backwards asks for those frames next.
    // Playing forwards records each step too, so that turning back copies a rectangle
    // instead of replaying from a key frame.
    const std::size_t firstDrawn = m_work.frame == none ? 0 : m_work.frame + 1;
    std::size_t recordFrom = SIZE_MAX;
    if (m_steppedBack && index >= firstDrawn) {
        std::size_t keyBytes = 0;
        for (const auto& entry : m_keys)
            keyBytes += stateBytes(entry.second);
        std::size_t room = m_budgetBytes - std::min(m_budgetBytes, keyBytes), sum = 0;
        for (std::size_t f = index; f >= std::max<std::size_t>(firstDrawn, 1); --f) {
            sum += undoBytes(f);
            if (sum > room)
                break;
            recordFrom = f;
        }
    }
    while (m_work.frame == none || m_work.frame < index) {
        if (m_work.frame != none) {
            remember(m_work);
            if (m_work.frame + 1 >= recordFrom)
                recordUndo(m_work);
        }
        composeNext(m_work);
    }
    return bytes();
}

} // namespace frolix::gif
