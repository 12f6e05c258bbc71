#include "FileBytes.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <system_error>

namespace frolix {

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd)
        : m_fd(fd)
    {
    }
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

std::string because(const std::filesystem::path& path, int error)
{
    return path.string() + ": " + std::strerror(error);
}

} // namespace

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
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
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
            return std::shared_ptr<const FileBytes>(std::move(file));
        }
        if (errno == ENOMEM)
            return makeError(Error::Kind::OverLimit,
                path.string() + ": " + std::to_string(size) + " bytes do not fit in this process's address space");
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
    if (m_mapping)
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
