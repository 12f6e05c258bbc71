#include "FrameExportDialogs.h"

#include "ComponentLogging.h"
#include "NativePath.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

#include <thread>

namespace frolix {

namespace {
const QString kSaveTitle = QStringLiteral("Save this frame as PNG");
const QString kExportTitle = QStringLiteral("Export all frames");
// Work that ends sooner shows no progress at all.
constexpr int kProgressAfterMs = 500;
// A file or folder slower than this to answer is taken for one on a share that does not answer.
constexpr int kPathAnswersWithinMs = 1000;

// Qt's file dialog keeps its history, last folder and layout in settings that every Qt
// program of the user shares. The viewer keeps nothing between runs and has no settings
// of its own, so they are pointed where no file can be: read, they hold nothing; written,
// they go nowhere.
QFileDialog* newFileDialog(QWidget* parent, const QString& title, const QString& path, const QString& filter = {})
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
    auto* dialog = new QFileDialog(parent, title, path, filter);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    return dialog;
}
} // namespace

FrameExportDialogs::FrameExportDialogs(QWidget* parent)
    : QObject(parent)
    , m_parent(parent)
{
    m_export.setParent(this); // found by tests among the children
    connect(&m_export, &FrameExport::progress, this, [this](int done, int total) {
        if (!m_progress)
            return;
        m_progress->setMaximum(total);
        m_progress->setValue(done);
    });
    connect(&m_export, &FrameExport::finished, this, &FrameExportDialogs::exportEnded);
}

FrameExportDialogs::~FrameExportDialogs() { delete m_progress; }

QString FrameExportDialogs::proposedFrameName(const QString& gifPath, int number, int frameCount)
{
    const QString name = FrameExport::frameFileName(number, frameCount);
    if (gifPath.isEmpty()) {
        QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        if (folder.isEmpty())
            folder = QDir::homePath();
        return QDir(folder).filePath(name);
    }
    const QFileInfo gif(gifPath); // names only: nothing here asks the file system
    return QDir(gif.path()).filePath(gif.completeBaseName() + QLatin1Char('-') + name);
}

void FrameExportDialogs::saveFrame(QImage frame, const QString& gifPath, int number, int frameCount)
{
    askWhereToSave(std::move(frame), proposedFrameName(gifPath, number, frameCount));
}

void FrameExportDialogs::whenAnswered(const QString& path, std::function<void(bool answered)> then)
{
    const quint64 question = ++m_pathQuestion;
    auto settle = [this, question, path, then = std::move(then)](bool answered) {
        if (question != m_pathQuestion)
            return; // settled already, or asked again since
        ++m_pathQuestion;
        if (!answered)
            qCWarning(logComponent, "%s does not answer; the dialog opens at the home folder", qPrintable(path));
        then(answered);
    };
    QTimer::singleShot(kPathAnswersWithinMs, this, [settle] { settle(false); });
    askWhetherExists(path, [settle](bool) { settle(true); }); // whatever it says, it answered
}

void FrameExportDialogs::askWhetherExists(const QString& path, std::function<void(bool exists)> then)
{
    // On a thread of its own: the path may be on a share that does not answer. The answer
    // comes back through the application object, which outlives this, and finds this
    // gone if it went meanwhile.
    QPointer<FrameExportDialogs> self(this);
    std::thread([self, path, then = std::move(then)]() mutable {
        const bool exists = QFileInfo::exists(path);
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(
                app,
                [self, exists, then = std::move(then)] {
                    if (self)
                        then(exists);
                },
                Qt::QueuedConnection);
    }).detach();
}

void FrameExportDialogs::askWhereToSave(QImage frame, const QString& proposed)
{
    whenAnswered(proposed, [this, frame = std::move(frame), proposed](bool answered) {
        openSaveDialog(frame, answered ? proposed : QDir::home().filePath(QFileInfo(proposed).fileName()));
    });
}

