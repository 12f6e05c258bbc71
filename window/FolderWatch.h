#pragma once
// Tells when the folder a list shows changes, without the window's thread ever naming a
// path to the kernel: a watch is added by the lane that lists the folder (a hung share
// blocks that lane, not the window), right after it has read the entries, and reaches
// the list with the listing. Removing a watch and reading its events name no path, so
// the window's thread does those.

#include <QObject>
#include <QSocketNotifier>

#include <memory>
#include <string>
#include <vector>

namespace frolix {

// An inotify instance. Lanes still adding a watch hold it too, so its descriptor is
// never closed (and reused) under them.
class WatchDescriptor {
public:
    WatchDescriptor();
    ~WatchDescriptor();
    WatchDescriptor(const WatchDescriptor&) = delete;
    WatchDescriptor& operator=(const WatchDescriptor&) = delete;

    int fd() const { return m_fd; }
    // A watch on the folder `pathBytes`, or -1. Touches the file system: lanes only.
    int watchFolder(const std::string& pathBytes) const;

private:
    int m_fd;
};

class FolderWatch : public QObject {
    Q_OBJECT
public:
    explicit FolderWatch(QObject* parent = nullptr);
    ~FolderWatch() override;

    // What a lane adds its watch to.
    std::shared_ptr<const WatchDescriptor> descriptor() const { return m_descriptor; }
    // Follows the folder of watch `watch` (from a listing; -1 for none) from now on,
    // dropping the one followed before and those put aside.
    void follow(int watch);
    // A watch that came with an answer nobody wanted. The kernel gives one folder the same
    // number however often it is watched, so it stays while it is the one followed, and is
    // put aside while a later answer is due, which may carry the same number.
    void drop(int watch, bool laterAnswerDue);

signals:
    // Something in the followed folder was made, removed or renamed, or the folder itself.
    void changed();

private:
    void readEvents();

    std::shared_ptr<const WatchDescriptor> m_descriptor;
    std::unique_ptr<QSocketNotifier> m_notifier;
    int m_followed = -1;
    std::vector<int> m_putAside;
};

} // namespace frolix
