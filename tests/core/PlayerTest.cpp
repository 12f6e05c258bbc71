// The player over a clock the test sets by hand: timing, loop counts, sequences and
// the state changes a window drives.

#include "Player.h"
#include "ManualClock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

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
    LoopMode mode = LoopMode::AsFile;
};

class PlayerLoops : public ::testing::TestWithParam<LoopCase> { };

TEST_P(PlayerLoops, PlaysTheRightNumberOfTimes)
{
    const LoopCase& c = GetParam();
    FakeClock clock;
    Player player(clock, timeline({ 10, 10, 10 }, c.storedLoop));
    Recorder recorder(player);
    player.setLoopMode(c.mode);
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
        LoopCase { "StoredZeroForever", 0, std::nullopt }, LoopCase { "StoredFourPlaysFive", 4, 5 },
        LoopCase { "ForeverOverNoExtension", std::nullopt, std::nullopt, LoopMode::Forever },
        LoopCase { "ForeverOverStoredOne", 1, std::nullopt, LoopMode::Forever },
        LoopCase { "OnceOverStoredZero", 0, 1, LoopMode::Once },
        LoopCase { "OnceOverStoredFour", 4, 1, LoopMode::Once }),
    [](const auto& info) { return std::string(info.param.name); });

// A script over frames of 100 ms: N, R, P set the sequence, G plays, S stops; a number
// moves the clock to the next change and is the frame shown then; @n is the frame shown
// at once; "-" says nothing more is due; a FrameStep's name steps (kStepNames).
struct Script {
    const char* name;
    int frames;
    std::optional<std::uint16_t> loop;
    std::string script;
};

class PlayerScripts : public ::testing::TestWithParam<Script> { };

const std::pair<const char*, FrameStep> kStepNames[]
    = { { "Next", FrameStep::Next }, { "Previous", FrameStep::Previous }, { "First", FrameStep::First },
          { "Last", FrameStep::Last }, { "TenOn", FrameStep::TenOn }, { "TenBack", FrameStep::TenBack } };

std::optional<FrameStep> stepNamed(const std::string& name)
{
    for (const auto& [stepName, step] : kStepNames)
        if (name == stepName)
            return step;
    return std::nullopt;
}

TEST_P(PlayerScripts, ShowFramesInOrder)
{
    const Script& c = GetParam();
    FakeClock clock;
    Player player(clock, timeline(std::vector<std::uint16_t>(std::size_t(c.frames), 10), c.loop));
    Recorder recorder(player);
    std::istringstream tokens(c.script);
    std::vector<int> trace { player.currentFrame() };
    for (std::string token; tokens >> token; trace.push_back(player.currentFrame())) {
        if (auto step = stepNamed(token)) {
            player.step(*step);
        } else if (auto sequence = std::string("NRP").find(token[0]); sequence != std::string::npos) {
            player.setSequence(kSequences[sequence]);
        } else if (token == "G" || token == "S") {
            token == "G" ? player.play() : player.stop();
        } else if (token == "-") {
            EXPECT_FALSE(player.nextChangeAt().has_value()) << "something due after " << trace.size() << " steps";
        } else {
            if (token[0] != '@') {
                auto at = player.nextChangeAt();
                ASSERT_TRUE(at.has_value()) << "nothing due before " << token;
                clock.set(*at);
                player.update();
            }
            ASSERT_EQ(std::to_string(player.currentFrame()), token.substr(token[0] == '@')) << "token " << trace.size();
        }
    }
    // Every change was reported once, in order, and nothing else.
    trace.erase(std::unique(trace.begin(), trace.end()), trace.end());
    EXPECT_EQ(recorder.frames, std::vector<int>(trace.begin() + 1, trace.end()));
}

