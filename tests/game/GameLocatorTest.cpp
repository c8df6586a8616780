#include "GameLocator.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "GameLayout.h"
#include "GameTestSupport.h"
#include "GameTexts.h"
#ifdef __linux__
#include "PlayerLayouts.h"
#endif
#include "TestSupport.h"

using namespace kv::game;
namespace fs = std::filesystem;

namespace {

// A home folder of its own, with every existence test the locator makes recorded in order.
class GameLocatorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (&kv::test::LayoutWithLogs() != &ThisPlatform()) {
            GTEST_SKIP() << "the log rules of a layout this system does not have, whose paths "
                            "join with \"/\"";
        }
    }

    std::string home() const { return dir.Path().string(); }
    fs::path gameApp() const { return dir.Path() / "Games/Game.app"; }
    fs::path modApp() const { return dir.Path() / "Mod/Game.app"; }
    std::string userDescriptor() const
    {
        return (dir.Path() / kv::test::kUserDescriptorBelowHome).string();
    }

    void writeGameLog(const std::string &text) const
    {
        kv::test::WriteTextFile(dir.Path() / kv::test::kGameLogBelowHome, text);
    }
    void writeModLog(const std::string &text) const
    {
        kv::test::WriteTextFile(dir.Path() / kv::test::kModLogBelowHome, text);
    }

    // The descriptor paths tested, leaving out the tests for the logs themselves.
    std::vector<std::string> descriptorsTested() const
    {
        std::vector<std::string> descriptors;
        std::copy_if(tested.begin(), tested.end(), std::back_inserter(descriptors),
                     [](const std::string &path) { return path.ends_with("UT2K4Mod.ini"); });
        return descriptors;
    }

    kv::test::TempDir dir;
    kv::test::RecordingLog log;
    std::vector<std::string> tested;
    GameLocator locator{home(), log,
                        [this](const std::string &path) {
                            tested.push_back(path);
                            return PathExistsOnDisk(path);
                        },
                        kv::test::LayoutWithLogs()};
};

} // namespace

TEST_F(GameLocatorTest, LogsAreLookedForBelowTheHomeFolder)
{
    EXPECT_FALSE(locator.gameLogExists());
    EXPECT_FALSE(locator.modLogExists());
    writeGameLog("");
    EXPECT_TRUE(locator.gameLogExists());
    EXPECT_FALSE(locator.modLogExists());
    writeModLog("");
    EXPECT_TRUE(locator.modLogExists());
    EXPECT_EQ(tested.front(), (dir.Path() / kv::test::kGameLogBelowHome).string());
}

TEST_F(GameLocatorTest, LocationIsReReadAndLoggedOnEveryCall)
{
    writeGameLog(kv::test::LogNaming("/Games/First.app"));
    EXPECT_EQ(locator.gameLogLocation(), "/Games/First.app/");
    writeGameLog(kv::test::LogNaming("/Games/Second.app"));
    EXPECT_EQ(locator.gameLogLocation(), "/Games/Second.app/");
    writeModLog(kv::test::LogNaming("/Games/Third.app"));
    EXPECT_EQ(locator.modLogLocation(), "/Games/Third.app/");
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{
                  "Unreal Location lineString : Init: Base directory: /Games/First.app/System/",
                  "Unreal Location lineString : Init: Base directory: /Games/Second.app/System/",
                  "KVR OR location lineString : Init: Base directory: /Games/Third.app/System/"}));
}

TEST_F(GameLocatorTest, MissingLogOrLogWithoutLineGivesEmptyLocationAndLogsNull)
{
    EXPECT_EQ(locator.gameLogLocation(), "");
    writeModLog("Log: no base directory here\n");
    EXPECT_EQ(locator.modLogLocation(), "");
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"Unreal Location lineString : (null)",
                                                     "KVR OR location lineString : (null)"}));
}

TEST_F(GameLocatorTest, WithOnlyTheGameLogTestsBelowItsLocationThenThePerUserDescriptor)
{
    writeGameLog(kv::test::LogNaming(gameApp()));
    EXPECT_FALSE(locator.modInstalled());
    const std::string belowGame = gameApp().string() + "/KVRavelock/UT2K4Mod.ini";
    EXPECT_EQ(descriptorsTested(), (std::vector<std::string>{belowGame, userDescriptor()}));
    const std::vector<std::string> lines = log.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Unreal being used : " + belowGame),
              lines.end());
}

TEST_F(GameLocatorTest, WithBothLogsTestsGameLogThenPerUserThenModLog)
{
    writeGameLog(kv::test::LogNaming(gameApp()));
    writeModLog(kv::test::LogNaming(modApp()));
    EXPECT_FALSE(locator.modInstalled());
    const std::string belowGame = gameApp().string() + "/KVRavelock/UT2K4Mod.ini";
    const std::string belowMod = modApp().string() + "/KVRavelock/UT2K4Mod.ini";
    EXPECT_EQ(descriptorsTested(),
              (std::vector<std::string>{belowGame, userDescriptor(), belowMod}));

    kv::test::WriteTextFile(belowMod, "");
    tested.clear();
    EXPECT_TRUE(locator.modInstalled()) << "descriptor below the mod log's location";
    EXPECT_EQ(descriptorsTested().size(), 3u);
}

