// The window: its controls as designed, the Tab order, the labels with the real
// component under a hand-moved clock, the sky, and the event procedures driven as a
// user drives them.

#include "ComponentState.h"
#include "Form1.h"
#include "Frolix.h"
#include "NativePath.h"
#include "StateBlock.h"
#include "WindowTestSupport.h"

#include <QAccessible>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyleOptionGroupBox>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>

using wtest::FakeClock;

namespace {

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

// WCAG contrast between two colours: 1 (the same) to 21 (black on white).
double contrast(QColor a, QColor b)
{
    auto luminance = [](QColor c) {
        auto channel = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    double x = luminance(a), y = luminance(b);
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

// Where a control's text is drawn, in the window's coordinates.
QRect textRect(QWidget* control)
{
    QRect local;
    if (auto* label = qobject_cast<QLabel*>(control)) {
        local = label->fontMetrics().boundingRect(label->contentsRect(), int(label->alignment()), label->text());
    } else if (auto* box = qobject_cast<QGroupBox*>(control)) {
        QStyleOptionGroupBox option;
        option.initFrom(box);
        option.text = box->title();
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        option.lineWidth = 1;
        local = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        const bool radio = qobject_cast<QRadioButton*>(button);
        const int indent
            = button->style()->pixelMetric(radio ? QStyle::PM_ExclusiveIndicatorWidth : QStyle::PM_IndicatorWidth)
            + button->style()->pixelMetric(
                radio ? QStyle::PM_RadioButtonLabelSpacing : QStyle::PM_CheckBoxLabelSpacing);
        local = QRect(indent, 0, button->fontMetrics().horizontalAdvance(button->text()), button->height());
    }
    local &= control->rect(); // text that does not fit is cut off there
    return QRect(control->mapTo(control->window(), local.topLeft()), local.size());
}

// The window as drawn without any control's text: what lies behind the text.
QImage behindTheText(Form1& form, const QList<QWidget*>& controls)
{
    std::vector<QPalette> kept;
    for (QWidget* control : controls) {
        kept.push_back(control->palette());
        QPalette clear = control->palette();
        clear.setColor(QPalette::WindowText, Qt::transparent);
        clear.setColor(QPalette::ButtonText, Qt::transparent);
        control->setPalette(clear);
    }
    QImage image = form.grab().toImage();
    for (std::size_t i = 0; i < kept.size(); ++i)
        controls[qsizetype(i)]->setPalette(kept[i]);
    return image;
}

// How much of the component's border (inside the window) the focus mark changes by a
// contrast of 3:1 or more.
double focusMarkShown(Form1& form)
{
    QWidget* component = wtest::FormControls(form).Frolix1;
    component->clearFocus();
    const QImage before = form.grab().toImage();
    component->setFocus(Qt::TabFocusReason);
    const QImage after = form.grab().toImage();
    const QRect border = component->geometry();
    int changed = 0, all = 0;
    for (int x = border.left(); x <= border.right(); ++x)
        for (int y = border.top(); y <= border.bottom(); ++y) {
            const bool onBorder
                = x == border.left() || x == border.right() || y == border.top() || y == border.bottom();
            if (!onBorder || form.childAt(x, y) != component)
                continue; // inside, or out of sight: past the window or under a control
            ++all;
            changed += contrast(before.pixelColor(x, y), after.pixelColor(x, y)) >= 3;
        }
    return double(changed) / all;
}

// What a screen reader tells of the window and each control: role, name and value.
const char* const kSpoken[] = {
    "Form1: Window \"Animation GIF OCX Trevik\"",
    "Drive1: ComboBox \"Drive\"",
    "Dir1: List \"Folder\"",
    "File1: List \"File\"",
    "cmdPlay: Button \"Play\"",
    "cmdStop: Button \"Stop\"",
    "Frolix1: Animation \"Animation\"",
    "Frame1: Grouping \"Stretch Mode\"",
    "optStretch_0: RadioButton \"No Stretch\", on",
    "optStretch_1: RadioButton \"Stretch\", off",
    "optStretch_2: RadioButton \"Proportional\", off",
    "Frame2: Grouping \"Sequence\"",
    "optSequence_0: RadioButton \"Normal Sequence\", on",
    "optSequence_1: RadioButton \"Reverse Sequence\", off",
    "optSequence_2: RadioButton \"Pingpong Sequence\", off",
    "Check1: CheckBox \"Transparent\", checked",
    "Check2: CheckBox \"AutoSize\", unchecked",
    "Label1: StatusBar \"\"",
    // lblFrame's designed caption never shows: the stored logo's frame count replaces it.
    "lblFrame: StatusBar \"22 Frames\"",
};

} // namespace

class FormTest : public QObject {
    Q_OBJECT

private slots:
    // --- the real window ---

    void controls()
    {
        Form1 form;
        QStringList spoken;
        for (const char* row : kSpoken) {
            const QString name = QString::fromUtf8(row).section(':', 0, 0);
            QWidget* widget = name == form.objectName() ? &form : form.findChild<QWidget*>(name);
            QVERIFY2(widget, row);
            const QString value = valueOf(widget);
            spoken << name + ": " + spokenAs(widget) + (value.isEmpty() ? "" : ", " + value);
        }
        QCOMPARE(spoken, QStringList(std::begin(kSpoken), std::end(kSpoken)));
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

    // The frame shown is told to assistive technology at once, then at most once a
    // second: the label's accessible name lags until a second has passed.
    void framesAsTheClockMoves()
    {
        FakeClock clock;
        Form1 form;
        wtest::FormControls ui(form);
        auto* frolix = ui.Frolix1;
        frolix->useClock(clock);
        const int count = frolix->FrameCount();
        QVERIFY(count >= 3);
        QAccessibleInterface* label = QAccessible::queryAccessibleInterface(ui.Label1);
        QElapsedTimer sinceFirst;
        sinceFirst.start();

        frolix->tick();
        QCOMPARE(ui.Label1->text(), QString()); // showing the first frame is no step
        QStringList seen, expected;
        for (int step = 0; step < 2 * count; ++step) {
            clock.advance(frolix::Milliseconds(20));
            frolix->tick();
            seen << ui.Label1->text();
            expected << QStringLiteral("Frame %1").arg((step + 1) % count + 1);
            if (step == 0) // the component tells its own frame at once
                QCOMPARE(QAccessible::queryAccessibleInterface(frolix)->text(QAccessible::Description),
                    QStringLiteral("Frame 2 of %1").arg(count));
        }
        QCOMPARE(seen, expected);
        QCOMPARE(ui.lblFrame->text(), QStringLiteral("%1 Frames").arg(count));
        QCOMPARE(label->text(QAccessible::Name), QStringLiteral("Frame 2"));
        QTRY_COMPARE(label->text(QAccessible::Name), expected.last());
        QVERIFY2(sinceFirst.elapsed() >= 950, qPrintable(QString::number(sinceFirst.elapsed())));
    }

    // The stored block: its extent, settings and the 22-frame animation. A file named in
    // the stored state loads as any other, after the component is made: it shows at the
    // stored start frame; one that cannot be read leaves the stored animation, with a
    // warning and no message box.
    void componentFromItsStateBlock()
    {
        QFile file(QStringLiteral(":/window/Frolix1.state"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray stored = file.readAll();
        const std::span block(reinterpret_cast<const std::uint8_t*>(stored.constData()), std::size_t(stored.size()));
        frolix::Frolix good;
        QVERIFY(initialiseFromStateBlock(good, block));
        QCOMPARE(good.FrameCount(), 22);
        QCOMPARE(good.size(), QSize(528, 247));
        QVERIFY(good.isTransparent());
        QCOMPARE(good.stretchMode(), frolix::StretchMode::None);
        QCOMPARE(good.cursor().shape(), Qt::WhatsThisCursor);
        // A damaged block (here a high byte in the animation) leaves the component empty
        // and answering 0 frames, instead of stopping the window from opening.
        std::vector<std::uint8_t> damagedBlock(block.begin(), block.end());
        damagedBlock[129] = 1;
        QTest::ignoreMessage(
            QtWarningMsg, QRegularExpression("^the component's start-up state is damaged \\(.+\\); it starts empty$"));
        frolix::Frolix damaged;
        QVERIFY(!initialiseFromStateBlock(damaged, damagedBlock));
        QCOMPARE(damaged.FrameCount(), 0);
        QCOMPARE(damaged.CurrentFrame(), 0);

        QTemporaryDir dir;
        const QString seven = dir.filePath("seven.gif");
        QVERIFY(wtest::writeRawPath(seven.toStdString(), wtest::numberedGif(7)));
        auto state = frolix::designStateFrom(frolix::readStateBlock(block).value()).value();
        state.startFrame = 5;
        for (const QString& name : { seven, dir.filePath("missing.gif") }) {
            state.fileName = name.toStdU16String();
            const auto block = frolix::writeStateBlock(frolix::stateBlockFrom(state));
            FakeClock clock; // the start frame stays shown
            frolix::Frolix component;
            component.useClock(clock);
            QSignalSpy loaded(&component, &frolix::FrolixControl::Loaded);
            QVERIFY(initialiseFromStateBlock(component, block));
            QCOMPARE(component.FrameCount(), 0); // not yet read
            if (name != seven)
                QTest::ignoreMessage(QtWarningMsg,
                    QRegularExpression("^the stored file name .*missing.gif cannot be shown \\(.+\\); using the "
                                       "stored animation$"));
            wtest::ModalAnswerer answerer;
            QVERIFY(loaded.wait());
            QCOMPARE(component.FrameCount(), name == seven ? 7 : 22);
            QCOMPARE(component.CurrentFrame(), 5);
            QVERIFY(answerer.seen().empty());
        }
    }

    // Over a large busy picture grown under the controls by AutoSize, every control's text
    // keeps a contrast of 4.5:1 with what is drawn behind it; where nothing lies under
    // them the sky shows. The component's focus mark shows on the sky and on the picture,
    // and option buttons stay clear of their frame's border at 1x, 1.5x and 2x.
    void legibleOverAPicture()
    {
        std::vector<QRgb> palette;
        for (int i = 0; i < 256; ++i)
            palette.push_back(qRgb((i * 97) % 256, (i * 57) % 256, (i * 23) % 256));
        wtest::GifFrame busy;
        std::uint32_t seed = 12345;
        for (int i = 0; i < 560 * 449; ++i)
            busy.pixels.push_back(std::uint8_t((seed = seed * 1103515245u + 12345u) >> 24));
        QTemporaryDir dir;
        QVERIFY(wtest::writeRawPath(
            pathBytesFromText(dir.filePath("busy.gif")), wtest::makeGif(560, 449, palette, { busy })));

        Form1 form;
        wtest::FormControls ui(form);
        auto* Frame1 = ui.find<QGroupBox>("Frame1");
        auto* Frame2 = ui.find<QGroupBox>("Frame2");
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QList<QWidget*> controls { ui.lblFrame, ui.Label1, ui.Check1, ui.Check2, Frame1, Frame2 };
        for (QGroupBox* frame : { Frame1, Frame2 })
            for (QRadioButton* option : frame->findChildren<QRadioButton*>())
                controls << option;
        ui.Label1->setText(QStringLiteral("Frame 12"));

        for (QGroupBox* frame : { Frame1, Frame2 })
            for (double scale : { 1.0, 1.5, 2.0 }) {
                QImage drawn(frame->size() * scale, QImage::Format_ARGB32);
                drawn.setDevicePixelRatio(scale);
                drawn.fill(Qt::transparent);
                frame->render(&drawn, QPoint(), QRegion(), QWidget::RenderFlags()); // the frame alone
                for (QRadioButton* option : frame->findChildren<QRadioButton*>()) {
                    const QRect area(option->geometry().topLeft() * scale, option->size() * scale);
                    for (int y = area.top(); y <= area.bottom(); ++y)
                        for (int x = area.left(); x <= area.right(); ++x)
                            QVERIFY2(qAlpha(drawn.pixel(x, y)) == 0,
                                qPrintable(QStringLiteral("%1 at %2x: the frame draws at (%3, %4)")
                                               .arg(option->objectName())
                                               .arg(scale)
                                               .arg(x)
                                               .arg(y)));
                }
            }

        const QImage sky = QImage(QStringLiteral(":/assets/sky.bmp")).convertToFormat(QImage::Format_RGB32);
        QImage behind = behindTheText(form, controls);
        for (QWidget* control : { static_cast<QWidget*>(ui.Label1), static_cast<QWidget*>(ui.Check1) }) {
            const QRect text = textRect(control);
            int same = 0;
            for (int y = text.top(); y <= text.bottom(); ++y)
                for (int x = text.left(); x <= text.right(); ++x)
                    same += behind.pixel(x, y) == sky.pixel(x, y);
            QVERIFY2(same == text.width() * text.height(), qPrintable(control->objectName()));
        }
        QVERIFY2(focusMarkShown(form) > 0.4, "on the sky");

        QCOMPARE(wtest::loadFile(*ui.Frolix1, dir.filePath("busy.gif")), frolix::kAutomationTrue);
        QTRY_VERIFY(!ui.Frolix1->isComposing()); // its first frame, composed off this thread
        QTest::mouseClick(ui.Check2, Qt::LeftButton, {}, QPoint(8, ui.Check2->height() / 2));
        QCOMPARE((*ui.Frolix1).size(), QSize(560, 449));
        QVERIFY2(focusMarkShown(form) > 0.4, "on the picture");
        (*ui.Frolix1).clearFocus();
        behind = behindTheText(form, controls);
        for (QWidget* control : controls) {
            const QRect text = textRect(control);
            const QColor ink = control->palette().color(QPalette::WindowText);
            double worst = 21;
            for (int y = text.top(); y <= text.bottom(); ++y)
                for (int x = text.left(); x <= text.right(); ++x)
                    worst = std::min(worst, contrast(ink, behind.pixelColor(x, y)));
            QVERIFY2(worst >= 4.5, qPrintable(QStringLiteral("%1: %2:1").arg(control->objectName()).arg(worst)));
        }
    }

    // --- the procedures, driven as a user drives them ---

    // Values read from the component are narrowed to 16 bits; one that does not fit is
    // refused, so a load answering 65535 is not taken for True (-1).
    void narrowing()
    {
        for (int value : { 0, -1, 32767, -32768, 32768, -32769, 65535, 70000 }) {
            const bool fits = value >= -32768 && value <= 32767;
            QCOMPARE(toInt16(value), fits ? std::optional<std::int16_t>(std::int16_t(value)) : std::nullopt);
        }
    }

    void buttonsAndBoxesReachTheComponent()
    {
        FakeClock clock;
        Form1 form;
        wtest::FormControls ui(form);
        ui.Frolix1->useClock(clock);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form)); // unseen, it would hold its frame
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
    // box. The box waits for the user without an event loop of its own: the procedure
    // that shows it returns at once, the animation shown before plays on behind it, and
    // its frame count shows again once the box is dismissed.
    void refusedLoad()
    {
        QTemporaryDir dir;
        QVERIFY(wtest::writeRawPath(dir.filePath("bad name.gif").toStdString(), "GIF89a"));
        Form1 form;
        wtest::FormControls ui(form);
        ui.Dir1->setPath(dir.path());
        QVERIFY(wtest::answered(ui));
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
        form.File1_Click();
        QCOMPARE(ui.lblFrame->text(), QStringLiteral("stale")); // nothing is known yet
        QTRY_VERIFY(qobject_cast<QMessageBox*>(QApplication::activeModalWidget()));
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QSignalSpy steps(ui.Frolix1, &frolix::FrolixControl::Step);
        QVERIFY(steps.wait(2000)); // the logo plays on behind the box
        QCOMPARE(ui.lblFrame->text(), QStringLiteral("stale")); // not before it is dismissed
        QVERIFY(box->text() == "Read Wrong" && box->icon() == QMessageBox::Critical
            && box->standardButtons() == QMessageBox::Ok && box->buttons().size() == 1
            && box->windowTitle().isEmpty()
            // room for the application's name in a title bar, beside its buttons
            && box->width() >= QFontMetrics(titleFont).horizontalAdvance("Frolix viewer") + 100);
        wtest::ModalAnswerer answerer; // any box after this one
        box->button(QMessageBox::Ok)->click();
        QTRY_COMPARE(ui.lblFrame->text(), QStringLiteral("22 Frames"));
        QCOMPARE(ui.Frolix1->FrameCount(), 22);
        QTest::qWait(50);
        QVERIFY(answerer.seen().empty());
    }
};

QTEST_MAIN(FormTest)
#include "FormTest.moc"
