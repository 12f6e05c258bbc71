// The LZW decoder on its own: round trips through a real encoder (a full table kept,
// cleared or frozen) and hand-written code sequences for the corner cases.

#include "GifBuilder.h"
#include "LzwDecoder.h"

#include <gtest/gtest.h>

#include <random>

namespace frolix::test {
namespace {

using gif::LzwDecoder;
using Status = LzwDecoder::Status;

struct Decoded {
    std::vector<std::uint8_t> indices;
    Status status;
    std::uint16_t invalidCode;
};

// Decodes with room for `capacity` pixels (0: plenty), all at once or `step` at a time,
// to indices or straight to colours, and keeps what was decoded as indices. Decoding to
// colours must leave every pixel past the decoded ones as it was.
Decoded decodeWith(LzwDecoder& decoder, const Bytes& data, unsigned minCodeSize, std::size_t capacity = 0,
    std::size_t step = 0, bool colours = false)
{
    capacity = capacity ? capacity : std::size_t(4) << 20;
    constexpr std::uint32_t kUntouched = 0x5EAF00DD;
    std::vector<std::uint32_t> palette(256), pixels;
    for (unsigned i = 0; i < 256; ++i)
        palette[i] = 0xC0000000u | i;
    decoder.start(data, 0, std::uint8_t(minCodeSize), capacity);
    if (colours) {
        pixels.assign(capacity, kUntouched);
        decoder.intoColours(pixels, palette.data());
    }
    std::size_t got = 0;
    do
        got = decoder.decode(step ? got + step : SIZE_MAX);
    while (decoder.status() == Status::Running);
    Decoded out { {}, decoder.status(), decoder.invalidCode() };
    if (!colours) {
        const auto indices = decoder.indices();
        EXPECT_EQ(indices.size(), got);
        out.indices.assign(indices.begin(), indices.end());
        return out;
    }
    for (std::size_t i = 0; i < got; ++i)
        out.indices.push_back(std::uint8_t(pixels[i]));
    auto written
        = std::find_if(pixels.begin() + std::ptrdiff_t(got), pixels.end(), [](auto p) { return p != kUntouched; });
    EXPECT_EQ(written, pixels.end()) << "pixel " << (written - pixels.begin()) << " written past the " << got
                                     << " decoded";
    return out;
}

Decoded decode(
    const Bytes& data, unsigned minCodeSize, std::size_t capacity = 0, std::size_t step = 0, bool colours = false)
{
    LzwDecoder decoder;
    return decodeWith(decoder, data, minCodeSize, capacity, step, colours);
}

std::vector<std::uint8_t> randomIndices(std::size_t count, unsigned colours, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> out(count);
    for (auto& index : out)
        index = std::uint8_t(random() % colours);
    return out;
}

// Blocks of 1 to 40 indices, each repeated many times: strings copied from every
// distance up to 40 bytes back, short of, across and past the copy's 8 and 16-byte moves.
std::vector<std::uint8_t> shortPeriods(unsigned seed)
{
    std::vector<std::uint8_t> out;
    for (unsigned period = 1; period <= 40; ++period) {
        std::vector<std::uint8_t> block = randomIndices(period, 256, seed + period);
        for (int repeat = 0; repeat < 30; ++repeat)
            out.insert(out.end(), block.begin(), block.end());
    }
    return out;
}

struct RoundTrip {
    const char* name;
    std::vector<std::uint8_t> indices;
    unsigned minCodeSize;
    LzwOptions options;
    std::size_t blockSize;
    std::size_t capacity; // of the output buffer; 0: plenty
};

class LzwRoundTrip : public ::testing::TestWithParam<RoundTrip> { };

TEST_P(LzwRoundTrip, GivesBackWhatWasEncoded)
{
    const RoundTrip& trip = GetParam();
    Bytes data = subBlocks(lzwEncode(trip.indices, trip.minCodeSize, trip.options), trip.blockSize);
    // Whole and in pieces (as the composer draws strips), to indices and to colours.
    for (auto [step, colours] :
        { std::pair<std::size_t, bool> { 0, false }, { 777, false }, { 0, true }, { 777, true } }) {
        SCOPED_TRACE("step " + std::to_string(step) + (colours ? ", to colours" : ""));
        Decoded out = decode(data, trip.minCodeSize, trip.capacity, step, colours);
        EXPECT_EQ(out.status, Status::Finished);
        ASSERT_EQ(out.indices.size(), trip.indices.size());
        auto mismatch = std::mismatch(out.indices.begin(), out.indices.end(), trip.indices.begin());
        EXPECT_EQ(mismatch.first, out.indices.end())
            << "first difference at index " << (mismatch.first - out.indices.begin());
    }
}

// Noise fills the 4096-entry table every few thousand pixels; runs make the longest
// strings and the code-not-yet-in-the-table case on every step.
INSTANTIATE_TEST_SUITE_P(Lzw, LzwRoundTrip,
    ::testing::Values(RoundTrip { "NoiseClearWhenFull", randomIndices(40000, 256, 1), 8, {}, 255, 0 },
        RoundTrip {
            "NoiseDeferredClear", randomIndices(40000, 256, 2), 8, { .codesBeforeClearWhenFull = 700 }, 255, 0 },
        RoundTrip { "NoiseFrozenTable", randomIndices(40000, 256, 3), 8, { .codesBeforeClearWhenFull = -1 }, 255, 0 },
        RoundTrip { "NoiseOneByteBlocks", randomIndices(5000, 256, 4), 8, {}, 1, 0 },
        RoundTrip { "NoiseExactRoom", randomIndices(9000, 16, 5), 4, {}, 255, 9000 },
        RoundTrip { "TwoColoursMinSize1", randomIndices(20000, 2, 6), 1, {}, 255, 0 },
        RoundTrip { "FewColoursDeferred", randomIndices(60000, 3, 8), 2, { .codesBeforeClearWhenFull = 5000 }, 255, 0 },
        RoundTrip { "MinSize11", randomIndices(30000, 256, 9), 11, {}, 255, 0 },
        RoundTrip { "LongRun", std::vector<std::uint8_t>(3000000, 7), 8, {}, 255, 0 },
        RoundTrip { "LongRunExactRoom", std::vector<std::uint8_t>(500000, 1), 2, {}, 255, 500000 },
        RoundTrip { "ShortPeriods", shortPeriods(12), 8, {}, 255, 0 },
        RoundTrip { "ShortPeriodsExactRoom", shortPeriods(13), 8, {}, 255, 24600 },
        RoundTrip { "NoLeadingClear", randomIndices(3000, 256, 10), 8, { false, true, 0 }, 255, 0 },
        RoundTrip { "Empty", {}, 8, {}, 255, 0 }),
    [](const auto& info) { return std::string(info.param.name); });

// Hand-written code sequences; -1 is a clear, -2 the end code. Each ends on a byte
// boundary, so no padding bits are read as one more code.
constexpr int C = -1;
constexpr int E = -2;

struct Sequence {
    const char* name;
    unsigned minCodeSize;
    std::vector<int> codes;
    std::vector<std::uint8_t> want;
    Status status;
    bool terminator = true;
    std::uint16_t invalidCode = 0;
};

class LzwSequence : public ::testing::TestWithParam<Sequence> { };

TEST_P(LzwSequence, Decodes)
{
    const Sequence& sequence = GetParam();
    CodeWriter out(sequence.minCodeSize);
    for (int code : sequence.codes)
        code == C ? out.clear() : code == E ? out.end() : out.code(unsigned(code));
    for (bool colours : { false, true }) {
        SCOPED_TRACE(colours ? "to colours" : "to indices");
        Decoded got = decode(subBlocks(out.finish(), 255, sequence.terminator), sequence.minCodeSize, 64, 0, colours);
        EXPECT_EQ(got.indices, sequence.want);
        EXPECT_EQ(got.status, sequence.status);
        if (sequence.status == Status::InvalidCode) {
            EXPECT_EQ(got.invalidCode, sequence.invalidCode);
        }
    }
}

// Minimum code size 2: literals 0-3, clear 4, end 5, first entry 6.
INSTANTIATE_TEST_SUITE_P(Lzw, LzwSequence,
    ::testing::Values(Sequence { "KwKwK", 2, { C, 1, 6, 7, E }, { 1, 1, 1, 1, 1, 1 }, Status::Finished },
        Sequence { "EntryAfterKwKwK", 2, { C, 2, 6, 3, 7, E }, { 2, 2, 2, 3, 2, 2, 3 }, Status::Finished },
        Sequence { "ClearInTheMiddleResetsEntries", 2, { C, 0, 1, 6, C, 2, 3, 6, E }, { 0, 1, 0, 1, 2, 3, 2, 3 },
            Status::Finished },
        Sequence { "DoubledClears", 2, { C, C, 1, 2, C, C, 3, E }, { 1, 2, 3 }, Status::Finished },
        Sequence { "NoLeadingClear", 2, { 1, 2, 6, E }, { 1, 2, 1, 2 }, Status::Finished },
        Sequence { "NoEndCodeStopsAtTerminator", 2, { C, 1, 2, 3, 1 }, { 1, 2, 3, 1 }, Status::Finished },
        Sequence { "CodesAfterEndIgnored", 2, { C, 1, E, 2, 3, E }, { 1 }, Status::Finished },
        Sequence { "NoTerminatorDataEnds", 2, { C, 1, 2, 3, 1 }, { 1, 2, 3, 1 }, Status::DataEnded, false },
        Sequence { "CodePastTableKeepsEarlierPixels", 2, { C, 0, 1, 2, 3, 15, 1, E }, { 0, 1, 2, 3 },
            Status::InvalidCode, true, 15 },
        Sequence { "FirstCodeAfterClearNotLiteral", 2, { C, 1, C, 6, E }, { 1 }, Status::InvalidCode, true, 6 },
        Sequence { "MinSize1", 1, { C, 0, 1, 4, 5, E }, { 0, 1, 0, 1, 1, 0 }, Status::Finished },
        Sequence { "MinSize0Refused", 0, { 1, 1 }, {}, Status::BadMinCodeSize },
        Sequence { "MinSize12Refused", 12, { 1, 1 }, {}, Status::BadMinCodeSize }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LzwData, EndsInsideASubBlockKeepingWhatCameBefore)
{
    const std::vector<std::uint8_t> want = randomIndices(500, 256, 11);
    Bytes data = subBlocks(lzwEncode(want, 8));
    data.resize(data.size() / 2); // the second sub-block claims more than is left
    Decoded got = decode(data, 8);
    EXPECT_EQ(got.status, Status::DataEnded);
    ASSERT_GT(got.indices.size(), 0u);
    ASSERT_LT(got.indices.size(), 500u);
    EXPECT_TRUE(std::equal(got.indices.begin(), got.indices.end(), want.begin()));
}

// One decoder serves image after image and keeps what it set up for the last one: each
// image must decode alone whatever came before it, whether its minimum code size (where
// the clear and end codes lie) or what it is decoded to differs, or the last was refused.
TEST(LzwData, ImageAfterImageWithOneDecoder)
{
    struct Image {
        unsigned minCodeSize;
        unsigned colours;
        bool toColours;
    };
    const Image images[] = { { 8, 256, false }, { 2, 4, false }, { 8, 256, false }, { 8, 256, true }, { 8, 256, false },
        { 11, 256, false }, { 4, 16, true }, { 4, 16, false }, { 12, 0, false }, { 1, 2, false }, { 8, 256, false } };
    LzwDecoder decoder;
    for (unsigned i = 0; i < std::size(images); ++i) {
        const Image& image = images[i];
        SCOPED_TRACE("image " + std::to_string(i + 1));
        if (image.minCodeSize > LzwDecoder::kMaxMinCodeSize) {
            EXPECT_EQ(decodeWith(decoder, Bytes(8, 0x55), image.minCodeSize).status, Status::BadMinCodeSize);
            continue;
        }
        const std::vector<std::uint8_t> want = randomIndices(3000, image.colours, 20 + i);
        Decoded got = decodeWith(
            decoder, subBlocks(lzwEncode(want, image.minCodeSize)), image.minCodeSize, want.size(), 0, image.toColours);
        EXPECT_EQ(got.status, Status::Finished);
        EXPECT_EQ(got.indices, want);
    }
}

} // namespace
} // namespace frolix::test
