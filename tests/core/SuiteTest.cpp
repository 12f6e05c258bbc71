// The vendored conformance suite: every case with expected pictures is decoded and
// compared pixel by pixel; the cases without expected pictures are pinned to the
// decisions QUIRKS.md gives for them.

#include "GifAnimation.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <cctype>
#include <map>
#include <set>
#include <sstream>

namespace frolix::test {
namespace {

const std::string kSuiteDir = FROLIX_GIF_SUITE_DIR;

using Section = std::map<std::string, std::string>;
using Ini = std::map<std::string, Section>;

std::string trim(const std::string& text)
{
    auto begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos)
        return {};
    return text.substr(begin, text.find_last_not_of(" \t\r") - begin + 1);
}

Ini readIni(const std::string& path)
{
    Ini ini;
    std::ifstream in(path);
    std::string line, section;
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.empty() || line[0] == '#')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
            ini[section];
            continue;
        }
        auto equals = line.find('=');
        if (equals != std::string::npos)
            ini[section][trim(line.substr(0, equals))] = trim(line.substr(equals + 1));
    }
    return ini;
}

std::vector<std::string> splitList(const std::string& text)
{
    std::vector<std::string> items;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ','))
        if (!trim(item).empty())
            items.push_back(trim(item));
    return items;
}

Bytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> caseNames()
{
    std::ifstream in(kSuiteDir + "/TESTS");
    std::vector<std::string> names;
    std::string name;
    while (in >> name)
        names.push_back(name);
    return names;
}

bool hasExpectedFrames(const std::string& name)
{
    return !splitList(readIni(kSuiteDir + "/" + name + ".conf")["config"]["frames"]).empty();
}

std::vector<std::string> casesWithFrames(bool withFrames)
{
    std::vector<std::string> selected;
    for (const auto& name : caseNames())
        if (hasExpectedFrames(name) == withFrames)
            selected.push_back(name);
    return selected;
}

std::string sanitise(const std::string& name)
{
    std::string out = std::isdigit(static_cast<unsigned char>(name[0])) ? "_" : "";
    for (char c : name)
        out += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return out;
}

std::string loopText(const Timeline& timeline)
{
    auto plays = playCount(timeline);
    return plays ? std::to_string(*plays - 1) : "infinite";
}

class Conformance : public ::testing::TestWithParam<std::string> {};

TEST_P(Conformance, MatchesExpectedFrames)
{
    const std::string name = GetParam();
    Ini conf = readIni(kSuiteDir + "/" + name + ".conf");
    Section& config = conf["config"];
    ASSERT_FALSE(config["input"].empty()) << name << ": no input in its .conf";

    auto loaded = GifAnimation::fromBytes(readFile(kSuiteDir + "/" + config["input"]));
    ASSERT_TRUE(loaded.ok()) << name << ": refused: " << loaded.error().message;
    GifAnimation& animation = *loaded.value();

    EXPECT_EQ(std::to_string(animation.width()), config["width"]) << name;
    EXPECT_EQ(std::to_string(animation.height()), config["height"]) << name;
    EXPECT_EQ(loopText(animation.timeline()), config["loop-count"]) << name;

    std::vector<std::string> frames = splitList(config["frames"]);
    ASSERT_EQ(animation.frameCount(), int(frames.size())) << name;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        Section& frame = conf[frames[i]];
        if (!frame["delay"].empty()) {
            EXPECT_EQ(std::to_string(animation.info().frames[i].delayCs), frame["delay"])
                << name << " frame " << i << ": delay";
        }
        Bytes want = readFile(kSuiteDir + "/" + frame["pixels"]);
        ASSERT_EQ(want.size(), std::size_t(animation.width()) * animation.height() * 4)
            << name << " frame " << i << ": " << frame["pixels"] << " has the wrong size";
        std::string difference = firstDifference(animation.frame(int(i) + 1), want, unsigned(animation.width()));
        EXPECT_EQ(difference, "") << name << " frame " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(GifSuite, Conformance, ::testing::ValuesIn(casesWithFrames(true)),
                         [](const auto& info) { return sanitise(info.param); });

// What the engine does where the suite gives no picture.
struct Decision {
    std::string name;
    std::optional<Error::Kind> refusal;
    std::string message;     // the refusal, or a part of the one draw warning
    std::optional<Picture> picture; // the one frame shown
};

std::vector<Decision> decisions()
{
    return {
        { "zero-width", Error::Kind::Malformed, "logical screen 0 x 1 has no pixels to show", {} },
        { "zero-height", Error::Kind::Malformed, "logical screen 1 x 0 has no pixels to show", {} },
        { "zero-size", Error::Kind::Malformed, "logical screen 0 x 0 has no pixels to show", {} },
        { "max-size", Error::Kind::OverLimit, "logical screen 65535 x 65535 is over the limit of 33554432 pixels", {} },
        // Its first code is already past the table, so no pixel comes before it.
        { "invalid-code", {}, "invalid LZW code 7", Picture(2, 2) },
        { "invalid-colors", {}, "", Picture(1, 1).set(0, 0, kBlack) },
        { "overflow-codes", {}, "LZW minimum code size 12 is outside 1 to 11", Picture(2, 2) },
        { "overflow-codes-max", {}, "LZW minimum code size 255 is outside 1 to 11", Picture(2, 2) },
    };
}

class Decisions : public ::testing::TestWithParam<Decision> {};

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
    GifAnimation& animation = *loaded.value();
    ASSERT_EQ(animation.frameCount(), 1) << want.name;
    EXPECT_EQ(firstDifference(animation.frame(1), *want.picture), "") << want.name;
    const auto& warnings = animation.composer().drawWarnings();
    if (want.message.empty()) {
        EXPECT_TRUE(warnings.empty()) << want.name << ": " << warnings.front();
    } else {
        ASSERT_EQ(warnings.size(), 1u) << want.name;
        EXPECT_NE(warnings[0].find(want.message), std::string::npos) << want.name << ": " << warnings[0];
    }
}

