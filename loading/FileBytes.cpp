#include "FileBytes.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <system_error>

namespace frolix {

namespace {

// Owns an open file descriptor and closes it.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd)
        : m_fd(fd)
    {
    }
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

std::string because(const std::filesystem::path& path, int error)
{
    return path.string() + ": " + std::strerror(error);
}

} // namespace

// Another program may cut a file short while it is mapped here; a read of a page past
// its new end then raises SIGBUS on whichever thread read it, which would end the
// viewer. The handler below puts zero-filled pages over the mapping from the missing
// page on, and the read goes on: a GIF's data ends at a zero size byte, so the scan and
// the composer find data ending early and show what they have. Only a handler learns
// of the fault, and it can find the mapping only through state all threads share: this
// table, the handler it replaced and the page size. (A thread-local recovery point,
// left by siglongjmp, was the other way; it would skip the destructors of whatever
// reader faulted.) The spin lock is safe in the handler because no thread reads a
// mapping while it holds the lock.
struct MappingGuard {
    static constexpr std::size_t kSlots = 64;

    // False when no slot is free (or the handler cannot be set): the caller then reads
    // the file instead of mapping it.
    static bool add(const FileBytes& file)
    {
        static const bool installed = [] {
            pageSize = std::uintptr_t(::sysconf(_SC_PAGESIZE));
            struct sigaction action { };
            action.sa_sigaction = onBusError;
            action.sa_flags = SA_SIGINFO;
            sigemptyset(&action.sa_mask);
            return ::sigaction(SIGBUS, &action, &previous) == 0;
        }();
        if (!installed)
            return false;
        Lock lock;
        for (auto& slot : slots)
            if (!slot) {
                slot = &file;
                return true;
            }
        return false;
    }

    static void remove(const FileBytes& file)
    {
        Lock lock;
        std::replace(std::begin(slots), std::end(slots), &file, static_cast<const FileBytes*>(nullptr));
    }

    static void onBusError(int signal, siginfo_t* info, void* context)
    {
        const int savedErrno = errno;
        bool covered = false;
        if (info->si_code == BUS_ADRERR) {
            Lock lock;
            const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
            for (const FileBytes* file : slots)
                covered = covered || (file && cover(*file, address));
        }
        errno = savedErrno;
        if (covered)
            return;
        // Not one of our mappings: what would have happened without us.
        if (previous.sa_flags & SA_SIGINFO)
            previous.sa_sigaction(signal, info, context);
        else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN)
            previous.sa_handler(signal);
        else
            ::sigaction(signal, &previous, nullptr); // the read faults again and ends the process
    }

    static bool cover(const FileBytes& file, std::uintptr_t address)
    {
        const auto begin = reinterpret_cast<std::uintptr_t>(file.m_mapping);
        const std::uintptr_t end = begin + file.m_mappedBytes;
        if (address < begin || address >= end)
            return false;
        // mmap is a plain system call on Linux, safe here though POSIX does not list it.
        const std::uintptr_t page = address & ~(pageSize - 1);
        if (::mmap(reinterpret_cast<void*>(page), end - page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0)
            == MAP_FAILED)
            return false;
        file.m_lostFrom = std::min<std::size_t>(file.m_lostFrom, page - begin);
        return true;
    }

    struct Lock {
        Lock()
        {
            while (busy.test_and_set(std::memory_order_acquire)) { }
        }
        ~Lock() { busy.clear(std::memory_order_release); }
    };

    static inline std::atomic_flag busy;
    static inline const FileBytes* slots[kSlots] {};
    static inline struct sigaction previous;
    static inline std::uintptr_t pageSize = 0;
};

Result<std::vector<std::uint8_t>> readFileBytes(const std::filesystem::path& path, std::uintmax_t maxBytes)
{
    std::error_code error;
    auto status = std::filesystem::status(path, error);
    if (error)
        return makeError(Error::Kind::Io, path.string() + ": " + error.message());
    if (std::filesystem::is_directory(status))
        return makeError(Error::Kind::Io, path.string() + ": is a folder, not a file");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return makeError(Error::Kind::Io, path.string() + ": " + std::strerror(errno));
    std::vector<std::uint8_t> bytes;
    char buffer[1 << 16];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        bytes.insert(bytes.end(), buffer, buffer + in.gcount());
        if (bytes.size() > maxBytes)
            return makeError(Error::Kind::OverLimit,
                path.string() + ": larger than the limit of " + std::to_string(maxBytes) + " bytes");
    }
    if (in.bad())
        return makeError(Error::Kind::Io, path.string() + ": read failed");
    return bytes;
}

