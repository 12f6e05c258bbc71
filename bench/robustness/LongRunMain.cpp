// An hour of playback under a fake clock, on the Player alone and on the real component
// (Frolix::useClock + tick, offscreen), in each sequence. Every frame change is checked
// against an independent model of the order and the timing, and when the file's loops
// run out Play is pressed again, as a user would. Prints resident memory before and
// after; run by hand (see bench/robustness/run.sh).
//
//   robust-long-run FILE.gif [MINUTES]

#include "Frolix.h"
#include "GifAnimation.h"
#include "ManualClock.h"
#include "OpenFile.h"

#include <QApplication>
#include <QEventLoop>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using frolix::Milliseconds;
using frolix::Sequence;

using FakeClock = frolix::test::ManualClock;

long residentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

long peakKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

// What the shown frames must be: the order each sequence walks, the delay browsers give
// each stored value, and how many plays the loop count allows.
class Model {
public:
    Model(const frolix::Timeline& timeline, Sequence sequence)
        : m_delays(timeline.storedDelaysCs)
        , m_sequence(sequence)
    {
        const int n = int(m_delays.size());
        if (sequence == Sequence::Reverse)
            for (int f = n; f >= 1; --f)
                m_cycle.push_back(f);
        else
            for (int f = 1; f <= n; ++f)
                m_cycle.push_back(f);
        if (sequence == Sequence::PingPong)
            for (int f = n - 1; f >= 2; --f)
                m_cycle.push_back(f);
        if (timeline.storedLoopCount && *timeline.storedLoopCount > 0)
            m_plays = std::uint64_t(*timeline.storedLoopCount) + 1;
        else if (!timeline.storedLoopCount)
            m_plays = 1;
    }

    int frame() const { return m_cycle[m_position]; }
    Milliseconds delay() const
    {
        std::uint16_t stored = m_delays[std::size_t(frame() - 1)];
        return Milliseconds(stored <= 1 ? 100 : 10 * stored);
    }
    void step()
    {
        m_position = (m_position + 1) % m_cycle.size();
        ++m_steps;
    }
    // Changes until the last play ends: ping-pong comes home to frame 1 as its last step.
    std::uint64_t stepsUntilFinished() const
    {
        if (!m_plays)
            return UINT64_MAX;
        return *m_plays * m_cycle.size() - (m_sequence == Sequence::PingPong ? 0 : 1);
    }
    std::uint64_t steps() const { return m_steps; }
    void restart()
    {
        m_position = 0;
        m_steps = 0;
    }

private:
    std::vector<std::uint16_t> m_delays;
    Sequence m_sequence;
    std::vector<int> m_cycle;
    std::size_t m_position = 0;
    std::optional<std::uint64_t> m_plays;
    std::uint64_t m_steps = 0;
};

struct Driver {
    std::function<void()> update;
    std::function<int()> frame;
    std::function<bool()> playing;
    std::function<void()> play;
};

struct Tally {
    std::uint64_t changes = 0, restarts = 0, wrongFrame = 0, wrongTime = 0, wrongFinish = 0;
};

constexpr int kLongestTick = 37;

