// Composing: disposal in its combinations, clipping, damaged pixel data, interlacing
// and random access under a snapshot budget.

#include "GifAnimation.h"
#include "GifBuilder.h"
#include "Pictures.h"
#include "Player.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace frolix::test {
namespace {

// Pictures as text: rows split by '/', 'a'..'z' are palette entries 0..25, '.' is
// transparent and '#' opaque black.
Picture picture(const std::string& text, unsigned width, unsigned height)
{
    Picture out(width, height);
    unsigned x = 0, y = 0;
    for (char c : text) {
        if (c == '/') {
            ++y;
            x = 0;
            continue;
        }
        if (c != '.')
            out.set(x, y, c == '#' ? kBlack : colourOf(unsigned(c - 'a')));
        ++x;
    }
    return out;
}

// An image of one letter, or of a pattern with '.' for the transparent index 255.
struct Shape {
    int left, top, width, height;
    std::string pattern;
    unsigned disposal = 0;
    std::uint16_t delayCs = 10;
};

void addShape(GifBuilder& gif, const Shape& shape)
{
    Image image { std::uint16_t(shape.left), std::uint16_t(shape.top), std::uint16_t(shape.width),
        std::uint16_t(shape.height) };
    bool transparent = shape.pattern.find('.') != std::string::npos;
    for (int i = 0; i < shape.width * shape.height; ++i) {
        char c = shape.pattern.size() == 1 ? shape.pattern[0] : shape.pattern[std::size_t(i)];
        image.indices.push_back(c == '.' ? 255 : std::uint8_t(c - 'a'));
    }
    gif.control({ shape.delayCs, shape.disposal, transparent ? std::optional<std::uint8_t>(255) : std::nullopt })
        .image(image);
}

struct Scenario {
    const char* name;
    std::vector<Shape> shapes;
    std::vector<std::string> frames; // on a 4 x 2 screen
    std::vector<bool> opaque = {}; // frameOpaque() after each frame, where pinned
};

class Disposal : public ::testing::TestWithParam<Scenario> { };

TEST_P(Disposal, ComposesEachFrame)
{
    const Scenario& s = GetParam();
    GifBuilder gif(4, 2);
    for (const Shape& shape : s.shapes)
        addShape(gif, shape);
    auto loaded = GifAnimation::fromBytes(gif.bytes());
    ASSERT_TRUE(loaded.ok()) << loaded.error().message;
    GifAnimation& animation = *loaded.value();
    ASSERT_EQ(animation.frameCount(), int(s.frames.size()));
    for (std::size_t i = 0; i < s.frames.size(); ++i) {
        auto pixels = animation.frame(int(i) + 1);
        EXPECT_EQ(firstDifference(pixels, picture(s.frames[i], 4, 2)), "") << "frame " << i + 1;
        // frameOpaque() may only say yes when every pixel is opaque.
        bool allOpaque = true;
        for (std::size_t p = 3; p < pixels.size(); p += 4)
            allOpaque = allOpaque && pixels[p] == 255;
        EXPECT_TRUE(allOpaque || !animation.frameOpaque()) << "frame " << i + 1;
        if (!s.opaque.empty()) {
            EXPECT_EQ(animation.frameOpaque(), s.opaque[i]) << "frame " << i + 1;
        }
    }
    EXPECT_TRUE(animation.warnings().empty());
}

constexpr unsigned kNone = 0, kKeep = 1, kBackground = 2, kPrevious = 3;
const Shape kBase { 0, 0, 4, 2, "a", kKeep };

// A full opaque image whose data ends early leaves the pixels it did not reach as they
// were: transparent here, so the frame is not opaque.
TEST(Composer, FrameCutShortIsNotOpaque)
{
    GifBuilder gif(2, 2);
    gif.image({ .width = 2, .height = 2, .indices = { 1, 2, 3 } });
    auto cut = GifAnimation::fromBytes(gif.bytes());
    ASSERT_TRUE(cut.ok());
    cut.value()->frame(1);
    EXPECT_FALSE(cut.value()->frameOpaque());
}

INSTANTIATE_TEST_SUITE_P(Composer, Disposal,
    ::testing::Values(Scenario { "KeepAccumulates", { kBase, { 1, 0, 2, 1, "b", kKeep }, { 2, 1, 2, 1, "c", kNone } },
                          { "aaaa/aaaa", "abba/aaaa", "abba/aacc" } },
        Scenario { "BackgroundClearsToTransparent", { kBase, { 1, 0, 2, 2, "b", kBackground }, { 0, 0, 1, 1, "c" } },
            { "aaaa/aaaa", "abba/abba", "c..a/a..a" } },
        Scenario { "PreviousPutsBack", { kBase, { 1, 0, 2, 2, "b", kPrevious }, { 0, 0, 1, 1, "c" } },
            { "aaaa/aaaa", "abba/abba", "caaa/aaaa" } },
        Scenario { "PreviousOnFirstImageIsTransparent", { { 0, 0, 2, 2, "a", kPrevious }, { 2, 0, 2, 2, "b" } },
            { "aa../aa..", "..bb/..bb" } },
        Scenario { "BackgroundThenPrevious",
            { kBase, { 0, 0, 2, 2, "b", kBackground }, { 1, 0, 2, 2, "c", kPrevious }, { 3, 0, 1, 1, "d" } },
            { "aaaa/aaaa", "bbaa/bbaa", ".cca/.cca", "..ad/..aa" } },
        Scenario { "PreviousThenBackground",
            { kBase, { 0, 0, 2, 2, "b", kPrevious }, { 1, 0, 2, 2, "c", kBackground }, { 0, 1, 1, 1, "d" } },
            { "aaaa/aaaa", "bbaa/bbaa", "acca/acca", "a..a/d..a" } },
        Scenario { "PreviousKeepsTransparentHoles", { kBase, { 0, 0, 4, 1, "b..b", kPrevious }, { 1, 1, 1, 1, "c" } },
            { "aaaa/aaaa", "baab/aaaa", "aaaa/acaa" } },
        Scenario { "TransparentIndexLeavesCanvas", { kBase, { 0, 0, 4, 2, "b.b..c.c", kKeep } },
            { "aaaa/aaaa", "baba/acac" } },
        // Clipping: the base picture around the clipped rectangle must survive.
        Scenario { "PartlyOutsideClipped", { kBase, { 2, 1, 5, 5, "b", kPrevious }, { 0, 0, 1, 1, "c" } },
            { "aaaa/aaaa", "aaaa/aabb", "caaa/aaaa" } },
        Scenario { "PartlyOutsideBackground", { kBase, { 3, 0, 9, 9, "b", kBackground }, { 0, 0, 1, 1, "c" } },
            { "aaaa/aaaa", "aaab/aaab", "caa./aaa." } },
        Scenario {
            "PatternClippedOnTheRight", { kBase, { 2, 0, 3, 2, "bcdefg", kKeep } }, { "aaaa/aaaa", "aabc/aaef" } },
        Scenario { "WhollyOutside",
            { kBase, { 4, 0, 2, 2, "b", kBackground }, { 0, 2, 4, 1, "c", kPrevious }, { 65535, 65535, 1, 1, "d" } },
            { "aaaa/aaaa", "aaaa/aaaa", "aaaa/aaaa", "aaaa/aaaa" } },
        // frameOpaque() should say yes for the common case of full opaque frames.
        Scenario { "OpaqueFullImage", { { 0, 0, 4, 2, "a" } }, { "aaaa/aaaa" }, { true } },
        Scenario { "OpaqueNotWithATransparentIndex", { { 0, 0, 4, 2, "a.aaaaaa" } }, { "a.aa/aaaa" }, { false } },
        Scenario { "OpaqueNotOverPartOfTheScreen", { { 0, 0, 2, 2, "a" } }, { "aa../aa.." }, { false } },
        Scenario { "OpaqueWhenClipped", { { 0, 0, 6, 3, "a" } }, { "aaaa/aaaa" }, { true } },
        Scenario { "OpaqueNotOnceCleared", { { 0, 0, 4, 2, "a", kBackground }, { 0, 0, 1, 1, "b" } },
            { "aaaa/aaaa", "b.../...." }, { true, false } },
        Scenario { "OpaqueWhenAClearIsCovered", { { 0, 0, 4, 2, "a", kBackground }, { 0, 0, 4, 2, "b" } },
            { "aaaa/aaaa", "bbbb/bbbb" }, { true, true } },
        Scenario { "OpaqueWhenRestoredOverOpaque",
            { { 0, 0, 4, 2, "a" }, { 0, 0, 1, 1, "b", kPrevious }, { 1, 0, 1, 1, "c" } },
            { "aaaa/aaaa", "baaa/aaaa", "acaa/aaaa" }, { true, true, true } },
        Scenario { "OpaqueNotWhenRestoredToHoles",
            { { 0, 0, 2, 2, "a" }, { 0, 0, 4, 2, "b", kPrevious }, { 0, 0, 1, 1, "c" } },
            { "aa../aa..", "bbbb/bbbb", "ca../aa.." }, { false, true, false } }),
    [](const auto& info) { return std::string(info.param.name); });

// Damaged or odd pixel data in a 2 x 2 image at (1, 1) over a 4 x 4 screen of 'z' with
// one 'y': pixels the data does not reach must keep the screen's colours.
struct DataCase {
    const char* name;
    Image image;
    std::string want;
    std::optional<Warning::Kind> warning; // of the one draw warning
};

Bytes codes(unsigned minCodeSize, std::initializer_list<int> sequence)
{
    CodeWriter out(minCodeSize);
    for (int code : sequence)
        code < 0 ? out.clear() : out.code(unsigned(code));
    return out.finish();
}

Image patch(std::vector<std::uint8_t> indices, unsigned minCodeSize = 2)
{
    return { .left = 1, .top = 1, .width = 2, .height = 2, .indices = std::move(indices), .minCodeSize = minCodeSize };
}

template <typename Change> Image with(Image image, Change change)
{
    change(image);
    return image;
}

// The one draw warning, of `kind`; none when there is no kind.
void expectOneWarning(GifAnimation& animation, std::optional<Warning::Kind> kind)
{
    const auto warnings = animation.warnings();
    ASSERT_EQ(warnings.size(), kind ? 1u : 0u) << (warnings.empty() ? "" : warnings.front().message);
    if (kind) {
        EXPECT_EQ(warnings[0].kind, *kind) << warnings[0].message;
    }
}

class PixelData : public ::testing::TestWithParam<DataCase> { };

TEST_P(PixelData, DrawsWhatItCanAndLeavesTheRest)
{
    const DataCase& c = GetParam();
    GifBuilder gif(4, 4);
    std::vector<std::uint8_t> screen(16, 'z' - 'a');
    screen[3] = 'y' - 'a'; // where a decoder reusing its buffer would find a stale index
    gif.image({ .width = 4, .height = 4, .indices = screen });
    gif.image(c.image);
    auto loaded = GifAnimation::fromBytes(gif.bytes());
    ASSERT_TRUE(loaded.ok()) << loaded.error().message;
    ASSERT_EQ(loaded.value()->frameCount(), 2);
    EXPECT_EQ(firstDifference(loaded.value()->frame(2), picture(c.want, 4, 4)), "");
    expectOneWarning(*loaded.value(), c.warning);
}

INSTANTIATE_TEST_SUITE_P(Composer, PixelData,
    ::testing::Values(DataCase { "Complete", patch({ 1, 2, 3, 0 }), "zzzy/zbcz/zdaz/zzzz" },
        DataCase { "ExtraPixelsIgnored", patch({ 1, 2, 3, 0, 3, 3, 3, 3, 2, 2 }), "zzzy/zbcz/zdaz/zzzz" },
        DataCase {
            "NoEndCode", with(patch({ 1, 2, 3, 0 }), [](Image& i) { i.lzw.endCode = false; }), "zzzy/zbcz/zdaz/zzzz" },
        DataCase { "DataEndsEarly", patch({ 1, 2, 3 }), "zzzy/zbcz/zdzz/zzzz", Warning::Kind::DataEndsEarly },
        DataCase { "CodePastTable",
            with(patch({}),
                [](Image& i) {
                    i.codeStream = codes(2, { -1, 1, 2, 3, 15 });
                }),
            "zzzy/zbcz/zdzz/zzzz", Warning::Kind::InvalidCode },
        DataCase { "MinCodeSizeZero", patch({ 1, 1, 1, 1 }, 0), "zzzy/zzzz/zzzz/zzzz", Warning::Kind::BadMinCodeSize },
        DataCase { "IndexPastLocalTableIsBlack",
            with(patch({ 0, 1, 2, 3 }), [](Image& i) { i.localPalette = testPalette(2); }), "zzzy/zabz/z##z/zzzz" }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Composer, NoColourTableAtAllDrawsOpaqueBlack)
{
    GifBuilder gif(3, 1, std::nullopt);
    gif.image(Image { .width = 3, .height = 1, .indices = { 0, 1, 200 } });
    auto loaded = GifAnimation::fromBytes(gif.bytes());
    ASSERT_TRUE(loaded.ok()) << loaded.error().message;
    EXPECT_EQ(firstDifference(loaded.value()->frame(1), picture("###", 3, 1)), "");
}

// One long run of `index`: each code repeats the longest string so far.
Bytes runOf(unsigned index, std::size_t codes)
{
    CodeWriter out(8);
    out.clear();
    out.code(index);
    while (out.nextEntry() < 4096)
        out.code(out.nextEntry());
    for (std::size_t i = 0; i < codes; ++i)
        out.code(4095);
    return out.finish();
}

TEST(Composer, DecodeCapPerImageStopsAtItsRowLimit)
{
    // A 65535-wide image on a 1 x 8192 screen: decoding it in full would cost 537M
    // pixels, so only the first 33554432 / 65535 = 512 rows are read.
    GifBuilder gif(1, 8192);
    gif.image({ .width = 65535, .height = 8192, .codeStream = runOf(3, 200000) });
    auto loaded = GifAnimation::fromBytes(gif.bytes());
    ASSERT_TRUE(loaded.ok()) << loaded.error().message;
    EXPECT_EQ(firstDifference(loaded.value()->frame(1), Picture(1, 8192).fill(0, 0, 1, 512, colourOf(3))), "");
    expectOneWarning(*loaded.value(), Warning::Kind::RowCap);
}

TEST(Composer, ReportsTheAreaEachFrameChanged)
{
    // Frame 2 draws a patch, frame 3 clears it (disposal 2) and draws another: the
    // change reported is what was drawn and disposed of since the frame before, and a
    // jump backwards reports the whole canvas.
    GifBuilder gif(20, 10);
    gif.control({ .delayCs = 5 }).fill(0, 0, 20, 10, 1);
    gif.control({ .delayCs = 5, .disposal = 2 }).fill(2, 3, 4, 2, 2);
    gif.control({ .delayCs = 5 }).fill(12, 1, 3, 3, 3);
    auto loaded = GifAnimation::fromBytes(gif.bytes());
    ASSERT_TRUE(loaded.ok());
    GifAnimation& animation = *loaded.value();
    auto area = [&](int number) {
        animation.frame(number);
        auto a = animation.lastChange();
        return std::array { a.left, a.top, a.width, a.height };
    };
    EXPECT_EQ(area(1), (std::array<std::uint32_t, 4> { 0, 0, 20, 10 }));
    EXPECT_EQ(area(2), (std::array<std::uint32_t, 4> { 2, 3, 4, 2 }));
    EXPECT_EQ(area(2), (std::array<std::uint32_t, 4> { 0, 0, 0, 0 }));
    EXPECT_EQ(area(3), (std::array<std::uint32_t, 4> { 2, 1, 13, 4 }));
    EXPECT_EQ(area(1), (std::array<std::uint32_t, 4> { 0, 0, 20, 10 }));
}

struct InterlaceCase {
    unsigned height, top, screenHeight;
};

class Interlace : public ::testing::TestWithParam<InterlaceCase> { };

TEST_P(Interlace, RowsLandWhereTheyBelong)
{
    const auto [height, top, screenHeight] = GetParam();
    GifBuilder gif(2, std::uint16_t(screenHeight));
    gif.fill(0, 0, 2, std::uint16_t(screenHeight), 200); // sentinel around the image
    Image image { .left = 0, .top = std::uint16_t(top), .width = 2, .height = std::uint16_t(height) };
    for (unsigned y = 0; y < height; ++y)
        image.indices.insert(image.indices.end(), { std::uint8_t(y), std::uint8_t(100 + y) });
    image.interlaced = true;
    gif.image(image);
    auto loaded = GifAnimation::fromBytes(gif.bytes());
    ASSERT_TRUE(loaded.ok()) << loaded.error().message;
    ASSERT_EQ(loaded.value()->frameCount(), 2);
    Picture want(2, screenHeight);
    for (unsigned y = 0; y < screenHeight; ++y) {
        bool inImage = y >= top && y < top + height;
        want.set(0, y, colourOf(inImage ? y - top : 200));
        want.set(1, y, colourOf(inImage ? 100 + y - top : 200));
    }
    EXPECT_EQ(firstDifference(loaded.value()->frame(2), want), "");
    EXPECT_TRUE(loaded.value()->warnings().empty());
}

std::vector<InterlaceCase> interlaceCases()
{
    std::vector<InterlaceCase> cases;
    for (unsigned h = 1; h <= 17; ++h) {
        cases.push_back({ h, 0, h }); // exactly the screen
        cases.push_back({ h, 2, 2 + h / 2 }); // bottom half clipped away
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Composer, Interlace, ::testing::ValuesIn(interlaceCases()),
    [](const auto& info) { return "Height" + std::to_string(info.param.height) + (info.param.top ? "Clipped" : ""); });

struct CutInterlaceCase {
    const char* name;
    std::size_t pixelsReceived; // of the 17 two-pixel rows, in data order
    std::vector<unsigned> shownRows; // the data row each screen row shows (left, right)
    unsigned partialRow = 0; // its left pixel is its own, its right one repeated
};

class CutInterlace : public ::testing::TestWithParam<CutInterlaceCase> { };

TEST_P(CutInterlace, RepeatsEachReceivedRowOverTheRowsOfLaterPasses)
{
    const CutInterlaceCase& c = GetParam();
    GifBuilder gif(2, 17);
    std::vector<std::uint8_t> data;
    for (unsigned y : interlacedRowOrder(17))
        data.insert(data.end(), { std::uint8_t(y), std::uint8_t(100 + y) });
    data.resize(c.pixelsReceived);
    Image image { .width = 2, .height = 17, .interlaced = true, .codeStream = lzwEncode(data, 8) };
    gif.image(image);
    auto loaded = GifAnimation::fromBytes(gif.bytes());
    ASSERT_TRUE(loaded.ok()) << loaded.error().message;
    Picture want(2, 17);
    for (unsigned y = 0; y < 17; ++y) {
        want.set(0, y, colourOf(y == c.partialRow && c.partialRow ? y : c.shownRows[y]));
        want.set(1, y, colourOf(100 + c.shownRows[y]));
    }
    EXPECT_EQ(firstDifference(loaded.value()->frame(1), want), "");
    expectOneWarning(*loaded.value(), Warning::Kind::DataEndsEarly);
}

INSTANTIATE_TEST_SUITE_P(Composer, CutInterlace,
    ::testing::Values(CutInterlaceCase { "FirstPass", 6, { 0, 0, 0, 0, 0, 0, 0, 0, 8, 8, 8, 8, 8, 8, 8, 8, 16 } },
        CutInterlaceCase { "SecondPass", 10, { 0, 0, 0, 0, 4, 4, 4, 4, 8, 8, 8, 8, 12, 12, 12, 12, 16 } },
        CutInterlaceCase { "InsideTheThirdPass", 14, { 0, 0, 2, 2, 4, 4, 6, 6, 8, 8, 8, 8, 12, 12, 12, 12, 16 } },
        CutInterlaceCase { "InsideARow", 15, { 0, 0, 2, 2, 4, 4, 6, 6, 8, 8, 8, 8, 12, 12, 12, 12, 16 }, 10 }),
    [](const auto& info) { return std::string(info.param.name); });

// A 12 x 8 animation whose every frame depends on its history: moving patches with
// keep, background and previous disposal. With `coverEvery`, every so many images cover
// the screen without transparency instead, and one of them has data that ends early.
Bytes historyAnimation(std::size_t frames, std::size_t coverEvery = 0)
{
    GifBuilder gif(12, 8);
    gif.loop(0);
    gif.control({ 5, kKeep }).fill(0, 0, 12, 8, 1);
    std::mt19937 random(42);
    for (std::size_t f = 1; f < frames; ++f) {
        unsigned disposal = random() % 4;
        if (coverEvery && f % coverEvery == 0) {
            Image image { 0, 0, 12, 8 };
            for (int p = 0; p < 12 * 8; ++p)
                image.indices.push_back(std::uint8_t(random() % 40));
            if (f == 2 * coverEvery)
                image.codeStream
                    = lzwEncode(std::vector<std::uint8_t>(image.indices.begin(), image.indices.begin() + 50), 8);
            gif.control({ 5, disposal }).image(image);
            continue;
        }
        Image image { std::uint16_t(random() % 12), std::uint16_t(random() % 8), std::uint16_t(1 + random() % 6),
            std::uint16_t(1 + random() % 4) };
        for (int p = 0; p < image.width * image.height; ++p)
            image.indices.push_back(std::uint8_t(random() % 40));
        gif.control({ 5, disposal, std::uint8_t(random() % 40) }); // some pixels show through
        gif.image(image);
    }
    return gif.bytes();
}

std::vector<std::size_t> visitOrder(const std::string& name, std::size_t frames)
{
    std::vector<std::size_t> order;
    if (name == "Reverse") {
        for (std::size_t k = frames; k-- > 0;)
            order.push_back(k);
    } else if (name == "PingPong") {
        for (int round = 0; round < 2; ++round) {
            for (std::size_t k = 0; k < frames; ++k)
                order.push_back(k);
            for (std::size_t k = frames - 1; k-- > 1;)
                order.push_back(k);
        }
    } else {
        std::mt19937 random(7);
        for (std::size_t i = 0; i < 3 * frames; ++i)
            order.push_back(random() % frames);
    }
    return order;
}

// The composer a GifAnimation holds, with a snapshot budget and its measures in reach.
gif::FrameComposer composerOf(const Bytes& file, std::size_t budget = gif::kDefaultSnapshotBudgetBytes)
{
    auto bytes = holdBytes(file);
    auto scanned = gif::scan(bytes->bytes());
    EXPECT_TRUE(scanned.ok());
    return gif::FrameComposer(bytes, scanned.ok() ? std::move(scanned).value() : gif::GifInfo {}, budget);
}

// The bytes of what the composer's cache holds, counted from its contents: every key
// frame's canvas and every undo step, backups included.
std::size_t bytesHeld(const gif::FrameComposer& composer)
{
    std::size_t pixels = 0;
    for (const auto& held : composer.cache().held())
        pixels += held.canvasPixels + held.backupPixels;
    return pixels * 4;
}

// A visiting order, and a snapshot budget in canvases.
class RandomAccess : public ::testing::TestWithParam<std::tuple<std::string, int>> { };

TEST_P(RandomAccess, MatchesSequentialComposition)
{
    const std::size_t kFrames = 60;
    const std::size_t canvasBytes = 12 * 8 * 4;
    Bytes file = historyAnimation(kFrames, 9);

    gif::FrameComposer reference = composerOf(file, 0);
    ASSERT_EQ(reference.frameCount(), kFrames);
    std::vector<Bytes> sequential;
    std::vector<bool> opaque;
    for (int n = 1; n <= int(kFrames); ++n) {
        auto pixels = reference.frame(n);
        sequential.emplace_back(pixels.begin(), pixels.end());
        opaque.push_back(reference.frameOpaque());
    }
    ASSERT_NE(std::count(opaque.begin(), opaque.end(), true), 0) << "the file has opaque frames to carry";

    const std::size_t budget = std::size_t(std::get<1>(GetParam())) * canvasBytes;
    gif::FrameComposer composer = composerOf(file, budget);
    for (std::size_t k : visitOrder(std::get<0>(GetParam()), kFrames)) {
        std::string difference = firstDifference(composer.frame(int(k) + 1), sequential[k], 12);
        ASSERT_EQ(difference, "") << "frame " << k + 1;
        ASSERT_EQ(composer.frameOpaque(), opaque[k]) << "frame " << k + 1;
        // The figure the cache reports is what it holds, key frames and backups included.
        ASSERT_EQ(composer.snapshotBytes(), bytesHeld(composer)) << "after frame " << k + 1;
        ASSERT_LE(bytesHeld(composer), budget) << "after frame " << k + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(Composer, RandomAccess,
    ::testing::Combine(::testing::Values("Reverse", "PingPong", "Random"), ::testing::Values(0, 2, 5, 11)),
    [](const auto& info) { return std::get<0>(info.param) + ("Budget" + std::to_string(std::get<1>(info.param))); });

// Forward play, looping included, never copies a canvas. Once frames are expected
// backwards, the way to the last frame, replayed at once or played frame by frame (twice
// over, as ping-pong), lays down key frames and undo steps: turning back at the last
// frame copies undo steps, past a key frame (16 images here) as far as they fit, and no
// step back replays more than a key frame's stride, nor anything when every undo step
// fits (but frame 1, drawn afresh). Frames drawn from their own image keep nothing.
TEST(SnapshotBudget, BackwardStepsReplayLittleOnceExpected)
{
    const int kFrames = 60;
    const std::size_t kCanvas = 12 * 8 * 4;
    GifBuilder covering(12, 8);
    for (int n = 1; n <= kFrames; ++n)
        covering.fill(0, 0, 12, 8, std::uint8_t(n % 40));
    struct Case {
        const char* name;
        Bytes file;
        bool played;
        std::size_t budget, copiedBack, worstBack;
    };
    for (const Case& c : { Case { "replayed", historyAnimation(kFrames), false, 20 * kCanvas, 16, 16 },
             Case { "played", historyAnimation(kFrames), true, 10 * kCanvas, 16, 16 },
             Case { "played, every step fits", historyAnimation(kFrames), true, 200 * kCanvas, 16, 1 },
             Case { "every image covers the screen", covering.bytes(), true, 200 * kCanvas, 0, 1 } }) {
        SCOPED_TRACE(c.name);
        gif::FrameComposer composer = composerOf(c.file, c.budget);
        for (int loop = 0; loop < 2; ++loop)
            for (int n = 1; n <= kFrames; ++n)
                composer.frame(n);
        EXPECT_EQ(bytesHeld(composer), 0u);

        composer.frame(1);
        composer.expectBackwardSteps();
        std::vector<int> order;
        for (int round = 0; round < (c.played ? 2 : 1); ++round) {
            for (int n = c.played ? 2 : kFrames; n <= kFrames; ++n)
                order.push_back(n);
            for (int n = kFrames - 1; n >= 1; --n)
                order.push_back(n);
        }
        std::size_t worstBack = 0, copied = 0;
        bool copying = false; // since turning back at the last frame
        for (std::size_t i = 0; i < order.size(); ++i) {
            std::size_t before = composer.imagesDrawn();
            composer.frame(order[i]);
            std::size_t drawn = composer.imagesDrawn() - before;
            if (i == 0 || order[i] > order[i - 1])
                continue;
            worstBack = std::max(worstBack, drawn);
            if (order[i - 1] == kFrames) {
                EXPECT_EQ(bytesHeld(composer) > 0, c.copiedBack > 0);
                copying = true;
                copied = 0;
            }
            if (copying && drawn == 0) {
                ++copied;
            } else if (copying) {
                EXPECT_GE(copied, c.copiedBack) << "steps back from the last frame copied before one drew an image";
                copying = false;
            }
        }
        EXPECT_LE(worstBack, c.worstBack) << "a backward step replays from near the frame, not from frame 1";
    }
}

// A frame number outside 1 to frameCount() is a caller's bug: it stops the program
// instead of showing a plausible picture, in the animation and in the player.
TEST(FrameNumbersDeathTest, OutsideTheAnimationStop)
{
    auto loaded = GifAnimation::fromBytes(GifBuilder(1, 1).fill(0, 0, 1, 1, 1).fill(0, 0, 1, 1, 2).bytes());
    ASSERT_TRUE(loaded.ok());
    GifAnimation& animation = *loaded.value();
    ASSERT_EQ(animation.frameCount(), 2);
    EXPECT_DEATH(animation.frame(0), "contract broken: number >= 1");
    EXPECT_DEATH(animation.frame(3), "contract broken: .*frameCount");
    SteadyClock clock;
    Player player(clock, animation.timeline());
    EXPECT_DEATH(player.jumpToFrame(0), "contract broken");
    EXPECT_DEATH(player.jumpToFrame(3), "contract broken");
}

} // namespace
} // namespace frolix::test
