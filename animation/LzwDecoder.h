#pragma once
// GIF's variable-width LZW, read straight from an image's chain of data sub-blocks.
// The table is flat and fixed (4096 entries, no allocation per code); each code's
// string is written backwards directly into the caller's buffer, so decoding costs one
// store per pixel. When the table is full no entries are added and 12-bit codes keep
// coming until a clear code (the "deferred clear" that encoders rely on).

#include <cstddef>
#include <cstdint>
#include <span>

namespace frolix::gif {

class LzwDecoder {
public:
    enum class Status {
        Running,
        Finished,       // end code, or the sub-block chain ended properly
        DataEnded,      // the file ended inside the data
        InvalidCode,    // a code past the table; pixels up to it are kept
        BadMinCodeSize, // nothing can be decoded
    };

    // data: the whole file; dataOffset: the first sub-block of the image.
    LzwDecoder(std::span<const std::uint8_t> data, std::size_t dataOffset, std::uint8_t minCodeSize);

    // Produces up to out.size() indices. Fewer means the stream has stopped (see status()).
    std::size_t read(std::span<std::uint8_t> out);

    Status status() const { return m_status; }
    // The code and table size at an invalid code, for the warning text.
    std::uint16_t invalidCode() const { return m_invalidCode; }
    std::uint16_t tableSize() const { return m_nextCode; }

    static constexpr std::uint8_t kMaxMinCodeSize = 11; // clear and end codes must fit in 12 bits

private:
    void resetTable();
    bool fillBits(unsigned needed);
    // Returns the next code, or -1 when the stream stopped.
    int nextCode();
    // Writes the string of `code` ending at dst[length-1]; length is m_length[code].
    void writeString(std::uint16_t code, std::uint8_t* dst) const;

    std::span<const std::uint8_t> m_data;
    std::size_t m_position;
    std::size_t m_blockRemaining = 0;
    std::uint64_t m_bits = 0;
    unsigned m_bitCount = 0;

    unsigned m_minCodeSize;
    unsigned m_codeSize = 0;
    std::uint16_t m_clearCode = 0;
    std::uint16_t m_endCode = 0;
    std::uint16_t m_nextCode = 0;
    int m_previousCode = -1;
    std::uint16_t m_invalidCode = 0;
    Status m_status = Status::Running;

    // A string longer than the caller's room waits here.
    std::uint8_t m_pending[4096];
    std::uint16_t m_pendingStart = 0;
    std::uint16_t m_pendingEnd = 0;

    std::uint16_t m_prefix[4096];
    std::uint8_t m_suffix[4096];
    std::uint8_t m_first[4096];
    std::uint16_t m_length[4096];
};

} // namespace frolix::gif
