#pragma once
// GIF's variable-width LZW over an image's chain of data sub-blocks, decoding a whole
// image in one call. A code's string is always an earlier stretch of the output (the
// string of the code before it plus one byte), so the table holds where that stretch
// starts and how long it is, and each code becomes one forward copy instead of a walk
// along a prefix chain. The table is flat and fixed (4096 entries); when it is full no
// entries are added and 12-bit codes keep coming until a clear code (the "deferred
// clear" that encoders rely on). Measured on harvesters.gif: see BENCHMARKS.md.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace frolix::gif {

class LzwDecoder {
public:
    enum class Status {
        Running,
        Finished, // end code, or the sub-block chain ended properly
        DataEnded, // the file ended inside the data
        InvalidCode, // a code past the table; pixels up to it are kept
        BadMinCodeSize, // nothing can be decoded
    };

    // data: the whole file; dataOffset: the first sub-block of the image.
    LzwDecoder(std::span<const std::uint8_t> data, std::size_t dataOffset, std::uint8_t minCodeSize);

    // Decodes into `out` until it is full or the stream stops, and returns how many
    // indices it wrote. One call per decoder: the table points into `out`.
    std::size_t decode(std::span<std::uint8_t> out);

    Status status() const { return m_status; }
    // The code and table size at an invalid code, for the warning text.
    std::uint16_t invalidCode() const { return m_invalidCode; }
    std::uint16_t tableSize() const { return m_nextCode; }

    static constexpr std::uint8_t kMaxMinCodeSize = 11; // clear and end codes must fit in 12 bits

private:
    // Copies the image's sub-blocks into one buffer, so codes are read with whole
    // 64-bit loads instead of byte by byte across block boundaries.
    void gatherSubBlocks(std::span<const std::uint8_t> data, std::size_t offset);

    std::vector<std::uint8_t> m_input; // the data, followed by padding
    std::size_t m_inputSize = 0;
    Status m_inputEnd = Status::Finished; // what running out of input means

    unsigned m_minCodeSize;
    std::uint16_t m_clearCode = 0;
    std::uint16_t m_endCode = 0;
    std::uint16_t m_nextCode = 0;
    std::uint16_t m_invalidCode = 0;
    Status m_status = Status::Running;
};

} // namespace frolix::gif
