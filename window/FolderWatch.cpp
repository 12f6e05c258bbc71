#include "FolderWatch.h"

#include "WindowLogging.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>
#include <utility>

namespace frolix {

namespace {

// Names made, removed or renamed, and the folder itself going; a file written in place
// leaves the list as it is, so its writes wake nobody.
constexpr std::uint32_t kWatchedEvents
    = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

} // namespace

WatchDescriptor::WatchDescriptor()
    : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
{
    if (m_fd < 0)
        qCWarning(logLists, "the file list will not follow its folder: %s", std::strerror(errno));
}

WatchDescriptor::~WatchDescriptor()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int WatchDescriptor::watchFolder(const std::string& pathBytes) const
{
    return m_fd < 0 ? -1 : ::inotify_add_watch(m_fd, pathBytes.c_str(), kWatchedEvents);
}

FolderWatch::FolderWatch(QObject* parent)
    : QObject(parent)
    , m_descriptor(std::make_shared<const WatchDescriptor>())
{
    if (m_descriptor->fd() < 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(m_descriptor->fd(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &FolderWatch::readEvents);
}

FolderWatch::~FolderWatch() = default;

void FolderWatch::follow(int watch)
{
    if (watch != m_followed)
        m_putAside.push_back(m_followed);
    m_followed = watch;
    for (int old : std::exchange(m_putAside, {}))
        if (old >= 0 && old != m_followed)
            ::inotify_rm_watch(m_descriptor->fd(), old);
}

void FolderWatch::drop(int watch, bool laterAnswerDue)
{
    if (watch < 0 || watch == m_followed)
        return;
    if (laterAnswerDue)
        m_putAside.push_back(watch);
    else
        ::inotify_rm_watch(m_descriptor->fd(), watch);
}

void FolderWatch::readEvents()
{
    alignas(inotify_event) std::array<char, 4096> buffer;
    bool ours = false;
    for (;;) {
        const ssize_t got = ::read(m_descriptor->fd(), buffer.data(), buffer.size());
        if (got <= 0)
            break;
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + at);
            ours = ours || (event->wd == m_followed && !(event->mask & IN_IGNORED)) || (event->mask & IN_Q_OVERFLOW);
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
    if (ours)
        emit changed();
}

} // namespace frolix
