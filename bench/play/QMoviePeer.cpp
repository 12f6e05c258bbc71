// qmovie-peer: the plainest Qt way to show an animated GIF, a QMovie in a QLabel,
// timed the same way as play-probe (a timestamp at every frameChanged).
//
//   qmovie-peer F.gif [--seconds S] [--scaled WxH] [--click]
//
// --scaled WxH: QMovie::setScaledSize, so the movie hands out every frame shrunk (or
// grown) to W x H, as the viewer shows a file in Stretch mode.
//
// --click: the label starts empty beside a list holding F's name; half a second after
// showing, the name is clicked, which sets the movie; prints the time from the click to
// the label's next paint (click_to_paint_ms) and quits, like play-probe --click.

#include "PlayCommon.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMovie>
#include <QTest>
#include <QTimer>

namespace {

int clickToPaint(QApplication& app, const QString& file)
{
    QWidget window;
    auto* layout = new QHBoxLayout(&window);
    auto* list = new QListWidget;
    list->addItem(file.section('/', -1));
    auto* label = new QLabel;
    label->setMinimumSize(400, 300);
    layout->addWidget(list);
    layout->addWidget(label, 1);
    QMovie movie;
    QObject::connect(list, &QListWidget::currentRowChanged, [&] {
        movie.setFileName(file);
        label->setMovie(&movie);
        movie.start();
    });
    play::PaintAfter paintAfterClick;
    label->installEventFilter(&paintAfterClick);
    window.resize(1000, 700);
    window.show();
    QTimer::singleShot(500, [&] {
        paintAfterClick.arm();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
        QTimer::singleShot(300, [&] {
            std::printf(
                "frames_after_click=%d\nclick_to_paint_ms=%.3f\n", movie.frameCount(), paintAfterClick.msFromArming());
            QCoreApplication::quit();
        });
    });
    return app.exec();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: qmovie-peer F.gif [--seconds S]\n");
        return 2;
    }
    const QString file = args[1];
    const double seconds = play::option(args, "--seconds", "20").toDouble();

    if (args.contains("--click"))
        return clickToPaint(app, file);
    QLabel label;
    QMovie movie(file);
    const QStringList scaled = play::option(args, "--scaled").split('x');
    if (scaled.size() == 2) {
        movie.setScaledSize(QSize(scaled[0].toInt(), scaled[1].toInt()));
        label.setFixedSize(movie.scaledSize());
    }
    play::Steps steps;
    // frameChanged numbers frames from 0.
    QObject::connect(&movie, &QMovie::frameChanged, [&](int frame) { steps.record(frame + 1); });
    label.setMovie(&movie);
    movie.start();

    long idleRss = -1;
    play::FirstPaint firstPaint([&] { QTimer::singleShot(1000, [&] { idleRss = play::statusKiB("VmRSS"); }); });
    label.installEventFilter(&firstPaint);
    label.show();
    QTimer::singleShot(int(seconds * 1000), &app, &QCoreApplication::quit);
    app.exec();

    std::printf("frames_in_file=%d\n", movie.frameCount());
    steps.print(play::frameDelaysMs(file.toStdString()), 1000.0);
    play::printCommon(firstPaint, idleRss);
    return 0;
}
