// The player over a clock the test sets by hand: timing, loop counts, sequences and
// the state changes a window drives.

#include "Player.h"
#include "ManualClock.h"

#include <gtest/gtest.h>

namespace frolix {
namespace {

using FakeClock = test::ManualClock;

Timeline timeline(std::vector<std::uint16_t> delays, std::optional<std::uint16_t> loop = 0)
{
    return Timeline { std::move(delays), loop };
}

// Records every frame the step callback reports and checks each one is a change.
struct Recorder {
    explicit Recorder(Player& player)
        : player(player)
        , last(player.currentFrame())
    {
        player.setStepCallback([this] {
            EXPECT_NE(this->player.currentFrame(), last) << "a step without a change of frame";
            last = this->player.currentFrame();
            frames.push_back(last);
        });
    }
    Player& player;
    int last;
    std::vector<int> frames;
};

// Jumps the clock to each change in turn; stops after `steps` or when nothing is due.
std::vector<int> run(Player& player, FakeClock& clock, std::size_t steps)
{
    std::vector<int> shown { player.currentFrame() };
    for (std::size_t i = 0; i < steps; ++i) {
        auto at = player.nextChangeAt();
        if (!at)
            break;
        clock.set(*at);
        player.update();
        shown.push_back(player.currentFrame());
    }
    return shown;
}

TEST(Player, StoredDelaysPlayAsBrowsersPlayThem)
{
    FakeClock clock;
    clock.set(Milliseconds(1000));
    Player player(clock, timeline({ 0, 1, 2, 50, 65535 }));
    player.play();
    std::vector<std::pair<int, int>> changes; // (ms since play, frame shown from then)
    for (int i = 0; i < 5; ++i) {
        Milliseconds at = *player.nextChangeAt();
        clock.set(at - Milliseconds(1));
        player.update();
        EXPECT_EQ(player.currentFrame(), i + 1) << "no change before it is due";
        clock.set(at);
        player.update();
        changes.emplace_back(int(at.count()) - 1000, player.currentFrame());
    }
    EXPECT_EQ(
        changes, (std::vector<std::pair<int, int>> { { 100, 2 }, { 200, 3 }, { 220, 4 }, { 720, 5 }, { 656070, 1 } }));
}

struct LoopCase {
    const char* name;
    std::optional<std::uint16_t> storedLoop;
    std::optional<int> plays; // nullopt: forever
};

class PlayerLoops : public ::testing::TestWithParam<LoopCase> { };

TEST_P(PlayerLoops, PlaysTheRightNumberOfTimes)
{
    const LoopCase& c = GetParam();
    FakeClock clock;
    Player player(clock, timeline({ 10, 10, 10 }, c.storedLoop));
    Recorder recorder(player);
    player.play();
    const std::size_t manyLoops = 3 * 2000;
    std::vector<int> shown = run(player, clock, manyLoops);
    if (!c.plays) {
        EXPECT_EQ(shown.size(), manyLoops + 1);
        EXPECT_EQ(player.state(), Player::State::Playing);
        EXPECT_TRUE(player.nextChangeAt().has_value());
        return;
    }
    std::vector<int> want;
    for (int play = 0; play < *c.plays; ++play)
        want.insert(want.end(), { 1, 2, 3 });
    want.push_back(3); // the last call ends the play and shows no new frame
    EXPECT_EQ(shown, want);
    EXPECT_EQ(player.state(), Player::State::Finished);
    EXPECT_FALSE(player.nextChangeAt().has_value());
    EXPECT_EQ(recorder.frames.size(), want.size() - 2);
}

INSTANTIATE_TEST_SUITE_P(Player, PlayerLoops,
    ::testing::Values(LoopCase { "NoExtensionPlaysOnce", std::nullopt, 1 },
        LoopCase { "StoredZeroForever", 0, std::nullopt }, LoopCase { "StoredOnePlaysTwice", 1, 2 },
        LoopCase { "StoredFourPlaysFive", 4, 5 }),
    [](const auto& info) { return std::string(info.param.name); });

struct SequenceCase {
    const char* name;
    Sequence sequence;
    int frames;
    std::optional<std::uint16_t> loop;
    std::vector<int> shown; // from the frame shown at play()
};

class PlayerSequences : public ::testing::TestWithParam<SequenceCase> { };

TEST_P(PlayerSequences, ShowFramesInOrder)
{
    const SequenceCase& c = GetParam();
    FakeClock clock;
    Player player(clock, timeline(std::vector<std::uint16_t>(std::size_t(c.frames), 10), c.loop));
    Recorder recorder(player);
    player.setSequence(c.sequence);
    player.play();
    std::vector<int> shown = run(player, clock, c.shown.size() - 1);
    EXPECT_EQ(shown, c.shown);
    // Every change was reported once, in order.
    std::vector<int> changes;
    for (std::size_t i = 1; i < shown.size(); ++i)
        if (shown[i] != shown[i - 1])
            changes.push_back(shown[i]);
    EXPECT_EQ(recorder.frames, changes);
}

INSTANTIATE_TEST_SUITE_P(Player, PlayerSequences,
    ::testing::Values(SequenceCase { "Normal", Sequence::Normal, 4, 0, { 1, 2, 3, 4, 1, 2, 3, 4, 1 } },
        // Reverse from the first frame goes on to the last.
        SequenceCase { "Reverse", Sequence::Reverse, 4, 0, { 1, 4, 3, 2, 1, 4, 3, 2, 1 } },
        SequenceCase { "PingPong", Sequence::PingPong, 4, 0, { 1, 2, 3, 4, 3, 2, 1, 2, 3, 4, 3, 2, 1, 2 } },
        SequenceCase { "PingPongTwoFrames", Sequence::PingPong, 2, 0, { 1, 2, 1, 2, 1 } },
        SequenceCase {
            "PingPongOncePlaysThereAndBack", Sequence::PingPong, 4, std::nullopt, { 1, 2, 3, 4, 3, 2, 1, 1 } },
        SequenceCase { "PingPongTwice", Sequence::PingPong, 3, 1, { 1, 2, 3, 2, 1, 2, 3, 2, 1, 1 } }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Player, StopKeepsTheFrameAndPlayResumesWithAFullDelay)
{
    FakeClock clock;
    Player player(clock, timeline({ 10, 30, 10 }));
    Recorder recorder(player);
    player.play();
    run(player, clock, 1);
    ASSERT_EQ(player.currentFrame(), 2);
    clock.set(clock.now() + Milliseconds(250)); // most of frame 2's 300 ms
    player.stop();
    EXPECT_EQ(player.state(), Player::State::Stopped);
    EXPECT_FALSE(player.nextChangeAt().has_value());
    clock.set(clock.now() + Milliseconds(10000));
    player.update();
    EXPECT_EQ(player.currentFrame(), 2);
    player.play();
    EXPECT_EQ(*player.nextChangeAt(), clock.now() + Milliseconds(300));
    clock.set(clock.now() + Milliseconds(299));
    player.update();
    EXPECT_EQ(player.currentFrame(), 2);
    clock.set(clock.now() + Milliseconds(1));
    player.update();
    EXPECT_EQ(player.currentFrame(), 3);
    EXPECT_EQ(recorder.frames, (std::vector<int> { 2, 3 }));
}

TEST(Player, PlayAfterFinishedStartsAgain)
{
    for (Sequence sequence : { Sequence::Normal, Sequence::Reverse }) {
        FakeClock clock;
        Player player(clock, timeline({ 10, 10, 10 }, std::nullopt));
        Recorder recorder(player);
        player.play();
        run(player, clock, 10);
        ASSERT_EQ(player.state(), Player::State::Finished);
        ASSERT_EQ(player.currentFrame(), 3);
        player.setSequence(sequence);
        player.play();
        EXPECT_EQ(player.state(), Player::State::Playing);
        int first = sequence == Sequence::Reverse ? 3 : 1;
        EXPECT_EQ(player.currentFrame(), first);
        EXPECT_EQ(recorder.frames.size(), first == 3 ? 2u : 3u) << "one step for the jump back, none for no change";
        std::vector<int> want
            = sequence == Sequence::Reverse ? std::vector<int> { 3, 2, 1, 1 } : std::vector<int> { 1, 2, 3, 3 };
        EXPECT_EQ(run(player, clock, 10), want);
        EXPECT_EQ(player.state(), Player::State::Finished);
    }
}

struct LateCase {
    const char* name;
    int lateMs; // after the first change was due
    int frame;
    int steps;
    int nextChangeMs;
};

class PlayerLate : public ::testing::TestWithParam<LateCase> { };

// Five frames of 100 ms played from time 0: changes are due at 100, 200, ...
TEST_P(PlayerLate, CatchesUpWithinASecondAndSkipsBeyond)
{
    const LateCase& c = GetParam();
    FakeClock clock;
    Player player(clock, timeline({ 10, 10, 10, 10, 10 }));
    Recorder recorder(player);
    player.play();
    clock.set(Milliseconds(100 + c.lateMs));
    player.update();
    EXPECT_EQ(player.currentFrame(), c.frame);
    EXPECT_EQ(int(recorder.frames.size()), c.steps);
    EXPECT_EQ(player.nextChangeAt(), Milliseconds(c.nextChangeMs));
}

INSTANTIATE_TEST_SUITE_P(Player, PlayerLate,
    ::testing::Values(LateCase { "OnTime", 0, 2, 1, 200 }, LateCase { "Late450", 450, 1, 5, 600 },
        LateCase { "LateOneSecond", 1000, 2, 11, 1200 }, LateCase { "LateJustOverASecond", 1001, 2, 1, 1201 },
        LateCase { "LateAMinute", 60000, 2, 1, 60200 }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Player, OneFrameNeverSteps)
{
    FakeClock clock;
    Player player(clock, timeline({ 0 }));
    Recorder recorder(player);
    player.setSequence(Sequence::PingPong);
    player.play();
    EXPECT_FALSE(player.nextChangeAt().has_value());
    for (int t : { 100, 1000, 100000 }) {
        clock.set(Milliseconds(t));
        player.update();
    }
    EXPECT_EQ(player.currentFrame(), 1);
    EXPECT_TRUE(recorder.frames.empty());
}

} // namespace
} // namespace frolix
