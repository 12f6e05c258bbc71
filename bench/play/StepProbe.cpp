// step-probe: the viewer's real window stepped through a file by its keys, timed from
// inside.
//
//   step-probe --file F.gif [--presses N] [--gap MS] [--hold-seconds S] [--repeat-hz R]
//              [--component-only]
//
// Loads F through the window's component (--component-only: the component alone at the
// animation's own size, so that every change is in sight and painted; the window shows
// only its top-left 528 x 247 pixels, where a frame may change nothing), lets it play for a second as a user watching
// it would, stops it with Space and, the component having the focus, presses Right N
// times (default 100) and then Left 2N times, so that the steps back also reach frames
// that were only ever composed forwards. A press comes MS ms (default 100) after the
// frame of the one before was painted. Each press is timed from just before its key event
// is sent to the end of the component's paint that shows the frame it leads to.
//
// Then Left is held down for S seconds (default 3): presses at R a second (default 30),
// the rate of X's auto-repeat, with no release between. Counted: the frames painted a
// second, the longest time between two of them, and the UI thread's longest event.
// Prints key=value figures.

#include "Form1.h"
#include "Frolix.h"
#include "PlayCommon.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

using namespace frolix;

namespace {

using Steady = std::chrono::steady_clock;

double msBetween(Steady::time_point from, Steady::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Calls `painted` when a paint of `watched` has ended, and times every event handed out
// at the top level while `timing` is set.
class StepApplication : public QApplication {
public:
    using QApplication::QApplication;
    QWidget* watched = nullptr;
    std::function<void()> painted;
    bool timing = false;
    double longestEventMs = 0;

protected:
    bool notify(QObject* receiver, QEvent* event) override
    {
        const bool top = m_depth == 0;
        ++m_depth;
        const auto start = Steady::now();
        const bool handled = QApplication::notify(receiver, event);
        --m_depth;
        if (top && timing)
            longestEventMs = std::max(longestEventMs, msBetween(start, Steady::now()));
        if (receiver == watched && event->type() == QEvent::Paint && painted)
            painted();
        return handled;
    }

private:
    int m_depth = 0;
};

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    const auto at
        = std::size_t(std::min<double>(double(values.size() - 1), p / 100.0 * double(values.size() - 1) + 0.5));
    return values[at];
}

} // namespace

