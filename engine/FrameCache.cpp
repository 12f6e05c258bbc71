#include "FrameCache.h"

#include <algorithm>

namespace frolix::gif {

FrameCache::FrameCache(const GifInfo& info, std::size_t budgetBytes)
    : m_info(info)
    , m_budgetBytes(budgetBytes)
    , m_freshStart(info.images.size())
    , m_notFresh(info.images.size(), false)
{
    std::size_t canvasBytes = std::size_t(m_info.width) * m_info.height * 4;
    std::size_t slots = canvasBytes ? budgetBytes / canvasBytes : 0;
    std::size_t frames = m_info.frameCount();
    if (slots >= 2) {
        // Half the budget in key frames, the rest for undo steps. A key at most every
        // kMinKeyStride frames: replaying that many images costs less than copying
        // canvases all the way forwards.
        constexpr std::size_t kMinKeyStride = 16;
        std::size_t keySlots = slots / 2;
        m_keyStride = std::max(kMinKeyStride, (frames + keySlots - 1) / keySlots);
    }
    for (std::size_t i = 0; i < m_info.images.size(); ++i) {
        const ImageRecord& image = m_info.images[i];
        ClipRect rect = clip(image);
        bool fresh = !image.transparentIndex && image.disposal != Disposal::RestorePrevious && rect.left == 0
            && rect.top == 0 && rect.right == m_info.width && rect.bottom == m_info.height && !rect.empty();
        m_freshStart[i] = fresh ? std::optional(i) : i > 0 ? m_freshStart[i - 1] : std::nullopt;
    }
}

void FrameCache::remember(const CanvasState& state)
{
    const std::size_t frame = *state.frame;
    if (!m_steppedBack || m_keyStride == 0 || frame % m_keyStride != 0 || m_keys.count(frame))
        return;
    // A key is not worth its canvas where an image covering the screen lies close before it.
    std::optional<std::size_t> fresh = freshStartAtOrBefore(frame);
    if (fresh && frame - *fresh < m_keyStride)
        return;
    std::size_t bytes = state.bytes();
    if (!makeRoom(bytes))
        return;
    m_keys.emplace(frame, state);
    m_heldBytes += bytes;
}

ClipRect FrameCache::stepRect(std::size_t nextFrame) const
{
    ClipRect rect = clip(m_info.images[nextFrame]);
    const ImageRecord& last = m_info.images[nextFrame - 1];
    if (last.disposal == Disposal::RestoreBackground || last.disposal == Disposal::RestorePrevious)
        rect = rect.united(clip(last));
    return rect;
}

std::size_t FrameCache::undoBytes(std::size_t nextFrame) const
{
    const ImageRecord& last = m_info.images[nextFrame - 1];
    std::size_t backup = last.disposal == Disposal::RestorePrevious ? clip(last).area() : 0;
    return (stepRect(nextFrame).area() + backup) * 4;
}

std::optional<std::size_t> FrameCache::firstRecordedStep(std::size_t firstDrawn, std::size_t target) const
{
    if (!m_steppedBack || target < firstDrawn)
        return std::nullopt;
    std::size_t keyBytes = 0;
    for (const auto& entry : m_keys)
        keyBytes += entry.second.bytes();
    std::size_t room = m_budgetBytes - std::min(m_budgetBytes, keyBytes), sum = 0;
    std::optional<std::size_t> first;
    for (std::size_t f = target; f >= std::max<std::size_t>(firstDrawn, 1); --f) {
        sum += undoBytes(f);
        if (sum > room)
            break;
        first = f;
    }
    return first;
}

void FrameCache::recordUndo(const CanvasState& state)
{
    // A frame drawn from its own image costs that image again; its undo would often
    // hold a whole canvas (every frame of a video-like file) for little.
    const std::size_t next = *state.frame + 1;
    if (next >= m_info.images.size() || m_undo.count(next) || freshStartAtOrBefore(*state.frame) == state.frame)
        return;
    if (!makeRoom(undoBytes(next)))
        return;
    Undo undo { stepRect(next), CanvasState {}, ++m_useCounter };
    undo.before.frame = state.frame;
    undo.before.pendingDisposal = state.pendingDisposal;
    undo.before.pendingRect = state.pendingRect;
    undo.before.backup = state.backup;
    undo.before.opaque = state.opaque;
    undo.before.backupOpaque = state.backupOpaque;
    saveRect(state.canvas, m_info.width, undo.rect, undo.before.canvas);
    m_heldBytes += undo.before.bytes();
    m_undo.emplace(next, std::move(undo));
}

bool FrameCache::undoLeads(std::size_t from, std::size_t to) const
{
    for (std::size_t f = to + 1; f <= from; ++f)
        if (!m_undo.count(f))
            return false;
    return true;
}

ClipRect FrameCache::undoTo(CanvasState& state, std::size_t to)
{
    ClipRect changed;
    while (*state.frame > to) {
        Undo& undo = m_undo.at(*state.frame);
        undo.lastUse = ++m_useCounter;
        restoreRect(undo.before.canvas, undo.rect, state.canvas, m_info.width);
        changed = changed.united(undo.rect);
        state.frame = undo.before.frame;
        state.pendingDisposal = undo.before.pendingDisposal;
        state.pendingRect = undo.before.pendingRect;
        state.backup = undo.before.backup;
        state.opaque = undo.before.opaque;
        state.backupOpaque = undo.before.backupOpaque;
    }
    return changed;
}

bool FrameCache::makeRoom(std::size_t bytes)
{
    while (m_heldBytes + bytes > m_budgetBytes) {
        auto oldest = m_undo.end();
        for (auto it = m_undo.begin(); it != m_undo.end(); ++it)
            if (oldest == m_undo.end() || it->second.lastUse < oldest->second.lastUse)
                oldest = it;
        if (oldest == m_undo.end())
            return false;
        m_heldBytes -= oldest->second.before.bytes();
        m_undo.erase(oldest);
    }
    return true;
}

std::vector<FrameCache::Held> FrameCache::held() const
{
    std::vector<Held> all;
    for (const auto& [frame, state] : m_keys)
        all.push_back({ frame, true, state.canvas.size(), state.backup.size() });
    for (const auto& [frame, undo] : m_undo)
        all.push_back({ frame, false, undo.before.canvas.size(), undo.before.backup.size() });
    return all;
}

} // namespace frolix::gif
