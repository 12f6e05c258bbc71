#pragma once
// The bytes of a GIF file as the engine reads them: the file mapped read-only where the
// system allows it, so a large file costs no copy and no heap, or else (a pipe, a device,
// bytes handed over in memory) a buffer of its own.
//
// A mapped file's pages are read from the page cache as they are touched and count in
// the process's resident memory until they are released; release() gives them back, and
// the next read of them faults them in again. If another program cuts the file short
// while it is mapped, its missing pages read as zeros, which every reader of a GIF takes
// for data ending early, and the file notes where its bytes were lost (lostFrom).

#include "ByteSource.h"
#include "Result.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

namespace frolix {

// Reads a whole file into memory, up to a size limit, or says why it could not.
Result<std::vector<std::uint8_t>> readFileBytes(
    const std::filesystem::path& path, std::uintmax_t maxBytes = std::numeric_limits<std::uintmax_t>::max());

// A file that cannot be mapped is read into memory; past this size it is refused
// rather than read, since only a stream that never ends gets there.
inline constexpr std::uintmax_t kMaxReadBytes = std::uintmax_t(1) << 30;

class FileBytes final : public ByteSource {
public:
    static Result<std::shared_ptr<const FileBytes>> open(const std::filesystem::path& path);
    ~FileBytes();
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;

    std::span<const std::uint8_t> bytes() const override { return m_bytes; }
    bool isMapped() const { return m_mapping != nullptr; }
    // Drops the mapped pages of bytes [from, to) from this process's resident memory
    // (whole pages only); the bytes stay readable. Nothing to do for a buffer.
    void release(std::size_t from = 0, std::size_t to = SIZE_MAX) const override;
    // The offset from which the bytes read as zeros because the file shrank under the
    // mapping, once a read has met the loss (a whole page, so the file may end a little
    // before it); SIZE_MAX while nothing is lost.
    std::size_t lostFrom() const override { return m_lostFrom; }

    // Faults a mapped file's pages in on another thread, at most kResidentFileBytes
    // beyond what the reader says it has reached, so that a reader walking the whole
    // file (the scan) finds them mapped instead of waiting for each fault. Half of a
    // large file's scan is those faults. Does nothing for a buffer or a small file.
    class ReadAhead {
    public:
        explicit ReadAhead(const FileBytes& file);
        ~ReadAhead();
        ReadAhead(const ReadAhead&) = delete;
        ReadAhead& operator=(const ReadAhead&) = delete;
        void reached(std::size_t offset);

    private:
        void run();

        std::span<const std::uint8_t> m_bytes;
        std::atomic<std::size_t> m_reached { 0 };
        std::atomic<bool> m_stop { false };
        // Where the scan must reach before the waiting thread has work again; SIZE_MAX
        // when it is not waiting. Waking it sooner only puts it back to sleep.
        std::atomic<std::size_t> m_wakeAt { SIZE_MAX };
        std::mutex m_mutex;
        std::condition_variable m_wake;
        std::thread m_thread;
    };

private:
    friend struct MappingGuard;
    FileBytes() = default;
    // A file that could not be mapped, read into a buffer of its own.
    static std::shared_ptr<const FileBytes> hold(std::vector<std::uint8_t> bytes);

    void* m_mapping = nullptr;
    std::size_t m_mappedBytes = 0;
    mutable std::atomic<std::size_t> m_lostFrom { SIZE_MAX }; // set from a signal handler
    std::vector<std::uint8_t> m_buffer;
    std::span<const std::uint8_t> m_bytes;
};

} // namespace frolix
