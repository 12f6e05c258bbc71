#pragma once
// The three linked lists of the window: drives (mounted file systems), the folders of
// the current directory, and the GIF files in it. Each keeps the members the window's
// procedures use, and on a failure (a file system gone, a folder that cannot be read)
// emits failed() with a message naming the path and the cause, keeping the last state
// that worked.
//
// The file system is asked off the window's thread (FileSystemWorker.h) and the lists
// change when it answers. A new request replaces the one waiting, whose answer is then
// dropped; while a folder is asked the list shows a busy cursor, and a folder that does not
// answer in 3 seconds is given up.
//
// Paths are QString in the form of NativePath.h, so names that are not UTF-8 survive.

#include "FileSystemWorker.h"
#include "FolderWatch.h"

#include <QComboBox>
#include <QListWidget>
#include <QTimer>

#include <functional>
#include <optional>
#include <vector>

namespace frolix {

struct MountPoint {
    QString path; // where it is mounted
    QString device; // what is mounted there
    QString type; // file system type
    bool answering = true; // false: it did not answer when last asked
};

// The mounted file systems a person browses: the root, real devices, network shares;
// never the kernel's pseudo file systems. Read from a mounts table in /proc format.
std::vector<MountPoint> browsableMounts(const QByteArray& mountsTable);
// The mount holding `path`: the longest mount path that is a prefix of it.
std::optional<std::size_t> mountHolding(const std::vector<MountPoint>& mounts, const QString& path);
// The directory and file name joined with exactly one "/" between them.
QString joinPath(const QString& directory, const QString& name);

// The one question a list waits for: asking again replaces it, and it is given up after 3
// seconds. The list `busy` names, if any, shows a busy cursor while it waits.
class PendingQuestion {
public:
    PendingQuestion(QAbstractItemView* busy, std::function<void()> givenUp);
    void ask(quint64 question);
    // Whether `question` is the one waited for; if it is, it is waited for no more.
    bool answeredBy(quint64 question);
    bool waiting() const { return m_question != 0; }
    void forget();

private:
    QAbstractItemView* m_busy;
    quint64 m_question = 0;
    QTimer m_giveUp;
};

class DriveListBox : public QComboBox {
    Q_OBJECT
public:
    explicit DriveListBox(QWidget* parent = nullptr);

    // The selected drive: the path of the selected file system.
    QString Drive() const;
    // Selects the file system holding `path` without raising Change.
    void selectDriveHolding(const QString& path);
    // Reads the mounts again and asks each whether it is there; the list changes once all
    // have answered or the deadline has passed.
    void reloadMounts();
    // Mounts asked and the list not yet changed.
    bool probing() const { return !m_asked.empty(); }

signals:
    void Change();

protected:
    // Media plugged in since the last look appear when the list is opened.
    void showPopup() override;

public:
    void hidePopup() override;

private:
    void probed(quint64 question, int error);
    void settle();
    std::vector<MountPoint> m_mounts; // those listed
    std::vector<MountPoint> m_candidates; // from the table, being asked
    std::vector<std::pair<quint64, std::size_t>> m_asked; // question, candidate
    std::vector<std::optional<bool>> m_isFolder; // each candidate's answer; none: not answering
    QTimer m_deadline; // one for all the mounts asked
    QString m_holding; // the path whose drive the first list selects
    bool m_listed = false; // the list has been filled once
    bool m_popupWanted = false; // the list opens once it has changed
    int m_lastIndex = -1;
};

class DirListBox : public QListWidget {
    Q_OBJECT
public:
    explicit DirListBox(QWidget* parent = nullptr);

    QString Path() const { return m_path; }
    // Asks for `path` and shows it when it answers: its ancestors from the root, then its
    // subfolders. Raises Change when the path shown changed; on failure emits failed() and
    // keeps what it showed.
    void setPath(const QString& path);
    // A folder is asked and not yet shown.
    bool waiting() const { return m_asked.waiting(); }

signals:
    void Change();
    void failed(const QString& message);

protected:
    bool viewportEvent(QEvent* event) override;

private:
    enum class Report { Failures, Quietly };
    void ask(const QString& path, Report report);
    void listed(quint64 question, const frolix::Listing& listing);
    void report(const QString& message);
    void open(QListWidgetItem* item);
    QString m_path;
    frolix::PendingQuestion m_asked;
    QString m_askedPath;
    Report m_askedReport = Report::Failures;
};

class FileListBox : public QListWidget {
    Q_OBJECT
public:
    explicit FileListBox(QWidget* parent = nullptr);

    QString Path() const { return m_path; }
    // The default member: the selected file's name, without its directory.
    QString FileName() const;
    // Assigning a directory shows that directory's files; assigning a listed name
    // selects it (without raising Click: only the user's selection does).
    void setFileName(const QString& value);
    QString Pattern() const { return m_pattern; }
    // Lists the files of the current path again, keeping the selected one.
    void refresh();
    // A folder is asked, or a selected file, and not yet answered.
    bool waiting() const { return m_asked.waiting() || m_checking.waiting(); }

signals:
    // The user selected a file: a click, a navigation key, or type-ahead once typing
    // pauses. Focus arriving, a refresh or a selection made from code never raise it.
    void Click();
    void failed(const QString& message);
    // A folder's files have been listed (the one asked for last).
    void shown();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyboardSearch(const QString& search) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    enum class Report { Failures, Quietly };
    void showDirectory(const QString& path, Report report);
    void listed(quint64 question, const frolix::Listing& listing);
    void report(const QString& message, Report how);
    // The selected file is asked for; Click is raised when it answers that it is there. A
    // file deleted since it was listed is reported and the list shown afresh.
    void userSelected();
    void checked(quint64 question, int error);
    QString m_path;
    QString m_pattern = QStringLiteral("*.gif");
    QString m_selectedAtPress;
    frolix::PendingQuestion m_asked; // the folder to show
    QString m_askedPath;
    Report m_askedReport = Report::Failures;
    frolix::PendingQuestion m_checking; // the file the user selected
    QString m_checkingName;
    bool m_searched = false; // the key being handled went to type-ahead
    bool m_releaseAfterDoubleClick = false;
    QTimer m_typeAhead; // loads where type-ahead landed once the typing pauses
    QTimer m_refreshSoon; // gathers the watcher's bursts into one listing
    frolix::FolderWatch m_watch; // the folder shown, so the list follows it
};

} // namespace frolix
