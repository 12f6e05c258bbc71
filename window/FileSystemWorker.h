#pragma once
// Asks the file system off the window's thread and answers on it by queued signals. A hung
// network share or a dead device can block a stat() or a folder read for minutes; only the
// thread asking stays blocked then, never the window, and never the other questions.
//
// Each question goes to a lane (a thread) that is free, made when none is. A lane stuck in a
// call is left to it: it is never waited for nor joined, later questions go to other lanes,
// and the process ends without it. Lanes are kept for the next questions; those beyond the
// first end after a while with nothing to do.
//
// Every question has a number, unique in the process, that its answer carries: a list keeps
// the number of the one it waits for and drops any other answer.

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

namespace frolix {

class WatchDescriptor;

struct DirEntry {
    QString name; // NativePath form
    bool isDirectory = false;
    bool isFile = false;
};

struct Listing {
    std::vector<DirEntry> entries;
    int error = 0; // errno when the folder could not be read
    // The watch added, once the entries were read, on the descriptor the question named.
    std::shared_ptr<const WatchDescriptor> watchedOn;
    int watch = -1;
};

class FileSystemWorker : public QObject {
    Q_OBJECT
public:
    // The one the lists share. It is never destroyed, so a lane that comes back late from
    // a hung call always has somewhere to answer, even while the process ends.
    static FileSystemWorker& shared();

    // A folder's entries: answered by listed(). With `watch`, the folder is watched on it
    // as soon as its entries are read, so no change after the reading goes unseen.
    quint64 list(const QString& path, std::shared_ptr<const WatchDescriptor> watch = nullptr);
    // Whether `path` can be opened as a file: answered by checked() with 0, or the errno
    // (EISDIR for a folder, EINVAL for anything else that is no regular file).
    quint64 checkFile(const QString& path);
    // Whether a mount's path is a folder: answered by probed() with 0, ENOTDIR for
    // anything else, or the errno of a look that failed. While one probe of a path is
    // unanswered, asking again starts none: both are answered by the one.
    quint64 probe(const QString& path);

    // Threads made and not ended, whether free or stuck.
    int lanes() const;

signals:
    void listed(quint64 question, const frolix::Listing& listing);
    void checked(quint64 question, int error);
    void probed(quint64 question, int error);

private:
    FileSystemWorker();
    quint64 nextQuestion();
    void probeAnswered(const QString& path, int error);

    struct Lanes;
    Lanes* m_lanes; // shared with the threads; as the worker, never freed
    std::vector<std::pair<QString, std::vector<quint64>>> m_probing; // path, questions waiting for it
};

} // namespace frolix
