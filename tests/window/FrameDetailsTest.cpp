// The frame details: each frame's row as stored and as played, the file's fields, a
// table of 32,767 frames that opens without reading every row, what a screen reader is
// told, and the component's entry point.

#include "FrameDetailsDialog.h"
#include "FrameTableModel.h"
#include "Frolix.h"
#include "GifAnimation.h"
#include "GifBuilder.h"

#include <QAccessible>
#include <QLabel>
#include <QPointer>
#include <QTableView>
#include <QTest>

using frolix::FrameDetailsDialog;
using frolix::FrameTableModel;
using frolix::GifAnimation;
using namespace frolix::test;

namespace {

std::shared_ptr<GifAnimation> load(const Bytes& bytes)
{
    auto loaded = GifAnimation::fromBytes(bytes);
    if (!loaded.ok())
        qFatal("not loaded: %s", loaded.error().message.c_str());
    return loaded.value();
}

// Four frames of every kind on an 8 x 8 canvas, delays 5, 0, 1 and 30.
Bytes mixedGif(std::optional<std::uint16_t> loop)
{
    GifBuilder gif(8, 8);
    if (loop)
        gif.loop(*loop);
    gif.control({ 5, 1, 3 }).fill(1, 2, 3, 4, 1);
    gif.image({ .width = 8, .height = 8, .indices = Bytes(64, 2), .localPalette = testPalette(5), .interlaced = true });
    gif.control({ 1, 2 }).image({ 6, 6, 4, 4, Bytes(16, 1), testPalette(2) });
    gif.control({ 30, 3, 0 }).fill(0, 0, 8, 8, 1);
    return gif.bytes();
}

QString field(const FrameDetailsDialog& dialog, const char* name)
{
    auto* label = dialog.findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("(no such field)");
}

} // namespace

class FrameDetailsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void rowsAsStoredAndAsPlayed()
    {
        FrameTableModel model(load(mixedGif(std::nullopt)));
        QCOMPARE(model.rowCount(), 4);
        const QStringList want[] = {
            { "1", "5", "50", "Keep", "3 x 4 at 1, 2", "3", "no", "no" },
            { "2", "0", "100", "Unspecified", "8 x 8 at 0, 0", "none", "8 colours", "yes" },
            { "3", "1", "100", "Restore background", "4 x 4 at 6, 6", "none", "2 colours", "no" },
            { "4", "30", "300", "Restore previous", "8 x 8 at 0, 0", "0", "no", "no" },
        };
        for (int row = 0; row < 4; ++row) {
            QStringList got;
            for (int column = 0; column < model.columnCount(); ++column)
                got << model.data(model.index(row, column)).toString();
            QCOMPARE(got, want[row]);
        }
    }

    void fileFields()
    {
        FrameDetailsDialog dialog;
        const Bytes bytes = mixedGif(std::nullopt);
        dialog.present(load(bytes), QStringLiteral("/some/folder/mixed frames.gif"));
        QCOMPARE(field(dialog, "file"), QStringLiteral("mixed frames.gif"));
        QCOMPARE(field(dialog, "size"), QStringLiteral("%1 bytes").arg(bytes.size()));
        QCOMPARE(field(dialog, "canvas"), QStringLiteral("8 x 8 pixels"));
        QCOMPARE(field(dialog, "frames"), QStringLiteral("4"));
        QCOMPARE(field(dialog, "onePass"), QStringLiteral("0.55 s (550 ms)"));
        QCOMPARE(field(dialog, "loops"), QStringLiteral("none"));
        dialog.present(load(mixedGif(0)), QString());
        QCOMPARE(field(dialog, "file"), QStringLiteral("(held in memory)"));
        QCOMPARE(field(dialog, "loops"), QStringLiteral("0 (forever)"));
        dialog.present(load(mixedGif(2)), QString());
        QCOMPARE(field(dialog, "loops"), QStringLiteral("2 (plays 3 times)"));
        QCOMPARE(dialog.model()->rowCount(), 4);
    }

    // The table of the largest file opens with only the rows in view read; End reads
    // the last ones and no more.
    // (10,923 delays of 0 and 10,922 each of 1 and 2: 100, 100 and 20 ms as played.)
    void largestFileOpensLazily()
    {
        GifBuilder gif(1, 1);
        for (std::size_t i = 0; i < 32767; ++i)
            gif.control({ std::uint16_t(i % 3) }).fill(0, 0, 1, 1, 1);
        FrameDetailsDialog dialog;
        dialog.present(load(gif.bytes()), QStringLiteral("long.gif"));
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.model()->rowCount(), 32767);
        QVERIFY(dialog.table()->hasFocus());
        const std::size_t opened = dialog.model()->rowsRead();
        QVERIFY2(opened > 0 && opened < 200, QByteArray::number(qulonglong(opened)));
        QTest::keyClick(dialog.table(), Qt::Key_End, Qt::ControlModifier);
        QTRY_COMPARE(dialog.table()->currentIndex().row(), 32766);
        QCOMPARE(dialog.model()->data(dialog.model()->index(32766, 0)).toString(), QStringLiteral("32767"));
        QVERIFY2(dialog.model()->rowsRead() < opened + 200, QByteArray::number(qulonglong(dialog.model()->rowsRead())));
        QCOMPARE(field(dialog, "onePass"), QStringLiteral("2402.94 s (2402940 ms)"));
    }

    void screenReaderNamesAndKeys()
    {
        FrameDetailsDialog dialog;
        dialog.present(load(mixedGif(std::nullopt)), QStringLiteral("a.gif"));
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&dialog);
        QCOMPARE(window->role(), QAccessible::Dialog);
        QCOMPARE(window->text(QAccessible::Name), QStringLiteral("Frame details"));
        QAccessibleInterface* table = QAccessible::queryAccessibleInterface(dialog.table());
        QCOMPARE(table->role(), QAccessible::Table);
        QCOMPARE(table->text(QAccessible::Name), QStringLiteral("Frames"));
        QVERIFY(table->tableInterface());
        QCOMPARE(table->tableInterface()->rowCount(), 4);
        for (auto [name, spoken] : { std::pair { "file", "File" }, { "size", "Size" }, { "canvas", "Canvas" },
                 { "frames", "Frames" }, { "onePass", "One pass" }, { "loops", "Loops" } }) {
            auto* label = dialog.findChild<QLabel*>(QString::fromLatin1(name));
            QVERIFY(label);
            QCOMPARE(QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name),
                QString::fromLatin1(spoken) + QStringLiteral(": ") + label->text());
        }
        // Tab leaves the table for the Close button and comes back; Escape closes.
        QVERIFY(dialog.table()->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(!dialog.table()->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(dialog.table()->hasFocus());
        QTest::keyClick(dialog.table(), Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
    }

    void componentOpensOneDialogForWhatItShows()
    {
        frolix::Frolix component;
        component.showFrameDetails(); // nothing loaded: nothing to describe
        QVERIFY(!component.findChild<FrameDetailsDialog*>());
        const Bytes bytes = mixedGif(std::nullopt);
        QVERIFY(component.showAnimation(bytes));
        component.showFrameDetails();
        QPointer dialog = component.findChild<FrameDetailsDialog*>();
        QVERIFY(dialog);
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->model()->rowCount(), 4);
        QVERIFY(component.showAnimation(GifBuilder(2, 2).fill(0, 0, 1, 1, 1).bytes()));
        component.showFrameDetails(); // the same dialog, now showing the new animation
        QCOMPARE(component.findChildren<FrameDetailsDialog*>().size(), 1);
        QCOMPARE(dialog->model()->rowCount(), 1);
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QTest::keyClick(dialog, Qt::Key_Escape);
        QTRY_VERIFY(!dialog); // closed, it lets go of the animation
    }
};

QTEST_MAIN(FrameDetailsTest)
#include "FrameDetailsTest.moc"
