// The vendored conformance suite: every case with expected pictures is decoded and
// compared pixel by pixel; the cases without expected pictures are pinned to the
// decisions QUIRKS.md gives for them.

#include "FileBytes.h"
#include "GifAnimation.h"
#include "GifBuilder.h"
#include "Pictures.h"
#include "Player.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <set>
#include <sstream>

namespace frolix::test {
namespace {

const std::string kSuiteDir = FROLIX_GIF_SUITE_DIR;

std::string trim(const std::string& text)
{
    auto begin = text.find_first_not_of(" \t\r");
    return begin == std::string::npos ? "" : text.substr(begin, text.find_last_not_of(" \t\r") - begin + 1);
}

// A case's .conf: "section.key" -> value.
std::map<std::string, std::string> readConf(const std::string& name)
{
    std::map<std::string, std::string> conf;
    std::ifstream in(kSuiteDir + "/" + name + ".conf");
    std::string line, section;
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.size() > 1 && line.front() == '[' && line.back() == ']')
            section = line.substr(1, line.size() - 2);
        else if (auto equals = line.find('='); line[0] != '#' && equals != std::string::npos)
            conf[section + "." + trim(line.substr(0, equals))] = trim(line.substr(equals + 1));
    }
    return conf;
}

std::vector<std::string> splitList(const std::string& text)
{
    std::vector<std::string> items;
    std::stringstream in(text);
    for (std::string item; std::getline(in, item, ',');)
        if (!trim(item).empty())
            items.push_back(trim(item));
    return items;
}

Bytes readFile(const std::string& path) { return readFileBytes(path).value(); }

std::vector<std::string> casesWithFrames(bool withFrames)
{
    std::ifstream in(kSuiteDir + "/TESTS");
    std::vector<std::string> names;
    for (std::string name; in >> name;)
        if (splitList(readConf(name)["config.frames"]).empty() != withFrames)
            names.push_back(name);
    return names;
}

std::string sanitise(const std::string& name)
{
    std::string out = std::isdigit(static_cast<unsigned char>(name[0])) ? "_" : "";
    for (char c : name)
        out += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return out;
}

// Cases where we part from the suite on purpose (QUIRKS.md, "Every image a frame"): it
// draws images without a delay into the next frame and loops some files without a loop
// extension; we show every image as a frame and play such files once, as browsers do.
// Its pictures must still appear, at the frame (from 1) that ends each run it merges.
struct ChangedOnPurpose {
    std::vector<int> shownAt;
    std::string loopCount;
};

const std::map<std::string, ChangedOnPurpose> kChangedOnPurpose = {
    { "images-combine", { { 4 }, "0" } },
    { "images-overlap", { { 2 }, "0" } },
    { "high-color", { { 4 }, "0" } },
    { "animation-multi-image", { { 1, 3, 5, 7 }, "infinite" } },
    { "animation-multi-image-explicit-zero-delay", { { 1, 3, 5, 7 }, "infinite" } },
    { "dispose-restore-previous", { { 2, 3, 4, 5 }, "infinite" } },
    { "gif87a-animation", { { 1, 2, 3, 4 }, "0" } },
};

class Conformance : public ::testing::TestWithParam<std::string> { };

TEST_P(Conformance, MatchesExpectedFrames)
{
    const std::string name = GetParam();
    auto conf = readConf(name);
    auto loaded = GifAnimation::fromBytes(readFile(kSuiteDir + "/" + conf["config.input"]));
    ASSERT_TRUE(loaded.ok()) << name << ": refused: " << loaded.error().message;
    GifAnimation& animation = *loaded.value();
    EXPECT_EQ(std::to_string(animation.width()), conf["config.width"]) << name;
    EXPECT_EQ(std::to_string(animation.height()), conf["config.height"]) << name;

    std::vector<std::string> frames = splitList(conf["config.frames"]);
    ChangedOnPurpose want { {}, conf["config.loop-count"] };
    for (std::size_t i = 0; i < frames.size(); ++i)
        want.shownAt.push_back(int(i) + 1);
    if (auto changed = kChangedOnPurpose.find(name); changed != kChangedOnPurpose.end())
        want = changed->second;
    const Timeline timeline = animation.timeline();
    auto plays = playCount(timeline);
    EXPECT_EQ(plays ? std::to_string(*plays - 1) : "infinite", want.loopCount) << name;
    ASSERT_EQ(want.shownAt.size(), frames.size()) << name;
    ASSERT_EQ(animation.frameCount(), want.shownAt.back()) << name;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const int number = want.shownAt[i];
        if (std::string delay = conf[frames[i] + ".delay"]; !delay.empty()) {
            EXPECT_EQ(std::to_string(timeline.storedDelaysCs[std::size_t(number - 1)]), delay)
                << name << " frame " << number << ": delay";
        }
        Bytes pixels = readFile(kSuiteDir + "/" + conf[frames[i] + ".pixels"]);
        EXPECT_EQ(firstDifference(animation.frame(number), pixels, unsigned(animation.width())), "")
            << name << " frame " << number;
    }
}

