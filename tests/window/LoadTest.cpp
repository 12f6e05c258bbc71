// Files on a slow share, and on one that stops answering mid-file, loaded through the
// window's file list: the window answers while they load, a file picked next shows, a
// load it superseded ends without a word, and closing the window ends the process while
// a read still hangs. The share is SlowFs.cpp, mounted with FUSE; where FUSE cannot
// mount, these tests skip.

#include "Form1.h"
#include "WindowTestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <map>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

// The slow file at the size and speed it was met at: 72 MiB read at 8 MiB/s.
constexpr int kSlowMiB = 72;
constexpr int kSlowKiBPerSecond = 8 << 10;

// SlowFs mounted on a folder of its own; hung.gif and junk.gif block while hang() holds.
class Share {
public:
    Share()
    {
        m_server.start(QStringLiteral(SLOWFS_PATH),
            { mountPoint, control, QString::number(kSlowMiB), QString::number(kSlowKiBPerSecond) });
        const bool ended
            = QTest::qWaitFor([&] { return mounted() || m_server.state() == QProcess::NotRunning; }, 10000);
        Q_UNUSED(ended) // mounted() says which
        for (const QByteArray& line : m_server.readAllStandardOutput().split('\n'))
            if (line.startsWith("frames "))
                m_frames[QString::fromUtf8(line.split(' ')[1])] = line.split(' ')[2].toInt();
    }
    ~Share()
    {
        QFile::remove(control);
        m_server.terminate();
        m_server.waitForFinished(2000);
    }
    bool mounted() const
    {
        QFile table(QStringLiteral("/proc/self/mounts"));
        return table.open(QIODevice::ReadOnly) && table.readAll().contains(" " + mountPoint.toUtf8() + " ");
    }
    QString why() { return QString::fromLocal8Bit(m_server.readAllStandardError()); }
    int frames(const QString& name) const { return m_frames.at(name); }
    void hang(bool on)
    {
        if (on)
            QVERIFY(wtest::writeRawPath(control.toStdString(), "hang"));
        else
            QVERIFY(QFile::remove(control));
    }
    // The share said `line` ("blocked hung.gif", "released junk.gif").
    bool hasSaid(const QByteArray& line)
    {
        m_said += m_server.readAllStandardOutput();
        return m_said.split('\n').contains(line);
    }
    bool said(const QByteArray& line)
    {
        return QTest::qWaitFor([&] { return hasSaid(line); }, 10000);
    }

private:
    QTemporaryDir m_dir;

public:
    const QString mountPoint = QDir(m_dir.path()).canonicalPath() + "/share";
    const QString control = QDir(m_dir.path()).canonicalPath() + "/hang";

private:
    bool m_made = QDir().mkdir(mountPoint);
    QProcess m_server;
    std::map<QString, int> m_frames;
    QByteArray m_said;
};

#define MOUNT_OR_SKIP(share)                                                                                           \
    if (!(share).mounted())                                                                                            \
    QSKIP(qPrintable("FUSE cannot mount here: " + (share).why()))

QString framesText(int count) { return QStringLiteral("%1 Frames").arg(count); }

// The window shown, with its lists on the share.
bool showAtShare(Form1& form, wtest::FormControls& ui, const QString& mountPoint)
{
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
        return false;
    ui.Dir1->setPath(mountPoint);
    return wtest::answered(ui) && ui.Dir1->Path() == mountPoint;
}

void clickBox(QAbstractButton* box) { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2)); }

} // namespace

