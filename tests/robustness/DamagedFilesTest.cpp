// Damaged files through the whole path a load takes: scan, timeline, then the pictures
// of the first frames. Every file is cut at every offset (big files: every offset of
// the head, then a stride) and has single bytes flipped at a sample of offsets. Each decode must end with frames or a
// reason; under the sanitize build ASan, UBSan and the leak checker watch every one of them.

#include "FileBytes.h"
#include "GifAnimation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

const fs::path kSourceDir = FROLIX_SOURCE_DIR;
// Enough frames to run through disposal and snapshot paths without composing thousands.
constexpr int kFramesComposed = 64;
// Big files: every cut in the header and the first images, then a stride through the
// rest (ROBUSTNESS.md says why these numbers).
constexpr std::size_t kBigFileHead = 1024;
constexpr std::size_t kBigFileCuts = 96;
// Flips: every byte of the header and screen, and the first colour table's start; then
// evenly spread samples (a flip costs a whole decode of the file).
constexpr std::size_t kFlipHead = 48;
constexpr std::size_t kFlipSamples = 80;

Bytes readFile(const fs::path& path) { return frolix::readFileBytes(path).value(); }

// Empty when the decode ended properly (frames or a reason), else what went wrong.
std::string decodeProblem(const Bytes& bytes, bool* loaded = nullptr)
{
    auto result = frolix::GifAnimation::fromBytes(bytes);
    if (loaded)
        *loaded = result.ok();
    if (!result)
        return result.error().message.empty() ? "refused without a reason" : "";
    auto& animation = *result.value();
    if (animation.frameCount() < 1)
        return "loaded with no frames";
    if (animation.width() < 1 || animation.height() < 1)
        return "loaded with an empty screen";
    if (animation.timeline().storedDelaysCs.size() != std::size_t(animation.frameCount()))
        return "timeline length differs from the frame count";
    const std::size_t pictureBytes = std::size_t(animation.width()) * std::size_t(animation.height()) * 4;
    for (int number = 1; number <= std::min(animation.frameCount(), kFramesComposed); ++number)
        if (animation.frame(number).size() != pictureBytes)
            return "frame " + std::to_string(number) + " has the wrong size";
    return {};
}

class Findings {
public:
    void add(const std::string& where, const std::string& problem)
    {
        if (m_lines.size() < 12)
            m_lines.push_back(where + ": " + problem);
        ++m_count;
    }
    bool empty() const { return m_count == 0; }
    std::string text() const
    {
        std::string out = std::to_string(m_count) + " damaged inputs went wrong, first ones:\n";
        for (const auto& line : m_lines)
            out += "  " + line + "\n";
        return out;
    }

private:
    std::vector<std::string> m_lines;
    std::size_t m_count = 0;
};

// Runs `decode(i)` for every index on all cores (the sanitize build is slow, and the
// decodes share nothing); returns each one's problem and whether it loaded.
template <typename Decode> std::vector<std::pair<std::string, bool>> decodeAll(std::size_t count, Decode decode)
{
    std::vector<std::pair<std::string, bool>> results(count);
    std::atomic<std::size_t> next { 0 };
    auto work = [&] {
        for (std::size_t i = next++; i < count; i = next++)
            results[i].first = decode(i, &results[i].second);
    };
    std::vector<std::thread> workers;
    for (unsigned n = std::max(2u, std::thread::hardware_concurrency()); n > 1; --n)
        workers.emplace_back(work);
    work();
    for (auto& worker : workers)
        worker.join();
    return results;
}

// Cuts at every offset in `offsets` (ascending). Once a cut has been read as a picture,
// every longer cut must be too: a file that ends early keeps the images read so far
// (QUIRKS.md).
void sweepCuts(const Bytes& file, const std::vector<std::size_t>& offsets, Findings& findings)
{
    auto results = decodeAll(offsets.size(), [&](std::size_t i, bool* loaded) {
        return decodeProblem(Bytes(file.begin(), file.begin() + std::ptrdiff_t(offsets[i])), loaded);
    });
    bool loadedBefore = false;
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        auto [problem, loaded] = results[i];
        if (problem.empty() && loadedBefore && !loaded)
            problem = "refused although a shorter cut loaded";
        if (!problem.empty())
            findings.add("cut at " + std::to_string(offsets[i]), problem);
        loadedBefore = loadedBefore || loaded;
    }
}

