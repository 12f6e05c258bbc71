#pragma once
// The bytes of a GIF as the engine reads them. The engine never opens a file: whoever
// holds the bytes (a buffer in memory, a file mapped by the loader) lends them through
// this, and says how their memory is given back and whether some were lost.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace frolix {

// How much of a file's bytes the engine lets stay resident before it asks for their
// pages to be given back: enough that releasing costs nothing noticeable, little beside
// a frame's canvas.
inline constexpr std::size_t kResidentFileBytes = 8u << 20;

class ByteSource {
public:
    virtual ~ByteSource() = default;

    virtual std::span<const std::uint8_t> bytes() const = 0;
    // Bytes [from, to) are not needed for a while: a mapping may drop their pages from
    // resident memory; they stay readable. A buffer has nothing to give back.
    virtual void release(std::size_t from = 0, std::size_t to = SIZE_MAX) const
    {
        (void)from;
        (void)to;
    }
    // The offset from which the bytes read as zeros because the file shrank under them,
    // once a read has met the loss; SIZE_MAX while nothing is lost.
    virtual std::size_t lostFrom() const { return SIZE_MAX; }
};

// Bytes held in memory, owned by the source.
std::shared_ptr<const ByteSource> holdBytes(std::vector<std::uint8_t> bytes);

} // namespace frolix