TEST_F(GameLocatorTest, FirstExistingCandidateEndsTheTest)
{
    writeGameLog(kv::test::LogNaming(gameApp()));
    writeModLog(kv::test::LogNaming(modApp()));
    kv::test::WriteTextFile(userDescriptor(), "");
    EXPECT_TRUE(locator.modInstalled());
    EXPECT_EQ(descriptorsTested(),
              (std::vector<std::string>{gameApp().string() + "/KVRavelock/UT2K4Mod.ini",
                                        userDescriptor()}));
}

// Mended: such a log would give the bare relative "KVRavelock/UT2K4Mod.ini", which names a file
// in whatever folder the launcher happens to run in.
TEST_F(GameLocatorTest, LogThatNamesNoLocationGivesNoCandidate)
{
    writeGameLog("Log: no base directory here\n");
    writeModLog("Init: Base directory: Sys/\n");
    EXPECT_FALSE(locator.modInstalled());
    EXPECT_EQ(descriptorsTested(), std::vector<std::string>{userDescriptor()});
    for (const std::string &path : tested) {
        EXPECT_TRUE(fs::path(path).is_absolute()) << "relative path tested: " << path;
    }
}

TEST_F(GameLocatorTest, SheetPathOverridesTheLogsEvenWhenTheyAppearLater)
{
    const std::string sheetApp = (dir.Path() / "Sheet/Game.app").string();
    locator.enterSheetPath(sheetApp);
    EXPECT_TRUE(locator.sheetPathEntered());
    EXPECT_EQ(locator.sheetPath(), sheetApp);

    writeGameLog(kv::test::LogNaming(gameApp()));
    writeModLog(kv::test::LogNaming(modApp()));
    kv::test::WriteTextFile(gameApp() / "KVRavelock/UT2K4Mod.ini", "");
    kv::test::WriteTextFile(modApp() / "KVRavelock/UT2K4Mod.ini", "");
    EXPECT_FALSE(locator.modInstalled()) << "a descriptor below a log's location counted";
    const std::string belowSheet = sheetApp + "/KVRavelock/UT2K4Mod.ini";
    EXPECT_EQ(descriptorsTested(), (std::vector<std::string>{belowSheet, userDescriptor()}));
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"You've used a sheet, ya cheeky devil",
                                        "Our appended path from the sheet : " + belowSheet}));

    kv::test::WriteTextFile(userDescriptor(), "");
    EXPECT_TRUE(locator.modInstalled()) << "the per-user descriptor still counts";
}

TEST_F(GameLocatorTest, BinaryTestTakesThePathAsItIsWithoutExpandingHome)
{
    kv::test::WriteTextFile(dir.Path() / "Unreal Tournament 2004", "");
    fs::create_directories(dir.Path() / "Folder");
    EXPECT_TRUE(locator.executableExists(dir.File("Unreal Tournament 2004")));
    EXPECT_TRUE(locator.executableExists(dir.File("Folder"))) << "any entry counts";
    EXPECT_FALSE(locator.executableExists(dir.File("Missing")));
    EXPECT_EQ(tested.back(), dir.File("Missing"));
    EXPECT_EQ(ExpandHome("~/Unreal Tournament 2004", home()), dir.File("Unreal Tournament 2004"));
    EXPECT_FALSE(locator.executableExists("~/Unreal Tournament 2004"));
    EXPECT_EQ(tested.back(), "~/Unreal Tournament 2004");
}

TEST(ExpandHome, ReplacesOnlyALeadingTildeOfTheCurrentUser)
{
    EXPECT_EQ(ExpandHome("~/Library/x", "/Users/player"), "/Users/player/Library/x");
    EXPECT_EQ(ExpandHome("~", "/Users/player"), "/Users/player");
    EXPECT_EQ(ExpandHome("~other/x", "/Users/player"), "~other/x");
    EXPECT_EQ(ExpandHome("/a/~/x", "/Users/player"), "/a/~/x");
}

#ifdef __linux__
// Wherever the game's rules find the game (its log, or the places the launcher searches), its
// screenshots are offered from ScreenShots below it; the Linux game's own per-user folder comes
// before the places searched, after the logs.
TEST(ScreenshotFolder, IsBelowTheGameWhereverTheRulesFindIt)
{
    const kv::test::ScopedEnv dataHome("XDG_DATA_HOME", "");
    for (const kv::test::PlayerLayout &layout : kv::test::layouts::All()) {
        kv::test::TempDir dir;
        const fs::path home = dir.Path() / "home";
        kv::test::WriteTextFile(dir.Path() / "game", "");
        const kv::test::LaidOut laid = layout.lay(dir.Path(), home, dir.Path() / "game");
        kv::test::RecordingLog log;
        GameLocator locator(home.string(), log);
        EXPECT_EQ(locator.screenshotFolder(), "") << layout.name << ": no such folder yet";

        fs::create_directories(laid.game / "ScreenShots");
        const fs::path found = locator.screenshotFolder();
        EXPECT_TRUE(!found.empty() && fs::equivalent(found, laid.game / "ScreenShots"))
            << layout.name << ": " << found;

        const fs::path perUser = home / ".ut2004/ScreenShots";
        fs::create_directories(perUser);
        const bool foundByLog = fs::exists(home / kv::test::kGameLogBelowHome);
        EXPECT_TRUE(fs::equivalent(locator.screenshotFolder(),
                                   foundByLog ? laid.game / "ScreenShots" : perUser))
            << layout.name;
    }
}
#endif