INSTANTIATE_TEST_SUITE_P(Player, PlayerScripts,
    ::testing::Values(Script { "Normal", 4, 0, "G @1 2 3 4 1 2 3 4 1" },
        // Reverse from the first frame goes on to the last.
        Script { "Reverse", 4, 0, "R G @1 4 3 2 1 4 3 2 1" },
        Script { "PingPong", 4, 0, "P G @1 2 3 4 3 2 1 2 3 4 3 2 1 2" },
        Script { "PingPongTwoFrames", 2, 0, "P G @1 2 1 2 1" },
        Script { "PingPongOncePlaysThereAndBack", 4, std::nullopt, "P G @1 2 3 4 3 2 1 1 -" },
        Script { "PingPongTwice", 3, 1, "P G @1 2 3 2 1 2 3 2 1 1 -" },
        Script { "NormalThenReverseAt3", 4, 0, "G @1 2 3 R 2 1 4 3" },
        Script { "ReverseThenNormalAt3", 4, 0, "R G @1 4 3 N 4 1 2" },
        Script { "PingPongGoingDownThenNormal", 4, 0, "P G @1 2 3 4 3 N 4 1 2" },
        Script { "ReverseThenPingPongAt3", 4, 0, "R G @1 4 3 P 4 3 2 1 2" },
        Script { "PingPongThenReverseAt2", 4, 0, "P G @1 2 R 1 4 3" },
        Script { "StopKeepsTheFrame", 4, 0, "G @1 2 S @2 - G @2 3" },
        // Play after the end starts again: the jump back is one step, no change none.
        Script { "PlayAfterFinishedNormal", 3, std::nullopt, "G @1 2 3 3 - G @1 2 3 3 -" },
        Script { "PlayAfterFinishedReverse", 3, std::nullopt, "G @1 2 3 3 - R G @3 2 1 1 -" },
        Script { "PlayAfterFinishedPingPong", 3, 1, "P G @1 2 3 2 1 2 3 2 1 1 - G @1 2 3 2 1 2 3 2 1 1 -" },
        Script { "OneFrameNeverSteps", 1, 0, "P G @1 -" },
        // A step stops; Play goes on from the frame stepped to, along the sequence.
        Script { "StepStopsAndPlayGoesOn", 4, 0, "G @1 2 Next @3 - G @3 4 Previous @3 - G 4 1" },
        Script { "StepInReverseThenPlay", 4, 0, "R G @1 4 Previous @3 - G 2 1 Next @2 G 1 4" },
        Script { "StepInPingPongThenPlay", 4, 0, "P G @1 2 3 4 3 Last @4 G 3 2 First @1 G 2 3" },
        // After the loops ran out, a step and Play play them all again from there.
        Script { "StepAfterFinished", 3, std::nullopt, "G @1 2 3 3 - Previous @2 - G 3 3 -" },
        Script { "StepAfterFinishedTwice", 3, 1, "G @1 2 3 1 2 3 3 - First @1 G 2 3 1 2 3 3 -" }),
    [](const auto& info) { return std::string(info.param.name); });

// What each step shows from each position of a 25-frame animation: the same in every
// sequence, ping-pong on its way down included.
struct StepRow {
    int from;
    const char* step;
    int to;
};
const StepRow kStepTable[] = {
    { 1, "Next", 2 },
    { 1, "Previous", 25 },
    { 1, "First", 1 },
    { 1, "Last", 25 },
    { 1, "TenOn", 11 },
    { 1, "TenBack", 1 }, //
    { 12, "Next", 13 },
    { 12, "Previous", 11 },
    { 12, "First", 1 },
    { 12, "Last", 25 },
    { 12, "TenOn", 22 },
    { 12, "TenBack", 2 }, //
    { 20, "Next", 21 },
    { 20, "Previous", 19 },
    { 20, "TenOn", 25 },
    { 20, "TenBack", 10 }, //
    { 25, "Next", 1 },
    { 25, "Previous", 24 },
    { 25, "First", 1 },
    { 25, "Last", 25 },
    { 25, "TenOn", 25 },
    { 25, "TenBack", 15 },
};

