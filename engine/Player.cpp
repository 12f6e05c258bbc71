#include "Player.h"

#include "Contract.h"

#include <algorithm>

namespace frolix {

namespace {
// Beyond this lag the schedule restarts from now rather than catching up frame by frame.
constexpr Milliseconds kMaxCatchUp { 1000 };
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

Milliseconds Player::delayOf(int frame) const { return playedDelay(m_timeline.storedDelaysCs[std::size_t(frame - 1)]); }

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
    m_nextChange = m_clock.now() + delayOf(m_at.frame);
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

std::optional<Milliseconds> Player::nextChangeAt() const
{
    if (m_state != State::Playing || frameCount() < 2)
        return std::nullopt;
    return m_nextChange;
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
    Milliseconds now = m_clock.now();
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
