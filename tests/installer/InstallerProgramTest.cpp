// The real kvrinstaller, started from a folder holding KVRinstall.tgz as a player starts it,
// against a fake game in a home folder of its own: every way it ends must end the process.
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

#include <QProcess>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>
#include <unistd.h>

#include "DrivenProgram.h"
#include "GameTestSupport.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

const std::string kMarkerBelowGame = "KVRavelock/Textures/KV2_Quarrytide1.utx";
const std::string kLauncherOnDesktop = "Desktop/KVRavelock Mac Launcher.zip";

class InstallerProgramTest;

struct InstallerEnding
{
    const char *name;
    // Prepares the game, the log and the archive below the test's folder.
    std::function<void(InstallerProgramTest &test)> prepare;
    // What the player does, as driver steps; "GAME" stands for the game's folder, "HOLD" for
    // the file whose removal lets the extraction go on.
    std::vector<std::string> script;
    bool installed;      // the mod's files are in the game
    bool launcherCopied; // the launcher is on the Desktop
};

void PrintTo(const InstallerEnding &ending, std::ostream *out)
{
    *out << ending.name;
}

class InstallerProgramTest : public ::testing::TestWithParam<InstallerEnding>
{
public:
    InstallerProgramTest()
    {
        fs::create_directories(home() / "Desktop");
        fs::create_directories(game() / "System");
        fs::create_directories(setup());
        fs::create_directories(tools());
        // The program looks for the archive beside itself.
        std::error_code error;
        fs::create_hard_link(KV_INSTALLER_PROGRAM, program(), error);
        if (error) {
            fs::copy_file(KV_INSTALLER_PROGRAM, program());
        }
    }

    fs::path home() const { return dir.Path() / "home"; }
    fs::path game() const { return dir.Path() / "Games/Game.app"; }
    fs::path setup() const { return dir.Path() / "Setup"; }
    fs::path program() const { return setup() / "kvrinstaller"; }
    fs::path tools() const { return dir.Path() / "tools"; }
    std::string holdFile() const { return dir.File("hold"); }

    void writeGameLog() const
    {
        kv::test::WriteTextFile(home() / kv::test::kGameLogBelowHome, kv::test::LogNaming(game()));
    }
    // KVRinstall.tgz as the real tar makes it.
    void buildArchive() const
    {
        const fs::path staging = dir.Path() / "staging";
        kv::test::WriteTextFile(staging / "KVRavelock/UT2K4Mod.ini", "[MOD]\n");
        kv::test::WriteTextFile(staging / "KVRavelock/Help/KVRavelock Mac Launcher.zip", "PK");
        kv::test::WriteTextFile(staging / kMarkerBelowGame, "texture package");
        QProcess tar;
        tar.start(QStringLiteral("/usr/bin/tar"),
                  {"-czf", QString::fromStdString((setup() / "KVRinstall.tgz").string()), "-C",
                   QString::fromStdString(staging.string()), "KVRavelock"});
        ASSERT_TRUE(tar.waitForFinished(60000) && tar.exitCode() == 0);
    }
    void prepareInstall() const
    {
        writeGameLog();
        buildArchive();
    }
    // tar runs gzip through the PATH: a stand-in lets the listing through and holds the
    // extraction until the hold file is gone.
    void holdExtraction() const
    {
        prepareInstall();
        kv::test::WriteTextFile(holdFile(), "");
        kv::test::WriteTextFile(tools() / "gzip", "#!/bin/sh\n"
                                                  "if [ -e \"$0.listed\" ]; then\n"
                                                  "    while [ -e '" +
                                                      holdFile() +
                                                      "' ]; do sleep 0.01; done\n"
                                                      "fi\n"
                                                      "touch \"$0.listed\"\n"
                                                      "exec /bin/gzip \"$@\"\n");
        fs::permissions(tools() / "gzip", fs::perms::owner_all);
    }

    kv::test::TempDir dir;
};

std::string Replaced(std::string text, const std::string &from, const std::string &to)
{
    if (const std::size_t at = text.find(from); at != std::string::npos) {
        text.replace(at, from.size(), to);
    }
    return text;
}

const std::vector<std::string> kToInstall = {"click startButton", "click installButton"};

