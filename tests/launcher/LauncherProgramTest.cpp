// The real kvravelock-launcher, started as a player starts it, against a fake game in a home
// folder of its own: every way it ends must end the process.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "DrivenProgram.h"
#include "GameTestSupport.h"
#include "PlayerLayouts.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

class LauncherProgramTest;

struct LauncherEnding
{
    const char *name;
    // Lays out the game (or not) below the test's home.
    std::function<void(LauncherProgramTest &test)> prepare;
    // What the player does, as driver steps; a "GAME" in a step is the game's folder.
    std::vector<std::string> script;
    bool gameStarted;
};

void PrintTo(const LauncherEnding &ending, std::ostream *out)
{
    *out << ending.name;
}

class LauncherProgramTest : public ::testing::TestWithParam<LauncherEnding>
{
public:
    fs::path home() const { return dir.Path() / "home"; }
    fs::path game() const { return dir.Path() / "Games/Game.app"; }
    std::string recordFile() const { return dir.File("record.txt"); }
    std::string holdFile() const { return dir.File("hold"); }

    void writeGameLog() const
    {
        kv::test::WriteTextFile(home() / kv::test::kGameLogBelowHome, kv::test::LogNaming(game()));
    }
    void installGame() const
    {
        fs::create_directories(kv::test::ExecutableBelow(game()).parent_path());
        fs::copy_file(KV_FAKE_GAME, kv::test::ExecutableBelow(game()));
    }
    void installMod() const
    {
        kv::test::WriteTextFile(game() / "KVRavelock/UT2K4Mod.ini", "[MOD]\n");
    }
    // The game keeps running until the hold file is removed.
    void holdGame() const { kv::test::WriteTextFile(holdFile(), ""); }

    kv::test::TempDir dir;
};

std::string Replaced(std::string text, const std::string &from, const std::string &to)
{
    if (const std::size_t at = text.find(from); at != std::string::npos) {
        text.replace(at, from.size(), to);
    }
    return text;
}

} // namespace

TEST_P(LauncherProgramTest, EndsTheProcess)
{
    fs::create_directories(home());
    GetParam().prepare(*this);
    std::vector<std::string> script;
    for (const std::string &step : GetParam().script) {
        script.push_back(Replaced(Replaced(step, "GAME", game().string()), "HOLD", holdFile()));
    }
    const kv::test::ProgramEnd end =
        kv::test::RunDriven(KV_LAUNCHER_PROGRAM, script, dir.Path() / "script",
                            {{"HOME", home().string()},
                             {"KV_FAKE_GAME_RECORD", recordFile()},
                             {"KV_FAKE_GAME_HOLD", holdFile()}},
                            dir.Path());
    ASSERT_TRUE(end.ended) << "still running; its output:\n" << end.errorOutput;
    EXPECT_EQ(end.exitCode, 0) << end.errorOutput;
    EXPECT_EQ(fs::exists(recordFile()), GetParam().gameStarted) << end.errorOutput;
}

