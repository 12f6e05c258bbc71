#include "FileSystemWorker.h"

#include "FolderWatch.h"
#include "NativePath.h"
#include "WindowLogging.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>

namespace frolix {

namespace {

// Enough for every drive of a desktop hung at once with room to browse; past it, questions
// wait for a lane to come free (a hung share blocks at most for its own timeout).
constexpr int kMostLanes = 32;
constexpr auto kIdleLife = std::chrono::seconds(30);

// Reads a folder's entries as bytes, following symbolic links to see what they name.
Listing listDirectory(const std::string& bytes)
{
    Listing listing;
    int fd = ::open(bytes.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        listing.error = errno;
        return listing;
    }
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(fd), &::closedir);
    if (!dir) {
        listing.error = errno;
        ::close(fd);
        return listing;
    }
    errno = 0;
    while (dirent* entry = ::readdir(dir.get())) {
        std::string_view name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        DirEntry item;
        item.name = pathTextFromBytes(name);
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN || type == DT_LNK) {
            struct stat info;
            if (::fstatat(::dirfd(dir.get()), entry->d_name, &info, 0) == 0) // dangling links fail here
                type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISREG(info.st_mode) ? DT_REG : DT_UNKNOWN;
            else
                type = DT_UNKNOWN;
        }
        item.isDirectory = type == DT_DIR;
        item.isFile = type == DT_REG;
        listing.entries.push_back(std::move(item));
        errno = 0;
    }
    if (errno != 0)
        listing.error = errno;
    return listing;
}

int fileError(const std::string& bytes)
{
    struct stat info;
    if (::stat(bytes.c_str(), &info) != 0)
        return errno;
    return S_ISREG(info.st_mode) ? 0 : S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
}

int folderError(const std::string& bytes)
{
    struct stat info;
    if (::stat(bytes.c_str(), &info) != 0)
        return errno;
    return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

} // namespace

struct FileSystemWorker::Lanes {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> jobs;
    int count = 0; // threads made and not ended
    int idle = 0; // of them, those waiting for a job

    void run(std::function<void()> job)
    {
        std::lock_guard lock(mutex);
        jobs.push_back(std::move(job));
        if (idle >= int(jobs.size())) {
            wake.notify_one();
            return;
        }
        if (count >= kMostLanes)
            return; // taken by the first lane to come free
        try {
            std::thread([this] { serve(); }).detach();
            ++count;
        } catch (const std::system_error& error) {
            qCWarning(logLists, "no thread to ask the file system on: %s", error.what());
        }
    }

    void serve()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            ++idle;
            const bool work = wake.wait_for(lock, kIdleLife, [this] { return !jobs.empty(); });
            --idle;
            if (!work) {
                if (count > 1) {
                    --count;
                    return;
                }
                continue;
            }
            std::function<void()> job = std::move(jobs.front());
            jobs.pop_front();
            lock.unlock();
            job();
            lock.lock();
        }
    }
};

FileSystemWorker::FileSystemWorker()
    : m_lanes(new Lanes)
{
}

FileSystemWorker& FileSystemWorker::shared()
{
    static FileSystemWorker* const worker = new FileSystemWorker;
    return *worker;
}

quint64 FileSystemWorker::nextQuestion()
{
    static std::atomic<quint64> last { 0 };
    return ++last;
}

int FileSystemWorker::lanes() const
{
    std::lock_guard lock(m_lanes->mutex);
    return m_lanes->count;
}

quint64 FileSystemWorker::list(const QString& path, std::shared_ptr<const WatchDescriptor> watch)
{
    const quint64 question = nextQuestion();
    m_lanes->run([this, question, watch = std::move(watch),
                     bytes = pathBytesFromText(path.isEmpty() ? QStringLiteral("/") : path)] {
        Listing listing = listDirectory(bytes);
        if (watch && listing.error == 0) {
            listing.watch = watch->watchFolder(bytes);
            listing.watchedOn = watch;
        }
        emit listed(question, listing);
    });
    return question;
}

quint64 FileSystemWorker::checkFile(const QString& path)
{
    const quint64 question = nextQuestion();
    m_lanes->run([this, question, bytes = pathBytesFromText(path)] { emit checked(question, fileError(bytes)); });
    return question;
}

quint64 FileSystemWorker::probe(const QString& path)
{
    const quint64 question = nextQuestion();
    auto same = std::find_if(m_probing.begin(), m_probing.end(), [&](const auto& p) { return p.first == path; });
    if (same != m_probing.end()) {
        same->second.push_back(question);
        return question;
    }
    m_probing.push_back({ path, { question } });
    m_lanes->run([this, path, bytes = pathBytesFromText(path)] {
        const int error = folderError(bytes);
        QMetaObject::invokeMethod(
            this, [this, path, error] { probeAnswered(path, error); }, Qt::QueuedConnection);
    });
    return question;
}

void FileSystemWorker::probeAnswered(const QString& path, int error)
{
    auto same = std::find_if(m_probing.begin(), m_probing.end(), [&](const auto& p) { return p.first == path; });
    if (same == m_probing.end())
        return;
    const std::vector<quint64> questions = std::move(same->second);
    m_probing.erase(same);
    for (quint64 question : questions)
        emit probed(question, error);
}

} // namespace frolix
