// play-probe: the viewer's real window playing a file, timed from inside.
//
//   play-probe [--file F.gif] [--delays-of F.gif] [--seconds S] [--frames N]
//              [--sequence 0|1|2] [--stretch 0|1|2] [--opaque] [--component-only] [--click F.gif]
//
// Without --file the window plays what it starts with (its stored logo), as a user sees
// it at start-up; --delays-of names the file whose delays that is. --file loads F
// through the window's component, as picking it in the file list does. --component-only
// shows the component alone at the animation's own size instead of the window; --opaque
// unticks Transparent (the back colour instead of the window beneath). Stops
// after S seconds (default 20) or N frame changes, whichever comes first, and prints
// key=value figures (see PlayCommon.h).
//
// --click F.gif: once the window has shown its logo for half a second, stops it, opens
// F's folder in the folder list and clicks F in the file list; prints the time from the
// click to the component's next paint (click_to_paint_ms) and quits.

#include "Form1.h"
#include "Frolix.h"
#include "PlayCommon.h"

#include "FileSystemLists.h"

#include <QApplication>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace frolix;

namespace {

// Times every event handed to a receiver at the top level: the longest is the longest the
// UI thread was kept from its other work (a frame composed or copied on it shows here).
class TimedApplication : public QApplication {
public:
    using QApplication::QApplication;
    // From the next event on; loading is measured elsewhere.
    void startTiming() { m_timing = true; }
    void printLongest() const { std::printf("ui_longest_stall_ms=%.2f\n", m_longestMs); }

protected:
    bool notify(QObject* receiver, QEvent* event) override
    {
        if (!m_timing || m_depth > 0)
            return QApplication::notify(receiver, event);
        ++m_depth;
        auto start = std::chrono::steady_clock::now();
        bool handled = QApplication::notify(receiver, event);
        m_longestMs = std::max(
            m_longestMs, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        --m_depth;
        return handled;
    }

private:
    bool m_timing = false;
    int m_depth = 0;
    double m_longestMs = 0;
};

} // namespace

int main(int argc, char** argv)
{
    play::Stages stages;
    stages.mark("main");
    TimedApplication app(argc, argv);
    stages.mark("app");
    const QStringList args = app.arguments();
    const QString file = play::option(args, "--file");
    const QString delaysOf = play::option(args, "--delays-of", file);
    const double seconds = play::option(args, "--seconds", "20").toDouble();
    const long maxFrames = play::option(args, "--frames", "0").toLong();
    const QString sequence = play::option(args, "--sequence");
    const QString stretch = play::option(args, "--stretch");
    const bool componentOnly = args.contains("--component-only");

    std::unique_ptr<Form1> form;
    std::unique_ptr<frolix::Frolix> alone;
    frolix::FrolixControl* component = nullptr;
    QWidget* window = nullptr;
    if (componentOnly) {
        alone = std::make_unique<frolix::Frolix>();
        alone->setAutoSize(frolix::kAutomationTrue);
        component = alone.get();
        window = alone.get();
    } else {
        form = std::make_unique<Form1>();
        component = form->findChild<frolix::Frolix*>(QStringLiteral("Frolix1"));
        window = form.get();
    }
    stages.mark("window");

    play::Steps steps;
    play::AnonymousPeak anonymous;
    if (!file.isEmpty()) {
        QSignalSpy loaded(component, &frolix::FrolixControl::Loaded);
        component->LoadFile(file);
        if (!loaded.wait(600'000) || loaded.front().front().value<std::int32_t>() != frolix::kAutomationTrue) {
            std::fprintf(stderr, "play-probe: cannot load %s\n", qPrintable(file));
            return 1;
        }
    }
    // Counted and timed from the file's first frame: the logo plays on while it loads.
    QObject::connect(component, &frolix::FrolixControl::Step, [&] {
        steps.record(component->CurrentFrame());
        app.startTiming();
        if (steps.at.size() % 25 == 1)
            anonymous.sample();
        if (maxFrames > 0 && long(steps.at.size()) >= maxFrames)
            QCoreApplication::quit();
    });
    if (!sequence.isEmpty()) {
        std::int16_t value = std::int16_t(sequence.toInt());
        component->setSequence(value);
    }
    if (!stretch.isEmpty()) {
        std::int16_t value = std::int16_t(stretch.toInt());
        component->setStretchMode(value);
    }
    if (args.contains("--opaque"))
        component->setTransparent(frolix::kAutomationFalse);
    const auto delays = delaysOf.isEmpty() ? std::vector<int>() : play::frameDelaysMs(delaysOf.toStdString());
    if (!delays.empty() && int(delays.size()) != component->FrameCount()) {
        std::fprintf(stderr, "play-probe: %s has %zu frames, the component shows %d\n", qPrintable(delaysOf),
            delays.size(), int(component->FrameCount()));
        return 1;
    }

    const QString click = play::option(args, "--click");
    play::PaintAfter paintAfterClick;
    if (!click.isEmpty() && form) {
        QTimer::singleShot(500, [&] {
            component->Stop();
            auto* dirList = form->findChild<DirListBox*>(QStringLiteral("Dir1"));
            auto* fileList = form->findChild<FileListBox*>(QStringLiteral("File1"));
            dirList->setPath(QFileInfo(click).absolutePath());
            QListWidgetItem* item = nullptr;
            for (int row = 0; row < fileList->count(); ++row)
                if (fileList->item(row)->data(Qt::UserRole).toString() == QFileInfo(click).fileName())
                    item = fileList->item(row);
            if (!item) {
                std::fprintf(stderr, "play-probe: %s is not listed\n", qPrintable(click));
                QCoreApplication::exit(1);
                return;
            }
            QPoint at = fileList->visualItemRect(item).center();
            component->installEventFilter(&paintAfterClick);
            paintAfterClick.arm();
            QTest::mouseClick(fileList->viewport(), Qt::LeftButton, {}, at);
            QTimer::singleShot(300, [&] {
                std::printf("frames_after_click=%d\nclick_to_paint_ms=%.3f\n", int(component->FrameCount()),
                    paintAfterClick.msFromArming());
                QCoreApplication::quit();
            });
        });
    }

    long idleRss = -1;
    play::FirstPaint firstPaint([&] { QTimer::singleShot(1000, [&] { idleRss = play::statusKiB("VmRSS"); }); });
    component->installEventFilter(&firstPaint);
    window->show();
    QTimer::singleShot(int(seconds * 1000), &app, &QCoreApplication::quit);
    app.exec();

    std::printf("frames_in_file=%d\n", int(component->FrameCount()));
    steps.print(delays, 1000.0);
    app.printLongest();
    anonymous.sample();
    anonymous.print();
    play::printCommon(firstPaint, idleRss);
    stages.print();
    return 0;
}
