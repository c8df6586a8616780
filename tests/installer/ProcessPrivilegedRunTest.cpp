#include "ProcessPrivilegedRun.h"

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <QTest>

#include <gtest/gtest.h>

#include "GameTestSupport.h"
#include "TestSupport.h"

using namespace kv::installer;

namespace {

constexpr int kWaitMs = 60000; // generous: processes start slowly under the sanitizers

// One run through the fake elevator, with what it reported.
class ElevatedRun : public ::testing::Test
{
protected:
    void start(const std::string &tool, const std::vector<std::string> &arguments)
    {
        run.start(
            tool, arguments, kv::installer::RunAs{},
            [this](StartOutcome outcome) { startOutcomes.push_back(outcome); },
            [this](bool succeeded) { ends.push_back(succeeded); });
    }
    bool waitForStart()
    {
        return QTest::qWaitFor([this] { return !startOutcomes.empty(); }, kWaitMs);
    }
    bool waitForEnd()
    {
        return QTest::qWaitFor([this] { return !ends.empty(); }, kWaitMs);
    }
    std::vector<std::string> elevatorArguments() const
    {
        std::vector<std::string> lines;
        std::istringstream in(kv::test::ReadTextFile(record()));
        for (std::string line; std::getline(in, line, '\0');) {
            lines.push_back(line);
        }
        return lines;
    }
    std::string record() const { return dir.File("pkexec-arguments.txt"); }

    kv::test::TempDir dir;
    kv::test::ScopedEnv recordEnv{"KV_FAKE_PKEXEC_RECORD", record()};
    ProcessPrivilegedRun run{QStringLiteral(KV_FAKE_PKEXEC)};
    std::vector<StartOutcome> startOutcomes;
    std::vector<bool> ends;
};

} // namespace

TEST_F(ElevatedRun, DismissedPasswordDialogIsReportedAsNotStarted)
{
    kv::test::ScopedEnv status{"KV_FAKE_PKEXEC_EXIT", "126"};
    start("/usr/bin/tar", {"--version"});
    ASSERT_TRUE(waitForStart());
    EXPECT_EQ(startOutcomes, std::vector<StartOutcome>{StartOutcome::Dismissed});
    EXPECT_TRUE(ends.empty()) << "a tool that never ran was reported as ended";
}

TEST_F(ElevatedRun, RefusedRightsAreReportedAsNotStarted)
{
    kv::test::ScopedEnv status{"KV_FAKE_PKEXEC_EXIT", "127"};
    start("/usr/bin/tar", {"--version"});
    ASSERT_TRUE(waitForStart());
    EXPECT_EQ(startOutcomes, std::vector<StartOutcome>{StartOutcome::Refused});
    EXPECT_TRUE(ends.empty());
}

TEST_F(ElevatedRun, AcceptedPasswordRunsTheToolWithEachArgumentAsItIs)
{
    const std::string odd = dir.File("it's a \"$(touch executed)\"\nfolder; `touch executed`");
    start("/usr/bin/tar", {"--version", odd});
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(startOutcomes, std::vector<StartOutcome>{StartOutcome::Started});
    EXPECT_EQ(ends, std::vector<bool>{true});
    EXPECT_EQ(elevatorArguments(), (std::vector<std::string>{"/usr/bin/tar", "--version", odd}));
}

TEST_F(ElevatedRun, ToolThatFailedSilentlyIsReportedStartedThenFailed)
{
    start("/usr/bin/tar", {"-xzf", dir.File("missing.tgz"), "-C", dir.Path().string()});
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(startOutcomes, std::vector<StartOutcome>{StartOutcome::Started});
    EXPECT_EQ(ends, std::vector<bool>{false});
    EXPECT_EQ(run.firstErrorLine(), "tar (child): " + dir.File("missing.tgz") +
                                        ": Cannot open: No such file or directory");
}

// Mended: it said "Incorrect Password!" when no password could be asked for at all. The archive's
// listing runs as the user, so it needs no elevator.
TEST(MissingElevator, IsReportedAsSuchWhileRunsAsTheUserNeedNone)
{
    ProcessPrivilegedRun run(QStringLiteral("/nonexistent/pkexec"));
    std::vector<StartOutcome> outcomes;
    run.start(
        "/usr/bin/tar", {"--version"}, kv::installer::RunAs{},
        [&outcomes](StartOutcome outcome) { outcomes.push_back(outcome); }, [](bool) {});
    std::vector<std::optional<std::string>> outputs;
    run.runAsUser("/bin/sh", {"-c", "echo listed; echo more >&2; exit 2"},
                  [&outputs](std::optional<std::string> output) { outputs.push_back(output); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !outcomes.empty() && !outputs.empty(); }, kWaitMs));
    EXPECT_EQ(outcomes, std::vector<StartOutcome>{StartOutcome::NoElevator});
    EXPECT_EQ(outputs, std::vector<std::optional<std::string>>{"listed\n"})
        << "standard output alone, whatever the exit status";
}

// Mended: ending the program killed a running tar half-way through the archive.
TEST(DirectRun, EndingTheRunWaitsForTheToolInsteadOfKillingIt)
{
    kv::test::TempDir dir;
    const std::string ended = dir.File("ended");
    {
        ProcessPrivilegedRun run;
        bool started = false;
        // Waits on its input, which only the end of the run closes.
        run.start(
            "/bin/sh", {"-c", "read line; echo done > \"$0\"", ended}, kv::installer::RunAs{},
            [&started](StartOutcome) { started = true; }, [](bool) {});
        ASSERT_TRUE(QTest::qWaitFor([&started] { return started; }, kWaitMs));
    }
    EXPECT_EQ(kv::test::ReadTextFile(ended), "done\n") << "the tool was cut short";
}

TEST(DirectRun, MissingToolIsReportedAsNotStartedAndNeverEnds)
{
    ProcessPrivilegedRun run;
    std::vector<StartOutcome> outcomes;
    bool ended = false;
    run.start(
        "/nonexistent/kv-tool", {}, kv::installer::RunAs{},
        [&outcomes](StartOutcome outcome) { outcomes.push_back(outcome); },
        [&ended](bool) { ended = true; });
    EXPECT_TRUE(outcomes.empty()) << "reported before start() returned";
    ASSERT_TRUE(QTest::qWaitFor([&outcomes] { return !outcomes.empty(); }, kWaitMs));
    EXPECT_EQ(outcomes, std::vector<StartOutcome>{StartOutcome::FailedToStart});
    EXPECT_FALSE(ended);
}
