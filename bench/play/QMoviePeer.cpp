// qmovie-peer: the plainest Qt way to show an animated GIF, a QMovie in a QLabel,
// timed the same way as play-probe (a timestamp at every frameChanged).
//
//   qmovie-peer F.gif [--seconds S]

#include "PlayCommon.h"

#include <QApplication>
#include <QLabel>
#include <QMovie>
#include <QTimer>

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

    QLabel label;
    QMovie movie(file);
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