namespace {

const std::vector<LauncherEnding> kEndings = {
    LauncherEnding{"GameExits",
                   [](LauncherProgramTest &test) {
                       test.writeGameLog();
                       test.installGame();
                       test.installMod();
                   },
                   {},
                   true},
    LauncherEnding{"WindowClosedWhileTheGameRuns",
                   [](LauncherProgramTest &test) {
                       test.writeGameLog();
                       test.installGame();
                       test.installMod();
                       test.holdGame();
                   },
                   {"wait startingLabel KVRavelock is running. This window closes when the "
                    "game ends.",
                    "close LauncherWindow", "remove HOLD"},
                   true},
    LauncherEnding{"WindowClosedBeforeTheSearch",
                   [](LauncherProgramTest &) {},
                   {"close LauncherWindow"},
                   false},
    LauncherEnding{"ModMissingAlertDismissed",
                   [](LauncherProgramTest &test) {
                       test.writeGameLog();
                       test.installGame();
                   },
                   {"click OK"},
                   false},
    LauncherEnding{"GameChosenOnTheSheet",
                   [](LauncherProgramTest &test) {
                       test.installGame();
                       test.installMod();
                   },
                   {"type pathText GAME", "click sheetButton"},
                   true},
    LauncherEnding{"GameFailsToStart",
                   [](LauncherProgramTest &test) { test.installMod(); },
                   {"type pathText GAME", "click sheetButton", "click OK"},
                   false},
    LauncherEnding{
        "SheetWithAnEmptyPath", [](LauncherProgramTest &) {}, {"click sheetButton"}, false},
    LauncherEnding{"SheetEscape",
                   [](LauncherProgramTest &test) {
                       test.installGame();
                       test.installMod();
                   },
                   {"type pathText GAME", "key pathText Escape"},
                   false},
    LauncherEnding{"SheetClosed", [](LauncherProgramTest &) {}, {"close LocationSheet"}, false}};

// Windows has no game log in the home folder: there, the ways that need no game.
std::vector<LauncherEnding> EndingsOfThisSystem()
{
#ifdef _WIN32
    std::vector<LauncherEnding> endings;
    for (const LauncherEnding &ending : kEndings) {
        const std::string name = ending.name;
        if (name == "WindowClosedBeforeTheSearch" || name == "SheetWithAnEmptyPath" ||
            name == "SheetClosed") {
            endings.push_back(ending);
        }
    }
    return endings;
#else
    return kEndings;
#endif
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Ways, LauncherProgramTest, ::testing::ValuesIn(EndingsOfThisSystem()),
                         [](const auto &info) { return std::string(info.param.name); });

#ifndef _WIN32
namespace {

// Each way a Linux player has the game, and the launcher started as they start it.
class LauncherLayoutTest : public ::testing::TestWithParam<kv::test::PlayerLayout>
{
protected:
    // Runs the launcher on the layout with wine, steam and flatpak standing by; a player
    // dismisses the alert that Steam has taken over.
    void run()
    {
        laid = GetParam().lay(dir.Path(), home(), KV_FAKE_GAME);
        const std::vector<std::string> script =
            laid.handedToSteam ? std::vector<std::string>{"click OK"} : std::vector<std::string>{};
        kv::test::WriteTextFile(laid.game / "KVRavelock/UT2K4Mod.ini", "[MOD]\n");
        kv::test::WriteTextFile(laid.game / "KVRavelock/Help/KVRavelockLogo.bmp", "BM");
        fs::create_directories(tools());
        for (const char *program : {"wine", "steam", "flatpak"}) {
            fs::copy_file(KV_FAKE_GAME, tools() / program);
        }
        end = kv::test::RunDriven(KV_LAUNCHER_PROGRAM, script, dir.Path() / "script",
                                  {{"HOME", home().string()},
                                   {"PATH", tools().string()},
                                   {"XDG_DATA_HOME", ""},
                                   {"WINEPREFIX", ""},
                                   {"KV_FAKE_GAME_RECORD", record()}},
                                  dir.Path());
    }
    // What the fake wrote, once it has; Steam's start is not the launcher's child.
    std::vector<std::string> started() const
    {
        for (int waited = 0; waited < 100 && !fs::exists(record()); ++waited) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        std::vector<std::string> lines;
        std::ifstream in(record());
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    fs::path home() const { return dir.Path() / "home"; }
    fs::path tools() const { return dir.Path() / "tools"; }
    std::string record() const { return dir.File("record.txt"); }

    kv::test::TempDir dir;
    kv::test::LaidOut laid;
    kv::test::ProgramEnd end;
};

} // namespace

TEST_P(LauncherLayoutTest, StartsTheGameWithTheModAndEnds)
{
    run();
    ASSERT_TRUE(end.ended) << "still running; its output:\n" << end.errorOutput;
    EXPECT_EQ(end.exitCode, 0) << end.errorOutput;
    const std::vector<std::string> lines = started();
    EXPECT_EQ(lines, laid.started) << end.errorOutput;
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(fs::exists(fs::path(lines[0]) / "../KVRavelock/Help/KVRavelockLogo.bmp"))
        << "-userlogo does not resolve from " << lines[0];
}

INSTANTIATE_TEST_SUITE_P(Linux, LauncherLayoutTest, ::testing::ValuesIn(kv::test::layouts::All()),
                         [](const auto &info) { return std::string(info.param.name); });

// Without wine nothing can start a Windows game: the alert says so, and the launcher ends.
TEST(LauncherWithoutWine, SaysWhyAndEnds)
{
    kv::test::TempDir dir;
    const kv::test::PlayerLayout wine = kv::test::layouts::All()[6];
    ASSERT_EQ(std::string(wine.name), "WineDefaultPrefix");
    const kv::test::LaidOut laid = wine.lay(dir.Path(), dir.Path() / "home", KV_FAKE_GAME);
    kv::test::WriteTextFile(laid.game / "KVRavelock/UT2K4Mod.ini", "[MOD]\n");
    fs::create_directories(dir.Path() / "tools");
    const kv::test::ProgramEnd end =
        kv::test::RunDriven(KV_LAUNCHER_PROGRAM, {"click OK"}, dir.Path() / "script",
                            {{"HOME", (dir.Path() / "home").string()},
                             {"PATH", (dir.Path() / "tools").string()},
                             {"KV_FAKE_GAME_RECORD", dir.File("record.txt")}},
                            dir.Path());
    ASSERT_TRUE(end.ended) << end.errorOutput;
    EXPECT_EQ(end.exitCode, 0);
    EXPECT_NE(end.errorOutput.find("Not installed : wine"), std::string::npos) << end.errorOutput;
    EXPECT_FALSE(fs::exists(dir.File("record.txt")));
}
#else
namespace {

// Each way a Windows player has the game: the launcher must start UT2004.exe (the stand-in) from
// its System folder with the mod's arguments, and end with it.
class WindowsLauncherLayoutTest : public ::testing::TestWithParam<kv::test::PlayerLayout>
{
protected:
    kv::test::TempDir dir;
};

} // namespace

TEST_P(WindowsLauncherLayoutTest, StartsTheGameWithTheModAndEnds)
{
    if (!kv::test::layouts::UnderWine()) {
        GTEST_SKIP() << "it would write C:\\UT2004 and the registry of the player's Windows";
    }
    const kv::test::layouts::WindowsPlacesCleared cleared;
    const kv::test::LaidOut laid = GetParam().lay(dir.Path(), dir.Path() / "home", KV_FAKE_GAME);
    kv::test::WriteTextFile(laid.game / "KVRavelock/UT2K4Mod.ini", "[MOD]\n");
    kv::test::WriteTextFile(laid.game / "KVRavelock/Help/KVRavelockLogo.bmp", "BM");
    const std::string record = dir.File("record.txt");
    const kv::test::ProgramEnd end =
        kv::test::RunDriven(KV_LAUNCHER_PROGRAM, {}, dir.Path() / "script",
                            {{"KV_FAKE_GAME_RECORD", record}}, dir.Path());
    ASSERT_TRUE(end.ended) << "still running; its output:\n" << end.errorOutput;
    EXPECT_EQ(end.exitCode, 0) << end.errorOutput;
    std::vector<std::string> lines;
    std::ifstream in(record);
    for (std::string line; std::getline(in, line);) {
        // Wine's own prefix, which every program in it inherits; no prefix of the game's.
        if (!line.starts_with("WINEPREFIX=")) {
            lines.push_back(line);
        }
    }
    EXPECT_EQ(lines, laid.started) << end.errorOutput;
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(fs::exists(fs::path(lines[0]) / "../KVRavelock/Help/KVRavelockLogo.bmp"))
        << "-userlogo does not resolve from " << lines[0];
}

INSTANTIATE_TEST_SUITE_P(Windows, WindowsLauncherLayoutTest,
                         ::testing::ValuesIn(kv::test::layouts::WindowsAll()),
                         [](const auto &info) { return std::string(info.param.name); });
#endif
