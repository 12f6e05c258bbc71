#pragma once
// Composes frames on a worker thread while the caller shows the current one, so the
// thread that shows frames only copies pixels: a backward step that replays images, a
// large image's decoding, or a read from a mapped file whose pages have to come back
// from a slow (or hung) share, happens off it.
//
// The caller never waits: take() hands over a frame already composed, or asks the worker
// for it and returns nothing; the worker calls `composed` (on its own thread) when that
// frame is ready, and the caller takes it then. The frame to be shown next is composed
// during the delay of the one before (ahead()), so in steady playing take() finds it.
//
// The animation is used by one thread at a time: the caller from a take() that returns
// a frame until its next take() or ahead(), the worker otherwise. What take() returns
// points into the animation's canvas and holds until then.
//
// An animation held in memory and small enough has no worker: its bytes cannot hang and
// composing it costs less than handing it to a thread, so take() composes it there.
// The worker owns what it touches, so destruction never waits on a worker stuck in a
// read: a busy worker is left to finish on its own and its result dropped.

#include "Animation.h"

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <thread>

namespace frolix {

class FrameAhead {
public:
    enum class Bytes {
        InMemory, // cannot hang
        MayHang, // a mapped file: a read may block for as long as its file system does
    };
    // `composed` is called on the worker's thread, never after destruction has begun;
    // it must only hand the news on (post an event), not call back into this object.
    FrameAhead(std::shared_ptr<Animation> animation, Bytes bytes, std::function<void()> composed);
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
    // Frame `number` (1 to the frame count) when it is composed; else nothing, and the
    // worker composes it (after what it is composing) and then calls `composed`.
    std::optional<Frame> take(int number);
    // Done with the frame taken; composes frame `next` ahead of its showing (0: nothing,
    // the worker rests). Ignored while a frame asked for by take() is still to come.
    void ahead(int next);
    // As Animation::expectBackwardSteps, passed on before the next compose.
    void expectBackwardSteps();

private:
    struct Shared;
    static void work(const std::shared_ptr<Shared>& shared);

    std::shared_ptr<Shared> m_shared;
    std::thread m_worker; // none when composed on the caller's thread
};

} // namespace frolix
