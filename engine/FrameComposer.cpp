#include "FrameComposer.h"

#include "Contract.h"

#include <utility>

namespace frolix::gif {

FrameComposer::FrameComposer(
    std::shared_ptr<const ByteSource> source, GifInfo info, std::size_t snapshotBudgetBytes, PixelOrder order)
    : m_info(std::move(info))
    , m_drawer(std::move(source), m_info, order)
    , m_cache(m_info, snapshotBudgetBytes)
{
}

std::span<const std::uint8_t> FrameComposer::frame(int number)
{
    FROLIX_EXPECTS(number >= 1 && std::size_t(number) <= frameCount());
    const std::size_t index = std::size_t(number - 1); // states are kept by index from 0
    m_changed = {};
    m_changedAll = false;
    // A step back to any frame but the first: playing forwards, looping included, only
    // ever continues or restarts the canvas.
    if (m_work.frame && index < *m_work.frame && index != 0)
        m_cache.expectBackwardSteps();
    while (!startFrom(nearestStart(index))) {
        // The image chosen to start from did not cover the screen, and is no longer a start.
    }
    replayTo(index);
    return std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(m_work.canvas.data()), m_work.canvas.size() * 4);
}

FrameComposer::Start FrameComposer::nearestStart(std::size_t index) const
{
    using From = Start::From;
    if (m_work.frame == index)
        return { From::Canvas, index };
    if (m_work.frame && index < *m_work.frame && m_cache.undoLeads(*m_work.frame, index))
        return { From::UndoSteps, index };
    // Start where the fewest images are left to draw: from the canvas as it is, a key
    // frame, an image that covers the screen, or nothing. Copying a key frame counts as
    // drawing one image, and on a tie the canvas as it is wins: a step forward onto a
    // key draws its image, and records its undo step, instead of copying a canvas.
    Start best { From::Nothing };
    std::size_t fewest = index + 1;
    auto consider = [&](Start start, std::size_t images) {
        if (images <= fewest) { // the later considered wins a tie
            best = start;
            fewest = images;
        }
    };
    if (std::optional<std::size_t> fresh = m_cache.freshStartAtOrBefore(index))
        consider({ From::FreshImage, *fresh }, index - *fresh + 1);
    if (const CanvasState* key = m_cache.keyAtOrBefore(index))
        consider({ From::KeyFrame, *key->frame, key }, index - *key->frame + 1);
    if (m_work.frame && *m_work.frame < index)
        consider({ From::Canvas, *m_work.frame }, index - *m_work.frame);
    return best;
}

bool FrameComposer::startFrom(const Start& start)
{
    using From = Start::From;
    if (start.from == From::Canvas)
        return true;
    if (start.from == From::UndoSteps) {
        markChanged(m_cache.undoTo(m_work, start.frame));
        return true;
    }
    // A key frame is saved as composing leaves it, so the frame shown last is never
    // copied until it must be: a still picture is never copied at all.
    if (m_work.frame)
        m_cache.remember(m_work);
    switch (start.from) {
    case From::KeyFrame:
        m_work = *start.key;
        m_changedAll = true;
        return true;
    case From::FreshImage:
        return composeAfresh(start.frame);
    default:
        m_work.frame.reset();
        return true;
    }
}

void FrameComposer::replayTo(std::size_t index)
{
    // The steps just before the frame wanted, as many as their undo fits the budget
    // beside the key frames, are recorded: playing backwards asks for those frames next.
    // Playing forwards records each step too, so that turning back copies a rectangle
    // instead of replaying from a key frame.
    const std::size_t firstDrawn = m_work.frame ? *m_work.frame + 1 : 0;
    const std::optional<std::size_t> recordFrom = m_cache.firstRecordedStep(firstDrawn, index);
    while (!m_work.frame || *m_work.frame < index) {
        if (m_work.frame) {
            m_cache.remember(m_work);
            if (recordFrom && *m_work.frame + 1 >= *recordFrom)
                m_cache.recordUndo(m_work);
        }
        composeNext(m_work);
    }
}

void FrameComposer::composeNext(CanvasState& state)
{
    if (!state.frame) {
        m_changedAll = true;
        state.canvas.assign(std::size_t(m_info.width) * m_info.height, 0u);
        state.pendingDisposal = Disposal::None;
        state.pendingRect = {};
        state.backup.clear();
        state.opaque = false;
        state.frame = 0;
    } else {
        ++*state.frame;
    }
    if (*state.frame < m_info.images.size())
        markChanged(m_drawer.draw(std::uint32_t(*state.frame), state));
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
    markChanged(m_drawer.draw(std::uint32_t(index), m_work));
    if (m_work.opaque)
        return true;
    m_cache.markNotFresh(index);
    m_work.frame.reset();
    return false;
}

Area FrameComposer::lastChange() const
{
    if (m_changedAll)
        return Area { 0, 0, m_info.width, m_info.height };
    if (m_changed.empty())
        return Area {};
    return Area { m_changed.left, m_changed.top, m_changed.right - m_changed.left, m_changed.bottom - m_changed.top };
}

} // namespace frolix::gif
