#pragma once
// A clock that moves only when told to, for driving the player and the component
// frame by frame.

#include "Player.h"

namespace frolix::test {

class ManualClock final : public Clock {
public:
    explicit ManualClock(Milliseconds start = Milliseconds(0))
        : m_now(start)
    {
    }
    Milliseconds now() const override { return m_now; }
    void set(Milliseconds now) { m_now = now; }
    void advance(Milliseconds by) { m_now += by; }

private:
    Milliseconds m_now;
};

} // namespace frolix::test