void FrameExportDialogs::openSaveDialog(QImage frame, const QString& proposed)
{
    auto* dialog = newFileDialog(m_parent, kSaveTitle, proposed, QStringLiteral("PNG images (*.png)"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("png"));
    // The dialog's own question whether to replace a file runs an event loop of its own;
    // ours (confirmReplace) does not.
    dialog->setOption(QFileDialog::DontConfirmOverwrite);
    dialog->selectFile(proposed);
    connect(dialog, &QFileDialog::fileSelected, this,
        [this, frame = std::move(frame)](const QString& path) { confirmReplace(frame, path); });
    dialog->open();
}

void FrameExportDialogs::confirmReplace(QImage frame, const QString& path)
{
    askWhetherExists(path, [this, frame = std::move(frame), path](bool taken) {
        if (!taken)
            return writeFrame(frame, path);
        auto* box = new QMessageBox(QMessageBox::Question, kSaveTitle,
            QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(QDir::toNativeSeparators(path)),
            QMessageBox::Yes | QMessageBox::No, m_parent);
        box->setDefaultButton(QMessageBox::No);
        box->setAttribute(Qt::WA_DeleteOnClose);
        connect(box, &QMessageBox::finished, this, [this, frame, path](int answer) {
            if (answer == QMessageBox::Yes)
                writeFrame(frame, path);
            else // back to choosing, at the name given
                askWhereToSave(frame, path);
        });
        box->open();
    });
}

void FrameExportDialogs::writeFrame(QImage frame, const QString& path)
{
    // Each save has a writer of its own, so one still writing is not cut short.
    auto* writer = new FrameExport(this);
    connect(writer, &FrameExport::finished, this, [this, writer](FrameExport::Outcome outcome, const QString& message) {
        writer->deleteLater();
        report(outcome, kSaveTitle, message);
    });
    writer->savePng(std::move(frame), path);
}

void FrameExportDialogs::exportFrames(const QString& gifPath)
{
    if (gifPath.isEmpty())
        return;
    if (m_export.busy() && m_progress) {
        m_progress->show();
        m_progress->raise();
        m_progress->activateWindow();
        return;
    }
    const QString folder = QFileInfo(gifPath).path();
    whenAnswered(folder, [this, gifPath, folder](bool answered) {
        auto* dialog = newFileDialog(m_parent, kExportTitle, answered ? folder : QDir::homePath());
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly);
        dialog->setLabelText(QFileDialog::Accept, QStringLiteral("&Export"));
        connect(dialog, &QFileDialog::fileSelected, this,
            [this, gifPath](const QString& into) { startExport(gifPath, into); });
        dialog->open();
    });
}

void FrameExportDialogs::startExport(const QString& gifPath, const QString& folder)
{
    delete m_progress;
    const QString label = QStringLiteral("Exporting the frames of %1 to %2")
                              .arg(displayName(QFileInfo(gifPath).fileName()), QDir::toNativeSeparators(folder));
    m_progress = new QProgressDialog(label, QStringLiteral("Cancel"), 0, 0, m_parent);
    m_progress->setWindowTitle(kExportTitle);
    // Not modal: a modal progress dialog runs the event loop inside setValue().
    m_progress->setWindowModality(Qt::NonModal);
    m_progress->setAutoReset(false);
    m_progress->setAutoClose(false);
    m_progress->setMinimumDuration(kProgressAfterMs);
    m_progress->setValue(0); // from now, it shows itself once kProgressAfterMs pass
    connect(m_progress, &QProgressDialog::canceled, this, &FrameExportDialogs::cancelExport);
    // Escape rejects the dialog without its canceled().
    connect(m_progress, &QDialog::rejected, this, &FrameExportDialogs::cancelExport);
    qCInfo(logComponent, "exporting the frames of %s to %s", qPrintable(gifPath), qPrintable(folder));
    m_export.exportFrames(gifPath, folder);
}

void FrameExportDialogs::cancelExport()
{
    m_export.cancel();
    // Gone at once: an export asked for next starts anew, even while this one is still
    // held in a read and has yet to stop.
    if (m_progress)
        m_progress->deleteLater();
    m_progress = nullptr;
}

void FrameExportDialogs::exportEnded(FrameExport::Outcome outcome, const QString& message)
{
    if (m_progress)
        m_progress->deleteLater();
    report(outcome, kExportTitle, message);
}

void FrameExportDialogs::report(FrameExport::Outcome outcome, const QString& title, const QString& message)
{
    if (outcome == FrameExport::Outcome::Failed) {
        qCInfo(logComponent, "%s", qPrintable(message));
        auto* box = new QMessageBox(QMessageBox::Warning, title, message, QMessageBox::Ok, m_parent);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    }
    emit ended(outcome);
}

} // namespace frolix
