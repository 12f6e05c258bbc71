// Frames composed off the window's thread: what the component and its frame-ahead
// worker do with an animation whose reads can hang, seen through an animation whose
// frame() can be held shut and which records the thread of every call.

#include "FrameAhead.h"
#include "Frolix.h"
#include "WindowTestSupport.h"

#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using frolix::FrameAhead;
using frolix::Frolix;
using wtest::FakeClock;

namespace {

// Frame n is every pixel set to byte n (opaque), composed when the gate is open.
class GatedAnimation final : public frolix::Animation {
public:
    GatedAnimation(int side, int frames)
        : m_side(side)
        , m_frames(frames)
        , m_canvas(std::size_t(side) * side * 4)
    {
    }
    int width() const override { return m_side; }
    int height() const override { return m_side; }
    int frameCount() const override { return m_frames; }
    frolix::Timeline timeline() const override
    {
        frolix::Timeline timeline;
        timeline.storedDelaysCs.assign(std::size_t(m_frames), 2);
        timeline.storedLoopCount = 0;
        return timeline;
    }
    frolix::FrameInfo frameInfo(int) const override { return {}; }
    std::size_t byteSize() const override { return 0; }
    std::span<const std::uint8_t> frame(int number) override
    {
        std::unique_lock lock(m_mutex);
        m_calls.push_back({ number, std::this_thread::get_id() });
        ++m_blocked;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_open; });
        --m_blocked;
        std::fill(m_canvas.begin(), m_canvas.end(), std::uint8_t(number));
        for (std::size_t at = 3; at < m_canvas.size(); at += 4)
            m_canvas[at] = 0xFF;
        return m_canvas;
    }
    frolix::Area lastChange() const override { return { 0, 0, std::uint32_t(m_side), std::uint32_t(m_side) }; }
    bool frameOpaque() const override { return true; }
    void expectBackwardSteps() override { }
    std::vector<frolix::Warning> warnings() const override { return {}; }
    bool fileCutShort() const override { return false; }

    void setOpen(bool open)
    {
        std::lock_guard lock(m_mutex);
        m_open = open;
        m_changed.notify_all();
    }
    bool someoneBlocked()
    {
        std::lock_guard lock(m_mutex);
        return m_blocked > 0;
    }
    // Calls for frame `number` (0: any) on `thread` (default: any).
    int calls(int number = 0, std::thread::id thread = {})
    {
        std::lock_guard lock(m_mutex);
        return int(std::count_if(m_calls.begin(), m_calls.end(), [&](const Call& call) {
            return (number == 0 || call.number == number) && (thread == std::thread::id() || call.thread == thread);
        }));
    }

private:
    struct Call {
        int number;
        std::thread::id thread;
    };
    const int m_side;
    const int m_frames;
    std::vector<std::uint8_t> m_canvas;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Call> m_calls;
    bool m_open = true;
    int m_blocked = 0;
};

// Opens the gate after `seconds` unless disarmed first: a wait on the blocked worker
// then ends, and the test sees that it had waited.
class Watchdog {
public:
    Watchdog(GatedAnimation& animation, int seconds)
        : m_thread([this, &animation, seconds] {
            std::unique_lock lock(m_mutex);
            if (!m_done.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_disarmed; })) {
                m_fired = true;
                animation.setOpen(true);
            }
        })
    {
    }
    ~Watchdog() { disarm(); }
    // True when it had to open the gate.
    bool disarm()
    {
        {
            std::lock_guard lock(m_mutex);
            m_disarmed = true;
        }
        m_done.notify_all();
        if (m_thread.joinable())
            m_thread.join();
        return m_fired;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_disarmed = false;
    bool m_fired = false;
    std::thread m_thread;
};

// Timer and queued-call events delivered on this thread while it waits.
class WakeupCounter : public QObject {
public:
    WakeupCounter() { qApp->installEventFilter(this); }
    ~WakeupCounter() override { qApp->removeEventFilter(this); }
    int wakeups = 0;
    QStringList seen; // what woke, to tell in a failure
    bool eventFilter(QObject* receiver, QEvent* event) override
    {
        if (event->type() == QEvent::Timer || event->type() == QEvent::MetaCall) {
            ++wakeups;
            seen << QStringLiteral("%1 %2").arg(receiver->metaObject()->className()).arg(int(event->type()));
        }
        return false;
    }
};

int shownByte(Frolix& component) { return qRed(component.grab().toImage().pixel(0, 0)); }

} // namespace