TEST(Player, StepsFollowTheFileFromEachSequenceAndPosition)
{
    for (Sequence sequence : kSequences)
        for (const StepRow& row : kStepTable) {
            FakeClock clock;
            Player player(clock, timeline(std::vector<std::uint16_t>(25, 10)));
            player.setSequence(sequence);
            player.play();
            // Played there, past the last frame first: ping-pong comes back down to it.
            bool pastLast = false;
            while (!pastLast || player.currentFrame() != row.from) {
                pastLast = pastLast || player.currentFrame() == 25;
                if (pastLast && player.currentFrame() == row.from)
                    break;
                clock.set(*player.nextChangeAt());
                player.update();
            }
            Recorder recorder(player);
            player.step(*stepNamed(row.step));
            const std::string where
                = std::to_string(int(sequence)) + ": " + row.step + " from " + std::to_string(row.from);
            EXPECT_EQ(player.currentFrame(), row.to) << where;
            EXPECT_EQ(recorder.frames.size(), row.to != row.from ? 1u : 0u) << where;
            EXPECT_EQ(player.state(), Player::State::Stopped) << where;
            EXPECT_FALSE(player.nextChangeAt().has_value()) << where;
        }
}

// At every speed each interval is the file's delay (after the 0-or-1 rule) divided by the
// speed, to the clock's millisecond, and their mean is exact.
TEST(Player, SpeedDividesEachDelayExactly)
{
    const std::vector<std::uint16_t> stored { 0, 3, 7, 5, 1, 2 };
    for (Speed speed : kSpeeds) {
        FakeClock clock(Milliseconds(5));
        Player player(clock, timeline(stored));
        player.setSpeed(speed);
        player.play();
        Milliseconds last = clock.now();
        double sumInterval = 0, sumWanted = 0, worst = 0;
        for (int change = 0; change < 600; ++change) {
            const int shown = player.currentFrame();
            clock.set(*player.nextChangeAt());
            player.update();
            ASSERT_NE(player.currentFrame(), shown);
            const double interval = double((clock.now() - last).count());
            const double wanted = double(playedDelay(stored[std::size_t(shown - 1)]).count()) / speedFactor(speed);
            sumInterval += interval;
            sumWanted += wanted;
            worst = std::max(worst, std::abs(interval - wanted));
            last = clock.now();
        }
        EXPECT_NEAR(sumInterval / sumWanted, 1.0, 0.001) << speedFactor(speed) << "x";
        EXPECT_LE(worst, 4.0) << speedFactor(speed) << "x";
    }
}

// A speed changed in the middle of a frame keeps the part of its delay still to run,
// in the file's time: 60 of 100 ms left at 1x are 30 ms at 2x, then 120 ms at 0.5x.
TEST(Player, SpeedChangedMidFrameScalesWhatIsLeft)
{
    FakeClock clock;
    Player player(clock, timeline({ 10, 10 }));
    player.play();
    clock.set(Milliseconds(40));
    player.setSpeed(Speed::Double);
    EXPECT_EQ(player.nextChangeAt(), Milliseconds(70));
    clock.set(Milliseconds(50));
    player.setSpeed(Speed::Half);
    EXPECT_EQ(player.nextChangeAt(), Milliseconds(130));
    clock.set(Milliseconds(130));
    player.update();
    EXPECT_EQ(player.currentFrame(), 2);
    EXPECT_EQ(player.nextChangeAt(), Milliseconds(330));
}

// However long it was stopped, and however little of its delay was left, the frame
// shown plays its whole delay again.
TEST(Player, PlayResumesWithAFullDelay)
{
    FakeClock clock;
    Player player(clock, timeline({ 10, 30, 10 }));
    player.play();
    run(player, clock, 1);
    ASSERT_EQ(player.currentFrame(), 2);
    clock.set(clock.now() + Milliseconds(250)); // most of frame 2's 300 ms
    player.stop();
    clock.set(clock.now() + Milliseconds(10000));
    player.play();
    EXPECT_EQ(*player.nextChangeAt(), clock.now() + Milliseconds(300));
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

} // namespace
} // namespace frolix
