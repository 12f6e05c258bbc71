#pragma once
// The three linked lists of the window: drives (mounted file systems), the folders of
// the current directory, and the GIF files in it. Each keeps the members the window's
// procedures use, and on a failure (a file system gone, a folder that cannot be read)
// emits failed() with a message naming the path and the cause, keeping the last state
// that worked.
//
// Paths are QString in the form of NativePath.h, so names that are not UTF-8 survive.

#include <QComboBox>
#include <QFileSystemWatcher>
#include <QListWidget>
#include <QTimer>

#include <optional>
#include <vector>

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

class DriveListBox : public QComboBox {
    Q_OBJECT
public:
    explicit DriveListBox(QWidget* parent = nullptr);

    // The selected drive: the path of the selected file system.
    QString Drive() const;
    // Selects the file system holding `path` without raising Change.
    void selectDriveHolding(const QString& path);
    void reloadMounts();

signals:
    void Change();

protected:
    // Media plugged in since the last look appear when the list is opened.
    void showPopup() override;

private:
    std::vector<MountPoint> m_mounts;
    int m_lastIndex = -1;
};

class DirListBox : public QListWidget {
    Q_OBJECT
public:
    explicit DirListBox(QWidget* parent = nullptr);

    QString Path() const { return m_path; }
    // Shows `path`: its ancestors from the root, then its subfolders. Raises Change
    // when the path changed; on failure emits failed() and keeps what it showed.
    bool setPath(const QString& path);

signals:
    void Change();
    void failed(const QString& message);

protected:
    bool viewportEvent(QEvent* event) override;

private:
    void open(QListWidgetItem* item);
    QString m_path;
    bool m_waiting = false; // for a folder to answer; other requests meanwhile are dropped
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
    bool refresh();

signals:
    // The user selected a file: a click, a navigation key, or type-ahead once typing
    // pauses. Focus arriving, a refresh or a selection made from code never raise it.
    void Click();
    void failed(const QString& message);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyboardSearch(const QString& search) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    enum class Report { Failures, Quietly };
    bool showDirectory(const QString& path, Report report);
    // A file deleted since it was listed is reported and the list shown afresh.
    void userSelected();
    QString m_path;
    QString m_pattern = QStringLiteral("*.gif");
    QString m_selectedAtPress;
    bool m_waiting = false; // for the folder to answer; other requests meanwhile are dropped
    bool m_searched = false; // the key being handled went to type-ahead
    bool m_releaseAfterDoubleClick = false;
    QTimer m_typeAhead; // loads where type-ahead landed once the typing pauses
    QTimer m_refreshSoon; // gathers the watcher's bursts into one listing
    QFileSystemWatcher m_watcher; // the folder shown, so the list follows it
};
