#pragma once
// GIF's variable-width LZW over an image's chain of data sub-blocks. A code's string is
// always an earlier stretch of the output (the string of the code before it plus one
// byte), so the table holds where that stretch starts and how long it is, and each code
// becomes one forward copy instead of a walk along a prefix chain. The table is flat and
// fixed (4096 entries); when it is full no entries are added and 12-bit codes keep
// coming until a clear code (the "deferred clear" that encoders rely on). Measured on
// harvesters.gif: see BENCHMARKS.md, "Decoding".
//
// An image may be decoded in pieces (a few rows at a time, drawn while they are still
// in the cache), to colour indices or straight to colours, and one decoder serves image
// after image: its buffers are kept, so a file of many small images allocates nothing
// per image.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace frolix::gif {

class LzwDecoder {
public:
    enum class Status {
        Running,
        Finished, // end code, the image full, or the sub-block chain ended properly
        DataEnded, // the file ended inside the data
        InvalidCode, // a code past the table; pixels up to it are kept
        BadMinCodeSize, // nothing can be decoded
    };

    // Starts an image of at most `count` pixels (what the stream holds beyond is
    // ignored), decoded to indices in a buffer of the decoder's own (see indices()).
    // data: the whole file; dataOffset: the image's first sub-block.
    void start(std::span<const std::uint8_t> data, std::size_t dataOffset, std::uint8_t minCodeSize, std::size_t count);
    // Whether decoding straight to colours is faster than drawing indices, judged by
    // how long the image's strings are on average.
    bool coloursPayOff() const;
    // Before the first decode(): straight to colours instead, each index looked up in
    // `palette` (256 entries) and the pixels written to `out` (`count` of them), one
    // after the other; nothing is written past the pixels decoded. Both must stay valid
    // while decoding.
    void intoColours(std::span<std::uint32_t> out, const std::uint32_t* palette);

    // Decodes until at least `upTo` pixels are there (more may come: codes are decoded
    // whole), the image is full or the stream stops, and returns how many pixels of the
    // image are decoded so far. Call it until the status is no longer Running.
    std::size_t decode(std::size_t upTo = SIZE_MAX);
    // The indices decoded so far, when decoding to indices; valid until the next start().
    std::span<const std::uint8_t> indices() const;

    Status status() const { return m_status; }
    // The code and table size at an invalid code, for the warning text.
    std::uint16_t invalidCode() const { return std::uint16_t(m_cursor.invalidCode); }
    std::uint16_t tableSize() const { return std::uint16_t(m_cursor.nextCode); }

    // Gives back buffers grown past `bytes` for one large image.
    void releaseBuffersOver(std::size_t bytes);

    static constexpr unsigned kMaxCodeSize = 12; // bits
    static constexpr unsigned kMaxCodes = 1u << kMaxCodeSize;
    // An entry per code and one past them all, which takes the stores made while the table is full.
    static constexpr std::size_t kTableSize = kMaxCodes + 1;
    static constexpr std::uint8_t kMaxMinCodeSize = kMaxCodeSize - 1; // clear and end codes must fit

    // Where decoding is; the decoding loops copy it into locals, which stay in registers.
    struct Cursor {
        std::uint64_t bits = 0;
        unsigned bitCount = 0;
        std::size_t position = 0; // next input byte to load
        unsigned codeSize = 0;
        std::uint32_t codeMask = 0;
        unsigned nextCode = 0;
        std::uint64_t pending = 0; // the entry the next code makes: the last string and one byte more
        std::size_t produced = 0;
        unsigned invalidCode = 0;
    };

private:
    // A buffer kept from one image to the next; grown, it holds nothing of before.
    struct Buffer {
        std::unique_ptr<std::uint8_t[]> bytes;
        std::size_t capacity = 0;
        bool reserve(std::size_t size); // whether it grew
    };

    // Copies the image's sub-blocks into one buffer, so codes are read with whole
    // 64-bit loads instead of byte by byte across block boundaries.
    void gatherSubBlocks(std::span<const std::uint8_t> data, std::size_t offset);
    template <typename Pixel> std::size_t decodeInto(Pixel* out, std::size_t upTo);
    // Before the first code: the literals' entries, for the image's minimum code size and
    // what it is decoded to.
    void prepareTable();

    Buffer m_input; // the data, followed by padding
    std::size_t m_inputSize = 0;
    Status m_inputEnd = Status::Finished; // what running out of input means
    // Each literal's value (2048 of them, the largest minimum code size's), the indices,
    // then room for the last string's copy.
    Buffer m_output;
    std::size_t m_origin = 0; // where the pixels start in the output's positions
    std::size_t m_count = 0; // pixels the image takes
    std::uint32_t* m_pixels = nullptr; // decoding to colours: the output
    const std::uint32_t* m_palette = nullptr;

    unsigned m_minCodeSize = 0;
    Cursor m_cursor;
    Status m_status = Status::Finished;
    bool m_started = false; // the first code since the start has been read
    // One entry per code: where its string starts in the output (bits 16 and up) and its
    // length (the low 16 bits), so a code costs one load and a new entry one store.
    // Length 0 marks the clear and end codes. Decoding to indices, a literal's entry
    // points at its value before the pixels, and stays so from image to image while the
    // minimum code size is the same (m_literalTable). Decoding to colours, a literal's
    // entry is 0 until it first comes: it is then written from its value and its entry
    // points at that pixel, so every string is copied from the output itself.
    std::uint64_t m_table[kTableSize];
    // The minimum code size the literals' entries and values are set for, or 0.
    unsigned m_literalTable = 0;
};

} // namespace frolix::gif
