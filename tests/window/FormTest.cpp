// The window: its controls as designed, the Tab order, the labels with the real
// component under a hand-moved clock, the sky, and the event procedures driven as a
// user drives them.

#include "ComponentState.h"
#include "Form1.h"
#include "Frolix.h"
#include "WindowTestSupport.h"

#include <QAccessible>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>

using wtest::FakeClock;

namespace {

// The window was laid out in twips, 15 to the pixel.
int pixels(int twips) { return int(std::lround(twips / 15.0)); }

// What a screen reader is told about a control: its role and its name (for a captioned
// control, the caption). A combo box is named by its value on this platform, so what
// it is for goes in its description.
QString spokenAs(QWidget* widget)
{
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    auto text = accessible->role() == QAccessible::ComboBox ? QAccessible::Description : QAccessible::Name;
    return QStringLiteral("%1 \"%2\"").arg(qAccessibleRoleString(accessible->role()), accessible->text(text));
}

QString valueOf(QWidget* widget)
{
    if (auto* check = qobject_cast<QCheckBox*>(widget))
        return check->checkState() == Qt::Checked  ? "checked"
            : check->checkState() == Qt::Unchecked ? "unchecked"
                                                   : "grayed";
    if (auto* radio = qobject_cast<QRadioButton*>(widget))
        return radio->isChecked() ? "on" : "off";
    return QString();
}

struct Designed {
    const char *name, *className, *parent, *spoken;
    QRect twips;
    const char* value;
    bool takesFocus;
};
const Designed kDesigned[] = {
    { "Check2", "QCheckBox", "Form1", "CheckBox \"AutoSize\"", { 4440, 5160, 1215, 255 }, "unchecked", true },
    { "Check1", "QCheckBox", "Form1", "CheckBox \"Transparent\"", { 4440, 4800, 1215, 255 }, "checked", true },
    { "Frame2", "QGroupBox", "Form1", "Grouping \"Sequence\"", { 5880, 5280, 2295, 1095 }, "", false },
    { "optSequence_2", "QRadioButton", "Frame2", "RadioButton \"Pingpong Sequence\"", { 120, 720, 2055, 255 }, "off",
        true },
    { "optSequence_1", "QRadioButton", "Frame2", "RadioButton \"Reverse Sequence\"", { 120, 480, 2055, 255 }, "off",
        true },
    { "optSequence_0", "QRadioButton", "Frame2", "RadioButton \"Normal Sequence\"", { 120, 240, 2055, 255 }, "on",
        true },
    { "Frame1", "QGroupBox", "Form1", "Grouping \"Stretch Mode\"", { 5880, 4080, 2295, 1095 }, "", false },
    { "optStretch_2", "QRadioButton", "Frame1", "RadioButton \"Proportional\"", { 120, 720, 2055, 255 }, "off", true },
    { "optStretch_1", "QRadioButton", "Frame1", "RadioButton \"Stretch\"", { 120, 480, 2055, 255 }, "off", true },
    { "optStretch_0", "QRadioButton", "Frame1", "RadioButton \"No Stretch\"", { 120, 240, 2055, 255 }, "on", true },
    { "Frolix1", "frolix::Frolix", "Form1", "Animation \"Animation\"", { 240, 240, 7920, 3705 }, "", true },
    { "cmdStop", "QPushButton", "Form1", "Button \"Stop\"", { 4440, 6000, 1215, 375 }, "", true },
    { "cmdPlay", "QPushButton", "Form1", "Button \"Play\"", { 4440, 5520, 1215, 375 }, "", true },
    { "File1", "FileListBox", "Form1", "List \"File\"", { 2400, 4200, 1935, 2184 }, "", true },
    { "Dir1", "DirListBox", "Form1", "List \"Folder\"", { 240, 4680, 2055, 1665 }, "", true },
    { "Drive1", "DriveListBox", "Form1", "ComboBox \"Drive\"", { 240, 4200, 2055, 315 }, "", true },
    { "Label1", "QLabel", "Form1", "StatusBar \"\"", { 4440, 4440, 1215, 255 }, "", false },
    // lblFrame's designed caption never shows: the stored logo's frame count replaces it.
    { "lblFrame", "QLabel", "Form1", "StatusBar \"22 Frames\"", { 4440, 4200, 1215, 255 }, "", false },
};

} // namespace