class LoadTest : public QObject {
    Q_OBJECT

private slots:
    // The slow file takes its time; meanwhile the window answers, AutoSize applies to
    // the animation still playing, and the frame count is the one shown. Then the file
    // shows with its own count.
    void slowFileWhileTheWindowAnswers()
    {
        Share share;
        MOUNT_OR_SKIP(share);
        Form1 form;
        wtest::FormControls ui(form);
        QVERIFY(showAtShare(form, ui, share.mountPoint));
        const int before = ui.Frolix1->FrameCount();
        QCOMPARE(ui.lblFrame->text(), framesText(before));
        wtest::ModalAnswerer answerer;
        QSignalSpy loaded(ui.Frolix1, &frolix::FrolixControl::Loaded);

        QElapsedTimer loading;
        loading.start();
        wtest::LoopWatch watch;
        wtest::pick(*ui.File1, QStringLiteral("slow.gif"));
        QTest::qWait(300);
        QVERIFY2(watch.keptTurning(), watch.report());
        QVERIFY(ui.Frolix1->isLoading());
        clickBox(ui.Check2);
        QCOMPARE(ui.Frolix1->size(), QSize(96, 56)); // the animation still playing, at its own size
        QCOMPARE(ui.Frolix1->FrameCount(), before);
        QCOMPARE(ui.lblFrame->text(), framesText(before));
        QVERIFY(loaded.wait(60000));
        const qint64 took = loading.elapsed();
        qInfo("slow.gif loaded in %lld ms; the event loop waited %lld ms at most", took, watch.longestGap());
        QVERIFY2(watch.keptTurning(), watch.report());
        // Really as slow as the share it stands for (not a speed target: a check on the share).
        QVERIFY2(took > 900 * kSlowMiB / (kSlowKiBPerSecond >> 10), qPrintable(QString::number(took)));
        QCOMPARE(loaded.count(), 1);
        QCOMPARE(loaded[0][0].value<std::int32_t>(), frolix::kAutomationTrue);
        QCOMPARE(ui.Frolix1->FrameCount(), share.frames("slow.gif"));
        QCOMPARE(ui.lblFrame->text(), framesText(share.frames("slow.gif")));
        QCOMPARE(ui.Frolix1->size(), QSize(256, 256));
        QVERIFY(answerer.seen().empty());
    }

    // A load superseded stops reading: the slow file, with another picked while it is
    // read, is let go long before it could have been read through.
    void supersededLoadLetsItsFileGo()
    {
        Share share;
        MOUNT_OR_SKIP(share);
        Form1 form;
        wtest::FormControls ui(form);
        QVERIFY(showAtShare(form, ui, share.mountPoint));
        QSignalSpy loaded(ui.Frolix1, &frolix::FrolixControl::Loaded);
        QElapsedTimer reading;
        reading.start();
        wtest::pick(*ui.File1, QStringLiteral("slow.gif"));
        QTest::qWait(300);
        QVERIFY(!share.hasSaid("released slow.gif"));
        wtest::pick(*ui.File1, QStringLiteral("small.gif"));
        QVERIFY(loaded.wait(5000));
        QCOMPARE(ui.Frolix1->FrameCount(), share.frames("small.gif"));
        const qint64 readThrough = 1000 * kSlowMiB / (kSlowKiBPerSecond >> 10);
        QVERIFY(QTest::qWaitFor([&] { return share.hasSaid("released slow.gif"); }, readThrough));
        QVERIFY2(reading.elapsed() < readThrough / 2,
            qPrintable(QStringLiteral("let go after %1 ms of %2").arg(reading.elapsed()).arg(readThrough)));
        QCOMPARE(loaded.count(), 1);
    }

