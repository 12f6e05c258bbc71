// Browsing with the real lists and the real component over a folder tree made here:
// which files are listed and in what order, names that are not UTF-8, links, folders
// that vanish or cannot be read, the drive list's mounts table, and NativePath.

#include "FileSystemLists.h"
#include "FileSystemWorker.h"
#include "Form1.h"
#include "FrameExportDialogs.h"
#include "Frolix.h"
#include "NameOrder.h"
#include "NativePath.h"
#include "WildcardMatch.h"
#include "WindowTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHelpEvent>
#include <QLocale>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <limits>
#include <memory>
#include <pwd.h>
#include <sched.h>
#include <set>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using wtest::listedNames;
using wtest::rowOf;

namespace {

std::string bytes(const QString& path) { return pathBytesFromText(path); }

// Hung mounts enough that one deadline each would show.
constexpr int kHungMounts = 6;

// The name of a file whose bytes are not UTF-8, as the lists carry it.
const std::string kRawName = "d\xff\xfe.gif";

} // namespace

class BrowseTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_tree;
    // Watches held by every inotify descriptor of the process, as the kernel counts them.
    static int inotifyWatches()
    {
        int watches = 0;
        for (const QFileInfo& fd : QDir(QStringLiteral("/proc/self/fdinfo")).entryInfoList(QDir::Files)) {
            QFile info(fd.filePath());
            if (info.open(QIODevice::ReadOnly))
                watches += int(info.readAll().count("inotify wd:"));
        }
        return watches;
    }
    QString m_root;
    // Mounts of a file system that hangs while its control file (the mount's path with
    // ".hang") exists, as a hung network share; none when FUSE cannot mount here, and why.
    QStringList m_hung;
    QString m_noHung;
    std::vector<std::unique_ptr<QProcess>> m_hangServers;
    std::vector<std::unique_ptr<QTemporaryDir>> m_hangDirs;

    // Those numbered in `which` hang (with "fail", fail at once), the others answer. What
    // the last hang left blocked is let go and answered first: the worker joins a probe to
    // one of the same path under way, so a stale failure would otherwise be taken as the
    // answer to a later question.
    void hang(const QList<int>& which, const QByteArray& mode = "hang")
    {
        for (const QString& mount : std::as_const(m_hung))
            QFile::remove(mount + ".hang");
        auto everyMountAnswers = [&] {
            DriveListBox drives;
            return wtest::answered({ &drives }) && std::all_of(m_hung.begin(), m_hung.end(), [&](const QString& m) {
                return drives.itemText(drives.findData(m)) == m;
            });
        };
        QTRY_VERIFY_WITH_TIMEOUT(everyMountAnswers(), 15000);
        for (int i : which)
            QVERIFY(wtest::writeRawPath(bytes(m_hung[i] + ".hang"), mode));
    }

    void mountHung()
    {
        auto mounted = [](const QString& path) {
            QFile table(QStringLiteral("/proc/self/mounts"));
            return table.open(QIODevice::ReadOnly) && table.readAll().contains(" " + path.toUtf8() + " ");
        };
        QStringList paths = qEnvironmentVariable("FROLIX_HUNG_MOUNTS").split(':', Qt::SkipEmptyParts);
        if (paths.isEmpty()) {
            // Not root: through fusermount3, when it is allowed.
            for (int i = 0; i < kHungMounts; ++i) {
                auto& dir = m_hangDirs.emplace_back(
                    std::make_unique<QTemporaryDir>(QStringLiteral("/var/tmp/frolix-hung-XXXXXX"))); // /tmp is no drive
                const QString path = QDir(dir->path()).canonicalPath();
                auto& server = m_hangServers.emplace_back(std::make_unique<QProcess>());
                server->start(QStringLiteral(HANGFS_PATH), { path, path + ".hang" });
                paths << path;
            }
        }
        for (int i = 0; i < paths.size(); ++i) {
            QProcess* server = i < int(m_hangServers.size()) ? m_hangServers[std::size_t(i)].get() : nullptr;
            // Whether it mounted is checked right below.
            (void)QTest::qWaitFor(
                [&] { return mounted(paths[i]) || (server && server->state() == QProcess::NotRunning); }, 5000);
            if (!mounted(paths[i])) {
                m_noHung = "FUSE cannot mount here: "
                    + (server ? QString::fromLocal8Bit(server->readAllStandardError()) : QStringLiteral("as root"));
                return;
            }
        }
        m_hung = paths;
    }

    void makeTree()
    {
        QDir root(m_root);
        auto write = [&](const std::string& name, const QByteArray& contents) {
            QVERIFY2(wtest::writeRawPath(bytes(m_root) + "/" + name, contents), name.c_str());
        };
        write("a.gif", wtest::numberedGif(2));
        write("B.GIF", wtest::numberedGif(6));
        write("c with space.gif", wtest::numberedGif(3));
        write(kRawName, wtest::numberedGif(5));
        write("z\xc3\xa9.gif", wtest::numberedGif(4)); // "zé.gif"
        write("notes.txt", "not a picture");
        write("image.png", "\x89PNG");
        write("a.gif.txt", wtest::numberedGif(2));
        write("gif", wtest::numberedGif(2));
        QVERIFY(::symlink("a.gif", (bytes(m_root) + "/link.gif").c_str()) == 0);
        QVERIFY(::symlink("missing.gif", (bytes(m_root) + "/dangling.gif").c_str()) == 0);
        QVERIFY(root.mkdir("sub"));
        QVERIFY(root.mkdir("sub.gif")); // a folder is never a file, whatever its name
        QVERIFY(root.mkdir(".hidden"));
        QVERIFY(::symlink("..", (bytes(m_root) + "/sub/up").c_str()) == 0);
        QVERIFY(::symlink("loopB", (bytes(m_root) + "/loopA").c_str()) == 0);
        QVERIFY(::symlink("loopA", (bytes(m_root) + "/loopB").c_str()) == 0);
        QVERIFY(::symlink("loopA", (bytes(m_root) + "/loop.gif").c_str()) == 0);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_tree.isValid());
        m_root = QDir(m_tree.path()).canonicalPath();
        makeTree();
        mountHung();
    }

    void cleanupTestCase()
    {
        // QDir cannot name this file to remove it.
        ::unlink((bytes(m_root) + "/" + kRawName).c_str());
        hang({});
        for (auto& server : m_hangServers) {
            server->terminate();
            server->waitForFinished(2000);
        }
    }

    // A drive chosen browses its root: the folder list, then the file list.
    void filesOfAFolder()
    {
        Form1 form;
        wtest::FormControls ui(form);
        QVERIFY(wtest::answered(ui));
        QSignalSpy driveChanges(ui.Drive1, &DriveListBox::Change);
        QSignalSpy dirChanges(ui.Dir1, &DirListBox::Change);
        // A drive for the test tree, added through the combo box's own members.
        ui.Drive1->addItem(QStringLiteral("test tree"), m_root);
        ui.Drive1->setCurrentIndex(ui.Drive1->count() - 1);
        QCOMPARE(driveChanges.count(), 1);
        QVERIFY(wtest::answered(ui));
        QCOMPARE(dirChanges.count(), 1);
        QCOMPARE(ui.Drive1->Drive(), m_root);
        QCOMPARE(ui.Dir1->Path(), m_root);
        QCOMPARE(ui.File1->Path(), m_root);
        const QStringList expected { "a.gif", "B.GIF", "c with space.gif", pathTextFromBytes(kRawName), "link.gif",
            "z\u00e9.gif" };
        QCOMPARE(listedNames(*ui.File1), expected);
        QCOMPARE(ui.File1->item(3)->text(), QStringLiteral("d\uFFFD\uFFFD.gif"));
        QCOMPARE(ui.File1->currentItem(), nullptr); // listing selects nothing, so loads nothing
        QCOMPARE(ui.File1->Pattern(), QStringLiteral("*.gif"));

        // The same folder again is no change.
        ui.Dir1->setPath(m_root + "/");
        QVERIFY(wtest::answered(ui));
        QCOMPARE(dirChanges.count(), 1);

        // Picking each one loads it, whatever bytes its name holds.
        const int frames[] = { 2, 6, 3, 5, 2, 4 };
        wtest::ModalAnswerer answerer;
        for (int row = 0; row < expected.size(); ++row) {
            QVERIFY(wtest::pickAndWait(*ui.File1, expected[row], *ui.Frolix1));
            QCOMPARE(ui.File1->FileName(), expected[row]);
            QCOMPARE(ui.Frolix1->FrameCount(), frames[row]);
            QCOMPARE(ui.lblFrame->text(), QStringLiteral("%1 Frames").arg(frames[row]));
        }
        QCOMPARE(answerer.seen().size(), std::size_t(0));
        // The real drives are folders (a file bind-mounted into a container is none).
        for (int row = 0; row < ui.Drive1->count(); ++row)
            QVERIFY2(QFileInfo(ui.Drive1->itemData(row).toString()).isDir(), qPrintable(ui.Drive1->itemText(row)));
    }

    void wildcardPatterns_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("matches");
        const struct {
            const char16_t* name;
            const char16_t* pattern;
            bool matches;
        } cases[] = {
            { u"a.gif", u"*.gif", true },
            { u"B.GIF", u"*.gif", true },
            { u"\u00c9T\u00c9.Gif", u"\u00e9t\u00e9.gif", true },
            { u"a.gif.txt", u"*.gif", false },
            { u"aXbXc", u"*X*X*", true },
            { u"aXb", u"*X*X*", false },
            { u"abc", u"a?c", true },
            { u"frame7.gif", u"frame[0-9].gif", true },
            { u"frameA.gif", u"frame[!0-9].gif", true },
            { u"Xb", u"[xy]b", true },
            { u"[b", u"[b", true },
            { u"", u"?", false },
            { u"anything", u"", false },
            { u"mississippi.gif", u"*ss*ss*.gif", true },
        };
        for (const auto& c : cases)
            QTest::addRow("%s ~ %s", qPrintable(QString::fromUtf16(c.name)), qPrintable(QString::fromUtf16(c.pattern)))
                << QString::fromUtf16(c.name) << QString::fromUtf16(c.pattern) << c.matches;
    }

    void wildcardPatterns()
    {
        QFETCH(QString, name);
        QFETCH(QString, pattern);
        QFETCH(bool, matches);
        QCOMPARE(wildcardMatch(name, pattern), matches);
    }

    void foldersOfAFolder()
    {
        DirListBox list;
        list.setPath(m_root);
        QVERIFY(wtest::answered({ &list }));
        QStringList targets = listedNames(list);
        // Ancestors from the root, the folder itself (selected), then its subfolders;
        // hidden folders and links that lead nowhere are left out.
        QString parent = m_root.section('/', 0, -2);
        QCOMPARE(targets.first(), QStringLiteral("/"));
        int self = int(targets.indexOf(m_root));
        QVERIFY(self > 0);
        QCOMPARE(targets.value(self - 1), parent.isEmpty() ? QStringLiteral("/") : parent);
        QCOMPARE(list.currentRow(), self);
        QCOMPARE(targets.mid(self + 1), (QStringList { m_root + "/sub", m_root + "/sub.gif" }));

        // A link back up is a folder like any other; the path stays as walked.
        list.setPath(m_root + "/sub/up");
        QVERIFY(wtest::answered({ &list }));
        QCOMPARE(list.Path(), m_root + "/sub/up");
        QVERIFY(listedNames(list).contains(m_root + "/sub/up/sub"));
    }

    // Only a person's selection loads: focus arriving, a refresh, a sort or a selection
    // made from code never do. Type-ahead loads where the typing stops.
    void whatLoadsAFile_data()
    {
        QTest::addColumn<QString>("actions"); // Tab into the list, keys, clicks, typing, code
        QTest::addColumn<QStringList>("loaded");
        QTest::newRow("Tab into the list") << "tab" << QStringList();
        QTest::newRow("Shift+Tab into the list") << "backtab" << QStringList();
        QTest::newRow("arrows") << "tab Down Down Up" << QStringList { "ba.gif", "bb.gif", "ba.gif" };
        QTest::newRow("Space on the row focus put the cursor on") << "tab Space" << QStringList { "ba.gif" };
        QTest::newRow("End, Home") << "tab End Home" << QStringList { "c.gif", "ba.gif" };
        QTest::newRow("Page Down") << "tab PgDown" << QStringList { "c.gif" };
        QTest::newRow("a click, and again") << "click:bb.gif click:bb.gif" << QStringList { "bb.gif", "bb.gif" };
        QTest::newRow("letters typed quickly load one file") << "tab type:bc" << QStringList { "bc.gif" };
        QTest::newRow("from code, refreshed, sorted") << "code:bb.gif refresh sort" << QStringList();
        QTest::newRow("a refresh keeps the selection") << "click:bc.gif refresh tab" << QStringList { "bc.gif" };
    }
    void whatLoadsAFile()
    {
        QFETCH(QString, actions);
        QFETCH(QStringList, loaded);
        QTemporaryDir dir;
        for (const char* name : { "ba.gif", "bb.gif", "bc.gif", "c.gif" })
            QVERIFY(wtest::writeRawPath(bytes(dir.filePath(name)), wtest::numberedGif(2)));
        Form1 form;
        wtest::FormControls ui(form);
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        ui.Dir1->setPath(dir.path());
        QVERIFY(wtest::answered(ui));
        QStringList seen;
        connect(ui.File1, &FileListBox::Click, this, [&] { seen << ui.File1->FileName(); });
        const QMap<QString, Qt::Key> keys { { "Down", Qt::Key_Down }, { "Up", Qt::Key_Up }, { "End", Qt::Key_End },
            { "Home", Qt::Key_Home }, { "PgDown", Qt::Key_PageDown }, { "Space", Qt::Key_Space } };
        for (const QString& action : actions.split(' ')) {
            const QString name = action.section(':', 1);
            if (action == "tab" || action == "backtab") {
                QWidget* from = action == "tab" ? static_cast<QWidget*>(ui.Dir1) : ui.cmdPlay;
                from->setFocus(Qt::OtherFocusReason);
                QTest::keyClick(from, action == "tab" ? Qt::Key_Tab : Qt::Key_Backtab);
                QCOMPARE(QApplication::focusWidget(), ui.File1);
            } else if (keys.contains(action)) {
                QTest::keyClick(ui.File1, keys[action]);
            } else if (action.startsWith("click:")) {
                wtest::pick(*ui.File1, name);
            } else if (action.startsWith("type:")) {
                QTest::keyClicks(ui.File1, name);
                QTest::qWait(QApplication::keyboardInputInterval() + 100);
            } else if (action.startsWith("code:")) {
                ui.File1->setFileName(name);
                QCOMPARE(ui.File1->FileName(), name);
            } else if (action == "refresh") {
                const QString selected = ui.File1->FileName();
                ui.File1->refresh();
                QVERIFY(wtest::answered(ui));
                QCOMPARE(ui.File1->FileName(), selected);
            } else if (action == "sort") {
                ui.File1->sortItems(Qt::DescendingOrder);
            }
            QVERIFY(wtest::answered(ui)); // the file selected is asked for before it loads
        }
        QTest::qWait(50);
        QCOMPARE(seen, loaded);
        if (!loaded.isEmpty())
            QTRY_COMPARE(ui.lblFrame->text(), QStringLiteral("2 Frames")); // once the load ends
    }

    void browsableMounts_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QStringList>("expected"); // "path|device|type", sorted by path
        QTest::addColumn<QStringList>("holding"); // "path>the mount holding it"
        QByteArray desktop = "/dev/sda1 / ext4 rw,relatime 0 0\n"
                             "/dev/sda2 /home ext4 rw 0 0\n"
                             "proc /proc proc rw,nosuid 0 0\n"
                             "sysfs /sys sysfs rw 0 0\n"
                             "tmpfs /run tmpfs rw,mode=755 0 0\n"
                             "/dev/sdb1 /media/me/USB\\040Stick vfat rw,uid=1000 0 0\n"
                             "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n"
                             "server:/export /mnt/share nfs4 rw,vers=4.2 0 0\n"
                             "/dev/sda2 /etc/hostname ext4 rw,relatime 0 0\n";
        // The bind-mounted file is a real device's mount; only the drive list, which can
        // look at the file system, leaves it out (filesOfAFolder).
        QTest::newRow("desktop") << desktop
                                 << QStringList { "/|/dev/sda1|ext4", "/etc/hostname|/dev/sda2|ext4",
                                        "/home|/dev/sda2|ext4", "/media/me/USB Stick|/dev/sdb1|vfat",
                                        "/mnt/share|server:/export|nfs4" }
                                 << QStringList { "/home/me/pictures>/home", "/home>/home", "/home2/x>/",
                                        "/media/me/USB Stick/a.gif>/media/me/USB Stick", "/usr/share>/" };
        QTest::newRow("a later mount on the same path hides the earlier")
            << QByteArray("/dev/sda1 / ext4 rw 0 0\n/dev/sdc1 /data ext4 rw 0 0\n/dev/sdd1 /data xfs rw 0 0\n")
            << QStringList { "/|/dev/sda1|ext4", "/data|/dev/sdd1|xfs" } << QStringList { "/data/x>/data" };
        QTest::newRow("root that is no device") << QByteArray("overlay / overlay rw 0 0\nproc /proc proc rw 0 0")
                                                << QStringList { "/|overlay|overlay" } << QStringList { "/proc>/" };
        QTest::newRow("empty") << QByteArray() << QStringList() << QStringList();
    }
    void browsableMounts()
    {
        QFETCH(QByteArray, table);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, holding);
        const auto mounts = frolix::browsableMounts(table);
        QStringList found;
        for (const MountPoint& mount : mounts)
            found << mount.path + "|" + mount.device + "|" + mount.type;
        QCOMPARE(found, expected);
        for (const QString& pair : holding) {
            auto index = frolix::mountHolding(mounts, pair.section('>', 0, 0));
            QVERIFY2(index, qPrintable(pair));
            QCOMPARE(mounts[*index].path, pair.section('>', 1));
        }
    }

    void missingFolderIsRefused_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("error");
        QTest::newRow("missing") << m_root + "/no such folder" << ENOENT;
        QTest::newRow("a file") << m_root + "/a.gif" << ENOTDIR;
        QTest::newRow("a loop of links") << m_root + "/loopA" << ELOOP;
        QTest::newRow("a dangling link") << m_root + "/dangling.gif" << ENOENT;
    }
    void missingFolderIsRefused()
    {
        QFETCH(QString, path);
        QFETCH(int, error);
        DirListBox dirs;
        FileListBox files;
        dirs.setPath(m_root + "/sub");
        files.setFileName(m_root);
        QVERIFY(wtest::answered({ &dirs, &files }));
        const QStringList shownFolders = listedNames(dirs);
        const QStringList shownFiles = listedNames(files);
        QSignalSpy dirFailures(&dirs, &DirListBox::failed);
        QSignalSpy fileFailures(&files, &FileListBox::failed);
        QSignalSpy changes(&dirs, &DirListBox::Change);

        dirs.setPath(path);
        files.setFileName(path);
        QVERIFY(wtest::answered({ &dirs, &files }));

        const QString cause = QString::fromLocal8Bit(std::strerror(error));
        for (QSignalSpy* spy : { &dirFailures, &fileFailures }) {
            QCOMPARE(spy->count(), 1);
            QString message = spy->first().first().toString();
            QVERIFY2(message.contains(path) && message.contains(cause), qPrintable(message));
        }
        QCOMPARE(changes.count(), 0);
        QCOMPARE(dirs.Path(), m_root + "/sub");
        QCOMPARE(listedNames(dirs), shownFolders);
        QCOMPARE(files.Path(), m_root);
        QCOMPARE(listedNames(files), shownFiles);
    }

    // Real permissions, as the unprivileged user this suite runs as: each action brings at
    // most one message, the window goes on working after it, and it closes.
    void oneMessagePerAction_data()
    {
        QTest::addColumn<int>("folderMode");
        QTest::addColumn<int>("fileMode"); // of a.gif
        QTest::addColumn<bool>("vanishes"); // a.gif is deleted just before it is picked
        QTest::addColumn<QStringList>("messages"); // part of each message's text, in order
        QTest::newRow("folder r--: listed, not enterable")
            << 0444 << 0644 << false << QStringList { "a.gif: " + QString::fromLocal8Bit(std::strerror(EACCES)) };
        QTest::newRow("folder -wx") << 0333 << 0644 << false
                                    << QStringList { QString::fromLocal8Bit(std::strerror(EACCES)) };
        QTest::newRow("folder 0000") << 0000 << 0644 << false
                                     << QStringList { QString::fromLocal8Bit(std::strerror(EACCES)) };
        QTest::newRow("file unreadable") << 0755 << 0000 << false << QStringList { "Read Wrong" };
        QTest::newRow("file vanished") << 0755 << 0644 << true
                                       << QStringList { "a.gif: " + QString::fromLocal8Bit(std::strerror(ENOENT)) };
    }
    void oneMessagePerAction()
    {
        QFETCH(int, folderMode);
        QFETCH(int, fileMode);
        QFETCH(bool, vanishes);
        QFETCH(QStringList, messages);
        QVERIFY(::geteuid() != 0);
        QTemporaryDir dir;
        const QString root = QDir(dir.path()).canonicalPath(), folder = root + "/f";
        QVERIFY(QDir().mkdir(folder));
        for (const char* name : { "a.gif", "b.gif" })
            QVERIFY(wtest::writeRawPath(bytes(folder + "/" + name), wtest::numberedGif(2)));
        QVERIFY(::chmod(bytes(folder + "/a.gif").c_str(), mode_t(fileMode)) == 0);
        QVERIFY(::chmod(bytes(folder).c_str(), mode_t(folderMode)) == 0);
        Form1 form;
        wtest::FormControls ui(form);
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        ui.Dir1->setPath(root);
        QVERIFY(wtest::answered(ui));
        wtest::ModalAnswerer answerer;
        if (messages.contains("Read Wrong")) // the reason goes to the log
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^refused .*a.gif: .+"));
        QList<std::size_t> perAction;
        auto act = [&](const std::function<void()>& action) {
            const std::size_t before = answerer.seen().size();
            form.activateWindow(); // back from a message box: the platform here does not restore it
            QVERIFY(QTest::qWaitForWindowActive(&form));
            action();
            QVERIFY(wtest::answered(ui));
            QTest::qWait(50);
            perAction << answerer.seen().size() - before;
        };
        auto open = [&](const QString& path) {
            wtest::pick(*ui.Dir1, path);
            QTest::keyClick(ui.Dir1, Qt::Key_Return);
        };
        act([&] { open(folder); });
        act([&] { QTest::keyClick(ui.Dir1, Qt::Key_Tab); }); // into the file list
        if (ui.File1->Path() == folder) {
            act([&] {
                if (vanishes)
                    QVERIFY(QFile::remove(folder + "/a.gif"));
                wtest::pick(*ui.File1, "a.gif");
            });
        }
        act([&] {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        });
        act([&] { open(root); });
        QCOMPARE(ui.File1->Path(), root);
        QVERIFY(form.close());
        ::chmod(bytes(folder).c_str(), 0755);

        QStringList seen;
        for (const auto& box : answerer.seen())
            seen << box.text;
        QCOMPARE(seen.size(), messages.size());
        for (int i = 0; i < seen.size(); ++i)
            QVERIFY2(seen[i].contains(messages[i]), qPrintable(seen[i]));
        for (std::size_t count : perAction)
            QVERIFY(count <= 1);
    }

    void fileListFollowsItsFolder_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("created") << "created" << QStringList { "a.gif", "b.gif", "c.gif" };
        QTest::newRow("removed") << "removed" << QStringList { "b.gif" };
        QTest::newRow("renamed") << "renamed" << QStringList { "b.gif", "z.gif" };
    }
    void fileListFollowsItsFolder()
    {
        QFETCH(QString, change);
        QFETCH(QStringList, listed);
        QTemporaryDir dir;
        for (const char* name : { "a.gif", "b.gif" })
            QVERIFY(wtest::writeRawPath(bytes(dir.filePath(name)), wtest::numberedGif(2)));
        FileListBox files;
        files.show();
        files.setFileName(dir.path());
        QVERIFY(wtest::answered({ &files }));
        QSignalSpy clicks(&files, &FileListBox::Click);
        wtest::pick(files, "b.gif");
        QVERIFY(wtest::answered({ &files }));
        QCOMPARE(clicks.count(), 1);
        if (change == "created")
            QVERIFY(wtest::writeRawPath(bytes(dir.filePath("c.gif")), wtest::numberedGif(2)));
        else if (change == "removed")
            QVERIFY(QFile::remove(dir.filePath("a.gif")));
        else
            QVERIFY(QFile::rename(dir.filePath("a.gif"), dir.filePath("z.gif")));
        QTRY_COMPARE_WITH_TIMEOUT(listedNames(files), listed, 1000);
        QCOMPARE(files.FileName(), QStringLiteral("b.gif"));
        QCOMPARE(clicks.count(), 1);
    }

    // The list follows the folder it shows and only that one: folders left, or asked and
    // overtaken before they answered, keep no watch, so changes there list nothing again.
    void fileListWatchesOnlyItsFolder()
    {
        QTemporaryDir first, second;
        const int before = inotifyWatches();
        FileListBox files;
        files.show();
        files.setFileName(first.path());
        QVERIFY(wtest::answered({ &files }));
        QCOMPARE(inotifyWatches(), before + 1);
        files.setFileName(first.path());
        files.setFileName(second.path()); // the first one's answer comes for nothing
        QVERIFY(wtest::answered({ &files }));
        QCOMPARE(files.Path(), second.path());
        QTRY_COMPARE(inotifyWatches(), before + 1);

        QSignalSpy shown(&files, &FileListBox::shown);
        QVERIFY(wtest::writeRawPath(bytes(second.filePath("y.gif")), wtest::numberedGif(2)));
        QVERIFY(shown.wait(1000));
        QCOMPARE(files.count(), 1);
        QCOMPARE(files.item(0)->text(), QStringLiteral("y.gif"));
    }

    // A mount that never answers, as a hung network share: the drive list marks it without
    // waiting, and while its folder is asked for the window stays alive (its timers run,
    // a click is answered) until it gives up with one message. A folder asked meanwhile
    // is shown, and the hung one's answer then is for nothing.
    void hungFileSystem()
    {
        QVERIFY2(!m_hung.isEmpty(), qPrintable(m_noHung));
        const QString mountPoint = m_hung[0];
        hang({ 0 });
        auto answerAgain = qScopeGuard([&] { hang({}); });

        QElapsedTimer clock;
        clock.start();
        Form1 form;
        wtest::FormControls ui(form);
        QVERIFY(clock.elapsed() < 1000);
        QVERIFY(wtest::answered({ ui.Drive1 }));
        const int row = ui.Drive1->findData(mountPoint);
        QVERIFY(row >= 0);
        QCOMPARE(ui.Drive1->itemText(row), mountPoint + " (not answering)");
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(wtest::answered(ui));
        const QString shown = ui.Dir1->Path();

        wtest::ModalAnswerer answerer;
        QSignalSpy stops(ui.cmdStop, &QPushButton::clicked);
        QTimer::singleShot(300, ui.cmdStop, [&] { QTest::mouseClick(ui.cmdStop, Qt::LeftButton); });
        wtest::LoopWatch watch;
        clock.restart();
        ui.Drive1->setCurrentIndex(row); // picked in the list
        QVERIFY(ui.Dir1->waiting());
        QVERIFY(ui.Dir1->viewport()->cursor().shape() == Qt::BusyCursor);
        QTRY_COMPARE_WITH_TIMEOUT(answerer.seen().size(), std::size_t(1), 10000);
        // The give-up is a coarse timer, which may fire up to 5% early.
        QVERIFY2(clock.elapsed() >= 2800, qPrintable(QString::number(clock.elapsed())));
        QVERIFY2(watch.keptTurning(), watch.report());
        QCOMPARE(stops.count(), 1);
        QCOMPARE(answerer.seen()[0].text, "The folder " + mountPoint + " does not answer.");
        QCOMPARE(ui.Dir1->Path(), shown);
        QVERIFY(ui.Dir1->viewport()->cursor().shape() != Qt::BusyCursor);

        // Another folder asked while the hung one waits replaces it, and the chain runs on.
        QSignalSpy changes(ui.Dir1, &DirListBox::Change);
        ui.Dir1->setPath(mountPoint);
        ui.Dir1->setPath(m_root);
        QVERIFY(wtest::answered(ui));
        QCOMPARE(ui.Dir1->Path(), m_root);
        QCOMPARE(changes.count(), 1);
        QCOMPARE(ui.File1->Path(), m_root);
        QCOMPARE(ui.File1->count(), 6);
        QCOMPARE(answerer.seen().size(), std::size_t(1));

        // A path opened on it (the command line, a drop) is waited for as long, then one
        // message says so, and the lists stay.
        const QString clip = mountPoint + "/clip.gif";
        form.openPath(clip);
        QVERIFY(ui.File1->viewport()->cursor().shape() == Qt::BusyCursor);
        QTRY_COMPARE_WITH_TIMEOUT(answerer.seen().size(), std::size_t(2), 10000);
        QCOMPARE(answerer.seen()[1].text, clip + " does not answer.");
        QVERIFY(ui.File1->viewport()->cursor().shape() != Qt::BusyCursor);
        QCOMPARE(ui.Dir1->Path(), m_root);
        QCOMPARE(ui.File1->count(), 6);
    }

    // Saving a frame or exporting from a GIF whose folder hangs: Qt's file dialog, which
    // looks at its folder on the window's thread, opens at the home folder instead (with
    // the name proposed), and the window goes on turning meanwhile.
    void fileDialogsOverAHungFolder()
    {
        QVERIFY2(!m_hung.isEmpty(), qPrintable(m_noHung));
        hang({ 0 });
        auto answerAgain = qScopeGuard([&] { hang({}); });
        QWidget window;
        window.show();
        auto* dialogs = new frolix::FrameExportDialogs(&window);
        const QString gif = m_hung[0] + "/sub/clip.gif"; // a name the share must be asked about
        wtest::LoopWatch watch;
        for (const bool save : { true, false }) {
            if (save)
                dialogs->saveFrame(QImage(2, 2, QImage::Format_RGBA8888), gif, 1, 1);
            else
                dialogs->exportFrames(gif);
            QFileDialog* dialog = nullptr;
            QVERIFY(QTest::qWaitFor(
                [&] { return (dialog = window.findChild<QFileDialog*>()) && dialog->isVisible(); }, 5000));
            QCOMPARE(dialog->directory().absolutePath(), QDir::homePath());
            if (save)
                QCOMPARE(dialog->selectedFiles(), QStringList(QDir::home().filePath("clip-frame-0001.png")));
            dialog->reject();
            QTRY_VERIFY(!window.findChild<QFileDialog*>());
        }
        QVERIFY2(watch.keptTurning(), watch.report());
    }

    // Drives are asked all at once: several hung shares cost one deadline, not one each,
    // and the shares that answer are listed as answering whatever hangs beside them.
    void hungDrivesCostOneDeadline()
    {
        QVERIFY2(!m_hung.isEmpty(), qPrintable(m_noHung));
        auto answerAgain = qScopeGuard([&] { hang({}); });
        auto probing = [&](const QList<int>& hung) {
            hang(hung);
            qint64 fastest = std::numeric_limits<qint64>::max();
            for (int run = 0; run < 3; ++run) {
                QElapsedTimer clock;
                clock.start();
                DriveListBox drives;
                if (!wtest::answered({ &drives }))
                    return qint64(-1);
                fastest = std::min(fastest, clock.elapsed());
                for (int i = 0; i < m_hung.size(); ++i) {
                    const QString expected = m_hung[i] + (hung.contains(i) ? " (not answering)" : "");
                    if (drives.itemText(drives.findData(m_hung[i])) != expected)
                        return qint64(-2 - i);
                }
            }
            return fastest;
        };
        const qint64 one = probing({ 0 });
        QList<int> all;
        for (int i = 0; i < m_hung.size(); ++i)
            all << i;
        const qint64 many = probing(all);
        QVERIFY2(one >= 0 && many >= 0, qPrintable(QStringLiteral("mounts listed wrongly: %1 %2").arg(one).arg(many)));
        qInfo("drives probed in %lld ms with one hung share, %lld ms with %d", one, many, int(m_hung.size()));
        // One deadline each would cost 50 ms more for every further hung share.
        const qint64 eachOwn = 50 * (m_hung.size() - 1);
        QVERIFY2(many - one < eachOwn / 2,
            qPrintable(QStringLiteral("1 hung: %1 ms, %2 hung: %3 ms").arg(one).arg(m_hung.size()).arg(many)));

        // A share whose link is gone fails at once: listed still, as not answering.
        hang({ 0 }, "fail");
        DriveListBox drives;
        QVERIFY(wtest::answered({ &drives }));
        QCOMPARE(drives.itemText(drives.findData(m_hung[0])), m_hung[0] + " (not answering)");
    }

    // A file list's selection belongs to its folder: another folder listed selects nothing
    // (a name it shares with the old one neither), selecting in it loads, and a late answer
    // about a folder asked before is dropped.
    void selectionFollowsTheFolder()
    {
        QVERIFY2(!m_hung.isEmpty(), qPrintable(m_noHung));
        QTemporaryDir a, b;
        for (const char* name : { "a.gif", "b.gif" })
            QVERIFY(wtest::writeRawPath(bytes(a.filePath(name)), wtest::numberedGif(2)));
        for (const char* name : { "a.gif", "c.gif" })
            QVERIFY(wtest::writeRawPath(bytes(b.filePath(name)), wtest::numberedGif(2)));
        FileListBox files;
        files.show();
        files.setFileName(a.path());
        QVERIFY(wtest::answered({ &files }));
        QSignalSpy clicks(&files, &FileListBox::Click);
        QSignalSpy failures(&files, &FileListBox::failed);
        wtest::pick(files, "a.gif");
        QVERIFY(wtest::answered({ &files }));
        QCOMPARE(clicks.count(), 1);

        hang({ 0 });
        auto answerAgain = qScopeGuard([&] { hang({}); });
        frolix::FileSystemWorker& worker = frolix::FileSystemWorker::shared();
        QSignalSpy answers(&worker, &frolix::FileSystemWorker::listed);
        const quint64 hungQuestion = worker.list(m_root) + 1; // questions are numbered in turn
        files.setFileName(m_hung[0]);
        files.setFileName(b.path());
        QVERIFY(wtest::answered({ &files }));
        QCOMPARE(files.Path(), b.path());
        QCOMPARE(listedNames(files), (QStringList { "a.gif", "c.gif" }));
        QCOMPARE(files.FileName(), QString());
        wtest::pick(files, "c.gif");
        QVERIFY(wtest::answered({ &files }));
        QCOMPARE(clicks.count(), 2);
        QCOMPARE(files.FileName(), QStringLiteral("c.gif"));

        hang({}); // the hung folder answers now, too late
        auto late = [&] {
            return std::any_of(answers.begin(), answers.end(),
                [&](const QList<QVariant>& a) { return a[0].toULongLong() == hungQuestion; });
        };
        QTRY_VERIFY_WITH_TIMEOUT(late(), 15000);
        QCOMPARE(files.Path(), b.path());
        QCOMPARE(files.FileName(), QStringLiteral("c.gif"));
        QCOMPARE(failures.count(), 0);
        QCOMPARE(clicks.count(), 2);
    }

    // Rows as high as their text, the opened folder's subfolders in sight, and names the
    // list cuts short shown whole in a tooltip.
    void rowsInSight()
    {
        QTemporaryDir dir;
        const QString deep = QDir(dir.path()).canonicalPath() + "/one/two/three/four";
        for (const char* sub : { "/sub1", "/sub2", "/sub3" })
            QVERIFY(QDir().mkpath(deep + sub));
        const QString longName = "a name far too long for the list to show whole.gif";
        for (const QString& name : { longName, QStringLiteral("s.gif") })
            QVERIFY(wtest::writeRawPath(bytes(deep + "/" + name), wtest::numberedGif(2)));
        Form1 form;
        wtest::FormControls ui(form);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        ui.Dir1->setPath(deep);
        QVERIFY(wtest::answered(ui));
        const int rowHeight = ui.Dir1->visualItemRect(ui.Dir1->item(0)).height();
        QVERIFY2(
            rowHeight <= std::max(16, ui.Dir1->fontMetrics().height()) + 4, qPrintable(QString::number(rowHeight)));
        QVERIFY(ui.Dir1->viewport()->height() / rowHeight > 4);
        for (const char* sub : { "/sub1", "/sub2" }) {
            QRect row = ui.Dir1->visualItemRect(ui.Dir1->item(rowOf(*ui.Dir1, deep + sub)));
            QVERIFY2(ui.Dir1->viewport()->rect().contains(row), sub);
        }
        for (const QString& name : { longName, QStringLiteral("s.gif") }) {
            QToolTip::hideText();
            QTRY_VERIFY(!QToolTip::isVisible());
            QRect row = ui.File1->visualItemRect(ui.File1->item(rowOf(*ui.File1, name)));
            QHelpEvent tip(QEvent::ToolTip, row.center(), ui.File1->viewport()->mapToGlobal(row.center()));
            QApplication::sendEvent(ui.File1->viewport(), &tip);
            QCOMPARE(QToolTip::isVisible() ? QToolTip::text() : QString(), name == longName ? name : QString());
        }
    }

    // The user's collation, and a sensible one under the C locale: accents and case do
    // not put a name after "z", and numbers count. Names of printable ASCII alone are
    // ordered without the collator, in the languages that allow it: one accented name
    // among them brings the collator back and must not move any of the others.
    void collation_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::newRow("English") << QLocale(QLocale::English);
        QTest::newRow("C") << QLocale::c();
        for (QLocale::Language language : { QLocale::German, QLocale::Italian, QLocale::Dutch, QLocale::Portuguese,
                 QLocale::French, QLocale::Spanish })
            QTest::newRow(qPrintable(QLocale::languageToString(language))) << QLocale(language);
    }
    void collation()
    {
        QFETCH(QLocale, locale);
        QTemporaryDir dir;
        const QStringList sorted { "apple.gif", "Eagle.gif", "\u00e9clair.gif", "file9.gif", "file10.gif",
            "zebra.gif" };
        for (const QString& name : sorted)
            QVERIFY(wtest::writeRawPath(bytes(dir.filePath(name)), wtest::numberedGif(2)));
        QLocale::setDefault(locale);
        FileListBox files;
        files.setFileName(dir.path());
        QVERIFY(wtest::answered({ &files })); // ordered when the folder answers
        QLocale::setDefault(QLocale::system());
        QCOMPARE(listedNames(files), sorted);

        // Every printable character alone and between letters, numbers against letters and
        // punctuation, leading and trailing zeros, names that differ only in case or zeros,
        // and runs of digits longer than the collator reads as one number.
        std::vector<QString> names { "", "ab", "aB", "Ab", "a0", "a00", "a01", "a1", "a1b", "a01b", "a1.2", "a1.10",
            "a1-2", "a 2", "a10", "a9", "00", "01", "001", "10", "010", "100", "1200", "1201", "12a", "12", "12 ",
            "1.2", "1 2", "1_2", "~1", "x~", "~x", "_x", "-x", ".x", "X.gif", "x.GIF", "x1.gif", "x01.gif", "x10.gif",
            "x1a.gif", "Photo 2.gif", "photo 10.gif", "photo_2.gif", "photo-2.gif", "photo2.gif",
            QString(254, '1') + "0001", QString(254, '1') + "5", QString(254, '1') + "a", QString(255, '0'),
            QString(253, '0') + "12", QString(300, '9'), QString(254, '9') + "0",
            "1" + QString(253, '0') + "0" + QString(5, '0') + "1" };
        for (char16_t c = 0x20; c < 0x7f; ++c) {
            names.push_back(QString(QChar(c)));
            names.push_back(QString("a%1b").arg(QChar(c)));
        }
        const std::set<QString> plain(names.begin(), names.end());
        auto ordered = [&] {
            QStringList out;
            for (std::size_t at : nameOrder(names, locale))
                if (plain.count(names[at]))
                    out << names[at];
            return out;
        };
        const QStringList withoutCollator = ordered();
        names.push_back("\u00e9t\u00e9");
        QCOMPARE(withoutCollator, ordered());
    }

    void nativePathRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QString>("shown"); // displayName of the text
        QTest::newRow("empty") << QByteArray() << "";
        QTest::newRow("4-byte") << QByteArray("\xf0\x9f\x98\x80.gif") << QString::fromUtf8("\xf0\x9f\x98\x80.gif");
        QTest::newRow("4-byte with a low half in the escape range")
            << QByteArray("\xf0\x90\x82\x80") << QString::fromUtf8("\xf0\x90\x82\x80");
        QTest::newRow("4-byte then an invalid byte")
            << QByteArray("\xf0\x90\x82\x80\xff") << QString::fromUtf8("\xf0\x90\x82\x80") + QChar(0xFFFD);
        QTest::newRow("invalid then 4-byte")
            << QByteArray("\x80\xf0\x90\x82\x80") << QChar(0xFFFD) + QString::fromUtf8("\xf0\x90\x82\x80");
        QTest::newRow("Latin-1 byte") << QByteArray("d\xff\xfe.gif") << "d\uFFFD\uFFFD.gif";
        QTest::newRow("overlong") << QByteArray("\xc0\xaf") << "\uFFFD\uFFFD";
        QTest::newRow("beyond U+10FFFF") << QByteArray("\xf4\x90\x80\x80") << "\uFFFD\uFFFD\uFFFD\uFFFD";
    }
    void nativePathRoundTrip()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QString, shown);
        QString text = pathTextFromBytes(std::string_view(raw.constData(), std::size_t(raw.size())));
        std::string back = pathBytesFromText(text);
        QCOMPARE(QByteArray(back.data(), qsizetype(back.size())), raw);
        QCOMPARE(displayName(text), shown);
        if (!shown.contains(QChar(0xFFFD)))
            QCOMPARE(text, QString::fromUtf8(raw)); // valid UTF-8 is kept as it reads
    }
};

