#include "Player.h"

#include "Contract.h"

#include <algorithm>

namespace frolix {

namespace {
// Beyond this lag the schedule restarts from now rather than catching up frame by frame.
constexpr Milliseconds kMaxCatchUp { 1000 };
// How far TenOn and TenBack go.
constexpr int kPageFrames = 10;

// `duration` of the file's own time at `speed`.
Microseconds atSpeed(Microseconds duration, Speed speed)
{
    const SpeedRatio ratio = speedRatio(speed);
    return duration * ratio.den / ratio.num;
}
} // namespace

Milliseconds SteadyClock::now() const
{
    return std::chrono::duration_cast<Milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
}

Milliseconds playedDelay(std::uint16_t storedDelayCs)
{
    return Milliseconds(storedDelayCs <= 1 ? 100 : storedDelayCs * 10);
}

std::optional<std::uint32_t> playCount(const Timeline& timeline)
{
    if (!timeline.storedLoopCount)
        return 1;
    if (*timeline.storedLoopCount == 0)
        return std::nullopt;
    return std::uint32_t(*timeline.storedLoopCount) + 1;
}

Player::Player(const Clock& clock, Timeline timeline)
    : m_clock(clock)
    , m_timeline(std::move(timeline))
    , m_plays(playCount(m_timeline))
{
}

Microseconds Player::delayOf(int frame) const
{
    return atSpeed(playedDelay(m_timeline.storedDelaysCs[std::size_t(frame - 1)]), m_speed);
}

void Player::play()
{
    if (m_state == State::Playing || frameCount() == 0)
        return;
    if (m_state == State::Finished) {
        m_at.playsDone = 0;
        m_at.direction = 1;
        int first = m_sequence == Sequence::Reverse ? frameCount() : 1;
        if (first != m_at.frame) {
            m_at.frame = first;
            if (m_onStep)
                m_onStep();
        }
    }
    m_state = State::Playing;
    m_nextChange = Microseconds(m_clock.now()) + delayOf(m_at.frame);
}

void Player::stop() { m_state = State::Stopped; }

void Player::jumpToFrame(int frame)
{
    FROLIX_EXPECTS(frame >= 1 && frame <= frameCount());
    m_at.frame = frame;
    m_at.direction = m_sequence == Sequence::PingPong && m_at.frame == frameCount() ? -1 : 1;
}

void Player::setSequence(Sequence sequence)
{
    m_sequence = sequence;
    m_at.direction = 1;
    if (sequence == Sequence::PingPong && m_at.frame == frameCount())
        m_at.direction = -1;
}

void Player::step(FrameStep step)
{
    if (frameCount() == 0)
        return;
    if (m_state == State::Finished)
        m_at.playsDone = 0;
    m_state = State::Stopped;
    const int target = frameAfter(step);
    if (target == m_at.frame)
        return;
    jumpToFrame(target);
    if (m_onStep)
        m_onStep();
}

int Player::frameAfter(FrameStep step) const
{
    const int count = frameCount();
    const int at = m_at.frame;
    switch (step) {
    case FrameStep::Next:
        return at < count ? at + 1 : 1;
    case FrameStep::Previous:
        return at > 1 ? at - 1 : count;
    case FrameStep::First:
        return 1;
    case FrameStep::Last:
        return count;
    case FrameStep::TenOn:
        return std::min(at + kPageFrames, count);
    case FrameStep::TenBack:
        return std::max(at - kPageFrames, 1);
    }
    return at;
}

void Player::setSpeed(Speed speed)
{
    if (m_state == State::Playing) {
        // Back to the file's own time, then on at the new speed.
        const Microseconds now = m_clock.now();
        const SpeedRatio was = speedRatio(m_speed);
        const Microseconds left = std::max(Microseconds(0), m_nextChange - now) * was.num / was.den;
        m_nextChange = now + atSpeed(left, speed);
    }
    m_speed = speed;
}

void Player::setLoopMode(LoopMode mode)
{
    m_loopMode = mode;
    switch (mode) {
    case LoopMode::AsFile:
        m_plays = playCount(m_timeline);
        break;
    case LoopMode::Forever:
        m_plays = std::nullopt;
        break;
    case LoopMode::Once:
        m_plays = 1;
        break;
    }
}

std::optional<Milliseconds> Player::nextChangeAt() const
{
    if (m_state != State::Playing || frameCount() < 2)
        return std::nullopt;
    return std::chrono::ceil<Milliseconds>(m_nextChange);
}

std::optional<Player::Position> Player::stepFrom(Position at) const
{
    int count = frameCount();
    switch (m_sequence) {
    case Sequence::Normal:
        if (at.frame < count) {
            ++at.frame;
            return at;
        }
        break;
    case Sequence::Reverse:
        if (at.frame > 1) {
            --at.frame;
            return at;
        }
        break;
    case Sequence::PingPong:
        // 1 .. N .. 2 is one play; the next play starts again at 1, so the turning
        // frames are never shown twice in a row.
        if (at.direction > 0 && at.frame < count) {
            ++at.frame;
            if (at.frame == count)
                at.direction = -1;
            return at;
        }
        if (at.direction < 0 && at.frame > 2) {
            --at.frame;
            return at;
        }
        break;
    }
    // The end of one play.
    ++at.playsDone;
    if (m_plays && at.playsDone >= *m_plays) {
        if (m_sequence == Sequence::PingPong && at.frame != 1) {
            at.frame = 1; // the bounce comes home before it rests
            return at;
        }
        return std::nullopt;
    }
    at.frame = m_sequence == Sequence::Reverse ? count : 1;
    at.direction = 1;
    return at;
}

bool Player::advance()
{
    auto next = stepFrom(m_at);
    if (!next)
        return false;
    m_at = *next;
    return true;
}

std::optional<int> Player::nextFrame() const
{
    if (!nextChangeAt())
        return std::nullopt;
    auto next = stepFrom(m_at);
    return next ? std::optional<int>(next->frame) : std::nullopt;
}

void Player::update()
{
    if (m_state != State::Playing || frameCount() < 2)
        return;
    const Microseconds now = m_clock.now();
    if (now - m_nextChange > kMaxCatchUp)
        m_nextChange = now;
    while (m_state == State::Playing && m_nextChange <= now) {
        if (!advance()) {
            m_state = State::Finished;
            break;
        }
        m_nextChange += delayOf(m_at.frame);
        if (m_onStep)
            m_onStep();
    }
}

} // namespace frolix
