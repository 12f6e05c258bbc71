// floor-window: what Qt Widgets itself costs for what the viewer's window does, with none
// of the viewer's code: the floor under the viewer's figures.
//
//   floor-window [--picture] [--label] [--controls] [--seconds S]
//
// A 560 x 449 window. --picture repaints a 96 x 56 opaque picture 50 times a second
// (two prepared pictures in turn, nothing decoded), as the logo plays; --label also
// sets a QLabel's text to "Frame N" at each change, as the window's frame label does;
// --controls adds one of each standard control the window holds, with text (a push
// button, a check box, option buttons in a frame, a label, a list, a drop-down list).

#include "PlayCommon.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QWidget>

namespace {

class Picture : public QWidget {
public:
    explicit Picture(QWidget* parent)
        : QWidget(parent)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        for (int i = 0; i < 2; ++i) {
            m_images[i] = QImage(96, 56, QImage::Format_ARGB32_Premultiplied);
            m_images[i].fill(i ? QColor(200, 60, 40) : QColor(40, 60, 200));
        }
        setGeometry(8, 8, 96, 56);
    }
    void next()
    {
        m_shown ^= 1;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.drawImage(0, 0, m_images[m_shown]);
    }

private:
    QImage m_images[2];
    int m_shown = 0;
};

} // namespace

int main(int argc, char** argv)
{
    play::Stages stages;
    stages.mark("main");
    QApplication app(argc, argv);
    stages.mark("app");
    const QStringList args = app.arguments();
    const double seconds = play::option(args, "--seconds", "20").toDouble();
    const bool picture = args.contains("--picture");
    const bool label = args.contains("--label");

    QWidget window;
    window.resize(560, 449);
    QWidget* painted = &window;
    if (args.contains("--controls")) {
        new QPushButton(QStringLiteral("Play"), &window);
        (new QCheckBox(QStringLiteral("Transparent"), &window))->move(0, 40);
        auto* frame = new QGroupBox(QStringLiteral("Stretch"), &window);
        frame->setGeometry(0, 80, 120, 60);
        (new QRadioButton(QStringLiteral("None"), frame))->move(8, 20);
        (new QLabel(QStringLiteral("22 Frames"), &window))->move(0, 160);
        auto* list = new QListWidget(&window);
        list->setGeometry(200, 0, 150, 100);
        list->addItem(QStringLiteral("logo.gif"));
        auto* drop = new QComboBox(&window);
        drop->setGeometry(200, 120, 150, 24);
        drop->addItem(QStringLiteral("/"));
    }
    Picture* shown = picture ? new Picture(&window) : nullptr;
    QLabel* frameLabel = label ? new QLabel(&window) : nullptr;
    if (frameLabel)
        frameLabel->setGeometry(8, 300, 90, 16);
    if (shown)
        painted = shown;
    stages.mark("window");

    play::Steps steps;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    int frame = 0;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        frame = frame % 22 + 1;
        shown->next();
        if (frameLabel)
            frameLabel->setText(QStringLiteral("Frame ") + QString::number(frame));
        steps.record(frame);
    });
    if (shown)
        timer.start(20);

    long idleRss = -1;
    play::FirstPaint firstPaint([&] { QTimer::singleShot(1000, [&] { idleRss = play::statusKiB("VmRSS"); }); });
    painted->installEventFilter(&firstPaint);
    window.show();
    QTimer::singleShot(int(seconds * 1000), &app, &QCoreApplication::quit);
    app.exec();

    play::printCommon(firstPaint, idleRss);
    stages.print();
    return 0;
}
