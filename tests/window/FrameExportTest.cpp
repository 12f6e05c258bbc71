// Saving, exporting and copying frames through the component's entry points, with the
// dialogs answered as a user would: the export against gif-frames pixel for pixel and
// its table, writes that fail, Cancel, the saved frame's alpha and the clipboard.

#include "FrameExportDialogs.h"
#include "WindowTestSupport.h"

#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

#include <csignal>
#include <random>
#include <sys/resource.h>

namespace {

QByteArray toBytes(const frolix::test::Bytes& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

// 8 x 6, four frames: each disposal, transparency in two, delays 0, 5, 1 and 20.
QByteArray disposalsGif()
{
    frolix::test::GifBuilder gif(8, 6);
    gif.loop(0);
    std::vector<std::uint8_t> whole(48);
    for (std::size_t i = 0; i < whole.size(); ++i)
        whole[i] = std::uint8_t(1 + i % 5);
    gif.control({ .delayCs = 0, .disposal = 1 }).image({ .width = 8, .height = 6, .indices = whole });
    gif.control({ .delayCs = 5, .disposal = 2, .transparent = 7 })
        .image({ .left = 2, .top = 1, .width = 3, .height = 2, .indices = { 7, 9, 7, 10, 7, 11 } });
    gif.control({ .delayCs = 1, .disposal = 3, .transparent = 12 })
        .image({ .left = 4, .top = 2, .width = 2, .height = 3, .indices = { 12, 13, 14, 12, 15, 16 } });
    gif.control({ .delayCs = 20, .disposal = 0 }).fill(0, 0, 2, 2, 17);
    return toBytes(gif.bytes());
}

// `count` frames of 128 x 128 noise: slow enough to write that Cancel comes in time.
QByteArray noiseGif(int count)
{
    frolix::test::GifBuilder gif(128, 128);
    std::mt19937 random(7);
    for (int i = 0; i < count; ++i) {
        std::vector<std::uint8_t> indices(128 * 128);
        for (auto& index : indices)
            index = std::uint8_t(random() % 256);
        gif.control({ .delayCs = 2, .disposal = 1 }).image({ .width = 128, .height = 128, .indices = indices });
    }
    return toBytes(gif.bytes());
}

// The file dialog open over `parent`, once it shows.
QFileDialog* fileDialog(QWidget& parent)
{
    QFileDialog* dialog = nullptr;
    const bool shown = QTest::qWaitFor([&] {
        dialog = parent.findChild<QFileDialog*>();
        return dialog && dialog->isVisible();
    });
    return shown ? dialog : nullptr;
}

// Chooses `path` in the file dialog open over `component`, as a user does: typed into
// its name field (selectFile() leaves the field alone once it has the focus).
bool choose(Frolix& component, const QString& path)
{
    QFileDialog* dialog = fileDialog(component);
    auto* name = dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
    if (!name)
        return false;
    name->setText(path);
    static_cast<QDialog*>(dialog)->accept(); // QFileDialog's own, as its button does
    return true;
}

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

QImage rgba(const QImage& image) { return image.convertToFormat(QImage::Format_RGBA8888); }
QByteArray pixelBytes(const QImage& image)
{
    return QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes());
}

} // namespace

class FrameExportTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_gif; // disposalsGif()
    QString m_reference; // what gif-frames made of it

    QString file(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(name);
        if (!wtest::writeRawPath(path.toStdString(), bytes))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }
    QString folder(const QString& name)
    {
        QDir(m_dir.path()).mkpath(name);
        return m_dir.filePath(name);
    }
    // What gif-frames made of frame `number`: RGBA bytes.
    QByteArray reference(int number)
    {
        QFile raw(QDir(m_reference).filePath(QStringLiteral("frame-%1.rgba").arg(number, 3, 10, QLatin1Char('0'))));
        return raw.open(QIODevice::ReadOnly) ? raw.readAll() : QByteArray();
    }
    // Exports the file `component` shows into `into`, and waits for the end.
    static FrameExport::Outcome exportInto(Frolix& component, const QString& into)
    {
        QSignalSpy ended(component.findChild<FrameExportDialogs*>(), &FrameExportDialogs::ended);
        component.exportFrames();
        if (!choose(component, into) || !ended.wait(20000))
            return FrameExport::Outcome::Failed;
        return ended.front().front().value<FrameExport::Outcome>();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // Where the user's settings would go: the dialogs must leave nothing there.
        qputenv("XDG_CONFIG_HOME", folder(QStringLiteral("config")).toLocal8Bit());
        m_gif = file(QStringLiteral("disposals.gif"), disposalsGif());
        m_reference = m_dir.filePath(QStringLiteral("reference"));
        QCOMPARE(QProcess::execute(QStringLiteral(GIF_FRAMES_PATH), { m_gif, m_reference }), 0);
    }

    // Every frame as gif-frames decodes it, transparency included, and the table.
    void exportMatchesGifFrames()
    {
        Frolix component;
        QCOMPARE(wtest::loadFile(component, m_gif), kAutomationTrue);
        const QString into = folder(QStringLiteral("all"));
        QCOMPARE(exportInto(component, into), FrameExport::Outcome::Written);
        QCOMPARE(filesIn(into),
            QStringList({ "frame-0001.png", "frame-0002.png", "frame-0003.png", "frame-0004.png", "frames.csv" }));
        for (int number = 1; number <= 4; ++number) {
            const QImage png(QDir(into).filePath(FrameExport::frameFileName(number, 4)));
            QVERIFY(png.hasAlphaChannel());
            QCOMPARE(png.size(), QSize(8, 6));
            QCOMPARE(pixelBytes(rgba(png)), reference(number));
        }
        QCOMPARE(qAlpha(QImage(QDir(into).filePath("frame-0003.png")).pixel(2, 1)), 0); // disposed to the background
        QFile table(QDir(into).filePath("frames.csv"));
        QVERIFY(table.open(QIODevice::ReadOnly));
        QCOMPARE(table.readAll(),
            QByteArray("frame,delay_ms,stored_delay_cs,disposal,left,top,width,height,transparent\n"
                       "1,100,0,keep,0,0,8,6,no\n"
                       "2,50,5,background,2,1,3,2,yes\n"
                       "3,100,1,previous,4,2,2,3,yes\n"
                       "4,200,20,none,0,0,2,2,no\n"));
        QCOMPARE(FrameExport::frameFileName(7, 12345), QStringLiteral("frame-00007.png"));
    }

    void failedWrite_data()
    {
        QTest::addColumn<bool>("sizeLimit");
        QTest::addColumn<QString>("failing"); // the file named
        QTest::addColumn<QString>("cause");
        QTest::addColumn<QStringList>("left");
        // Both fail for root too: a folder under a frame's name cannot be replaced by a
        // file, and a file size limit binds every user.
        QTest::newRow("a folder under the second frame's name")
            << false << "frame-0002.png"
            << "directory" << QStringList({ "frame-0001.png", "frame-0002.png" });
        QTest::newRow("the file size limit reached in the first frame") << true << "frame-0001.png"
                                                                        << "File too large" << QStringList();
    }
    // One message naming the file and the cause; the export stops there and no file is
    // left cut short, under its name or a temporary one.
    void failedWrite()
    {
        QFETCH(bool, sizeLimit);
        QFETCH(QString, failing);
        QFETCH(QString, cause);
        QFETCH(QStringList, left);
        Frolix component;
        QCOMPARE(wtest::loadFile(component, m_gif), kAutomationTrue);
        const QString into = folder(QStringLiteral("failing-%1").arg(sizeLimit));
        if (!sizeLimit)
            QVERIFY(QDir(into).mkdir(failing));
        rlimit before {};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &before) == 0);
        auto* hadSignal = std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead
        rlimit small = before;
        small.rlim_cur = 40; // past the PNG signature and header
        QVERIFY(!sizeLimit || ::setrlimit(RLIMIT_FSIZE, &small) == 0);
        const FrameExport::Outcome outcome = exportInto(component, into);
        ::setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, hadSignal);
        QCOMPARE(outcome, FrameExport::Outcome::Failed);

        const auto boxes = component.findChildren<QMessageBox*>();
        QCOMPARE(boxes.size(), 1);
        QVERIFY(boxes.front()->isVisible());
        QVERIFY2(boxes.front()->text().contains(QDir(into).filePath(failing)), qPrintable(boxes.front()->text()));
        QVERIFY2(boxes.front()->text().contains(cause, Qt::CaseInsensitive), qPrintable(boxes.front()->text()));
        QCOMPARE(filesIn(into), left);
        if (!left.isEmpty())
            QCOMPARE(pixelBytes(rgba(QImage(QDir(into).filePath(left.front())))), reference(1));
    }

    // Cancel, here by the Escape key, stops the export after the file being written,
    // whose temporary file goes; every file left is a whole frame. Cancelled while the
    // GIF is still being read, it ends as cancelled too, with nothing written.
    void cancel()
    {
        constexpr int kFrames = 150;
        const QString gif = file(QStringLiteral("noise.gif"), noiseGif(kFrames));
        FrameExport early;
        QSignalSpy earlyEnd(&early, &FrameExport::finished);
        early.exportFrames(gif, folder(QStringLiteral("early")));
        early.cancel();
        QVERIFY(earlyEnd.wait(20000));
        QCOMPARE(earlyEnd.front().front().value<FrameExport::Outcome>(), FrameExport::Outcome::Canceled);
        QCOMPARE(filesIn(folder(QStringLiteral("early"))), QStringList());

        Frolix component;
        QCOMPARE(wtest::loadFile(component, gif), kAutomationTrue);
        const QString into = folder(QStringLiteral("cancelled"));
        auto* dialogs = component.findChild<FrameExportDialogs*>();
        QSignalSpy ended(dialogs, &FrameExportDialogs::ended);
        QSignalSpy progressed(dialogs->findChild<FrameExport*>(), &FrameExport::progress);
        component.exportFrames();
        QVERIFY(choose(component, into));
        QVERIFY(progressed.wait());
        auto* progress = component.findChild<QProgressDialog*>();
        QVERIFY(progress);
        QVERIFY(progress->labelText().contains(QStringLiteral("noise.gif")));
        QTest::keyClick(progress, Qt::Key_Escape);
        QVERIFY(ended.wait(20000));
        QCOMPARE(ended.front().front().value<FrameExport::Outcome>(), FrameExport::Outcome::Canceled);
        QVERIFY(component.findChildren<QMessageBox*>().isEmpty());

        const QStringList left = filesIn(into);
        QVERIFY2(left.size() < kFrames, qPrintable(left.join(' ')));
        static const QRegularExpression frameName(QStringLiteral("^frame-\\d{4}\\.png$"));
        for (const QString& name : left) {
            QVERIFY2(frameName.match(name).hasMatch(), qPrintable(name));
            QCOMPARE(QImage(QDir(into).filePath(name)).size(), QSize(128, 128));
        }
    }

    // The frame shown, at the picture's own size however it is shown, with its alpha,
    // under a name proposed from the GIF's; closed, the dialogs keep nothing for the next run.
    void saveFrame()
    {
        Frolix component;
        component.resize(100, 90);
        std::int16_t stretch = 1;
        component.setStretchMode(stretch);
        QCOMPARE(wtest::loadFile(component, m_gif), kAutomationTrue);
        component.Stop();
        component.showFrame(3);
        QTRY_VERIFY(!component.isComposing());
        QCOMPARE(component.CurrentFrame(), 3);

        QSignalSpy ended(component.findChild<FrameExportDialogs*>(), &FrameExportDialogs::ended);
        component.saveFrameAs();
        QFileDialog* dialog = fileDialog(component);
        QVERIFY(dialog);
        QCOMPARE(dialog->selectedFiles(), QStringList(m_dir.filePath(QStringLiteral("disposals-frame-0003.png"))));
        const QString saved = m_dir.filePath(QStringLiteral("saved"));
        QVERIFY(choose(component, saved)); // the suffix is added
        QVERIFY(ended.wait(20000));
        QCOMPARE(ended.front().front().value<FrameExport::Outcome>(), FrameExport::Outcome::Written);
        const QImage png(saved + QStringLiteral(".png"));
        QVERIFY(png.hasAlphaChannel());
        QCOMPARE(pixelBytes(rgba(png)), reference(3));

        // Saved again under that name: a question whether to replace it, which runs no
        // loop of its own; No goes back to choosing, Yes replaces the file.
        component.showFrame(4);
        QTRY_VERIFY(!component.isComposing());
        auto answer = [&](QMessageBox::StandardButton button) {
            QMessageBox* box = nullptr;
            if (!QTest::qWaitFor([&] { return (box = component.findChild<QMessageBox*>()) && box->isVisible(); }))
                return false;
            box->button(button)->click();
            return true;
        };
        component.saveFrameAs();
        QVERIFY(choose(component, saved + QStringLiteral(".png")));
        QVERIFY(answer(QMessageBox::No));
        QVERIFY(choose(component, saved + QStringLiteral(".png"))); // asked again
        QCOMPARE(pixelBytes(rgba(QImage(saved + QStringLiteral(".png")))), reference(3));
        QVERIFY(answer(QMessageBox::Yes));
        QVERIFY(ended.wait(20000));
        QCOMPARE(pixelBytes(rgba(QImage(saved + QStringLiteral(".png")))), reference(4));

        // The dialogs, closed, kept nothing for the next run.
        QTRY_VERIFY(!component.findChild<QFileDialog*>());
        QCOMPARE(filesIn(folder(QStringLiteral("config"))), QStringList());
    }

    // Copy frame: the frame shown as an image, alpha and all. Copy file: the file as a
    // URL, GNOME's copied-files list and the path as text; nothing for an animation
    // that came from no file.
    void copy()
    {
        Frolix component;
        QCOMPARE(wtest::loadFile(component, m_gif), kAutomationTrue);
        component.Stop();
        component.showFrame(3);
        QTRY_VERIFY(!component.isComposing());
        QClipboard* clipboard = QApplication::clipboard();
        clipboard->clear();
        component.copyFrame();
        QCOMPARE(pixelBytes(rgba(clipboard->image())), reference(3));

        component.copyFile();
        const QMimeData* data = clipboard->mimeData();
        QVERIFY(data);
        const QUrl url = QUrl::fromLocalFile(m_gif);
        QCOMPARE(data->urls(), QList<QUrl>({ url }));
        QCOMPARE(data->data(QStringLiteral("x-special/gnome-copied-files")), "copy\n" + url.toEncoded());
        QCOMPARE(data->text(), m_gif);

        clipboard->setText(QStringLiteral("before"));
        const QByteArray two = wtest::numberedGif(2);
        QVERIFY(component.showAnimation(std::vector<std::uint8_t>(two.begin(), two.end())));
        QVERIFY(!component.hasFile());
        component.copyFile();
        QCOMPARE(clipboard->text(), QStringLiteral("before"));
    }
};

QTEST_MAIN(FrameExportTest)
#include "FrameExportTest.moc"