INSTANTIATE_TEST_SUITE_P(GifSuite, Conformance, ::testing::ValuesIn(casesWithFrames(true)), [](const auto& info) {
    return sanitise(info.param) + (kChangedOnPurpose.count(info.param) ? "_ChangedOnPurpose" : "");
});

// What the engine does where the suite gives no picture.
struct Decision {
    std::string name;
    std::optional<Error::Kind> refusal;
    std::optional<Warning::Kind> warning; // the one draw warning
    std::string message; // of the refusal or the warning
    std::optional<Picture> picture; // the one frame shown
};

std::vector<Decision> decisions()
{
    using enum Error::Kind;
    using enum Warning::Kind;
    return {
        { "zero-width", Malformed, {}, "logical screen 0 x 1 has no pixels to show", {} },
        { "zero-height", Malformed, {}, "logical screen 1 x 0 has no pixels to show", {} },
        { "zero-size", Malformed, {}, "logical screen 0 x 0 has no pixels to show", {} },
        { "max-size", OverLimit, {}, "logical screen 65535 x 65535 is over the limit of 33554432 pixels", {} },
        // Its first code is already past the table, so no pixel comes before it.
        { "invalid-code", {}, InvalidCode,
            "image 1: invalid LZW code 7 with 6 table entries; the pixels before it are kept", Picture(2, 2) },
        { "invalid-colors", {}, {}, "", Picture(1, 1).set(0, 0, kBlack) },
        { "overflow-codes", {}, BadMinCodeSize,
            "image 1: LZW minimum code size 12 is outside 1 to 11; the image is not drawn", Picture(2, 2) },
        { "overflow-codes-max", {}, BadMinCodeSize,
            "image 1: LZW minimum code size 255 is outside 1 to 11; the image is not drawn", Picture(2, 2) },
    };
}

class Decisions : public ::testing::TestWithParam<Decision> { };

TEST_P(Decisions, ArePinned)
{
    const Decision& want = GetParam();
    auto loaded = GifAnimation::fromBytes(readFile(kSuiteDir + "/" + want.name + ".gif"));
    if (want.refusal) {
        ASSERT_FALSE(loaded.ok()) << want.name;
        EXPECT_EQ(loaded.error().kind, *want.refusal) << want.name;
        EXPECT_EQ(loaded.error().message, want.message) << want.name;
        return;
    }
    ASSERT_TRUE(loaded.ok()) << want.name << ": " << loaded.error().message;
    ASSERT_EQ(loaded.value()->frameCount(), 1) << want.name;
    EXPECT_EQ(firstDifference(loaded.value()->frame(1), *want.picture), "") << want.name;
    const auto warnings = loaded.value()->warnings();
    ASSERT_EQ(warnings.size(), want.warning ? 1u : 0u) << want.name;
    if (want.warning) {
        EXPECT_EQ(warnings[0].kind, *want.warning) << want.name;
        EXPECT_EQ(warnings[0].message, want.message) << want.name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    GifSuite, Decisions, ::testing::ValuesIn(decisions()), [](const auto& info) { return sanitise(info.param.name); });

// The plain-text extension is skipped and the image under it drawn in full.
TEST(GifSuiteDecisions, PlainTextIsSkippedAndTheImageDrawn)
{
    auto loaded = GifAnimation::fromBytes(readFile(kSuiteDir + "/plain-text.gif"));
    ASSERT_TRUE(loaded.ok()) << loaded.error().message;
    ASSERT_EQ(loaded.value()->frameCount(), 1);
    EXPECT_TRUE(loaded.value()->warnings().empty());
    auto pixels = loaded.value()->frame(1);
    ASSERT_EQ(pixels.size(), 40u * 8u * 4u);
    for (std::size_t i = 3; i < pixels.size(); i += 4)
        ASSERT_EQ(pixels[i], 255) << "pixel " << i / 4 << " not drawn";
}

// Each case has a picture to compare or a pinned decision, so none is passed over.
TEST(GifSuiteDecisions, EveryListedCaseIsChecked)
{
    EXPECT_EQ(casesWithFrames(true).size() + casesWithFrames(false).size(), 84u) << "TESTS in " << kSuiteDir;
    std::set<std::string> pinned { "plain-text" };
    for (const auto& decision : decisions())
        pinned.insert(decision.name);
    for (const auto& name : casesWithFrames(false))
        EXPECT_TRUE(pinned.count(name)) << name << " has no expected frames and no pinned decision";
}

} // namespace
} // namespace frolix::test
