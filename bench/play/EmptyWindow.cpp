// empty-window: an empty QWidget of the viewer window's size, the floor for start-up
// time and resident memory of any Qt Widgets window.
//
//   empty-window [--seconds S] [--size WxH]

#include "PlayCommon.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

int main(int argc, char** argv)
{
    play::Stages stages;
    stages.mark("main");
    QApplication app(argc, argv);
    stages.mark("app");
    const QStringList args = app.arguments();
    const double seconds = play::option(args, "--seconds", "3").toDouble();
    const QStringList size = play::option(args, "--size", "560x449").split('x');

    QWidget window;
    window.resize(size.value(0).toInt(), size.value(1).toInt());
    stages.mark("window");
    long idleRss = -1;
    play::FirstPaint firstPaint([&] { QTimer::singleShot(1000, [&] { idleRss = play::statusKiB("VmRSS"); }); });
    window.installEventFilter(&firstPaint);
    window.show();
    QTimer::singleShot(int(seconds * 1000), &app, &QCoreApplication::quit);
    app.exec();

    play::printCommon(firstPaint, idleRss);
    stages.print();
    return 0;
}