Result<std::shared_ptr<const FileBytes>> FileBytes::open(const std::filesystem::path& path)
{
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return makeError(Error::Kind::Io, because(path, errno));
    struct stat status { };
    if (::fstat(fd.get(), &status) != 0)
        return makeError(Error::Kind::Io, because(path, errno));
    if (S_ISDIR(status.st_mode))
        return makeError(Error::Kind::Io, path.string() + ": is a folder, not a file");

    if (S_ISREG(status.st_mode) && status.st_size > 0) {
        auto size = std::uintmax_t(status.st_size);
        if (size > SIZE_MAX)
            return makeError(Error::Kind::OverLimit,
                path.string() + ": " + std::to_string(size) + " bytes are more than this process can address");
        void* mapping = ::mmap(nullptr, std::size_t(size), PROT_READ, MAP_PRIVATE, fd.get(), 0);
        if (mapping != MAP_FAILED) {
            std::shared_ptr<FileBytes> file(new FileBytes);
            file->m_mapping = mapping;
            file->m_mappedBytes = std::size_t(size);
            file->m_bytes = std::span(static_cast<const std::uint8_t*>(mapping), std::size_t(size));
            if (MappingGuard::add(*file))
                return std::shared_ptr<const FileBytes>(std::move(file));
            // Unguarded, a file cut short would end the process: it is read instead.
        } else if (errno == ENOMEM) {
            return makeError(Error::Kind::OverLimit,
                path.string() + ": " + std::to_string(size) + " bytes do not fit in this process's address space");
        }
    }
    // Some file systems cannot map, and pipes and the files of /proc have no size to
    // map: those are read.
    FROLIX_TRY(std::vector<std::uint8_t> bytes, readFileBytes(path, kMaxReadBytes));
    return hold(std::move(bytes));
}

std::shared_ptr<const FileBytes> FileBytes::hold(std::vector<std::uint8_t> bytes)
{
    std::shared_ptr<FileBytes> file(new FileBytes);
    file->m_buffer = std::move(bytes);
    file->m_bytes = file->m_buffer;
    return file;
}

FileBytes::~FileBytes()
{
    if (!m_mapping)
        return;
    MappingGuard::remove(*this);
    ::munmap(m_mapping, m_mappedBytes);
}

void FileBytes::release(std::size_t from, std::size_t to) const
{
    if (!m_mapping)
        return;
    const std::size_t page = std::size_t(::sysconf(_SC_PAGESIZE));
    from = (from + page - 1) / page * page;
    to = std::min(to, m_mappedBytes);
    if (to != m_mappedBytes)
        to = to / page * page;
    if (from < to)
        ::madvise(static_cast<std::uint8_t*>(m_mapping) + from, to - from, MADV_DONTNEED);
}

} // namespace frolix

namespace frolix {

FileBytes::ReadAhead::ReadAhead(const FileBytes& file)
{
    // Below this the thread costs more than the faults it saves.
    constexpr std::size_t kWorthIt = 4u << 20;
    if (file.isMapped() && file.bytes().size() >= kWorthIt) {
        m_bytes = file.bytes();
        m_thread = std::thread([this] { run(); });
    }
}

FileBytes::ReadAhead::~ReadAhead()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void FileBytes::ReadAhead::reached(std::size_t offset)
{
    // Both sides store, then load the other's flag, so one of them sees the other.
    m_reached = offset;
    if (offset >= m_wakeAt) {
        std::lock_guard lock(m_mutex);
        m_wake.notify_one();
    }
}

void FileBytes::ReadAhead::run()
{
    // A fault maps the pages around it too (64 KiB on Linux by default), so one read
    // per 64 KiB is enough.
    constexpr std::size_t kStep = 64u << 10;
    // Woken once the scan has made room for this much, not for every step it takes.
    constexpr std::size_t kBatch = 1u << 20;
    const volatile std::uint8_t* bytes = m_bytes.data();
    std::uint8_t sink = 0;
    std::size_t at = 0;
    while (at < m_bytes.size() && !m_stop) {
        if (at > m_reached + kResidentFileBytes) {
            std::unique_lock lock(m_mutex);
            m_wakeAt = at + kBatch - kResidentFileBytes;
            m_wake.wait(lock, [&] { return m_stop || m_reached >= m_wakeAt; });
            m_wakeAt = SIZE_MAX;
            continue;
        }
        // Pages the reader has passed are not worth faulting in: it may have given them back.
        at = std::max<std::size_t>(at, m_reached);
        sink ^= bytes[at];
        at += kStep;
    }
    (void)sink;
}

} // namespace frolix