int main(int argc, char** argv)
{
    StepApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString file = play::option(args, "--file");
    const int presses = play::option(args, "--presses", "100").toInt();
    const int gapMs = play::option(args, "--gap", "100").toInt();
    const double holdSeconds = play::option(args, "--hold-seconds", "3").toDouble();
    const double repeatHz = play::option(args, "--repeat-hz", "30").toDouble();
    if (file.isEmpty()) {
        std::fprintf(stderr, "usage: step-probe --file F.gif [--presses N] [--gap MS] [--hold-seconds S]\n");
        return 2;
    }

    std::unique_ptr<Form1> form;
    std::unique_ptr<frolix::Frolix> alone;
    frolix::Frolix* component = nullptr;
    if (args.contains("--component-only")) {
        alone = std::make_unique<frolix::Frolix>();
        alone->setAutoSize(frolix::kAutomationTrue);
        component = alone.get();
    } else {
        form = std::make_unique<Form1>();
        component = form->findChild<frolix::Frolix*>(QStringLiteral("Frolix1"));
    }
    QWidget* window = component->window();
    window->show();
    // The keys are the component's only in an active window: run under a window manager.
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window)) {
        std::fprintf(stderr, "step-probe: the window was not activated (no window manager?)\n");
        return 1;
    }
    QSignalSpy loaded(component, &frolix::FrolixControl::Loaded);
    component->LoadFile(file);
    if (!loaded.wait(600'000) || loaded.front().front().value<std::int32_t>() != frolix::kAutomationTrue) {
        std::fprintf(stderr, "step-probe: cannot load %s\n", qPrintable(file));
        return 1;
    }
    const int count = component->FrameCount();
    app.watched = component;

    // The presses, in order: Right N times, then Left 2N times.
    std::vector<Qt::Key> keys(std::size_t(presses), Qt::Key_Right);
    keys.insert(keys.end(), std::size_t(2 * presses), Qt::Key_Left);
    std::vector<double> forwardMs, backMs;
    int missed = 0;
    std::size_t next = 0;
    int target = 0;
    Steady::time_point sent;
    QTimer giveUp; // a press whose frame was never painted
    giveUp.setSingleShot(true);
    giveUp.setInterval(500);

    // Holding Left.
    int holdFrames = 0, lastPainted = 0;
    double longestGapMs = 0;
    Steady::time_point holdStart, lastPaint;
    QTimer repeat;
    repeat.setTimerType(Qt::PreciseTimer);
    repeat.setInterval(int(1000.0 / repeatHz));

    std::function<void()> press;
    auto hold = [&] {
        app.timing = true;
        holdStart = lastPaint = Steady::now();
        lastPainted = component->CurrentFrame();
        app.painted = [&] {
            if (component->CurrentFrame() == lastPainted)
                return;
            const auto now = Steady::now();
            longestGapMs = std::max(longestGapMs, msBetween(lastPaint, now));
            lastPaint = now;
            lastPainted = component->CurrentFrame();
            ++holdFrames;
        };
        QObject::connect(&repeat, &QTimer::timeout, [&] { QTest::keyPress(component, Qt::Key_Left); });
        repeat.start();
        QTimer::singleShot(int(holdSeconds * 1000), [&] {
            repeat.stop();
            QTest::keyRelease(component, Qt::Key_Left);
            longestGapMs = std::max(longestGapMs, msBetween(lastPaint, Steady::now()));
            QCoreApplication::quit();
        });
    };
    auto pressDone = [&](bool shown) {
        giveUp.stop();
        if (!shown)
            ++missed;
        else
            (keys[next] == Qt::Key_Right ? forwardMs : backMs).push_back(msBetween(sent, Steady::now()));
        ++next;
        QTimer::singleShot(gapMs, next < keys.size() ? press : std::function<void()>(hold));
    };
    press = [&] {
        const int at = component->CurrentFrame();
        target = keys[next] == Qt::Key_Right ? (at == count ? 1 : at + 1) : (at == 1 ? count : at - 1);
        giveUp.start();
        sent = Steady::now();
        QTest::keyClick(component, keys[next]);
    };
    app.painted = [&] {
        if (giveUp.isActive() && component->CurrentFrame() == target)
            pressDone(true);
    };
    QObject::connect(&giveUp, &QTimer::timeout, [&] { pressDone(false); });

    // Watched playing for a second, then stopped and stepped.
    int stoppedAt = 0;
    QTimer::singleShot(1000, [&] {
        component->setFocus(Qt::TabFocusReason);
        QTest::keyClick(component, Qt::Key_Space);
        stoppedAt = component->CurrentFrame();
        if (component->isPlaying()) {
            std::fprintf(stderr, "step-probe: Space did not stop it\n");
            QCoreApplication::exit(1);
            return;
        }
        QTimer::singleShot(gapMs, press);
    });
    app.exec();

    std::printf("frames_in_file=%d\nstopped_at_frame=%d\n", count, stoppedAt);
    std::printf("forward_presses=%zu\nforward_p50_ms=%.2f\nforward_p99_ms=%.2f\nforward_max_ms=%.2f\n",
        forwardMs.size(), percentile(forwardMs, 50), percentile(forwardMs, 99), percentile(forwardMs, 100));
    std::printf("back_presses=%zu\nback_p50_ms=%.2f\nback_p99_ms=%.2f\nback_max_ms=%.2f\n", backMs.size(),
        percentile(backMs, 50), percentile(backMs, 99), percentile(backMs, 100));
    std::printf("missed_presses=%d\n", missed);
    std::printf("hold_frames_per_s=%.1f\nhold_longest_gap_ms=%.1f\nhold_ui_longest_event_ms=%.2f\n",
        holdFrames / holdSeconds, longestGapMs, app.longestEventMs);
    return 0;
}
