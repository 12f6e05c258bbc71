// Faults while the real window runs (offscreen): the folder shown is removed, a listed
// file becomes a folder or is cut short, a folder vanishes before it is double-clicked,
// a drive's folder vanishes (a real unmount needs privileges, so a removed folder stands
// in for a file system gone). Each time the window must say which path and why, keep
// the animation it had playing, and go on browsing.

#include "FileSystemLists.h"
#include "Form1.h"
#include "Frolix.h"
#include "NativePath.h"
#include "WindowTestSupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

bool write(const QString& path, const QByteArray& bytes) { return wtest::writeRawPath(pathBytesFromText(path), bytes); }

} // namespace

class FaultsTest : public QObject {
    Q_OBJECT

    // A window browsing `folder`, with `playing` (three frames) loaded and driven by a
    // fake clock.
    struct Viewer {
        QTemporaryDir dir;
        const QString root = QDir(dir.path()).canonicalPath();
        wtest::FakeClock clock;
        Form1 form;
        wtest::FormControls ui { form };
        frolix::Frolix* component = ui.Frolix1;

        // Writes `a.gif` (three frames) in `folder`, or the temporary root, and plays it.
        bool open(QString folder = {})
        {
            if (folder.isEmpty())
                folder = root;
            if (!write(folder + "/a.gif", wtest::numberedGif(3)))
                return false;
            component->useClock(clock);
            form.show();
            ui.Dir1->setPath(folder);
            if (!wtest::answered(ui))
                return false;
            if (!wtest::pickAndWait(*ui.File1, "a.gif", *component))
                return false;
            component->tick();
            return shown() && component->FrameCount() == 3 && component->CurrentFrame() == 1;
        }
        // The frame due is composed off the window's thread: waits until it is shown.
        bool shown()
        {
            return QTest::qWaitFor([this] { return !component->isComposing(); });
        }
        // The animation loaded before the fault is still there and still moving.
        bool stillPlaying()
        {
            const int before = component->CurrentFrame();
            clock.advance(frolix::Milliseconds(20));
            component->tick();
            return shown() && component->FrameCount() == 3 && component->CurrentFrame() == before % 3 + 1
                && ui.lblFrame->text() == QStringLiteral("3 Frames");
        }
    };

    static void expectMessage(const wtest::ModalAnswerer& answerer, std::size_t index, const QString& path, int error)
    {
        QVERIFY2(answerer.seen().size() > index, "no message box");
        const auto& box = answerer.seen()[index];
        QVERIFY(box.wasMessageBox);
        QVERIFY2(box.text.contains(path) && box.text.contains(QString::fromLocal8Bit(std::strerror(error))),
            qPrintable(box.text));
    }

private slots:
    void folderShownIsRemoved()
    {
        Viewer viewer;
        const QString root = viewer.root, folder = root + "/pictures";
        QVERIFY(QDir(root).mkdir("pictures"));
        QVERIFY(write(folder + "/b.gif", wtest::numberedGif(2)));
        QVERIFY(write(root + "/up.gif", wtest::numberedGif(4)));
        QVERIFY(viewer.open(folder));
        auto& ui = viewer.ui;
        const QStringList folders = wtest::listedNames(*ui.Dir1);

        QVERIFY(QDir(folder).removeRecursively());
        wtest::ModalAnswerer answerer;

        // Selecting a file that went with its folder.
        wtest::pick(*ui.File1, "b.gif");
        expectMessage(answerer, 0, folder + "/b.gif", ENOENT);
        QVERIFY(viewer.stillPlaying());
        QCOMPARE(wtest::listedNames(*ui.File1), (QStringList { "a.gif", "b.gif" })); // kept: nothing better to show

        // Listing it again.
        ui.File1->refresh();
        QVERIFY(wtest::answered(ui));
        expectMessage(answerer, 1, folder, ENOENT);

        // Opening it again from the folder list.
        ui.Dir1->setFocus();
        ui.Dir1->setCurrentRow(wtest::rowOf(*ui.Dir1, folder));
        QTest::keyClick(ui.Dir1, Qt::Key_Return);
        QVERIFY(wtest::answered(ui));
        expectMessage(answerer, 2, folder, ENOENT);
        QCOMPARE(ui.Dir1->Path(), folder);
        QCOMPARE(wtest::listedNames(*ui.Dir1), folders);
        QVERIFY(viewer.stillPlaying());

        // The lists still work: up to the parent, and a file there loads.
        ui.Dir1->setCurrentRow(wtest::rowOf(*ui.Dir1, root));
        QTest::keyClick(ui.Dir1, Qt::Key_Return);
        QVERIFY(wtest::answered(ui));
        QCOMPARE(ui.Dir1->Path(), root);
        QCOMPARE(ui.File1->Path(), root);
        QCOMPARE(wtest::listedNames(*ui.File1), QStringList { "up.gif" });
        QVERIFY(wtest::pickAndWait(*ui.File1, "up.gif", *viewer.component));
        QCOMPARE(viewer.component->FrameCount(), 4);
        QCOMPARE(ui.lblFrame->text(), QStringLiteral("4 Frames"));
        QCOMPARE(answerer.seen().size(), std::size_t(3));
    }

    void listedFileBecomesAFolder()
    {
        Viewer viewer;
        const QString root = viewer.root;
        QVERIFY(write(root + "/b.gif", wtest::numberedGif(2)));
        QVERIFY(viewer.open());

        QVERIFY(QFile::remove(root + "/b.gif"));
        QVERIFY(QDir(root).mkdir("b.gif"));
        wtest::ModalAnswerer answerer;
        wtest::pick(*viewer.ui.File1, "b.gif");
        expectMessage(answerer, 0, root + "/b.gif", EISDIR);
        QVERIFY(viewer.stillPlaying());
        // The list is shown afresh once the message is read: a folder is not a file.
        QTRY_COMPARE(wtest::listedNames(*viewer.ui.File1), QStringList { "a.gif" });
        QCOMPARE(answerer.seen().size(), std::size_t(1));
    }