// Flips every bit, then the lowest bit, of each byte at `offsets`; `check` says what
// went wrong with the damaged copy of the byte at the offset.
template <typename Check>
void sweepFlips(const Bytes& file, const std::vector<std::size_t>& offsets, Findings& findings, Check check)
{
    constexpr std::uint8_t kMasks[] = { 0xFF, 0x01 };
    auto results = decodeAll(offsets.size() * 2, [&](std::size_t i, bool* loaded) {
        Bytes damaged = file;
        damaged[offsets[i / 2]] ^= kMasks[i % 2];
        return check(damaged, offsets[i / 2], loaded);
    });
    for (std::size_t i = 0; i < results.size(); ++i)
        if (!results[i].first.empty())
            findings.add(
                "byte " + std::to_string(offsets[i / 2]) + " xor " + std::to_string(kMasks[i % 2]), results[i].first);
}

std::vector<std::size_t> everyOffset(std::size_t from, std::size_t to)
{
    std::vector<std::size_t> offsets;
    for (std::size_t at = from; at < to; ++at)
        offsets.push_back(at);
    return offsets;
}

// Every offset of the head, then `samples` offsets evenly through the rest, and the end.
std::vector<std::size_t> headThenStride(std::size_t size, std::size_t head, std::size_t samples, bool withEnd)
{
    std::vector<std::size_t> offsets = everyOffset(0, std::min(head, size));
    if (size > head) {
        std::size_t stride = std::max<std::size_t>(1, (size - head) / samples);
        for (std::size_t at = head + stride / 2; at < size; at += stride)
            offsets.push_back(at);
    }
    if (withEnd)
        offsets.push_back(size);
    return offsets;
}

std::vector<std::string> suiteFiles()
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(kSourceDir / "tests/data/gif-suite"))
        if (entry.path().extension() == ".gif")
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string testName(const testing::TestParamInfo<std::string>& info)
{
    std::string name = fs::path(info.param).stem().string();
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

// --- The conformance suite: small files, every offset of each ---

// Cuts at `cuts`, then flips at a sample of offsets; returns what went wrong.
std::string sweep(const Bytes& bytes, const std::vector<std::size_t>& cuts)
{
    Findings findings;
    if (bytes.empty())
        findings.add("the file", "cannot be read");
    sweepCuts(bytes, cuts, findings);
    sweepFlips(bytes, headThenStride(bytes.size(), kFlipHead, kFlipSamples, false), findings,
        [](const Bytes& damaged, std::size_t, bool* loaded) { return decodeProblem(damaged, loaded); });
    return findings.empty() ? "" : findings.text();
}

class SuiteFile : public testing::TestWithParam<std::string> { };

TEST_P(SuiteFile, EveryCutAndFlipShowsFramesOrSaysWhy)
{
    Bytes bytes = readFile(kSourceDir / "tests/data/gif-suite" / GetParam());
    EXPECT_EQ(sweep(bytes, everyOffset(0, bytes.size() + 1)), "");
}

INSTANTIATE_TEST_SUITE_P(GifSuite, SuiteFile, testing::ValuesIn(suiteFiles()), testName);

// --- Files that must load whole: the logo, and the real-world benchmark pictures ---

class WholeFile : public testing::TestWithParam<std::string> { };

TEST_P(WholeFile, LoadsWholeAndEveryCutAndFlipShowsFramesOrSaysWhy)
{
    Bytes bytes = readFile(kSourceDir / GetParam());
    bool loaded = false;
    EXPECT_EQ(decodeProblem(bytes, &loaded), "");
    EXPECT_TRUE(loaded);
    EXPECT_EQ(sweep(bytes, headThenStride(bytes.size(), kBigFileHead, kBigFileCuts, true)), "");
}

INSTANTIATE_TEST_SUITE_P(Real, WholeFile,
    testing::Values("assets/logo.gif", "tests/data/bench-corpus/bricks-dither.gif",
        "tests/data/bench-corpus/hibiscus.regular.gif", "tests/data/bench-corpus/gifplayer-muybridge.gif",
        "tests/data/bench-corpus/harvesters.gif"),
    testName);

} // namespace