std::vector<std::string> Then(std::vector<std::string> steps, const std::vector<std::string> &more)
{
    steps.insert(steps.end(), more.begin(), more.end());
    return steps;
}

} // namespace

TEST_P(InstallerProgramTest, EndsTheProcess)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "the installer would ask for the administrator's password";
    }
    GetParam().prepare(*this);
    std::vector<std::string> script;
    for (const std::string &step : GetParam().script) {
        script.push_back(Replaced(Replaced(step, "GAME", game().string()), "HOLD", holdFile()));
    }
    const std::string path = tools().string() + ":" + std::getenv("PATH");
    const kv::test::ProgramEnd end =
        kv::test::RunDriven(program().string(), script, dir.Path() / "script",
                            {{"HOME", home().string()}, {"PATH", path}}, dir.Path());
    ASSERT_TRUE(end.ended) << "still running; its output:\n" << end.errorOutput;
    EXPECT_EQ(end.exitCode, 0) << end.errorOutput;
    EXPECT_EQ(fs::exists(game() / kMarkerBelowGame), GetParam().installed) << end.errorOutput;
    EXPECT_EQ(fs::exists(home() / kLauncherOnDesktop), GetParam().launcherCopied);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, InstallerProgramTest,
    ::testing::Values(
        InstallerEnding{
            "DoneAfterTheInstall", &InstallerProgramTest::prepareInstall,
            Then(kToInstall, {"wait statusText Installation Complete", "click cancelButton"}), true,
            true},
        InstallerEnding{
            "ReturnAfterTheInstall", &InstallerProgramTest::prepareInstall,
            Then(kToInstall, {"wait statusText Installation Complete", "key InstallWindow Return"}),
            true, true},
        InstallerEnding{
            "WindowClosedAfterTheInstall", &InstallerProgramTest::prepareInstall,
            Then(kToInstall, {"wait statusText Installation Complete", "close InstallWindow"}),
            true, true},
        InstallerEnding{
            "QuitAfterAFailure", &InstallerProgramTest::writeGameLog,
            Then(kToInstall, {"wait statusText Installation Failed!", "click cancelButton"}), false,
            false},
        InstallerEnding{
            "ReturnAfterAFailure", &InstallerProgramTest::writeGameLog,
            Then(kToInstall, {"wait statusText Installation Failed!", "key InstallWindow Return"}),
            false, false},
        InstallerEnding{
            "WindowClosedAfterAFailure", &InstallerProgramTest::writeGameLog,
            Then(kToInstall, {"wait statusText Installation Failed!", "close InstallWindow"}),
            false, false},
        // The extraction is never cut short: it ends whole, and then the program.
        InstallerEnding{
            "CancelDuringTheExtraction", &InstallerProgramTest::holdExtraction,
            Then(kToInstall, {"wait statusText Installing files...", "click cancelButton",
                              "wait statusText Waiting for the extraction to end before "
                              "quitting...",
                              "remove HOLD"}),
            true, false},
        InstallerEnding{
            "WindowClosedDuringTheExtraction", &InstallerProgramTest::holdExtraction,
            Then(kToInstall, {"wait statusText Installing files...", "close InstallWindow",
                              "wait statusText Waiting for the extraction to end before "
                              "quitting...",
                              "remove HOLD"}),
            true, false},
        InstallerEnding{
            "GameChosenOnTheSheetThenDone", &InstallerProgramTest::buildArchive,
            Then(kToInstall, {"type pathText GAME", "click sheetButton",
                              "wait statusText Installation Complete", "click cancelButton"}),
            true, true},
        InstallerEnding{"SheetWithAnEmptyPath", &InstallerProgramTest::buildArchive,
                        Then(kToInstall, {"click sheetButton"}), false, false},
        InstallerEnding{"SheetEscape", &InstallerProgramTest::buildArchive,
                        Then(kToInstall, {"type pathText GAME", "key pathText Escape"}), false,
                        false},
        InstallerEnding{"SheetClosed", &InstallerProgramTest::buildArchive,
                        Then(kToInstall, {"close LocationSheet"}), false, false},
        InstallerEnding{"WelcomeWindowClosed",
                        &InstallerProgramTest::buildArchive,
                        {"close WelcomeWindow"},
                        false,
                        false}),
    [](const auto &info) { return std::string(info.param.name); });