INSTANTIATE_TEST_SUITE_P(GifSuite, Decisions, ::testing::ValuesIn(decisions()),
                         [](const auto& info) { return sanitise(info.param.name); });

// Removes every plain-text extension (0x21 0x01) from a file with a global colour table.
Bytes withoutPlainText(const Bytes& file)
{
    std::size_t at = 13 + ((file[10] & 0x80) ? 3u * (2u << (file[10] & 7)) : 0);
    Bytes out(file.begin(), file.begin() + std::ptrdiff_t(at));
    while (at < file.size()) {
        std::size_t start = at;
        std::uint8_t introducer = file[at];
        if (introducer == 0x3B) {
            out.push_back(0x3B);
            break;
        }
        bool plainText = introducer == 0x21 && file[at + 1] == 0x01;
        if (introducer == 0x21) {
            at += 2;
        } else { // image: descriptor, optional local table, code size
            std::uint8_t packed = file[at + 9];
            at += 10 + ((packed & 0x80) ? 3u * (2u << (packed & 7)) : 0) + 1;
        }
        while (file[at] != 0)
            at += file[at] + 1;
        ++at;
        if (!plainText)
            out.insert(out.end(), file.begin() + std::ptrdiff_t(start), file.begin() + std::ptrdiff_t(at));
    }
    return out;
}

TEST(GifSuiteDecisions, PlainTextIsSkippedAndTheImageDrawn)
{
    Bytes file = readFile(kSuiteDir + "/plain-text.gif");
    Bytes stripped = withoutPlainText(file);
    ASSERT_LT(stripped.size(), file.size()) << "no plain-text extension found";

    auto withText = GifAnimation::fromBytes(file);
    auto withoutText = GifAnimation::fromBytes(stripped);
    ASSERT_TRUE(withText.ok() && withoutText.ok());
    ASSERT_EQ(withText.value()->frameCount(), 1);
    ASSERT_EQ(withoutText.value()->frameCount(), 1);
    auto pixels = withText.value()->frame(1);
    EXPECT_EQ(firstDifference(pixels, withoutText.value()->frame(1), 40), "");
    std::size_t opaque = 0;
    for (std::size_t i = 3; i < pixels.size(); i += 4)
        opaque += pixels[i] == 255;
    EXPECT_EQ(opaque, 40u * 8u) << "the image under the text is drawn in full";
}

// Each case has a picture to compare or a pinned decision, so none is passed over.
TEST(GifSuiteDecisions, EveryListedCaseIsChecked)
{
    std::vector<std::string> names = caseNames();
    ASSERT_EQ(names.size(), 84u) << "TESTS in " << kSuiteDir;
    std::set<std::string> pinned { "plain-text" };
    for (const auto& decision : decisions())
        pinned.insert(decision.name);
    for (const auto& name : casesWithFrames(false))
        EXPECT_TRUE(pinned.count(name)) << name << " has no expected frames and no pinned decision";
}

} // namespace
} // namespace frolix::test
