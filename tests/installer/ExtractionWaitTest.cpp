#include "ExtractionWait.h"

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace kv::installer;

namespace {

constexpr const char *kMarker = "/Games/Game.app/KVRavelock/Textures/KV2_Quarrytide1.utx";

// Plays the tool's states in turn, one per check, and records the order of checks and pauses.
class ScriptedTool
{
public:
    explicit ScriptedTool(std::vector<ToolState> states, bool markerExists = true)
        : states_(std::move(states)), markerExists_(markerExists)
    {}

    WaitOutcome wait()
    {
        return WaitForMarker(
            kMarker,
            [this] {
                events.push_back("check");
                const ToolState state = states_.at(next_);
                if (next_ + 1 < states_.size()) {
                    ++next_;
                }
                return state;
            },
            [this](const std::string &path) {
                events.push_back("exists " + path);
                return markerExists_;
            },
            [this] { events.push_back("pause"); });
    }

    std::vector<std::string> events;

private:
    std::vector<ToolState> states_;
    std::size_t next_ = 0;
    bool markerExists_;
};

} // namespace

// Mended: the worker used to re-check without pausing, keeping a core busy for the whole install.
TEST(WaitForMarker, PausesBetweenEveryTwoChecksWhileTheToolRuns)
{
    ScriptedTool tool(
        {ToolState::Running, ToolState::Running, ToolState::Running, ToolState::Succeeded});
    EXPECT_EQ(tool.wait(), WaitOutcome::MarkerFound);
    EXPECT_EQ(tool.events,
              (std::vector<std::string>{"check", "pause", "check", "pause", "check", "pause",
                                        "check", std::string("exists ") + kMarker}));
}

struct OutcomeCase
{
    const char *name;
    ToolState end;
    bool markerExists;
    WaitOutcome outcome;
};

void PrintTo(const OutcomeCase &c, std::ostream *out)
{
    *out << c.name;
}

class WaitOutcomeOf : public ::testing::TestWithParam<OutcomeCase>
{
};

// Completion needs both a tool that succeeded and the marker, whatever lay there before.
TEST_P(WaitOutcomeOf, ToolEndAndMarker)
{
    ScriptedTool tool({ToolState::Running, GetParam().end}, GetParam().markerExists);
    EXPECT_EQ(tool.wait(), GetParam().outcome);
}

INSTANTIATE_TEST_SUITE_P(
    Ends, WaitOutcomeOf,
    ::testing::Values(OutcomeCase{"SucceededWithMarker", ToolState::Succeeded, true,
                                  WaitOutcome::MarkerFound},
                      OutcomeCase{"SucceededWithoutMarker", ToolState::Succeeded, false,
                                  WaitOutcome::MarkerMissing},
                      OutcomeCase{"FailedEvenWithAMarkerPresent", ToolState::Failed, true,
                                  WaitOutcome::ToolFailed},
                      OutcomeCase{"Abandoned", ToolState::Abandoned, true, WaitOutcome::Abandoned}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ExtractionState, StartsRunningAndAPauseEndsAsSoonAsTheToolHasEnded)
{
    ExtractionState state;
    EXPECT_EQ(state.get(), ToolState::Running);
    // A pause far longer than the test may take; only the state change can end it.
    auto paused = std::async(std::launch::async, [&state] { state.pause(std::chrono::hours(1)); });
    state.set(ToolState::Failed);
    EXPECT_EQ(paused.wait_for(std::chrono::minutes(1)), std::future_status::ready)
        << "the pause did not end when the tool's end was reported";
    EXPECT_EQ(state.get(), ToolState::Failed);
}
