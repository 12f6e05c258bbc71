// The window: its controls as designed, the Tab order, the labels with the real
// component under a hand-moved clock, the sky, and the event procedures against a
// scripted component that records every call.

#include "ComponentState.h"
#include "Form1.h"
#include "Frolix.h"
#include "WindowTestSupport.h"
#include "ui_Form1.h"

#include <QAccessible>
#include <QButtonGroup>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
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

// Records each call the window makes, with its arguments, and answers from a script.
class Scripted : public frolix::FrolixControl {
public:
    mutable QStringList calls;
    std::int32_t frameCount = 0;
    std::int32_t currentFrame = 0;
    std::int32_t loadResult = frolix::kAutomationTrue;
    std::int32_t frameCountAfterLoad = 0;
    const std::int16_t* lastIndexAddress = nullptr;

    std::int32_t CurrentFrame() const override { return calls << "CurrentFrame", currentFrame; }
    std::int32_t FrameCount() const override { return calls << "FrameCount", frameCount; }
    void setTransparent(frolix::AutomationBool value) override { calls << QStringLiteral("Transparent %1").arg(value); }
    void Play() override { calls << "Play"; }
    void Stop() override { calls << "Stop"; }
    QString lastError() const override { return loadResult == -1 ? QString() : QStringLiteral("scripted refusal"); }
    std::int32_t LoadFile(const QString& path) override
    {
        calls << QStringLiteral("LoadFile %1").arg(path);
        frameCount = frameCountAfterLoad;
        return loadResult;
    }
    void setStretchMode(std::int16_t& value) override
    {
        lastIndexAddress = &value;
        calls << QStringLiteral("StretchMode %1").arg(value);
    }
    void setAutoSize(frolix::AutomationBool value) override { calls << QStringLiteral("AutoSize %1").arg(value); }
    void setSequence(std::int16_t& value) override
    {
        lastIndexAddress = &value;
        calls << QStringLiteral("Sequence %1").arg(value);
    }
};

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

struct ScriptedForm {
    Scripted* component = new Scripted;
    std::unique_ptr<Form1> form;
    explicit ScriptedForm(std::int32_t frameCount = 5)
    {
        component->frameCount = frameCount;
        form = std::make_unique<Form1>(component);
        component->calls.clear();
    }
    Ui::Form1& ui() { return form->controls(); }
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
        QCOMPARE(&form.Frolix1(), static_cast<frolix::FrolixControl*>(form.controls().Frolix1));
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
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        if (choose.isEmpty()) {
            // Keyboard use starts at the drive list, so a first Space cannot tick "AutoSize".
            QCOMPARE(QApplication::focusWidget(), form.controls().Drive1);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
            form.controls().Drive1->hidePopup();
            QVERIFY(!form.controls().Check2->isChecked());
        }
        for (auto* button : { form.controls().optStretch_2, form.controls().optSequence_1 }) {
            if (choose == "mouse")
                QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
            else if (choose == "code")
                button->setChecked(true);
            QCOMPARE(button->isChecked(), !choose.isEmpty());
        }
        form.controls().Drive1->setFocus(Qt::OtherFocusReason);
        QCOMPARE(QApplication::focusWidget(), form.controls().Drive1);

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
        auto* frolix = qobject_cast<frolix::Frolix*>(&form.Frolix1());
        QVERIFY(frolix);
        frolix->useClock(clock);
        const int count = frolix->FrameCount();
        QVERIFY(count >= 2);