// Permissions are part of what is tested, and root reads every folder whatever its mode:
// run as root (as CI does), the suite drops to the unprivileged user "nobody" first.
int main(int argc, char** argv)
{
    if (::geteuid() == 0) {
        // The file systems that hang on demand are mounted first, while /dev/fuse can be
        // opened, in a mount namespace of this process's own so nothing else sees them.
        if (::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0) {
            std::string mounts;
            for (int i = 0; i < kHungMounts; ++i) {
                char mountPoint[] = "/var/tmp/frolix-hung-XXXXXX"; // /tmp is no drive
                if (!::mkdtemp(mountPoint))
                    break;
                ::chmod(mountPoint, 0755);
                const std::string control = std::string(mountPoint) + ".hang";
                if (::fork() == 0) {
                    const int quiet = ::open("/dev/null", O_WRONLY);
                    ::dup2(quiet, 1);
                    ::dup2(quiet, 2);
                    ::execl(HANGFS_PATH, HANGFS_PATH, mountPoint, control.c_str(), "allow_other", nullptr);
                    std::_Exit(127);
                }
                mounts += (mounts.empty() ? "" : ":") + std::string(mountPoint);
            }
            ::setenv("FROLIX_HUNG_MOUNTS", mounts.c_str(), 1);
        }
        const passwd* nobody = ::getpwnam("nobody");
        if (!nobody || ::setgroups(0, nullptr) != 0 || ::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0) {
            std::fprintf(stderr, "cannot drop root's privileges to the user nobody: %s\n", std::strerror(errno));
            return 1;
        }
    }
    QApplication app(argc, argv);
    BrowseTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "BrowseTest.moc"