// Moves the clock by uneven ticks for `minutes`. `shown` collects the frame announced
// at each change; each must be the model's next frame, announced by the first tick at
// or after the moment it was due.
Tally run(FakeClock& clock, const frolix::Timeline& timeline, Sequence sequence, Driver& driver,
    std::vector<int>& shown, int minutes, long& residentAfterAMinute)
{
    Tally tally;
    Model model(timeline, sequence);
    std::mt19937 random(7);
    const Milliseconds end = clock.now() + Milliseconds(std::int64_t(minutes) * 60'000);
    // Growth after the first minute is what a long run adds; the first paints allocate once.
    const Milliseconds aMinuteIn = clock.now() + Milliseconds(60'000);
    residentAfterAMinute = -1;
    Milliseconds due = clock.now() + model.delay();
    if (driver.frame() != model.frame())
        ++tally.wrongFrame;
    shown.clear();
    while (clock.now() < end) {
        const Milliseconds before = clock.now();
        if (residentAfterAMinute < 0 && before >= aMinuteIn)
            residentAfterAMinute = residentKiB();
        clock.advance(Milliseconds(int(random() % kLongestTick) + 1));
        driver.update();
        for (int frame : shown) {
            model.step();
            ++tally.changes;
            if (frame != model.frame())
                ++tally.wrongFrame;
            if (!(due > before && due <= clock.now()))
                ++tally.wrongTime;
            due += model.delay();
        }
        shown.clear();
        if (driver.frame() != model.frame())
            ++tally.wrongFrame;
        if (!driver.playing()) {
            if (model.steps() != model.stepsUntilFinished())
                ++tally.wrongFinish;
            driver.play();
            ++tally.restarts;
            model.restart();
            // Play from the end goes back to the first frame, announced as a change.
            if (driver.frame() != model.frame() || shown.size() > 1
                || (!shown.empty() && shown.front() != model.frame()))
                ++tally.wrongFrame;
            shown.clear();
            due = clock.now() + model.delay();
        }
    }
    return tally;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE.gif [MINUTES]\n", argv[0]);
        return 2;
    }
    const int minutes = argc > 2 ? std::atoi(argv[2]) : 60;
    auto loaded = frolix::openAnimationFile(argv[1], frolix::PixelOrder::Rgba);
    if (!loaded) {
        std::fprintf(stderr, "%s: %s\n", argv[1], loaded.error().message.c_str());
        return 1;
    }
    const frolix::Timeline timeline = loaded.value()->timeline();
    std::printf("%s: %d frames, loop count %s\n", argv[1], loaded.value()->frameCount(),
        timeline.storedLoopCount ? std::to_string(*timeline.storedLoopCount).c_str() : "none");
    int failures = 0;
    for (Sequence sequence : { Sequence::Normal, Sequence::Reverse, Sequence::PingPong }) {
        const char* name = sequence == Sequence::Normal ? "normal"
            : sequence == Sequence::Reverse             ? "reverse"
                                                        : "ping-pong";
        for (bool component : { false, true }) {
            FakeClock clock(Milliseconds(5'000'000));
            std::vector<int> shown;
            Driver driver;
            std::unique_ptr<frolix::Player> player;
            std::unique_ptr<frolix::Frolix> widget;
            std::int16_t code = std::int16_t(sequence);
            const long before = residentKiB();
            if (!component) {
                player = std::make_unique<frolix::Player>(clock, timeline);
                player->setSequence(sequence);
                player->setStepCallback([&] { shown.push_back(player->currentFrame()); });
                if (sequence == Sequence::Reverse)
                    player->jumpToFrame(player->frameCount());
                player->play();
                driver = { [&] { player->update(); }, [&] { return player->currentFrame(); },
                    [&] { return player->state() == frolix::Player::State::Playing; }, [&] { player->play(); } };
            } else {
                widget = std::make_unique<frolix::Frolix>();
                widget->resize(528, 247);
                widget->show();
                widget->useClock(clock);
                widget->setSequence(code);
                QEventLoop loading; // the file loads on a thread of its own
                QObject::connect(widget.get(), &frolix::FrolixControl::Loaded, &loading, &QEventLoop::quit);
                widget->LoadFile(QString::fromLocal8Bit(argv[1]));
                loading.exec();
                QObject::connect(
                    widget.get(), &frolix::FrolixControl::Step, [&] { shown.push_back(widget->CurrentFrame()); });
                if (sequence == Sequence::Reverse) {
                    // From the last frame, with its own delay, as the model starts.
                    widget->Stop();
                    widget->showFrame(widget->FrameCount());
                    widget->Play();
                }
                widget->tick(); // the first tick announces the first frame
                int ticks = 0;
                driver = { [&] {
                              widget->tick();
                              if (++ticks % 2000 == 0)
                                  QApplication::processEvents(); // paints what was shown
                          },
                    [&] { return widget->CurrentFrame(); }, [&] { return widget->isPlaying(); },
                    [&] { widget->Play(); } };
            }
            const long afterLoad = residentKiB();
            long afterAMinute = -1;
            Tally tally = run(clock, timeline, sequence, driver, shown, minutes, afterAMinute);
            const long after = residentKiB();
            std::printf(
                "%-9s %-9s %d min: %llu changes, %llu restarts; wrong frame %llu, wrong time %llu, wrong finish %llu; "
                "RSS %ld KiB "
                "before, %ld after loading, %ld after 1 min, %ld after the run (%+ld KiB from 1 min to the end)\n",
                name, component ? "component" : "player", minutes, (unsigned long long)tally.changes,
                (unsigned long long)tally.restarts, (unsigned long long)tally.wrongFrame,
                (unsigned long long)tally.wrongTime, (unsigned long long)tally.wrongFinish, before, afterLoad,
                afterAMinute, after, after - afterAMinute);
            failures += int(tally.wrongFrame + tally.wrongTime + tally.wrongFinish);
        }
    }
    std::printf("peak RSS %ld KiB; %s\n", peakKiB(), failures == 0 ? "all sequences as the model" : "MISMATCHES");
    return failures == 0 ? 0 : 1;
}