    void listedFileIsCutShort_data()
    {
        QTest::addColumn<int>("keep"); // bytes left, from the start
        QTest::addColumn<int>("framesAfter"); // 0: refused with "Read Wrong"
        const int whole = int(wtest::numberedGif(5).size());
        QTest::newRow("emptied") << 0 << 0;
        QTest::newRow("signature only") << 6 << 0;
        QTest::newRow("in the screen descriptor") << 9 << 0;
        QTest::newRow("before the first image") << 40 << 0;
        // Cut inside the last image: the images read so far are kept (QUIRKS.md).
        QTest::newRow("in the last image") << whole - 6 << 5;
    }
    void listedFileIsCutShort()
    {
        QFETCH(int, keep);
        QFETCH(int, framesAfter);
        Viewer viewer;
        const QString root = viewer.root;
        QVERIFY(write(root + "/b.gif", wtest::numberedGif(5)));
        QVERIFY(viewer.open());

        QVERIFY(::truncate(pathBytesFromText(root + "/b.gif").c_str(), keep) == 0);
        wtest::ModalAnswerer answerer;
        QVERIFY(wtest::pickAndWait(*viewer.ui.File1, "b.gif", *viewer.component));
        if (framesAfter == 0) {
            QCOMPARE(answerer.seen().size(), std::size_t(1));
            QCOMPARE(answerer.seen().front().text, QStringLiteral("Read Wrong"));
            QVERIFY(!viewer.component->lastError().isEmpty());
            QVERIFY(viewer.stillPlaying());
        } else {
            QCOMPARE(answerer.seen().size(), std::size_t(0));
            QCOMPARE(viewer.component->FrameCount(), framesAfter);
            QCOMPARE(viewer.ui.lblFrame->text(), QStringLiteral("%1 Frames").arg(framesAfter));
        }
    }

    void playingFileIsCutShort()
    {
        // The file playing is mapped, and another program empties it: the frames composed
        // after that find their data gone. The viewer says so once and goes on.
        Viewer viewer;
        QVERIFY(viewer.open());
        QVERIFY(QTest::qWaitForWindowExposed(&viewer.form)); // unseen, it would not play
        QVERIFY(::truncate(pathBytesFromText(viewer.root + "/a.gif").c_str(), 0) == 0);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cut short by another program while it was open"));
        QVERIFY(viewer.stillPlaying());
        QVERIFY(viewer.stillPlaying());
    }

    void folderRemovedBeforeItsDoubleClick()
    {
        Viewer viewer;
        const QString root = viewer.root;
        QVERIFY(QDir(root).mkdir("gone"));
        QVERIFY(QDir(root).mkdir("kept"));
        QVERIFY(viewer.open());
        auto& ui = viewer.ui;
        const QStringList folders = wtest::listedNames(*ui.Dir1);
        QVERIFY(QDir(root).rmdir("gone"));

        wtest::ModalAnswerer answerer;
        auto doubleClick = [&](const QString& target) {
            QListWidgetItem* item = ui.Dir1->item(wtest::rowOf(*ui.Dir1, target));
            QVERIFY(item);
            // Press, release, double click, release: what a mouse sends for a double click.
            const QPoint at = ui.Dir1->visualItemRect(item).center();
            QTest::mouseClick(ui.Dir1->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(ui.Dir1->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseRelease(ui.Dir1->viewport(), Qt::LeftButton, {}, at);
            QVERIFY(wtest::answered(ui));
        };
        doubleClick(root + "/gone");
        QCOMPARE(answerer.seen().size(), std::size_t(1));
        expectMessage(answerer, 0, root + "/gone", ENOENT);
        QCOMPARE(ui.Dir1->Path(), root);
        QCOMPARE(wtest::listedNames(*ui.Dir1), folders);
        QCOMPARE(ui.File1->Path(), root);
        QVERIFY(viewer.stillPlaying());

        doubleClick(root + "/kept");
        QCOMPARE(ui.Dir1->Path(), root + "/kept");
        QCOMPARE(ui.File1->Path(), root + "/kept");
        QCOMPARE(answerer.seen().size(), std::size_t(1));
    }

    void driveFolderGone()
    {
        Viewer viewer;
        const QString root = viewer.root;
        QVERIFY(QDir(root).mkdir("medium"));
        QVERIFY(viewer.open());
        auto& ui = viewer.ui;
        const QString driveBefore = ui.Drive1->Drive();
        // A drive whose mount point is gone by the time it is chosen.
        ui.Drive1->addItem(QStringLiteral("medium"), root + "/medium");
        QVERIFY(QDir(root).rmdir("medium"));

        wtest::ModalAnswerer answerer;
        ui.Drive1->setCurrentIndex(ui.Drive1->count() - 1);
        QVERIFY(wtest::answered(ui));
        expectMessage(answerer, 0, root + "/medium", ENOENT);
        QCOMPARE(ui.Dir1->Path(), root);
        QCOMPARE(ui.File1->Path(), root);
        QCOMPARE(ui.Drive1->Drive(), driveBefore); // back to the drive of the folder shown
        QVERIFY(viewer.stillPlaying());
        wtest::pick(*ui.File1, "up.gif");
        QCOMPARE(answerer.seen().size(), std::size_t(1));
        QCOMPARE(viewer.component->FrameCount(), 3);
    }
};

QTEST_MAIN(FaultsTest)
#include "FaultsTest.moc"
