#pragma once
// Scheduling: decides which frame is shown when. It owns no timer and never sleeps:
// the caller asks nextChangeAt(), waits by whatever means it has, then calls
// update(). Time comes from an injected Clock so tests can drive it by hand.
//
// Frame numbers run from 1 to frameCount(). Playback policy lives here and only here:
//  - a stored delay of 0 or 1 hundredths plays as 10, as browsers do;
//  - a stored loop count of 0 plays forever, N plays N + 1 times; a file without a
//    loop extension plays once.
//
// States: Stopped <-> Playing; Playing -> Finished when the last play ends; play()
// from Finished starts the sequence again; stop() and step() from any state give Stopped.
//
// Stepping by hand follows the file's frame order whatever the sequence, and play() goes
// on from the frame stepped to (with all the plays still to come after a Finished):
//  - Next and Previous wrap: Next on the last frame shows the first and Previous on the
//    first the last, as the animation itself comes round; holding a key down cycles;
//  - TenOn and TenBack stop at the last and the first frame, as paging does, and do
//    nothing there: a page key that wrapped would throw the user to the other end;
//  - First and Last show the first and the last frame.
// Speed divides each delay, after the 0-or-1 rule, by its factor. The schedule is kept in
// microseconds, so a delay that does not divide into whole milliseconds keeps its mean
// exactly; nextChangeAt() rounds up to the millisecond the clock counts. The loop mode
// replaces the file's loop count (forever, or one play) or keeps it.

#include "AnimationTypes.h"
#include "DisplayOptions.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace frolix {

using Milliseconds = std::chrono::milliseconds;
using Microseconds = std::chrono::microseconds;

class Clock {
public:
    virtual ~Clock() = default;
    virtual Milliseconds now() const = 0;
};

class SteadyClock final : public Clock {
public:
    Milliseconds now() const override;
};

// How long a stored delay is shown for.
Milliseconds playedDelay(std::uint16_t storedDelayCs);
// Plays in all, or nullopt for forever.
std::optional<std::uint32_t> playCount(const Timeline& timeline);
// A speed as the fraction `num / den` of the file's own: exact, for the schedule.
struct SpeedRatio {
    int num;
    int den;
};
constexpr SpeedRatio speedRatio(Speed speed)
{
    switch (speed) {
    case Speed::Quarter:
        return { 1, 4 };
    case Speed::Half:
        return { 1, 2 };
    case Speed::Normal:
        break;
    case Speed::Double:
        return { 2, 1 };
    case Speed::Quadruple:
        return { 4, 1 };
    }
    return { 1, 1 };
}
constexpr double speedFactor(Speed speed) { return double(speedRatio(speed).num) / speedRatio(speed).den; }

enum class FrameStep { Next, Previous, First, Last, TenOn, TenBack };

class Player {
public:
    enum class State { Stopped, Playing, Finished };

    Player(const Clock& clock, Timeline timeline);

    int frameCount() const { return int(m_timeline.storedDelaysCs.size()); }
    int currentFrame() const { return m_at.frame; }
    State state() const { return m_state; }

    void play();
    void stop();
    // Shows `frame` (1 to frameCount(); any other is a caller's bug) without a step;
    // playing goes on from it.
    void jumpToFrame(int frame);
    // Goes on from the frame now shown, in the new direction.
    void setSequence(Sequence sequence);
    // Stops and shows the frame `step` leads to (see above); the step callback is called
    // when that is another frame. Nothing happens with no frames.
    void step(FrameStep step);
    // The frame step(`step`) would show now.
    int frameAfter(FrameStep step) const;
    // The frame shown keeps the part of its delay still to run, at the new speed.
    void setSpeed(Speed speed);
    Speed speed() const { return m_speed; }
    // Takes effect from the end of the play under way.
    void setLoopMode(LoopMode mode);
    LoopMode loopMode() const { return m_loopMode; }

    // When the shown frame next changes; nullopt when it will not change by itself.
    std::optional<Milliseconds> nextChangeAt() const;
    // The frame that change will show, or nullopt as for nextChangeAt().
    std::optional<int> nextFrame() const;
    // Moves to the frame due at the clock's time. Calls the step callback once for each
    // change of the shown frame. A caller late by more than a second skips ahead instead
    // of racing through the missed frames.
    void update();

    void setStepCallback(std::function<void()> callback) { m_onStep = std::move(callback); }

private:
    // Where in the sequence the player is.
    struct Position {
        int frame = 1;
        int direction = 1; // ping-pong's current direction
        std::uint32_t playsDone = 0;
    };
    // One step along the sequence from `from`; nullopt when the last play has ended.
    std::optional<Position> stepFrom(Position from) const;
    // Moves one step along the sequence; false when the last play has ended.
    bool advance();
    // The frame's delay at the speed set.
    Microseconds delayOf(int frame) const;

    const Clock& m_clock;
    Timeline m_timeline;
    std::optional<std::uint32_t> m_plays;
    State m_state = State::Stopped;
    Sequence m_sequence = Sequence::Normal;
    Speed m_speed = Speed::Normal;
    LoopMode m_loopMode = LoopMode::AsFile;
    Position m_at;
    Microseconds m_nextChange {};
    std::function<void()> m_onStep;
};

} // namespace frolix