class FormTest : public QObject {
    Q_OBJECT

private slots:
    // --- the real window ---

    void controls_data()
    {
        QTest::addColumn<int>("row");
        for (int row = 0; row < int(std::size(kDesigned)); ++row)
            QTest::newRow(kDesigned[row].name) << row;
    }
    void controls()
    {
        QFETCH(int, row);
        const Designed& d = kDesigned[row];
        Form1 form;
        auto* widget = form.findChild<QWidget*>(d.name);
        QVERIFY(widget);
        QCOMPARE(widget->metaObject()->className(), d.className);
        QCOMPARE(widget->parentWidget()->objectName(), QString(d.parent));
        QCOMPARE(spokenAs(widget), QString::fromUtf8(d.spoken));
        QCOMPARE(widget->geometry(),
            QRect(pixels(d.twips.x()), pixels(d.twips.y()), pixels(d.twips.width()), pixels(d.twips.height())));
        QCOMPARE(valueOf(widget), QString(d.value));
        QCOMPARE(widget->focusPolicy() != Qt::NoFocus, d.takesFocus);
        QVERIFY(widget->isEnabled());
    }

    void window()
    {
        Form1 form;
        QCOMPARE(form.objectName(), QStringLiteral("Form1"));
        QCOMPARE(form.windowTitle(), QStringLiteral("Animation GIF OCX Trevik"));
        QCOMPARE(form.size(), QSize(560, 449));
        QCOMPARE(form.minimumSize(), form.maximumSize());
    }