class FrameAheadTest : public QObject {
    Q_OBJECT

private slots:
    void readyFrameIsTakenNotComposedAgain()
    {
        // Small enough that an animation in memory would be composed by the caller: one
        // read from a file has the worker all the same.
        auto animation = std::make_shared<GatedAnimation>(16, 4);
        std::atomic<int> news = 0;
        FrameAhead ahead(animation, FrameAhead::Bytes::MayHang, [&news] { ++news; });
        const auto caller = std::this_thread::get_id();

        QVERIFY(!ahead.take(1));
        QTRY_COMPARE(news.load(), 1);
        auto first = ahead.take(1);
        QVERIFY(first);
        QCOMPARE(first->pixels[0], 1);
        QVERIFY(ahead.take(1)); // taken again as it is, not composed again
        QCOMPARE(animation->calls(1), 1);

        ahead.ahead(2);
        QTRY_COMPARE(animation->calls(2), 1);
        // Composed ahead: taken at once when its turn comes, with no news on the way.
        std::optional<FrameAhead::Frame> second;
        QTRY_VERIFY((second = ahead.take(2)).has_value());
        QCOMPARE(second->pixels[0], 2);
        QCOMPARE(second->changedSince, 1);
        QCOMPARE(animation->calls(2), 1);
        QCOMPARE(news.load(), 1);
        QCOMPARE(animation->calls(0, caller), 0);
    }

    void playsWhileReadsHang()
    {
        FakeClock clock;
        auto animation = std::make_shared<GatedAnimation>(16, 4);
        Frolix component;
        component.resize(16, 16);
        component.useClock(clock);
        QSignalSpy steps(&component, &frolix::FrolixControl::Step);
        const auto window = std::this_thread::get_id();
        Watchdog watchdog(*animation, 20);

        // Its first frame hangs: the component is still there, showing nothing yet.
        animation->setOpen(false);
        component.showAnimation(animation, FrameAhead::Bytes::MayHang);
        QVERIFY(component.isComposing());
        QTRY_VERIFY(animation->someoneBlocked());
        // The load's first tick, due at once, has found the frame still being composed.
        QTRY_VERIFY(!component.isTickScheduled());
        {
            // Nothing turns on this thread meanwhile: no timer, no retry. The loop
            // turns for everything else.
            WakeupCounter counter;
            bool other = false;
            QTimer::singleShot(50, [&other] { other = true; });
            QTRY_VERIFY(other);
            QTest::qWait(100);
            QVERIFY2(counter.wakeups == 1, qPrintable(counter.seen.join(", "))); // the single shot
        }
        QVERIFY(!component.isTickScheduled());
        QCOMPARE(component.CurrentFrame(), 1);
        animation->setOpen(true);
        QTRY_VERIFY(!component.isComposing());
        QCOMPARE(shownByte(component), 1);
        QCOMPARE(steps.count(), 0); // the first frame is not a step

        // Frame 2, composed ahead during frame 1's delay, shows on time.
        QVERIFY(component.isTickScheduled());
        QTRY_COMPARE(animation->calls(2), 1);
        animation->setOpen(false); // frame 3, asked for ahead next, hangs
        clock.advance(frolix::Milliseconds(20));
        component.tick();
        QVERIFY(!component.isComposing());
        QCOMPARE(component.CurrentFrame(), 2);
        QCOMPARE(shownByte(component), 2);
        QCOMPARE(steps.count(), 1);

        // Frame 3 is due while its read hangs: frame 2 stays, announced as shown.
        QTRY_VERIFY(animation->someoneBlocked());
        clock.advance(frolix::Milliseconds(20));
        component.tick();
        QVERIFY(component.isComposing());
        QTest::qWait(50);
        clock.advance(frolix::Milliseconds(15)); // time passes while the read hangs
        QCOMPARE(component.CurrentFrame(), 2);
        QCOMPARE(shownByte(component), 2);
        QCOMPARE(steps.count(), 1);
        animation->setOpen(true);
        QTRY_VERIFY(!component.isComposing());
        QCOMPARE(component.CurrentFrame(), 3);
        QCOMPARE(shownByte(component), 3);
        QCOMPARE(steps.count(), 2);
        QTest::qWait(20);
        QCOMPARE(steps.count(), 2); // raised once
        // Late, it gets its whole delay from when it was shown.
        clock.advance(frolix::Milliseconds(19));
        component.tick();
        QCOMPARE(component.CurrentFrame(), 3);
        QTRY_COMPARE(animation->calls(4), 1);
        clock.advance(frolix::Milliseconds(1));
        component.tick();
        QCOMPARE(component.CurrentFrame(), 4);

        QVERIFY(!watchdog.disarm());
        QVERIFY(animation->calls() >= 3);
        QCOMPARE(animation->calls(0, window), 0);
    }

    void destroyedWhileReadHangs()
    {
        auto animation = std::make_shared<GatedAnimation>(300, 4);
        Watchdog watchdog(*animation, 10);
        animation->setOpen(false);
        {
            Frolix component;
            component.showAnimation(animation, FrameAhead::Bytes::MayHang);
            QTRY_VERIFY(animation->someoneBlocked());
        } // returns though the worker is still in frame()
        QVERIFY(!watchdog.disarm());
        QVERIFY(animation.use_count() > 1); // the worker holds it
        animation->setOpen(true);
        // The worker ends by itself and lets go; its news is not delivered.
        QTRY_COMPARE(animation.use_count(), 1L);
        QTest::qWait(20);
    }
};

QTEST_MAIN(FrameAheadTest)
#include "FrameAheadTest.moc"
