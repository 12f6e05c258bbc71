// The animation component alone: where the picture goes in each stretch mode, what
// shows through transparent pixels, AutoSize, the order of frames in each sequence
// under a hand-moved clock (hidden and shown again, played out and played again), loads
// that fail without disturbing what plays, and the keys and the context menu.

#include "Frolix.h"
#include "AreaShrinker.h"
#include "WindowTestSupport.h"

#include <QDir>
#include <QImage>
#include <QListWidget>
#include <QMenu>
#include <QPaintEvent>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using frolix::Frolix;
using wtest::FakeClock;
using wtest::GifFrame;
using wtest::numberedGif;

namespace {

const QRgb kRed = qRgb(0xE0, 0x20, 0x20);
const QRgb kGreen = qRgb(0x20, 0xE0, 0x20);
const QRgb kYellow = qRgb(0xE0, 0xE0, 0x20);
const QRgb kMagenta = qRgb(0xFF, 0x00, 0xFF); // the transparent index's own colour
const QRgb kParent = qRgb(0x40, 0x40, 0x40);
const QRgb kBackColour = qRgb(0xC0, 0xC0, 0xFF);

// Four quadrants: red, green / yellow, transparent (index 0).
QByteArray quadrantGif(int width, int height)
{
    GifFrame frame;
    frame.transparentIndex = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            bool right = x >= width / 2, bottom = y >= height / 2;
            frame.pixels.push_back(std::uint8_t(!bottom ? (right ? 2 : 1) : (right ? 0 : 3)));
        }
    return wtest::makeGif(width, height, { kMagenta, kRed, kGreen, kYellow }, { frame }, std::nullopt);
}

// Two frames that differ in the one pixel at (5, 2). Small ones are both drawn whole,
// as encoders often do; a large second frame draws that pixel only. With holes, the
// top-left pixel of small ones is transparent.
QByteArray onePixelChangeGif(QSize size, bool withHoles = false)
{
    GifFrame first;
    first.pixels.assign(std::size_t(size.width()) * size.height(), 1);
    if (withHoles) {
        first.transparentIndex = 0;
        first.pixels[0] = 0;
    }
    GifFrame second = first;
    second.pixels[2 * std::size_t(size.width()) + 5] = 2;
    if (size.width() <= 8)
        return wtest::makeGif(size.width(), size.height(), { kMagenta, kRed, kGreen, kYellow }, { first, second });
    frolix::test::GifBuilder gif(std::uint16_t(size.width()), std::uint16_t(size.height()));
    gif.loop(0);
    gif.control({ .delayCs = 2, .disposal = 1 })
        .image(
            { .width = std::uint16_t(size.width()), .height = std::uint16_t(size.height()), .indices = first.pixels });
    gif.control({ .delayCs = 2, .disposal = 1 }).fill(5, 2, 1, 1, 2);
    const auto bytes = gif.bytes();
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

// Collects what a widget and its children paint, in the widget's coordinates.
class PaintSpy : public QObject {
public:
    QRegion painted;
    enum class Children { Too, Not };
    void watch(QWidget& widget, Children children = Children::Too)
    {
        m_root = &widget;
        widget.installEventFilter(this);
        if (children == Children::Too)
            for (QWidget* child : widget.findChildren<QWidget*>())
                child->installEventFilter(this);
    }
    void stop() { m_root = nullptr; }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (m_root && event->type() == QEvent::Paint) {
            auto* widget = static_cast<QWidget*>(watched);
            painted += static_cast<QPaintEvent*>(event)->region().translated(widget->mapTo(m_root, QPoint(0, 0)));
        }
        return false;
    }

private:
    QWidget* m_root = nullptr;
};

// Delivers what showing a window posted and paints what is due, so that a PaintSpy
// sees only what follows.
void paintWhatIsDue(QWidget& window)
{
    QCoreApplication::processEvents();
    window.repaint();
}

// Waits for the frame due to be composed (off this thread) and shown.
bool settled(Frolix& component)
{
    return QTest::qWaitFor([&component] { return !component.isComposing(); });
}

const QRgb kBehind = 0; // the parent or the back colour, by Transparent
struct Probe {
    QPoint at; // in component coordinates
    QRgb shows;
};

} // namespace

Q_DECLARE_METATYPE(std::vector<Probe>)
Q_DECLARE_METATYPE(std::vector<int>)

class FrolixTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString file(const QString& name, const QByteArray& bytes)
    {
        QString path = m_dir.filePath(name);
        bool written = wtest::writeRawPath(path.toStdString(), bytes);
        if (!written)
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void painting_data()
    {
        QTest::addColumn<QSize>("image");
        QTest::addColumn<int>("mode");
        QTest::addColumn<std::vector<Probe>>("probes");
        // The component is 40 x 40; the quadrants are red, green / yellow, transparent.
        QTest::newRow("none, smaller: own size at the top-left")
            << QSize(8, 6) << 0
            << std::vector<Probe> { { { 0, 0 }, kRed }, { { 3, 2 }, kRed }, { { 4, 0 }, kGreen }, { { 7, 2 }, kGreen },
                   { { 0, 3 }, kYellow }, { { 3, 5 }, kYellow }, { { 4, 3 }, kBehind }, { { 7, 5 }, kBehind },
                   { { 8, 0 }, kBehind }, { { 0, 6 }, kBehind }, { { 20, 20 }, kBehind }, { { 39, 39 }, kBehind } };
        QTest::newRow("none, larger: clipped to the top-left part")
            << QSize(80, 60) << 0
            << std::vector<Probe> { { { 0, 0 }, kRed }, { { 39, 29 }, kRed }, { { 0, 30 }, kYellow },
                   { { 39, 39 }, kYellow } };
        for (QSize image : { QSize(8, 6), QSize(80, 60) }) {
            const char* size = image.width() < 40 ? "smaller" : "larger";
            QTest::addRow("stretch, %s: fills the area", size)
                << image << 1
                << std::vector<Probe> { { { 1, 1 }, kRed }, { { 10, 10 }, kRed }, { { 30, 10 }, kGreen },
                       { { 38, 1 }, kGreen }, { { 10, 30 }, kYellow }, { { 1, 38 }, kYellow },
                       { { 30, 30 }, kBehind } };
            QTest::addRow("proportional, %s: 40 x 30 centred", size)
                << image << 2
                << std::vector<Probe> { { { 20, 2 }, kBehind }, { { 20, 37 }, kBehind }, { { 10, 12 }, kRed },
                       { { 30, 12 }, kGreen }, { { 10, 27 }, kYellow }, { { 30, 27 }, kBehind }, { { 1, 6 }, kRed },
                       { { 1, 33 }, kYellow } };
        }
    }
    void painting()
    {
        QFETCH(QSize, image);
        QFETCH(int, mode);
        QFETCH(std::vector<Probe>, probes);

        QWidget parent;
        parent.resize(120, 120);
        parent.setAutoFillBackground(true);
        QPalette palette = parent.palette();
        palette.setColor(QPalette::Window, QColor(kParent));
        parent.setPalette(palette);
        auto* component = new Frolix(&parent);
        component->setAutoPlay(false);
        component->move(10, 10);
        component->setDesignedSize(QSize(40, 40));
        std::int16_t stretch = std::int16_t(mode);
        component->setStretchMode(stretch);
        QCOMPARE(wtest::loadFile(
                     *component, file(QStringLiteral("quadrants.gif"), quadrantGif(image.width(), image.height()))),
            frolix::kAutomationTrue);
        QVERIFY(settled(*component));
        QCOMPARE(component->size(), QSize(40, 40));
        parent.show();

        for (std::int16_t transparent : { frolix::kAutomationTrue, frolix::kAutomationFalse }) {
            component->setTransparent(transparent);
            QImage shot = parent.grab().toImage();
            QRgb behind = transparent ? kParent : kBackColour;
            for (const Probe& probe : probes) {
                QRgb expected = probe.shows == kBehind ? behind : probe.shows,
                     got = shot.pixel(probe.at + QPoint(10, 10));
                QVERIFY2(got == expected,
                    qPrintable(QStringLiteral("transparent %1, at (%2, %3): %4 not %5")
                                   .arg(transparent)
                                   .arg(probe.at.x())
                                   .arg(probe.at.y())
                                   .arg(got & 0xFFFFFF, 6, 16)
                                   .arg(expected & 0xFFFFFF, 6, 16)));
            }
            // Outside the component only the parent shows.
            QCOMPARE(shot.pixel(9, 9), kParent);
            QCOMPARE(shot.pixel(50, 50), kParent);
        }
    }

    void shrinkingAveragesAreas_data()
    {
        QTest::addColumn<QSize>("shown");
        QTest::newRow("half") << QSize(60, 45);
        QTest::newRow("a third") << QSize(40, 30);
        QTest::newRow("2.4 times smaller") << QSize(50, 37);
        QTest::newRow("squeezed across only") << QSize(47, 90);
    }
    void shrinkingAveragesAreas()
    {
        // A dithered picture: black and white pixels whose mix follows a gradient, and
        // coloured stripes one pixel wide. Sampling a few pixels per screen pixel shows
        // grain; the mean over each screen pixel's area shows the gradient.
        QFETCH(QSize, shown);
        const int width = 120, height = 90;
        const std::vector<QRgb> palette { qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(255, 0, 0), qRgb(0, 0, 255) };
        const int bayer[4][4] = { { 0, 8, 2, 10 }, { 12, 4, 14, 6 }, { 3, 11, 1, 9 }, { 15, 7, 13, 5 } };
        std::vector<std::uint8_t> pixels(std::size_t(width) * height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                pixels[std::size_t(y) * width + x]
                    = y >= 60 ? std::uint8_t(2 + x % 2) : std::uint8_t(x * 16 / width > bayer[y % 4][x % 4]);
        Frolix component;
        component.setAutoPlay(false);
        component.setTransparent(frolix::kAutomationFalse);
        component.setDesignedSize(shown);
        std::int16_t stretch = 1;
        component.setStretchMode(stretch);
        QCOMPARE(wtest::loadFile(component,
                     file(QStringLiteral("dither.gif"), wtest::makeGif(width, height, palette, { { pixels } }))),
            frolix::kAutomationTrue);
        QVERIFY(settled(component));
        QImage shot = component.grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shot.size(), shown);

        // The reference: every picture pixel weighted by how much of the screen pixel it covers.
        const double sx = double(width) / shown.width(), sy = double(height) / shown.height();
        double error = 0;
        for (int oy = 0; oy < shown.height(); ++oy)
            for (int ox = 0; ox < shown.width(); ++ox) {
                double sum[3] = {}, area = 0;
                for (int y = int(oy * sy); y < std::min(height, int(std::ceil((oy + 1) * sy))); ++y)
                    for (int x = int(ox * sx); x < std::min(width, int(std::ceil((ox + 1) * sx))); ++x) {
                        double w = (std::min(x + 1.0, (ox + 1) * sx) - std::max(double(x), ox * sx))
                            * (std::min(y + 1.0, (oy + 1) * sy) - std::max(double(y), oy * sy));
                        QRgb colour = palette[pixels[std::size_t(y) * width + x]];
                        sum[0] += w * qRed(colour);
                        sum[1] += w * qGreen(colour);
                        sum[2] += w * qBlue(colour);
                        area += w;
                    }
                QRgb got = shot.pixel(ox, oy);
                error += std::abs(qRed(got) - sum[0] / area) + std::abs(qGreen(got) - sum[1] / area)
                    + std::abs(qBlue(got) - sum[2] / area);
            }
        double meanError = error / (3.0 * shown.width() * shown.height());
        QVERIFY2(meanError < 2, qPrintable(QStringLiteral("mean absolute error %1 per channel").arg(meanError)));
    }

    void shrinkingOnlyWhatChanged_data()
    {
        QTest::addColumn<QSize>("shown");
        QTest::newRow("2.4 times smaller") << QSize(50, 37);
        QTest::newRow("a third") << QSize(40, 30);
        QTest::newRow("squeezed across only") << QSize(47, 90);
        QTest::newRow("by a pixel") << QSize(119, 89);
        QTest::newRow("past four taps") << QSize(23, 17);
    }
    void shrinkingOnlyWhatChanged()
    {
        // Frames changing a rectangle at a time, shrunk from the last result, must give
        // what shrinking each whole frame afresh gives.
        QFETCH(QSize, shown);
        QImage frame(120, 90, frolix::kDisplayFormat);
        std::uint32_t seed = 1;
        auto noise = [&] { return seed = seed * 1664525u + 1013904223u; };
        auto paint = [&](QRect area) {
            for (int y = area.top(); y <= area.bottom(); ++y)
                for (int x = area.left(); x <= area.right(); ++x)
                    frame.setPixel(x, y, noise() | 0xff000000u);
        };
        paint(frame.rect());
        frolix::AreaShrinker kept;
        kept.shrink(frame, shown, frame.rect());
        const QRect changes[] = { QRect(0, 0, 1, 1), QRect(119, 89, 1, 1), QRect(37, 21, 5, 3), QRect(60, 0, 1, 90),
            QRect(0, 44, 120, 2), QRect(101, 70, 19, 20) };
        for (const QRect& change : changes) {
            const QImage before = kept.shrink(frame, shown, QRect()).copy();
            paint(change);
            frolix::AreaShrinker afresh;
            const QImage whole = afresh.shrink(frame, shown, QRect());
            QCOMPARE(kept.shrink(frame, shown, change), whole);
            QVERIFY2(whole != before, "the change shows in the shrunk frame");
            // The processor's widest vectors give what portable code gives.
            frolix::AreaShrinker portable(frolix::AreaShrinker::Vectors::Portable);
            QCOMPARE(portable.shrink(frame, shown, QRect()), whole);
        }
    }

    void shrinkingWhilePlaying_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("stretched") << 1;
        QTest::newRow("proportional") << 2;
    }
    void shrinkingWhilePlaying()
    {
        // Frames large enough to be copied and shrunk a band of rows at a time, each but
        // the first changing a rectangle, some across bands' edges: shown one after the
        // other, each must look as it does shown alone.
        QFETCH(int, mode);
        const int width = 400, height = 300;
        std::uint32_t seed = 5;
        frolix::test::GifBuilder gif(width, height);
        const QRect changes[] = { QRect(0, 0, width, height), QRect(10, 60, 50, 50), QRect(0, 160, width, 3),
            QRect(399, 299, 1, 1), QRect(200, 0, 30, height) };
        for (const QRect& change : changes) {
            std::vector<std::uint8_t> indices(std::size_t(change.width()) * change.height());
            for (std::uint8_t& index : indices)
                index = std::uint8_t((seed = seed * 1664525u + 1013904223u) >> 24);
            gif.control({ .delayCs = 2, .disposal = 1 })
                .image({ .left = std::uint16_t(change.x()),
                    .top = std::uint16_t(change.y()),
                    .width = std::uint16_t(change.width()),
                    .height = std::uint16_t(change.height()),
                    .indices = indices });
        }
        const auto bytes = gif.bytes();
        const QString path = file(QStringLiteral("bands.gif"),
            QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())));
        auto shown = [&](Frolix& component, int stretchMode, QSize size) {
            component.setAutoPlay(false);
            component.setDesignedSize(size);
            std::int16_t stretch = std::int16_t(stretchMode);
            component.setStretchMode(stretch);
            component.setFocusPolicy(Qt::NoFocus); // no focus frame over the picture
            component.show();
            return QTest::qWaitForWindowExposed(&component)
                && wtest::loadFile(component, path) == frolix::kAutomationTrue && settled(component);
        };
        Frolix playing;
        QVERIFY(shown(playing, mode, QSize(150, 100)));
        const QRect picture = frolix::targetRect(QSize(width, height), playing.rect(), frolix::StretchMode(mode));
        for (int frame = 2; frame <= int(std::size(changes)); ++frame) {
            const QImage before = playing.grab().toImage();
            playing.showFrame(frame);
            QVERIFY(settled(playing));
            const QImage after = playing.grab().toImage().copy(picture).convertToFormat(QImage::Format_RGB32);
            // The frame at its own size, shrunk afresh.
            Frolix whole;
            QVERIFY(shown(whole, 0, QSize(width, height)));
            whole.showFrame(frame);
            QVERIFY(settled(whole));
            const QImage full = whole.grab().toImage().convertToFormat(frolix::kDisplayFormat);
            QCOMPARE(after,
                frolix::AreaShrinker().shrink(full, picture.size(), full.rect()).convertToFormat(QImage::Format_RGB32));
            QVERIFY2(after != before.copy(picture).convertToFormat(QImage::Format_RGB32), "the change shows");
        }
    }

    void copyChangedPixels_data()
    {
        QTest::addColumn<QRect>("differing"); // pixels changed in the second image; empty: none
        QTest::addColumn<QRect>("expected");
        QTest::newRow("identical") << QRect() << QRect();
        QTest::newRow("one pixel") << QRect(5, 2, 1, 1) << QRect(5, 2, 1, 1);
        QTest::newRow("first and last pixel") << QRect(0, 0, 8, 6) << QRect(0, 0, 8, 6);
        QTest::newRow("a block") << QRect(2, 1, 3, 4) << QRect(2, 1, 3, 4);
        QTest::newRow("last column") << QRect(7, 0, 1, 6) << QRect(7, 0, 1, 6);
    }
    void copyChangedPixels()
    {
        QFETCH(QRect, differing);
        QFETCH(QRect, expected);
        QImage before(8, 6, frolix::kDisplayFormat);
        before.fill(Qt::red);
        QImage after = before.copy();
        if (!differing.isEmpty()) {
            // Only the corners of the block change, so the scan must look past equal pixels.
            for (QPoint corner : { differing.topLeft(), differing.bottomRight() })
                after.setPixel(corner, qRgb(0, 0, 255));
        }
        QImage shown = before.copy();
        QCOMPARE(frolix::copyChangedPixels(shown, after.constBits(), after.size(), after.rect()), expected);
        QCOMPARE(shown, after);
        QImage empty;
        QCOMPARE(frolix::copyChangedPixels(empty, after.constBits(), after.size(), after.rect()), after.rect());
        QCOMPARE(empty, after);
        QImage smaller = before.scaled(4, 3);
        QCOMPARE(frolix::copyChangedPixels(smaller, after.constBits(), after.size(), after.rect()), after.rect());
    }

    // A new frame repaints what changed, not the whole component; and what lies beneath
    // (the window) only where the frame lets it show: through transparent pixels, with
    // Transparent ticked. The sides a picture leaves uncovered are not repainted.
    void repaintCoversEveryChange_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QSize>("area");
        QTest::addColumn<QSize>("canvas");
        QTest::addColumn<bool>("withHoles");
        QTest::addColumn<bool>("transparent");
        QTest::addColumn<bool>("beneathPainted");
        for (int mode : { 0, 1, 2 })
            for (QSize area : { QSize(40, 30), QSize(37, 41) })
                QTest::addRow("mode %d, %dx%d", mode, area.width(), area.height())
                    << mode << area << QSize(8, 6) << false << true << false;
        QTest::newRow("transparent pixels") << 1 << QSize(40, 30) << QSize(8, 6) << true << true << true;
        QTest::newRow("back colour painted under transparent pixels")
            << 2 << QSize(40, 30) << QSize(8, 6) << true << false << false;
        // Over 16 MiB: shown in place instead of copied.
        QTest::newRow("canvas shown in place") << 0 << QSize(40, 30) << QSize(2100, 2100) << false << true << false;
    }
    void repaintCoversEveryChange()
    {
        QFETCH(int, mode);
        QFETCH(QSize, area);
        QFETCH(QSize, canvas);
        QFETCH(bool, withHoles);
        QFETCH(bool, transparent);
        QFETCH(bool, beneathPainted);
        FakeClock clock;
        QWidget parent;
        parent.resize(100, 100);
        auto* component = new Frolix(&parent);
        component->setDesignedSize(area);
        std::int16_t stretch = std::int16_t(mode);
        component->setStretchMode(stretch);
        component->setTransparent(transparent ? frolix::kAutomationTrue : frolix::kAutomationFalse);
        component->useClock(clock);
        QCOMPARE(
            wtest::loadFile(*component, file(QStringLiteral("one-pixel.gif"), onePixelChangeGif(canvas, withHoles))),
            frolix::kAutomationTrue);
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        QVERIFY(settled(*component));
        component->tick();
        paintWhatIsDue(parent);
        QImage before = component->grab().toImage();

        PaintSpy spy;
        spy.watch(*component);
        PaintSpy beneath;
        beneath.watch(parent, PaintSpy::Children::Not);
        clock.advance(frolix::Milliseconds(20));
        component->tick();
        QVERIFY(settled(*component));
        QCOMPARE(component->CurrentFrame(), 2);
        QCoreApplication::processEvents();
        spy.stop(); // before grab() paints it all
        QCOMPARE(!beneath.painted.isEmpty(), beneathPainted);
        QImage after = component->grab().toImage();

        int changed = 0;
        for (int y = 0; y < after.height(); ++y)
            for (int x = 0; x < after.width(); ++x)
                if (before.pixel(x, y) != after.pixel(x, y)) {
                    ++changed;
                    QVERIFY2(spy.painted.contains(QPoint(x, y)),
                        qPrintable(QStringLiteral("(%1, %2) not repainted").arg(x).arg(y)));
                }
        QVERIFY(changed > 0);
        QVERIFY(!spy.painted.contains(QPoint(0, 0))); // and not the whole component
    }

    void autoSize()
    {
        QWidget parent;
        auto* component = new Frolix(&parent);
        component->setDesignedSize(QSize(40, 40));
        component->move(10, 10);
        QCOMPARE(wtest::loadFile(*component, file(QStringLiteral("large.gif"), quadrantGif(80, 60))),
            frolix::kAutomationTrue);
        QCOMPARE(component->geometry(), QRect(10, 10, 40, 40));
        component->setAutoSize(frolix::kAutomationTrue);
        QCOMPARE(component->geometry(), QRect(10, 10, 80, 60));
        // A later load takes the new animation's size while AutoSize is on.
        QCOMPARE(
            wtest::loadFile(*component, file(QStringLiteral("small.gif"), quadrantGif(8, 6))), frolix::kAutomationTrue);
        QCOMPARE(component->geometry(), QRect(10, 10, 8, 6));
        component->setAutoSize(frolix::kAutomationFalse);
        QCOMPARE(component->geometry(), QRect(10, 10, 40, 40));
        // A stretch index past the modes is ignored, not read as one of them.
        for (std::int16_t index : { 2, 3, -1 })
            component->setStretchMode(index);
        QCOMPARE(component->stretchMode(), frolix::StretchMode::Proportional);
    }

    void sequences_data()
    {
        // Numbers: the frame shown at start, then after each 20 ms. Letters: Normal,
        // Reverse, Pingpong sequence, X an index past them; Stop; Go (Play).
        QTest::addColumn<QString>("script");
        QTest::newRow("normal") << "1 2 3 4 1 2 3";
        QTest::newRow("reverse from the first frame") << "R 1 4 3 2 1 4 3";
        QTest::newRow("ping-pong") << "P 1 2 3 4 3 2 1 2 3 4";
        QTest::newRow("normal, then reverse at 3") << "1 2 3 R 2 1 4 3";
        QTest::newRow("stop keeps the frame, play resumes") << "1 2 S 2 2 S 2 G 3 4";
        QTest::newRow("an index past the sequences is ignored") << "R 1 4 X 3 2";
    }
    void sequences()
    {
        QFETCH(QString, script);
        FakeClock clock;
        Frolix component;
        component.useClock(clock);
        // Large enough to be composed ahead on the component's worker thread.
        QCOMPARE(wtest::loadFile(component, file(QStringLiteral("four-large.gif"), numberedGif(4, 2, 0, 256))),
            frolix::kAutomationTrue);
        QSignalSpy steps(&component, &frolix::FrolixControl::Step);
        QStringList seen, painted, want;
        int changes = 0, last = component.CurrentFrame();
        for (const QString& token : script.split(' ')) {
            if (std::int16_t sequence = std::int16_t(QStringLiteral("NRPX").indexOf(token)); sequence >= 0) {
                component.setSequence(sequence);
            } else if (token == "S") {
                component.Stop();
            } else if (token == "G") {
                component.Play();
            } else {
                if (!want.isEmpty())
                    clock.advance(frolix::Milliseconds(20));
                component.tick();
                QVERIFY(settled(component));
                changes += component.CurrentFrame() != last;
                last = component.CurrentFrame();
                seen << QString::number(last);
                // Frames are composed ahead on another thread: the one painted is the one
                // the sequence has come to, not the one composed for the sequence before.
                painted << QString::number(qRed(component.grab().toImage().pixel(0, 0)) / 10 + 1);
                want << token;
            }
        }
        QCOMPARE(seen, want);
        QCOMPARE(painted, want);
        QCOMPARE(steps.count(), changes); // one Step per frame advanced to; the first is not one
    }

    // Hidden and shown again, an animation is left as it was: one playing resumes where it
    // was, without catching up (Play while unseen sets no timer either); one stopped, before
    // or while hidden, or whose loops had run out, stays so.
    void heldWhileUnseen_data()
    {
        // Minimised and covered windows are told apart by the X11 platform only, not by
        // the offscreen one: covered.sh tries the real viewer covered, and
        // bench/idle/run.sh measures both.
        QTest::addColumn<QString>("state");
        QTest::newRow("hidden") << "playing";
        QTest::newRow("stopped while hidden") << "stopped while hidden";
        QTest::newRow("stopped, then hidden") << "stopped";
        QTest::newRow("loops run out, then hidden") << "played out";
    }
    void heldWhileUnseen()
    {
        QFETCH(QString, state);
        const bool wasPlaying = state.startsWith("playing") || state == "stopped while hidden";
        FakeClock clock;
        QWidget window;
        window.resize(60, 60);
        auto* component = new Frolix(&window);
        component->useClock(clock);
        QCOMPARE(wtest::loadFile(*component, file(QStringLiteral("once.gif"), numberedGif(3, 2, std::nullopt))),
            frolix::kAutomationTrue);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(settled(*component));
        component->tick();
        for (int i = 0; i < (state == "played out" ? 3 : 1); ++i) {
            clock.advance(frolix::Milliseconds(20));
            component->tick();
            QVERIFY(settled(*component));
        }
        if (state == "stopped")
            component->Stop();
        const int frame = component->CurrentFrame();
        QCOMPARE(frame, state == "played out" ? 3 : 2);
        QCOMPARE(component->isPlaying(), wasPlaying);
        QCOMPARE(component->isTickScheduled(), wasPlaying);

        QSignalSpy steps(component, &frolix::FrolixControl::Step);
        window.hide();
        QVERIFY(!component->isTickScheduled());
        if (wasPlaying) {
            component->Play();
            QVERIFY(!component->isTickScheduled());
        }
        if (state == "stopped while hidden")
            component->Stop();
        const bool playsOn = state == "playing";
        QCOMPARE(component->isPlaying(), playsOn);
        // Long enough that catching up would show another frame.
        clock.advance(frolix::Milliseconds(10010));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(component->isPlaying(), playsOn);
        QCOMPARE(component->isTickScheduled(), playsOn);
        component->tick();
        QCOMPARE(component->CurrentFrame(), frame);
        for (int i = 0; i < 2; ++i) {
            clock.advance(frolix::Milliseconds(20));
            component->tick();
            QVERIFY(settled(*component));
        }
        QCOMPARE(component->CurrentFrame(), playsOn ? 3 : frame);
        QCOMPARE(steps.count(), playsOn ? 1 : 0);
    }

    // Keys while the component has the focus (from a click): each step shows its frame,
    // painted and raised as Step, and stops; Space plays on from there; the speed keys
    // stop at the ends. A list beside it, as in the window, keeps its keys.
    void keys()
    {
        FakeClock clock;
        QWidget window;
        auto* list = new QListWidget(&window);
        list->addItems({ "a", "b", "c" });
        list->setGeometry(0, 0, 256, 30);
        auto* component = new Frolix(&window);
        component->setGeometry(0, 30, 256, 256);
        window.resize(256, 286);
        component->useClock(clock);
        QCOMPARE(wtest::loadFile(*component, file(QStringLiteral("twelve.gif"), numberedGif(12, 2, 0, 256))),
            frolix::kAutomationTrue);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        list->setFocus();
        QTest::mouseClick(component, Qt::LeftButton);
        QVERIFY(component->hasFocus());
        QVERIFY(settled(*component));
        QSignalSpy steps(component, &frolix::FrolixControl::Step);
        // Inside the focus mark.
        auto painted = [component] { return qRed(component->grab().toImage().pixel(8, 8)) / 10 + 1; };

        const std::pair<Qt::Key, int> script[]
            = { { Qt::Key_Right, 2 }, { Qt::Key_Right, 3 }, { Qt::Key_Left, 2 }, { Qt::Key_Left, 1 },
                  { Qt::Key_Left, 12 }, { Qt::Key_Right, 1 }, { Qt::Key_End, 12 }, { Qt::Key_PageDown, 12 },
                  { Qt::Key_PageUp, 2 }, { Qt::Key_PageUp, 1 }, { Qt::Key_PageDown, 11 }, { Qt::Key_Home, 1 } };
        int changes = 0, last = 1;
        for (const auto& [key, frame] : script) {
            QTest::keyClick(component, key);
            QVERIFY(settled(*component));
            QCOMPARE(component->CurrentFrame(), frame);
            QCOMPARE(painted(), frame);
            QVERIFY(!component->isPlaying());
            changes += frame != last;
            last = frame;
        }
        QCOMPARE(steps.count(), changes);
        clock.advance(frolix::Milliseconds(100));
        component->tick();
        QCOMPARE(component->CurrentFrame(), 1);

        QTest::keyClick(component, Qt::Key_Space);
        QVERIFY(component->isPlaying());
        clock.advance(frolix::Milliseconds(20));
        component->tick();
        QVERIFY(settled(*component));
        QCOMPARE(component->CurrentFrame(), 2);
        QTest::keyClick(component, Qt::Key_Space);
        QVERIFY(!component->isPlaying());

        const std::pair<Qt::Key, frolix::Speed> speeds[]
            = { { Qt::Key_BracketRight, frolix::Speed::Double }, { Qt::Key_BracketRight, frolix::Speed::Quadruple },
                  { Qt::Key_BracketRight, frolix::Speed::Quadruple }, { Qt::Key_BracketLeft, frolix::Speed::Double },
                  { Qt::Key_Backspace, frolix::Speed::Normal }, { Qt::Key_BracketLeft, frolix::Speed::Half },
                  { Qt::Key_BracketLeft, frolix::Speed::Quarter }, { Qt::Key_BracketLeft, frolix::Speed::Quarter } };
        for (const auto& [key, speed] : speeds) {
            QTest::keyClick(component, key);
            QCOMPARE(component->speed(), speed);
        }

        list->setFocus();
        for (Qt::Key key : { Qt::Key_Right, Qt::Key_Backspace, Qt::Key_Space, Qt::Key_BracketRight, Qt::Key_End })
            QTest::keyClick(list, key);
        QCOMPARE(component->CurrentFrame(), 2);
        QVERIFY(!component->isPlaying());
        QCOMPARE(component->speed(), frolix::Speed::Quarter);
        QCOMPARE(list->currentRow(), 2);
    }

    // Speed and loop mode stay for the next animation, and time it: 20 ms frames at 2x,
    // once, where the file says forever.
    void speedAndLoopModeSurviveALoad()
    {
        FakeClock clock;
        Frolix component;
        component.useClock(clock);
        QCOMPARE(
            wtest::loadFile(component, file(QStringLiteral("three.gif"), numberedGif(3))), frolix::kAutomationTrue);
        component.setSpeed(frolix::Speed::Double);
        component.setLoopMode(frolix::LoopMode::Once);
        QCOMPARE(wtest::loadFile(component, file(QStringLiteral("four-large.gif"), numberedGif(4, 2, 0, 256))),
            frolix::kAutomationTrue);
        QCOMPARE(component.speed(), frolix::Speed::Double);
        QCOMPARE(component.loopMode(), frolix::LoopMode::Once);
        QVERIFY(settled(component));
        component.tick();
        QStringList shown;
        for (int i = 0; i < 5; ++i) {
            clock.advance(frolix::Milliseconds(10));
            component.tick();
            QVERIFY(settled(component));
            shown << QString::number(component.CurrentFrame());
        }
        QCOMPARE(shown.join(' '), QStringLiteral("2 3 4 4 4"));
        QVERIFY(!component.isPlaying());
    }

    // Shift+F10 opens the menu, which returns at once (no event loop of its own) and
    // lists every action with its key; a key pressed in the open menu is the menu's.
    void contextMenu()
    {
        FakeClock clock;
        QWidget window;
        auto* component = new Frolix(&window);
        component->resize(256, 256);
        component->useClock(clock);
        QCOMPARE(wtest::loadFile(*component, file(QStringLiteral("six.gif"), numberedGif(6, 2, 0, 256))),
            frolix::kAutomationTrue);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        component->setFocus();
        QMenu& menu = component->frameMenu().menu();
        bool returned = false, nested = false;
        QTimer::singleShot(0, &menu, [&] {
            nested = !returned;
            if (nested)
                menu.close();
        });
        QTest::keyClick(component, Qt::Key_F10, Qt::ShiftModifier);
        returned = true;
        QVERIFY2(!nested, "the menu ran an event loop of its own");
        QVERIFY(menu.isVisible());
        // Over the middle of what is seen of it, though the picture covers all of it.
        QCOMPARE(menu.pos(), component->mapToGlobal(component->rect().center()));
        QTest::qWait(20);

        QStringList items;
        std::function<void(const QMenu&, const QString&)> list = [&](const QMenu& from, const QString& path) {
            for (QAction* action : from.actions()) {
                if (action->menu())
                    list(*action->menu(), path + action->text() + " > ");
                else if (!action->isSeparator())
                    items << path + action->text()
                            + (action->shortcut().isEmpty() ? "" : " [" + action->shortcut().toString() + "]")
                            + (action->isChecked() ? " (on)" : "") + (action->isEnabled() ? "" : " (greyed)");
            }
        };
        list(menu, QString());
        QCOMPARE(items,
            QStringList({ "Stop [Space]", "Next frame [Right]", "Previous frame [Left]", "First frame [Home]",
                "Last frame [End]", "Ten frames on [PgDown]", "Ten frames back [PgUp]", "Speed > Slower [[]",
                "Speed > Faster []]", "Speed > 0.25x", "Speed > 0.5x", "Speed > 1x [Backspace] (on)", "Speed > 2x",
                "Speed > 4x", "Loop > As the file says (on)", "Loop > Forever", "Loop > Once",
                "Save this frame as PNG… [Ctrl+S]", "Export all frames… [Ctrl+E]", "Copy frame [Ctrl+C]",
                "Copy file [Ctrl+Shift+C]", "Frame details… [Ctrl+I]" }));
        QCOMPARE(menu.accessibleName(), QStringLiteral("Animation"));

        // While it is open, keys are the menu's: Space is not Play/Stop's (and does not
        // choose an item in this style), Return chooses "Next frame".
        QTest::keyClick(&menu, Qt::Key_Down);
        QTest::keyClick(&menu, Qt::Key_Down);
        QCOMPARE(menu.activeAction()->text(), QStringLiteral("Next frame"));
        QTest::keyClick(&menu, Qt::Key_Space);
        QVERIFY(component->isPlaying());
        QTest::keyClick(&menu, Qt::Key_Return);
        QVERIFY(!menu.isVisible());
        QVERIFY(settled(*component));
        QCOMPARE(component->CurrentFrame(), 2);
        QVERIFY(!component->isPlaying());

        // A right click opens it where it was made.
        QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(40, 50), component->mapToGlobal(QPoint(40, 50)));
        QApplication::sendEvent(component, &click);
        QVERIFY(menu.isVisible());
        QCOMPARE(menu.pos(), component->mapToGlobal(QPoint(40, 50)));
        menu.close();

        // What needs the file is greyed while the menu shows an animation from no file,
        // and its key is live again once the menu has closed.
        const QByteArray fromNoFile = numberedGif(3);
        QVERIFY(component->showAnimation(std::vector<std::uint8_t>(fromNoFile.begin(), fromNoFile.end())));
        QApplication::sendEvent(component, &click);
        items.clear();
        list(menu, QString());
        QVERIFY(items.contains("Export all frames… [Ctrl+E] (greyed)"));
        QVERIFY(items.contains("Copy file [Ctrl+Shift+C] (greyed)"));
        QVERIFY(items.contains("Copy frame [Ctrl+C]"));
        menu.close();
        items.clear();
        list(menu, QString());
        QVERIFY(items.filter("greyed").isEmpty());
    }

    // LoadFile returns before the file is read; only the newest load ends, with Loaded,
    // and until then the animation before is the one counted. An animation shown from
    // memory supersedes a load under way.
    void newestLoadWins()
    {
        Frolix component;
        QSignalSpy loaded(&component, &frolix::FrolixControl::Loaded);
        QCOMPARE(component.LoadFile(file(QStringLiteral("three.gif"), numberedGif(3))), frolix::kAutomationTrue);
        QCOMPARE(component.FrameCount(), 0);
        QVERIFY(loaded.wait());
        QCOMPARE(component.FrameCount(), 3);

        component.LoadFile(file(QStringLiteral("five.gif"), numberedGif(5)));
        component.LoadFile(m_dir.filePath(QStringLiteral("nothing-here.gif")));
        component.LoadFile(file(QStringLiteral("seven.gif"), numberedGif(7)));
        QCOMPARE(component.FrameCount(), 3);
        QCOMPARE(component.CurrentFrame(), 1);
        QVERIFY(loaded.wait());
        QTest::qWait(200); // time for the superseded ones to end too
        QCOMPARE(loaded.count(), 2);
        QCOMPARE(loaded.last().front().value<std::int32_t>(), frolix::kAutomationTrue);
        QCOMPARE(component.FrameCount(), 7);
        QVERIFY(component.lastError().isEmpty());

        component.LoadFile(file(QStringLiteral("five.gif"), numberedGif(5)));
        const QByteArray two = numberedGif(2);
        QVERIFY(component.showAnimation(std::vector<std::uint8_t>(two.begin(), two.end())));
        QTest::qWait(200);
        QCOMPARE(loaded.count(), 2);
        QCOMPARE(component.FrameCount(), 2);
        QVERIFY(!component.isLoading());
    }

    void loadWhilePlaying_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("frames"); // of the new animation; 0: the load fails
        QTest::newRow("cut before its first image") << file(QStringLiteral("cut.gif"), numberedGif(3).left(20)) << 0;
        QTest::newRow("empty file") << file(QStringLiteral("empty.gif"), QByteArray()) << 0;
        QTest::newRow("missing path") << m_dir.filePath(QStringLiteral("nothing-here.gif")) << 0;
        QTest::newRow("a folder") << m_dir.path() << 0;
        QTest::newRow("a good file replaces the animation") << file(QStringLiteral("seven.gif"), numberedGif(7)) << 7;
    }
    void loadWhilePlaying()
    {
        QFETCH(QString, path);
        QFETCH(int, frames);
        FakeClock clock;
        Frolix component;
        component.useClock(clock);
        QCOMPARE(component.FrameCount(), 0);
        QCOMPARE(wtest::loadFile(component, file(QStringLiteral("four.gif"), numberedGif(4))), frolix::kAutomationTrue);
        QVERIFY(settled(component));
        component.tick();
        clock.advance(frolix::Milliseconds(20));
        component.tick();
        QVERIFY(settled(component));
        QCOMPARE(component.CurrentFrame(), 2);

        QCOMPARE(wtest::loadFile(component, path), frames ? frolix::kAutomationTrue : frolix::kAutomationFalse);
        QCOMPARE(component.lastError().isEmpty(), frames != 0);
        QCOMPARE(component.FrameCount(), frames ? frames : 4);
        QVERIFY(component.isPlaying());
        // A failed load plays on from the frame shown; a good one starts from its first.
        QSignalSpy steps(&component, &frolix::FrolixControl::Step);
        QVERIFY(settled(component));
        component.tick();
        QCOMPARE(component.CurrentFrame(), frames ? 1 : 2);
        clock.advance(frolix::Milliseconds(20));
        component.tick();
        QVERIFY(settled(component));
        QCOMPARE(component.CurrentFrame(), frames ? 2 : 3);
        QCOMPARE(steps.count(), 1); // a new animation's first frame is not a step
    }
};

QTEST_MAIN(FrolixTest)
#include "FrolixTest.moc"