    void tabOrder_data()
    {
        QTest::addColumn<QString>("choose"); // how the options other than 0 are chosen first
        QTest::addColumn<int>("stretchStop");
        QTest::addColumn<int>("sequenceStop");
        QTest::newRow("as designed") << "" << 0 << 0;
        QTest::newRow("other options clicked") << "mouse" << 2 << 1;
        // Qt makes the button of an exclusive group that last had focus its Tab stop, the
        // first in Tab order until then; checking one from code does not move the stop.
        QTest::newRow("other options set from code") << "code" << 0 << 0;
    }
    void tabOrder()
    {
        QFETCH(QString, choose);
        QFETCH(int, stretchStop);
        QFETCH(int, sequenceStop);
        Form1 form;
        wtest::FormControls ui(form);
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        if (choose.isEmpty()) {
            // Keyboard use starts at the drive list, so a first Space cannot tick "AutoSize".
            QCOMPARE(QApplication::focusWidget(), ui.Drive1);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
            ui.Drive1->hidePopup();
            QVERIFY(!ui.Check2->isChecked());
        }
        for (auto* button : { ui.find<QRadioButton>("optStretch_2"), ui.find<QRadioButton>("optSequence_1") }) {
            if (choose == "mouse")
                QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
            else if (choose == "code")
                button->setChecked(true);
            QCOMPARE(button->isChecked(), !choose.isEmpty());
        }
        ui.Drive1->setFocus(Qt::OtherFocusReason);
        QCOMPARE(QApplication::focusWidget(), ui.Drive1);

        // Into an exclusive group Tab lands on one button and leaves by the next Tab; the
        // arrow keys move within it.
        const QStringList expected { "Drive1", "Dir1", "File1", "cmdPlay", "cmdStop", "Frolix1",
            QStringLiteral("optStretch_%1").arg(stretchStop), QStringLiteral("optSequence_%1").arg(sequenceStop),
            "Check1", "Check2", "Drive1" };
        QStringList walked { QApplication::focusWidget()->objectName() };
        for (int i = 1; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            walked << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(walked, expected);

        QStringList back { walked.last() };
        for (int i = 1; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
            back << QApplication::focusWidget()->objectName();
        }
        std::reverse(back.begin(), back.end());
        QCOMPARE(back, expected);
    }

    void framesAsTheClockMoves()
    {
        FakeClock clock;
        Form1 form;
        wtest::FormControls ui(form);
        auto* frolix = ui.Frolix1;
        frolix->useClock(clock);
        const int count = frolix->FrameCount();
        QVERIFY(count >= 2);

        frolix->tick();
        QCOMPARE(ui.Label1->text(), QString()); // showing the first frame is no step
        QStringList seen, expected;
        for (int step = 0; step < 2 * count; ++step) {
            clock.advance(frolix::Milliseconds(20));
            frolix->tick();
            seen << ui.Label1->text();
            expected << QStringLiteral("Frame %1").arg((step + 1) % count + 1);
        }
        QCOMPARE(seen, expected);
        QCOMPARE(ui.lblFrame->text(), QStringLiteral("%1 Frames").arg(count));
    }

    void componentFromItsStateBlock()
    {
        QFile file(QStringLiteral(":/window/Frolix1.state"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray bytes = file.readAll();
        auto block = [](const QByteArray& b) {
            return std::span(reinterpret_cast<const std::uint8_t*>(b.constData()), std::size_t(b.size()));
        };
        // The stored block: its extent, settings and the 22-frame animation.
        frolix::Frolix good;
        QVERIFY(initialiseFromStateBlock(good, block(bytes)));
        QCOMPARE(good.FrameCount(), 22);
        QCOMPARE(good.size(), QSize(528, 247));
        QVERIFY(good.isTransparent());
        QCOMPARE(good.stretchMode(), frolix::StretchMode::None);
        QCOMPARE(good.cursor().shape(), Qt::WhatsThisCursor);
        // A damaged block (here a high byte in the animation) leaves the component empty
        // and answering 0 frames, instead of stopping the window from opening.
        bytes[129] = 1;
        QTest::ignoreMessage(
            QtWarningMsg, QRegularExpression("^the component's start-up state is damaged \\(.+\\); it starts empty$"));
        frolix::Frolix damaged;
        QVERIFY(!initialiseFromStateBlock(damaged, block(bytes)));
        QCOMPARE(damaged.FrameCount(), 0);
        QCOMPARE(damaged.CurrentFrame(), 0);
    }

    void skyBehindAndTheLogoPlaying()
    {
        FakeClock clock;
        Form1 form;
        auto* frolix = wtest::FormControls(form).Frolix1;
        frolix->useClock(clock);
        form.show();
        frolix->tick();
        QImage first = form.grab().toImage();
        for (QPoint empty : { QPoint(4, 4), QPoint(552, 440), QPoint(200, 270) }) {
            QColor sky = first.pixelColor(empty);
            QVERIFY2(sky.blue() > sky.red() + 20 && sky.blue() >= sky.green(),
                qPrintable(QStringLiteral("(%1, %2) is %3").arg(empty.x()).arg(empty.y()).arg(sky.name())));
        }
        // The logo (96 x 56) is drawn at the component's top-left and moves on.
        clock.advance(frolix::Milliseconds(20));
        frolix->tick();
        QCOMPARE(frolix->CurrentFrame(), 2);
        QCOMPARE(QAccessible::queryAccessibleInterface(frolix)->text(QAccessible::Description),
            QStringLiteral("Frame 2 of 22"));
        QVERIFY(first.copy(16, 16, 96, 56) != form.grab().toImage().copy(16, 16, 96, 56));
        QVERIFY(first.copy(16, 16, 96, 56) != first.copy(200, 16, 96, 56));
    }

    // --- the procedures, driven as a user drives them ---

    // Values read from the component are narrowed to 16 bits; one that does not fit is
    // refused, so a load answering 65535 is not taken for True (-1).
    void narrowing_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("fits");
        for (int value : { 0, -1, 32767, -32768 })
            QTest::addRow("%d", value) << value << true;
        for (int value : { 32768, -32769, 65535, 70000 })
            QTest::addRow("%d", value) << value << false;
    }
    void narrowing()
    {
        QFETCH(int, value);
        QFETCH(bool, fits);
        auto narrowed = toInt16(value);
        QCOMPARE(narrowed.has_value(), fits);
        if (fits)
            QCOMPARE(int(*narrowed), value);
    }

    // The frame shown is told to assistive technology at once, then at most once a
    // second: the label's accessible name lags until a second has passed.
    void frameShownAnnouncedAtMostOnceASecond()
    {
        FakeClock clock;
        Form1 form;
        wtest::FormControls ui(form);
        ui.Frolix1->useClock(clock);
        QAccessibleInterface* label = QAccessible::queryAccessibleInterface(ui.Label1);
        QElapsedTimer sinceFirst;
        sinceFirst.start();
        for (int step = 0; step < 20; ++step) { // frames 2 to 21, 20 ms apart on the clock
            clock.advance(frolix::Milliseconds(20));
            ui.Frolix1->tick();
        }
        QCOMPARE(label->text(QAccessible::Name), QStringLiteral("Frame 2"));
        QCOMPARE(ui.Label1->text(), QStringLiteral("Frame 21"));
        QTRY_COMPARE(label->text(QAccessible::Name), QStringLiteral("Frame 21"));
        QVERIFY2(sinceFirst.elapsed() >= 950, qPrintable(QString::number(sinceFirst.elapsed())));
    }

    void buttonsAndBoxesReachTheComponent()
    {
        FakeClock clock;
        Form1 form;
        wtest::FormControls ui(form);
        ui.Frolix1->useClock(clock);
        form.show();
        auto click = [](QAbstractButton* button) {
            // On the indicator: a short caption leaves the middle of the button dead.
            QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
        };
        click(ui.cmdStop);
        QVERIFY(!ui.Frolix1->isPlaying());
        click(ui.cmdPlay);
        QVERIFY(ui.Frolix1->isPlaying());

        click(ui.Check1);
        QVERIFY(!ui.Frolix1->isTransparent());
        ui.Check1->setTristate(true);
        ui.Check1->setCheckState(Qt::PartiallyChecked); // grayed counts as checked
        form.Check1_Click();
        QVERIFY(ui.Frolix1->isTransparent());
        click(ui.Check2);
        QCOMPARE(ui.Frolix1->size(), QSize(96, 56)); // the logo's own size
        click(ui.Check2);
        QCOMPARE(ui.Frolix1->size(), QSize(528, 247));

        for (int index : { 2, 1, 0 }) {
            click(ui.find<QRadioButton>(qPrintable(QStringLiteral("optStretch_%1").arg(index))));
            QCOMPARE(int(ui.Frolix1->stretchMode()), index);
        }
        // Reverse from frame 1 goes on to the last frame; normal comes back to the first.
        QCOMPARE(ui.Frolix1->CurrentFrame(), 1);
        for (auto [button, frame] : { std::pair { "optSequence_1", 22 }, { "optSequence_0", 1 } }) {
            click(ui.find<QRadioButton>(button));
            clock.advance(frolix::Milliseconds(20));
            ui.Frolix1->tick();
            QCOMPARE(ui.Frolix1->CurrentFrame(), frame);
        }
    }

    // A file the component refuses: one "Read Wrong" box, wide enough for the
    // application's name in its title bar; the reason goes to the log, never into the
    // box; the animation shown before stays, and so does its frame count.
    void refusedLoad()
    {
        QTemporaryDir dir;
        QVERIFY(wtest::writeRawPath(dir.filePath("bad name.gif").toStdString(), "GIF89a"));
        Form1 form;
        wtest::FormControls ui(form);
        QVERIFY(ui.Dir1->setPath(dir.path()));
        {
            QSignalBlocker quiet(ui.File1); // selected without a click: the procedure alone runs
            ui.File1->setCurrentRow(0);
        }
        ui.lblFrame->setText("stale");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^refused .*/bad name.gif: .+"));
        QApplication::setApplicationDisplayName(QStringLiteral("Frolix viewer"));
        QFont titleFont = form.font();
        titleFont.setBold(true);
        titleFont.setPointSizeF(titleFont.pointSizeF() * 1.25);
        wtest::ModalAnswerer answerer;
        form.File1_Click();
        QCOMPARE(answerer.seen().size(), std::size_t(1));
        const auto& box = answerer.seen().front();
        QVERIFY(box.text == "Read Wrong" && box.wasMessageBox && box.icon == QMessageBox::Critical
            && box.buttons == QMessageBox::Ok && box.buttonCount == 1
            && box.title.isEmpty()
            // room for the application's name in a title bar, beside its buttons
            && box.width >= QFontMetrics(titleFont).horizontalAdvance("Frolix viewer") + 100);
        QCOMPARE(ui.Frolix1->FrameCount(), 22);
        QCOMPARE(ui.lblFrame->text(), QStringLiteral("22 Frames"));
    }
};

QTEST_MAIN(FormTest)
#include "FormTest.moc"
