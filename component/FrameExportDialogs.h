#pragma once
// The dialogs around saving the frame shown and exporting every frame: Qt's own file
// dialog to choose where, a progress dialog with Cancel for an export that takes longer
// than half a second, and one message when a file cannot be written. None of them runs
// an event loop of its own; the writing is FrameExport's, off this thread. Qt's file
// dialog looks at the file or folder it starts at on this thread, so that is asked about
// first on another: one that does not answer in time (on a hung share) gives way to the
// home folder.

#include "FrameExport.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QProgressDialog;
class QWidget;

namespace frolix {

class FrameExportDialogs : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY(FrameExportDialogs)
public:
    // The dialogs open over `parent`, which owns this.
    explicit FrameExportDialogs(QWidget* parent);
    ~FrameExportDialogs() override;

    // Asks where to save `frame`, frame `number` of `frameCount`, proposing a name made
    // from `gifPath`'s (empty when it came from no file) in its folder, and saves it.
    void saveFrame(QImage frame, const QString& gifPath, int number, int frameCount);
    // Asks for a folder, starting at the GIF's, and exports every frame of the GIF there.
    // While an export runs, its progress is brought forward instead; one cancelled is
    // replaced.
    void exportFrames(const QString& gifPath);

    // The name proposed for frame `number` of `frameCount` of the GIF at `gifPath`.
    static QString proposedFrameName(const QString& gifPath, int number, int frameCount);

signals:
    // A save or an export has ended; a failure's message is up.
    void ended(frolix::FrameExport::Outcome outcome);

private:
    // `then` hears whether `path` answered within its time; only the newest question is
    // answered.
    void whenAnswered(const QString& path, std::function<void(bool answered)> then);
    // `then` hears, on this thread and only while this lives, whether `path` exists.
    void askWhetherExists(const QString& path, std::function<void(bool exists)> then);
    void askWhereToSave(QImage frame, const QString& proposed);
    void openSaveDialog(QImage frame, const QString& proposed);
    // Writes the frame at once where no file is in the way; else asks first.
    void confirmReplace(QImage frame, const QString& path);
    void writeFrame(QImage frame, const QString& path);
    void startExport(const QString& gifPath, const QString& folder);
    void cancelExport();
    void exportEnded(FrameExport::Outcome outcome, const QString& message);
    void report(FrameExport::Outcome outcome, const QString& title, const QString& message);

    QWidget* m_parent;
    FrameExport m_export;
    QPointer<QProgressDialog> m_progress;
    quint64 m_pathQuestion = 0; // the newest, or one past it once settled
};

} // namespace frolix
