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
// from Finished starts the sequence again; stop() from any state gives Stopped.

#include "AnimationTypes.h"
#include "DisplayOptions.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace frolix {

using Milliseconds = std::chrono::milliseconds;

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
    Milliseconds delayOf(int frame) const;

    const Clock& m_clock;
    Timeline m_timeline;
    std::optional<std::uint32_t> m_plays;
    State m_state = State::Stopped;
    Sequence m_sequence = Sequence::Normal;
    Position m_at;
    Milliseconds m_nextChange {};
    std::function<void()> m_onStep;
};

} // namespace frolix