    // A file whose share stops answering mid-file (then one that is no GIF): the window
    // answers, the small file picked next shows, and when the share answers again the
    // superseded load, loaded or refused, changes nothing and brings no "Read Wrong".
    void hungFileSupersededBySmallOne()
    {
        Share share;
        MOUNT_OR_SKIP(share);
        Form1 form;
        wtest::FormControls ui(form);
        QVERIFY(showAtShare(form, ui, share.mountPoint));
        wtest::ModalAnswerer answerer;
        QSignalSpy loaded(ui.Frolix1, &frolix::FrolixControl::Loaded);
        const int small = share.frames("small.gif");
        const int before = ui.Frolix1->FrameCount();

        int round = 0;
        for (const QString hung : { "hung.gif", "junk.gif" }) {
            ++round;
            share.hang(true);
            wtest::LoopWatch watch;
            wtest::pick(*ui.File1, hung);
            QVERIFY(share.said("blocked " + hung.toUtf8()));
            QCOMPARE(ui.lblFrame->text(), framesText(round == 1 ? before : small));
            clickBox(ui.Check2);
            QCOMPARE(ui.Frolix1->size(), round == 1 ? QSize(96, 56) : QSize(528, 247));
            wtest::pick(*ui.File1, QStringLiteral("small.gif"));
            QVERIFY(loaded.wait(5000));
            QCOMPARE(loaded.count(), round);
            QCOMPARE(loaded.last()[0].value<std::int32_t>(), frolix::kAutomationTrue);
            QCOMPARE(ui.lblFrame->text(), framesText(small));
            QVERIFY2(watch.keptTurning(), watch.report());

            share.hang(false); // the abandoned load ends, and lets its file go
            const QByteArray released = "released " + hung.toUtf8();
            QVERIFY(QTest::qWaitFor([&] { return share.hasSaid(released) || loaded.count() > round; }, 10000));
            QTest::qWait(200);
            QCOMPARE(loaded.count(), round);
            QVERIFY(share.hasSaid(released));
            QCOMPARE(ui.Frolix1->FrameCount(), small);
            QCOMPARE(ui.lblFrame->text(), framesText(small));
            QVERIFY(answerer.seen().empty());
        }
    }

    // Closing the window ends the process at once though a load is stuck in a read:
    // the program under test is this one, run as a child that opens the window.
    void closingWithAReadHung()
    {
        Share share;
        MOUNT_OR_SKIP(share);
        share.hang(true);
        QProcess viewer;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        viewer.setProcessEnvironment(env);
        viewer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        viewer.start(
            QCoreApplication::applicationFilePath(), { QStringLiteral("--close-while-hung"), share.mountPoint });
        QVERIFY(share.said("blocked hung.gif"));
        QVERIFY(viewer.state() == QProcess::Running);
        viewer.write("close\n");
        QVERIFY(QTest::qWaitFor([&] { return viewer.canReadLine() || viewer.state() == QProcess::NotRunning; }, 5000));
        QCOMPARE(viewer.readLine(), QByteArray("closing\n"));
        QElapsedTimer sinceClose;
        sinceClose.start();
        const bool ended = viewer.state() == QProcess::NotRunning || viewer.waitForFinished(5000);
        const qint64 took = sinceClose.elapsed();
        QVERIFY2(ended && took < 1000, qPrintable(QStringLiteral("still running %1 ms after the close").arg(took)));
        QCOMPARE(viewer.exitStatus(), QProcess::NormalExit);
        QCOMPARE(viewer.exitCode(), 0);
    }
};

// The child of closingWithAReadHung: the window as the viewer's main() runs it, with
// hung.gif picked in its file list; "close" on its input closes it.
static int closeWhileHung(int argc, char** argv)
{
    QApplication app(argc, argv);
    Form1 window;
    window.show();
    wtest::FormControls ui(window);
    ui.Dir1->setPath(QString::fromLocal8Bit(argv[2]));
    if (!wtest::answered(ui) || ui.Dir1->Path() != QString::fromLocal8Bit(argv[2]))
        return 3;
    wtest::pick(*ui.File1, QStringLiteral("hung.gif"));
    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &window, [&] {
        input.setEnabled(false);
        std::printf("closing\n");
        std::fflush(stdout);
        window.close();
    });
    return app.exec();
}

int main(int argc, char** argv)
{
    if (argc == 3 && QByteArray(argv[1]) == "--close-while-hung")
        return closeWhileHung(argc, argv);
    // Run as root, the share is mounted in a mount namespace of this process's own (its
    // children's too), so no other program sees it; otherwise where fusermount3 lets
    // this user mount it.
    if (::geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0
        && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0) {
        // FUSE mounts of other programs (another suite's hung share) are let go here:
        // the drive list would wait on them, and these tests are about our own.
        QFile table(QStringLiteral("/proc/self/mounts"));
        if (table.open(QIODevice::ReadOnly))
            for (const QByteArray& line : table.readAll().split('\n'))
                if (const auto fields = line.split(' '); fields.size() > 2 && fields[2].startsWith("fuse"))
                    ::umount2(fields[1].constData(), MNT_DETACH);
    }
    QApplication app(argc, argv);
    LoadTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "LoadTest.moc"
