#include "FrameAhead.h"

#include <condition_variable>
#include <mutex>
#include <utility>

namespace frolix {

namespace {
// Below this a frame is composed in less time than it takes to hand it to another
// thread and back (a 96 x 56 animation cost 7 % more CPU with a worker).
constexpr std::size_t kMinAheadPixels = 256 * 256;
} // namespace

// What the caller and the worker share; the worker holds it too, so that a worker left
// behind in a read still has everything it touches when it comes back.
struct FrameAhead::Shared {
    std::shared_ptr<Animation> animation;
    std::function<void()> composed;
    std::mutex mutex;
    std::condition_variable changed; // the worker waits on it, nobody else
    bool callerHolds = true; // the caller holds the canvas: from a frame taken to ahead()
    bool busy = false; // the worker is composing
    bool quit = false;
    bool backwardsExpected = false; // to pass on before the next compose
    int wanted = 0; // what the worker is to compose next
    int asked = 0; // what take() asked for and has not had
    int ready = 0; // the frame the canvas holds
    int lastComposed = 0;
    Frame readyFrame;

    // Composes `number`; the worker's without the mutex, or the caller's with no worker.
    Frame compose(int number)
    {
        Frame frame;
        frame.pixels = animation->frame(number);
        frame.change = animation->lastChange();
        frame.changedSince = lastComposed;
        frame.opaque = animation->frameOpaque();
        lastComposed = number;
        return frame;
    }
};

FrameAhead::FrameAhead(std::shared_ptr<Animation> animation, Bytes bytes, std::function<void()> composed)
    : m_shared(std::make_shared<Shared>())
{
    m_shared->animation = std::move(animation);
    m_shared->composed = std::move(composed);
    const auto pixels = std::size_t(m_shared->animation->width()) * std::size_t(m_shared->animation->height());
    if (bytes == Bytes::MayHang || pixels >= kMinAheadPixels)
        m_worker = std::thread([shared = m_shared] { work(shared); });
}

FrameAhead::~FrameAhead()
{
    if (!m_worker.joinable())
        return;
    bool busy = false;
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->quit = true;
        busy = m_shared->busy;
    }
    m_shared->changed.notify_all();
    // A busy worker may be stuck in a read that never returns: it is let go, and ends
    // (dropping its frame and the animation) whenever the read does.
    if (busy)
        m_worker.detach();
    else
        m_worker.join();
}

std::optional<FrameAhead::Frame> FrameAhead::take(int number)
{
    Shared& shared = *m_shared;
    if (!m_worker.joinable()) {
        if (shared.ready != number) {
            if (std::exchange(shared.backwardsExpected, false))
                shared.animation->expectBackwardSteps();
            shared.readyFrame = shared.compose(number);
            shared.ready = number;
        }
        return shared.readyFrame;
    }
    {
        std::lock_guard lock(shared.mutex);
        if (!shared.busy && shared.ready == number) {
            shared.callerHolds = true;
            shared.asked = 0;
            return shared.readyFrame;
        }
        shared.callerHolds = false;
        shared.wanted = number;
        shared.asked = number;
    }
    shared.changed.notify_all();
    return std::nullopt;
}

void FrameAhead::ahead(int next)
{
    {
        std::lock_guard lock(m_shared->mutex);
        if (m_shared->asked != 0)
            return;
        m_shared->callerHolds = false;
        m_shared->wanted = next;
    }
    m_shared->changed.notify_all();
}

void FrameAhead::expectBackwardSteps()
{
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->backwardsExpected = true;
    }
    m_shared->changed.notify_all();
}

void FrameAhead::work(const std::shared_ptr<Shared>& shared)
{
    Shared& s = *shared;
    std::unique_lock lock(s.mutex);
    for (;;) {
        s.changed.wait(lock, [&s] { return s.quit || (!s.callerHolds && s.wanted != 0 && s.wanted != s.ready); });
        if (s.quit)
            return;
        const int number = s.wanted;
        const bool backwards = std::exchange(s.backwardsExpected, false);
        s.busy = true;
        lock.unlock();
        if (backwards)
            s.animation->expectBackwardSteps();
        Frame frame = s.compose(number);
        lock.lock();
        s.busy = false;
        s.readyFrame = frame;
        s.ready = number;
        // Under the mutex, so that once destruction has set `quit` no news goes out
        // to a caller that is gone.
        if (!s.quit && s.asked == number) {
            s.asked = 0;
            s.composed();
        }
    }
}

} // namespace frolix
