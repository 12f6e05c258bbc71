#pragma once
// Composes the frame to be shown next on a worker thread while the caller shows the
// current one, so the thread that shows frames mostly only copies pixels: a backward
// step that replays images, or a large image's decoding, happens during the delay of
// the frame before.
//
// The animation is used by one thread at a time: the worker between ahead() and the
// next frame(), the caller from frame() until it calls ahead() again. What frame()
// returns points into the animation and holds until then. A small animation has no
// worker: every frame is composed by frame().

#include "Animation.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace frolix {

class FrameAhead {
public:
    explicit FrameAhead(std::shared_ptr<Animation> animation);
    ~FrameAhead();
    FrameAhead(const FrameAhead&) = delete;
    FrameAhead& operator=(const FrameAhead&) = delete;

    struct Frame {
        std::span<const std::uint8_t> pixels;
        // Where it may differ from frame `changedSince` (0: from anything).
        Area change;
        int changedSince = 0;
        bool opaque = false;
    };
    // Frame `number` (1 to the frame count), composed ahead when it was the one asked
    // for by ahead(), else now, after whatever the worker is composing.
    Frame frame(int number);
    // Done with the frame returned; composes frame `next` ahead of its showing (0:
    // nothing, the worker rests).
    void ahead(int next);
    // As Animation::expectBackwardSteps, from the caller's thread.
    void expectBackwardSteps();
    // Frames composed by the worker and by the caller, for measuring and tests.
    int composedAhead() const;
    int composedByCaller() const;

private:
    void work();
    // Composes `number` with the animation; m_mutex is not held.
    Frame compose(int number);

    std::shared_ptr<Animation> m_animation;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_callerHolds = true; // between frame() and ahead()
    bool m_busy = false; // the worker is composing
    bool m_quit = false;
    bool m_backwardsExpected = false; // to pass on before the next compose
    int m_wanted = 0; // what the worker is to compose next
    int m_ready = 0; // the frame the animation holds now
    int m_lastComposed = 0;
    Frame m_readyFrame;
    int m_composedAhead = 0;
    int m_composedByCaller = 0;
    std::thread m_worker; // last: started once everything above is set; none for a small animation
};

} // namespace frolix
