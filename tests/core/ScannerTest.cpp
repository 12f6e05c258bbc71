// Parsing without pixels: refusals, recoveries, graphic control quirks, every image a
// frame and the frame cap.

#include "FileBytes.h"
#include "GifAnimation.h"
#include "GifBuilder.h"
#include "GifScanner.h"
#include "OpenFile.h"
#include "Pictures.h"
#include "Player.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <tuple>

namespace frolix::test {
namespace {

// The smallest complete file: a 2 x 2 screen and one image of index 1.
GifBuilder oneImage()
{
    GifBuilder gif(2, 2);
    gif.fill(0, 0, 2, 2, 1);
    return gif;
}

Bytes prefix(const Bytes& bytes, std::size_t size)
{
    return Bytes(bytes.begin(), bytes.begin() + std::ptrdiff_t(size));
}

struct Refusal {
    const char* name;
    Bytes file;
    Error::Kind kind;
    std::string message; // a part of the reason
};

class ScanRefuses : public ::testing::TestWithParam<Refusal> { };

TEST_P(ScanRefuses, WithAReason)
{
    const Refusal& want = GetParam();
    auto result = gif::scan(want.file);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().kind, want.kind);
    EXPECT_NE(result.error().message.find(want.message), std::string::npos) << result.error().message;
}

Bytes header() { return GifBuilder(2, 2).bytes(false); } // signature, screen, global table

INSTANTIATE_TEST_SUITE_P(Scan, ScanRefuses,
    ::testing::Values(Refusal { "Empty", {}, Error::Kind::NotGif, "not a GIF file" },
        Refusal {
            "Png", { 0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 0, 0 }, Error::Kind::NotGif, "not a GIF file" },
        Refusal {
            "SignatureOnly", { 'G', 'I', 'F', '8', '9', 'a' }, Error::Kind::Truncated, "logical screen descriptor" },
        Refusal { "CutInScreen", prefix(header(), 10), Error::Kind::Truncated, "logical screen descriptor" },
        Refusal { "CutInGlobalTable", prefix(header(), 13 + 700), Error::Kind::Truncated, "global colour table" },
        Refusal { "NoBlocks", header(), Error::Kind::Truncated, "truncated before the first image" },
        Refusal { "CutInControl", prefix(GifBuilder(2, 2).control({ 5 }).bytes(false), 13 + 768 + 5),
            Error::Kind::Truncated, "truncated before the first image" },
        Refusal { "CutInComment", prefix(GifBuilder(2, 2).comment("hello").bytes(false), 13 + 768 + 4),
            Error::Kind::Truncated, "truncated before the first image" },
        Refusal { "StrayByteBeforeImage", GifBuilder(2, 2).raw({ 0x00 }).fill(0, 0, 2, 2, 1).bytes(),
            Error::Kind::Malformed, "unexpected byte 0" },
        Refusal { "OverCanvasLimit", GifBuilder(8193, 4096).bytes(), Error::Kind::OverLimit, "over the limit" }),
    [](const auto& info) { return std::string(info.param.name); });

std::filesystem::path writeTemporary(const char* name, const Bytes& bytes)
{
    const std::filesystem::path path = std::filesystem::temp_directory_path() / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

TEST(Load, MappedAndUnmappableFilesReadAlike)
{
    // A regular file is mapped; one that reports no size (as those of /proc do) is read.
    const Bytes gif = oneImage().bytes();
    const std::filesystem::path path = writeTemporary("frolix-load-test.gif", gif);
    auto mapped = FileBytes::open(path);
    ASSERT_TRUE(mapped.ok()) << mapped.error().message;
    EXPECT_TRUE(mapped.value()->isMapped());
    EXPECT_EQ(Bytes(mapped.value()->bytes().begin(), mapped.value()->bytes().end()), gif);
    mapped.value()->release();
    EXPECT_EQ(Bytes(mapped.value()->bytes().begin(), mapped.value()->bytes().end()), gif);

    // Only so many mappings can be guarded against the file being cut short: past them
    // a file is read, and a mapping closed frees its place.
    std::vector<std::shared_ptr<const FileBytes>> open { mapped.value() };
    while (open.back()->isMapped() && open.size() < 1000)
        open.push_back(FileBytes::open(path).value());
    EXPECT_FALSE(open.back()->isMapped()) << open.size() << " files mapped at once";
    EXPECT_EQ(Bytes(open.back()->bytes().begin(), open.back()->bytes().end()), gif);
    open.erase(open.begin() + 1);
    EXPECT_TRUE(FileBytes::open(path).value()->isMapped());
    std::filesystem::remove(path);

    auto unsized = FileBytes::open("/proc/self/status");
    ASSERT_TRUE(unsized.ok()) << unsized.error().message;
    EXPECT_FALSE(unsized.value()->isMapped());
    std::string text(unsized.value()->bytes().begin(), unsized.value()->bytes().end());
    EXPECT_EQ(text.rfind("Name:", 0), 0u) << text.substr(0, 40);
    EXPECT_NE(text.find("VmRSS"), std::string::npos);
}

// Six images of noise, each over a page of data; the first is large enough to be drawn
// on a thread of its own while the scan goes on.
Bytes sixNoiseImages()
{
    GifBuilder builder(768, 512);
    std::mt19937 random(1);
    for (int n = 0; n < 6; ++n) {
        Image image { .width = std::uint16_t(n ? 128 : 768), .height = std::uint16_t(n ? 64 : 512) };
        for (int i = 0; i < image.width * image.height; ++i)
            image.indices.push_back(std::uint8_t(random()));
        builder.image(image);
    }
    return builder.bytes();
}

TEST(Load, FileCutShortWhileOpenReadsAsEnded)
{
    // The file is cut where the fourth image's data starts: the missing pages, which
    // would fault the process, read as zeros, so the images from the fourth on end at
    // once and draw nothing. Frame 1 comes from the drawing done during the scan before
    // the cut and from the composer after it.
    const std::filesystem::path path = writeTemporary("frolix-cut-test.gif", sixNoiseImages());
    auto loaded = openAnimationFile(path, PixelOrder::Rgba);
    ASSERT_TRUE(loaded.ok()) << loaded.error().message;
    auto& animation = dynamic_cast<GifAnimation&>(*loaded.value());
    std::vector<Bytes> before;
    for (int n = 1; n <= 6; ++n)
        before.emplace_back(animation.frame(n).begin(), animation.frame(n).end());
    const std::size_t cut = animation.info().images[3].dataOffset;
    ASSERT_EQ(::truncate(path.c_str(), off_t(cut)), 0);
    for (int n = 1; n <= 6; ++n) {
        auto pixels = animation.frame(n);
        EXPECT_EQ(Bytes(pixels.begin(), pixels.end()), before[std::min(n, 3) - 1]) << "frame " << n;
    }
    std::filesystem::remove(path);
    ASSERT_TRUE(animation.fileCutShort());
    const auto warnings = animation.warnings();
    auto said = std::find_if(warnings.begin(), warnings.end(),
        [](const Warning& warning) { return warning.kind == Warning::Kind::FileCutShort; });
    ASSERT_NE(said, warnings.end());
    // Lost from the first missing page read: the bytes of the page the cut falls in are kept.
    const std::size_t lost = std::stoul(said->message.substr(said->message.find("offset ") + 7));
    EXPECT_TRUE(lost >= cut && lost <= animation.info().images[4].dataOffset) << said->message;

    // A mapping that is not a file of ours, cut short, still ends the process (by SIGBUS,
    // or the sanitizer's exit), and soon: a handler that returned would fault forever.
    EXPECT_EXIT(
        {
            ::alarm(10);
            const int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0600);
            const long page = ::sysconf(_SC_PAGESIZE);
            if (::ftruncate(fd, 2 * page) != 0)
                std::exit(0);
            const auto* bytes = static_cast<const volatile std::uint8_t*>(
                ::mmap(nullptr, std::size_t(2 * page), PROT_READ, MAP_SHARED, fd, 0));
            std::exit(::ftruncate(fd, 0) == 0 ? bytes[page] : 0);
        },
        [](int status) { return WIFSIGNALED(status) ? WTERMSIG(status) == SIGBUS : WEXITSTATUS(status) != 0; }, "");
    std::filesystem::remove(path);
}

TEST(Load, StopsReadingOnceNoLongerWanted)
{
    // Asked after each image: the scan stops at the first no, with frame 1's drawing
    // (begun after the first image) waited for, and the open fails as Stopped.
    const std::filesystem::path path = writeTemporary("frolix-stop-test.gif", sixNoiseImages());
    for (int wantedFor : { 0, 1, 3 }) {
        int asked = 0;
        auto loaded = openAnimationFile(path, PixelOrder::Rgba, [&] { return asked++ < wantedFor; });
        ASSERT_FALSE(loaded.ok());
        EXPECT_EQ(loaded.error().kind, Error::Kind::Stopped) << loaded.error().message;
        EXPECT_EQ(asked, wantedFor + 1);
    }
    int asked = 0;
    auto loaded = openAnimationFile(path, PixelOrder::Rgba, [&] { return ++asked > 0; });
    ASSERT_TRUE(loaded.ok()) << loaded.error().message;
    EXPECT_EQ(loaded.value()->frameCount(), 6);
    EXPECT_EQ(asked, 6);
    std::filesystem::remove(path);
}

TEST(Scan, CanvasLimitIsInclusive)
{
    auto result = gif::scan(GifBuilder(8192, 4096).bytes()); // exactly 33554432 pixels
    ASSERT_TRUE(result.ok()) << result.error().message;
    EXPECT_EQ(result.value().frameCount(), 1u);
}

// Files that are damaged after their first image still show what they hold.
struct Recovery {
    const char* name;
    Bytes file;
    Warning::Kind warning;
    std::size_t images;
};

class ScanRecovers : public ::testing::TestWithParam<Recovery> { };

TEST_P(ScanRecovers, KeepsTheImagesAndWarns)
{
    const Recovery& want = GetParam();
    auto result = gif::scan(want.file);
    ASSERT_TRUE(result.ok()) << result.error().message;
    EXPECT_EQ(result.value().images.size(), want.images);
    ASSERT_EQ(result.value().warnings.size(), 1u);
    EXPECT_EQ(result.value().warnings[0].kind, want.warning) << result.value().warnings[0].message;
}

Bytes twoImages() { return oneImage().fill(0, 0, 1, 1, 2).bytes(); }

INSTANTIATE_TEST_SUITE_P(Scan, ScanRecovers,
    ::testing::Values(Recovery { "MissingTrailer", oneImage().bytes(false), Warning::Kind::NoTrailer, 1 },
        Recovery { "EndsInImageData", prefix(oneImage().bytes(), oneImage().size() - 2), Warning::Kind::NoTrailer, 1 },
        Recovery { "EndsInSecondDescriptor", prefix(twoImages(), oneImage().size() + 5), Warning::Kind::NoTrailer, 1 },
        Recovery { "EndsInLocalTable",
            prefix(oneImage()
                       .image({ .width = 2, .height = 2, .indices = { 0, 0, 0, 0 }, .localPalette = testPalette(4) })
                       .bytes(),
                oneImage().size() + 10 + 5),
            Warning::Kind::NoTrailer, 2 },
        Recovery { "GarbageAfterImage", oneImage().raw({ 0x99, 1, 2, 3 }).bytes(), Warning::Kind::StrayByte, 1 },
        Recovery { "UnknownVersion",
            [] {
                Bytes b = oneImage().bytes();
                b[4] = '0';
                return b;
            }(),
            Warning::Kind::UnknownVersion, 1 }),
    [](const auto& info) { return std::string(info.param.name); });

// An image cut in its local table is kept as a record without data (the suite's
// image-zero-height case in general form); no image at all is one empty frame.
TEST(Scan, FilesWithoutPixelDataShowOneEmptyFrame)
{
    GifBuilder cut(2, 2);
    cut.image({ .width = 2, .height = 2, .indices = { 1, 1, 1, 1 }, .localPalette = testPalette(4) });
    for (const Bytes& file : { prefix(cut.bytes(), 13 + 768 + 10 + 4), GifBuilder(2, 2).comment("nothing").bytes() }) {
        auto loaded = GifAnimation::fromBytes(file);
        ASSERT_TRUE(loaded.ok()) << loaded.error().message;
        ASSERT_EQ(loaded.value()->frameCount(), 1);
        EXPECT_EQ(firstDifference(loaded.value()->frame(1), Picture(2, 2)), "");
    }
}

struct ControlCase {
    const char* name;
    Control control;
    bool used; // the fields reach the image
    bool warned = true; // of its block size
};

class GraphicControl : public ::testing::TestWithParam<ControlCase> { };

TEST_P(GraphicControl, BlockSize)
{
    const ControlCase& c = GetParam();
    GifBuilder gif(2, 2);
    gif.control(c.control).fill(0, 0, 2, 2, 1).fill(0, 0, 1, 1, 2); // the second image has no control
    auto loaded = GifAnimation::fromBytes(gif.bytes());
    ASSERT_TRUE(loaded.ok()) << loaded.error().message;
    const gif::GifInfo& info = loaded.value()->info();
    ASSERT_EQ(info.images.size(), 2u);
    const gif::ImageRecord& image = info.images[0];
    EXPECT_EQ(image.hasGraphicControl, c.used);
    EXPECT_EQ(image.delayCs, c.used ? c.control.delayCs : 0);
    EXPECT_EQ(image.disposal, c.used ? Disposal::RestoreBackground : Disposal::None);
    EXPECT_EQ(image.transparentIndex, c.used ? c.control.transparent : std::nullopt);
    EXPECT_FALSE(info.images[1].hasGraphicControl);
    ASSERT_EQ(info.warnings.size(), c.warned ? 1u : 0u);
    if (c.warned) {
        EXPECT_EQ(info.warnings[0].kind, Warning::Kind::GraphicControlSize);
    }
    // The blocks after the control are read in step: the last frame shows both images.
    Picture want(2, 2);
    want.fill(0, 0, 2, 2, colourOf(1)).set(0, 0, colourOf(2));
    if (c.used) // the first image is its own frame, cleared by disposal 2 before the second
        want.fill(0, 0, 2, 2, kClear).set(0, 0, colourOf(2));
    EXPECT_EQ(firstDifference(loaded.value()->frame(loaded.value()->frameCount()), want), "");
}

INSTANTIATE_TEST_SUITE_P(Scan, GraphicControl,
    ::testing::Values(ControlCase { "Four", { 7, 2, 9, 4 }, true, false },
        ControlCase { "FiveFirstFourUsed", { 7, 2, 9, 5 }, true },
        ControlCase { "LongFirstFourUsed", { 300, 2, 9, 255 }, true },
        ControlCase { "ThreeIgnored", { 7, 2, 9, 3 }, false }, ControlCase { "ZeroIgnored", { 7, 2, 9, 0 }, false }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Scan, DisposalFourIsRestorePreviousAndFiveToSevenAreNone)
{
    for (unsigned disposal : { 3, 4, 5, 6, 7 }) {
        auto info = gif::scan(GifBuilder(1, 1).control({ 10, disposal }).fill(0, 0, 1, 1, 1).bytes());
        ASSERT_TRUE(info.ok());
        EXPECT_EQ(info.value().images[0].disposal, disposal <= 4 ? Disposal::RestorePrevious : Disposal::None)
            << disposal;
    }
}

// Each frame as stored, with or without the global table: a table is local only when
// the image brings its own, and the one empty frame of an image-less file reports none.
TEST(Scan, FrameInfoIsEachImageAsStored)
{
    auto expectInfo = [](const FrameInfo& got, const FrameInfo& want, int number) {
        SCOPED_TRACE("frame " + std::to_string(number));
        EXPECT_EQ(got.storedDelayCs, want.storedDelayCs);
        EXPECT_EQ(got.disposal, want.disposal);
        EXPECT_EQ(std::tuple(got.area.left, got.area.top, got.area.width, got.area.height),
            std::tuple(want.area.left, want.area.top, want.area.width, want.area.height));
        EXPECT_EQ(got.transparentIndex, want.transparentIndex);
        EXPECT_EQ(got.localColourTableSize, want.localColourTableSize);
        EXPECT_EQ(got.interlaced, want.interlaced);
    };
    GifBuilder mixed(8, 8);
    mixed.loop(3).control({ 5, 1, 3 }).fill(1, 2, 3, 4, 1);
    mixed.image(
        { .width = 8, .height = 8, .indices = Bytes(64, 2), .localPalette = testPalette(5), .interlaced = true });
    mixed.control({ 0, 2 }).image({ 6, 6, 4, 4, Bytes(16, 1), testPalette(2) });
    mixed.control({ 1, 4, 0 }).fill(0, 0, 8, 8, 1);
    const Bytes bytes = mixed.bytes();
    auto loaded = GifAnimation::fromBytes(bytes);
    ASSERT_TRUE(loaded.ok()) << loaded.error().message;
    const Animation& animation = *loaded.value();
    EXPECT_EQ(animation.byteSize(), bytes.size());
    const FrameInfo want[] = {
        { 5, Disposal::Keep, { 1, 2, 3, 4 }, 3, 0, false },
        { 0, Disposal::None, { 0, 0, 8, 8 }, std::nullopt, 8, true },
        { 0, Disposal::RestoreBackground, { 6, 6, 4, 4 }, std::nullopt, 2, false },
        { 1, Disposal::RestorePrevious, { 0, 0, 8, 8 }, 0, 0, false },
    };
    ASSERT_EQ(animation.frameCount(), 4);
    for (int number = 1; number <= 4; ++number)
        expectInfo(animation.frameInfo(number), want[number - 1], number);

    GifBuilder noGlobal(2, 2, std::nullopt);
    noGlobal.image({ .width = 2, .height = 2, .indices = { 1, 1, 1, 1 }, .localPalette = testPalette(4) });
    noGlobal.fill(0, 0, 1, 1, 0);
    auto local = GifAnimation::fromBytes(noGlobal.bytes());
    ASSERT_TRUE(local.ok()) << local.error().message;
    expectInfo(local.value()->frameInfo(1), { 0, Disposal::None, { 0, 0, 2, 2 }, std::nullopt, 4, false }, 1);
    expectInfo(local.value()->frameInfo(2), { 0, Disposal::None, { 0, 0, 1, 1 }, std::nullopt, 0, false }, 2);

    auto empty = GifAnimation::fromBytes(GifBuilder(2, 2).loop(0).bytes());
    ASSERT_TRUE(empty.ok()) << empty.error().message;
    expectInfo(empty.value()->frameInfo(1), FrameInfo {}, 1);
    EXPECT_DEATH(empty.value()->frameInfo(2), "contract broken");
}

// Every image is a frame with its stored delay, whatever the delays, the header or the
// loop extension say; only a stored loop count makes a file play more than once. Image
// i sets pixel (i, 0), so frame k shows the first k pixels.
struct EveryImage {
    const char* name;
    std::vector<std::uint16_t> delays;
    bool gif87a = false;
    std::optional<std::uint16_t> loop;
    std::optional<std::uint32_t> plays; // nullopt: forever
};

class EveryImageAFrame : public ::testing::TestWithParam<EveryImage> { };

TEST_P(EveryImageAFrame, WithItsStoredDelay)
{
    const EveryImage& c = GetParam();
    GifBuilder gif(4, 1, testPalette(), c.gif87a);
    if (c.loop)
        gif.loop(*c.loop);
    for (std::size_t i = 0; i < c.delays.size(); ++i)
        gif.control({ c.delays[i] }).fill(std::uint16_t(i), 0, 1, 1, std::uint8_t(i + 1));
    auto loaded = GifAnimation::fromBytes(gif.bytes());
    ASSERT_TRUE(loaded.ok()) << loaded.error().message;
    GifAnimation& animation = *loaded.value();
    std::vector<std::uint16_t> delays = c.delays.empty() ? std::vector<std::uint16_t> { 0 } : c.delays;
    ASSERT_EQ(animation.frameCount(), int(delays.size()));
    EXPECT_EQ(animation.timeline().storedDelaysCs, delays);
    EXPECT_EQ(playCount(animation.timeline()), c.plays);
    Picture want(4, 1);
    for (int number = 1; number <= animation.frameCount(); ++number) {
        if (!c.delays.empty())
            want.set(unsigned(number - 1), 0, colourOf(std::uint8_t(number)));
        EXPECT_EQ(firstDifference(animation.frame(number), want), "") << "frame " << number;
    }
}

INSTANTIATE_TEST_SUITE_P(Scan, EveryImageAFrame,
    ::testing::Values(EveryImage { "FirstOfTwoWithoutDelay", { 0, 5 }, false, std::nullopt, 1 },
        EveryImage { "NoDelaysNoLoopExtensionPlayOnce", { 0, 0, 0, 0 }, false, std::nullopt, 1 },
        EveryImage { "Gif87aPlaysOnce", { 0, 0 }, true, std::nullopt, 1 },
        EveryImage { "DelaysKeptAsStored", { 1, 0, 7, 0 }, false, 0, std::nullopt },
        EveryImage { "StoredLoopCountTwoPlaysThree", { 0, 0 }, false, 2, 3 },
        EveryImage { "NoImagesOneEmptyFrame", {}, false, std::nullopt, 1 }),
    [](const auto& info) { return std::string(info.param.name); });

class FrameCap : public ::testing::TestWithParam<std::size_t> { };

TEST_P(FrameCap, KeepsAtMost32767Frames)
{
    const std::size_t images = GetParam();
    GifBuilder gif(1, 1);
    for (std::size_t i = 0; i < images; ++i)
        gif.control({ 2 }).fill(0, 0, 1, 1, std::uint8_t(i % 7));
    auto loaded = GifAnimation::fromBytes(gif.bytes());
    ASSERT_TRUE(loaded.ok()) << loaded.error().message;
    GifAnimation& animation = *loaded.value();
    std::size_t kept = std::min<std::size_t>(images, gif::kMaxFrames);
    EXPECT_EQ(std::size_t(animation.frameCount()), kept);
    EXPECT_EQ(animation.info().images.size(), kept);
    bool warned
        = !animation.info().warnings.empty() && animation.info().warnings.back().kind == Warning::Kind::TooManyFrames;
    EXPECT_EQ(warned, images > gif::kMaxFrames);
    // The last frame kept is the image it should be.
    EXPECT_EQ(
        firstDifference(animation.frame(animation.frameCount()), Picture(1, 1).set(0, 0, colourOf((kept - 1) % 7))),
        "");
}

INSTANTIATE_TEST_SUITE_P(Scan, FrameCap, ::testing::Values(32767, 32768, 33000));

} // namespace
} // namespace frolix::test