        frolix->tick();
        QCOMPARE(form.controls().Label1->text(), QString()); // showing the first frame is no step
        QStringList seen, expected;
        for (int step = 0; step < 2 * count; ++step) {
            clock.advance(20);
            frolix->tick();
            seen << form.controls().Label1->text();
            expected << QStringLiteral("Frame %1").arg((step + 1) % count + 1);
        }
        QCOMPARE(seen, expected);
        QCOMPARE(form.controls().lblFrame->text(), QStringLiteral("%1 Frames").arg(count));
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
        auto* frolix = qobject_cast<frolix::Frolix*>(&form.Frolix1());
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
        clock.advance(20);
        frolix->tick();
        QCOMPARE(frolix->CurrentFrame(), 2);
        QCOMPARE(QAccessible::queryAccessibleInterface(frolix)->text(QAccessible::Description),
            QStringLiteral("Frame 2 of 22"));
        QVERIFY(first.copy(16, 16, 96, 56) != form.grab().toImage().copy(16, 16, 96, 56));
        QVERIFY(first.copy(16, 16, 96, 56) != first.copy(200, 16, 96, 56));
    }

    // --- procedures against a scripted component ---

    void frameCountLabel_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("shown");
        QTest::newRow("one") << 1 << "1 Frames";
        QTest::newRow("none") << 0 << "0 Frames";
        QTest::newRow("largest 16-bit") << 32767 << "32767 Frames";
        QTest::newRow("negative") << -3 << "-3 Frames";
        QTest::newRow("beyond 16 bits: designed caption stays") << 70000 << "Frame";
    }
    void frameCountLabel()
    {
        QFETCH(int, count);
        QFETCH(QString, shown);
        if (count > 32767)
            QTest::ignoreMessage(
                QtWarningMsg, "FrameCount returned 70000, outside the 16-bit range; label left unchanged");
        ScriptedForm f(count);
        QCOMPARE(f.ui().lblFrame->text(), shown);
        QCOMPARE(f.ui().Label1->text(), QString());
        QCOMPARE(&f.form->Frolix1(), static_cast<frolix::FrolixControl*>(f.component));
        QCOMPARE(f.component->parentWidget(), f.form.get());
        QCOMPARE(f.component->geometry(), QRect(16, 16, 528, 247));
        QVERIFY(!f.form->findChild<frolix::Frolix*>()); // the designed one is gone
    }

    void stepLabel_data()
    {
        QTest::addColumn<QList<int>>("frames");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("minus one") << QList<int> { -1 } << QStringList { "Frame -1" };
        QTest::newRow("9 then 10") << QList<int> { 9, 10 } << QStringList { "Frame 9", "Frame 10" };
        QTest::newRow("too large: unchanged") << QList<int> { 4, 70000 } << QStringList { "Frame 4", "Frame 4" };
        QTest::newRow("too small: unchanged") << QList<int> { 4, -40000 } << QStringList { "Frame 4", "Frame 4" };
        QTest::newRow("out of range first: stays empty") << QList<int> { 32768 } << QStringList { "" };
        QTest::newRow("edges") << QList<int> { 32767, -32768 } << QStringList { "Frame 32767", "Frame -32768" };
    }
    void stepLabel()
    {
        QFETCH(QList<int>, frames);
        QFETCH(QStringList, shown);
        ScriptedForm f;
        QStringList seen;
        for (int frame : frames) {
            f.component->currentFrame = frame;
            if (frame != std::int16_t(frame))
                QTest::ignoreMessage(
                    QtWarningMsg, QRegularExpression("^CurrentFrame returned -?[0-9]+, outside the 16-bit range"));
            emit f.component->Step();
            seen << f.ui().Label1->text();
        }
        QCOMPARE(seen, shown);
        QCOMPARE(f.ui().lblFrame->text(), QStringLiteral("5 Frames"));
        QCOMPARE(f.component->calls, QStringList(frames.size(), "CurrentFrame"));
    }

    void frameShownAnnouncedAtMostOnceASecond()
    {
        ScriptedForm f;
        QAccessibleInterface* label = QAccessible::queryAccessibleInterface(f.ui().Label1);
        QElapsedTimer sinceFirst;
        sinceFirst.start();
        for (int frame = 1; frame <= 50; ++frame) {
            f.component->currentFrame = frame;
            emit f.component->Step();
        }
        // The first frame is told at once; the last one when a second has passed.
        QCOMPARE(label->text(QAccessible::Name), QStringLiteral("Frame 1"));
        QCOMPARE(f.ui().Label1->text(), QStringLiteral("Frame 50"));
        QTRY_COMPARE(label->text(QAccessible::Name), QStringLiteral("Frame 50"));
        QVERIFY2(sinceFirst.elapsed() >= 950, qPrintable(QString::number(sinceFirst.elapsed())));
    }

    void playAndStop()
    {
        ScriptedForm f;
        f.ui().Label1->setText("Frame 3");
        QTest::mouseClick(f.ui().cmdPlay, Qt::LeftButton);
        QTest::mouseClick(f.ui().cmdStop, Qt::LeftButton);
        QTest::mouseClick(f.ui().cmdStop, Qt::LeftButton);
        QTest::mouseClick(f.ui().cmdPlay, Qt::LeftButton);
        QCOMPARE(f.component->calls, (QStringList { "Play", "Stop", "Stop", "Play" }));
        QCOMPARE(f.ui().Label1->text(), QStringLiteral("Frame 3"));
        QCOMPARE(f.ui().lblFrame->text(), QStringLiteral("5 Frames"));
    }

    void checkBoxes_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("member");
        QTest::newRow("Check1") << "Check1"
                                << "Transparent";
        QTest::newRow("Check2") << "Check2"
                                << "AutoSize";
    }
    void checkBoxes()
    {
        QFETCH(QString, box);
        QFETCH(QString, member);
        ScriptedForm f;
        auto* check = f.form->findChild<QCheckBox*>(box);
        bool initiallyChecked = check->isChecked();
        for (int i = 0; i < 3; ++i)
            QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(8, check->height() / 2));
        QStringList expected;
        for (bool checked : { !initiallyChecked, initiallyChecked, !initiallyChecked })
            expected << QStringLiteral("%1 %2").arg(member).arg(checked ? -1 : 0);
        QCOMPARE(f.component->calls, expected);

        // A grayed box counts as checked.
        f.component->calls.clear();
        check->setTristate(true);
        check->setCheckState(Qt::PartiallyChecked);
        if (box == "Check1")
            f.form->Check1_Click();
        else
            f.form->Check2_Click();
        QCOMPARE(f.component->calls, QStringList { member + " -1" });
    }

    void optionButtons_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("member");
        QTest::newRow("optStretch") << "optStretch"
                                    << "StretchMode";
        QTest::newRow("optSequence") << "optSequence"
                                     << "Sequence";
    }
    void optionButtons()
    {
        QFETCH(QString, group);
        QFETCH(QString, member);
        ScriptedForm f;
        for (int index : { 2, 1, 0, 2 }) {
            // On the round indicator: a short caption leaves the middle of the button dead.
            auto* button = f.form->findChild<QRadioButton*>(QStringLiteral("%1_%2").arg(group).arg(index));
            QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
        }
        QCOMPARE(f.component->calls, (QStringList { member + " 2", member + " 1", member + " 0", member + " 2" }));
        QCOMPARE(f.form->findChild<QButtonGroup*>(group)->checkedId(), 2);
    }

    void optionIndexPassedThrough_data()
    {
        QTest::addColumn<int>("index");
        for (int index : { 0, 1, 2, 3, -1, 32767, -32768 })
            QTest::addRow("%d", index) << index;
    }
    void optionIndexPassedThrough()
    {
        QFETCH(int, index);
        ScriptedForm f;
        f.form->optStretch_Click(std::int16_t(index));
        f.form->optSequence_Click(std::int16_t(index));
        QCOMPARE(f.component->calls,
            (QStringList { QStringLiteral("StretchMode %1").arg(index), QStringLiteral("Sequence %1").arg(index) }));
        QVERIFY(f.component->lastIndexAddress);
    }

    void loadFile_data()
    {
        QTest::addColumn<QString>("folder"); // relative to the temporary folder; "/" for the root
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("result"); // what LoadFile answers: only -1 is a load
        QTest::newRow("a folder, loaded") << "sub"
                                          << "b.gif" << -1;
        QTest::newRow("a folder given with a trailing slash, 0") << "sub/"
                                                                 << "b.gif" << 0;
        QTest::newRow("a name with spaces, 1") << "sub"
                                               << "with space.gif" << 1;
        QTest::newRow("the root, -2") << "/"
                                      << "root.gif" << -2;
        QTest::newRow("an empty folder name selects the root, 65535 (not -1 once narrowed)") << ""
                                                                                             << "root.gif" << 65535;
    }
    void loadFile()
    {
        QFETCH(QString, folder);
        QFETCH(QString, name);
        QFETCH(int, result);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("sub"));
        ScriptedForm f;
        f.component->loadResult = result;
        f.component->frameCountAfterLoad = 7;
        f.ui().lblFrame->setText("stale");
        const bool root = folder.isEmpty() || folder == "/";
        f.ui().File1->setFileName(root ? folder : dir.filePath(folder));
        // The list keeps a folder without a trailing slash, apart from the root.
        QString listed = root ? QStringLiteral("/") : dir.filePath("sub");
        QCOMPARE(f.ui().File1->Path(), listed);
        // A name the list did not find, selected quietly, so the procedure alone composes.
        auto* item = new QListWidgetItem(name, f.ui().File1);
        item->setData(Qt::UserRole, name);
        {
            QSignalBlocker quiet(f.ui().File1);
            f.ui().File1->setCurrentItem(item);
        }
        QCOMPARE(f.ui().File1->FileName(), name);
        if (result != -1) // the reason goes to the log, never into the box
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^refused .*" + name + ": scripted refusal$"));
        QApplication::setApplicationDisplayName(QStringLiteral("Frolix viewer"));
        QFont titleFont = f.form->font();
        titleFont.setBold(true);
        titleFont.setPointSizeF(titleFont.pointSizeF() * 1.25);
        wtest::ModalAnswerer answerer;
        f.form->File1_Click();
        QCOMPARE(f.component->calls,
            (QStringList { "LoadFile " + (root ? "/" + name : listed + "/" + name), "FrameCount" }));
        QCOMPARE(f.ui().lblFrame->text(), QStringLiteral("7 Frames"));
        QCOMPARE(answerer.seen().size(), std::size_t(result == -1 ? 0 : 1));
        for (const auto& box : answerer.seen())
            QVERIFY(box.text == "Read Wrong" && box.wasMessageBox && box.icon == QMessageBox::Critical
                && box.buttons == QMessageBox::Ok && box.buttonCount == 1
                && box.title.isEmpty()
                // room for the application's name in a title bar, beside its buttons
                && box.width >= QFontMetrics(titleFont).horizontalAdvance("Frolix viewer") + 100);
    }
};

QTEST_MAIN(FormTest)
#include "FormTest.moc"
