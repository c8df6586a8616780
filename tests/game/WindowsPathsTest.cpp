#include "WindowsPaths.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "GameLayout.h"
#include "GameLocator.h"
#include "GameTestSupport.h"
#include "TestSupport.h"

using namespace kv::game;
namespace fs = std::filesystem;

namespace {

struct VdfCase
{
    const char *name;
    std::string text;
    std::vector<std::string> libraries;
};

void PrintTo(const VdfCase &c, std::ostream *os)
{
    *os << c.name;
}

class SteamLibraryFile : public ::testing::TestWithParam<VdfCase>
{
};

} // namespace

TEST_P(SteamLibraryFile, ListsEachLibrary)
{
    EXPECT_EQ(SteamLibrariesIn(GetParam().text), GetParam().libraries);
}

INSTANTIATE_TEST_SUITE_P(
    Files, SteamLibraryFile,
    ::testing::Values(
        VdfCase{
            "Current",
            "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"/home/p/.local/share/Steam\"\n"
            "\t\t\"label\"\t\t\"\"\n\t\t\"apps\"\n\t\t{\n\t\t\t\"13230\"\t\t\"2513436462\"\n"
            "\t\t}\n\t}\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"/mnt/games/SteamLibrary\"\n\t}\n}\n",
            {"/home/p/.local/share/Steam", "/mnt/games/SteamLibrary"}},
        VdfCase{"OlderNumberedValues",
                "\"LibraryFolders\"\n{\n\t\"TimeNextStatsReport\"\t\t\"1700000000\"\n"
                "\t\"ContentStatsID\"\t\t\"-1\"\n\t\"1\"\t\t\"D:\\\\Games\\\\Steam\"\n}\n",
                {"D:\\Games\\Steam"}},
        VdfCase{"CommentsAndQuotesInNames",
                "// written by Steam\n\"libraryfolders\" { \"0\" { \"path\" \"/a \\\"b\\\"\" } }",
                {"/a \"b\""}},
        VdfCase{"CutShortKeepsWhatWasRead",
                "\"libraryfolders\" { \"0\" { \"path\" \"/first\" } \"1\" { \"path\" \"/sec",
                {"/first", "/sec"}},
        VdfCase{"NotValvesText", "<xml/>", {}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(WineRegistryFile, GivesTheValueOfTheKeyWhateverItsCase)
{
    const std::string systemReg =
        "WINE REGISTRY Version 2\n\n"
        "[Software\\\\Unreal Technology\\\\Installed Apps\\\\UT2003] 1700000000\n"
        "\"Folder\"=\"C:\\\\UT2003\"\n\n"
        "[Software\\\\Unreal Technology\\\\Installed Apps\\\\UT2004] 1700000000\n"
        "#time=1d9\n\"Version\"=\"3369\"\n\"Folder\"=\"C:\\\\Games\\\\UT \\\"2004\\\"\"\n";
    EXPECT_EQ(WineRegistryValue(systemReg, "SOFTWARE\\Unreal Technology\\Installed Apps\\UT2004",
                                "folder"),
              "C:\\Games\\UT \"2004\"");
    EXPECT_EQ(WineRegistryValue(systemReg, "Software\\Valve\\Steam", "Folder"), std::nullopt);
    EXPECT_EQ(
        WineRegistryValue(systemReg, "Software\\Unreal Technology\\Installed Apps\\UT2004", "Path"),
        std::nullopt);
}

TEST(LutrisGameFile, GivesThePrefixLine)
{
    EXPECT_EQ(LutrisPrefixIn("game:\n  exe: drive_c/UT2004/System/UT2004.exe\n"
                             "  prefix: /home/p/Games/ut2004\nwine:\n  version: lutris-7\n"),
              "/home/p/Games/ut2004");
    EXPECT_EQ(LutrisPrefixIn("game:\n  prefix: '/home/p/Games/unreal tournament'\n"),
              "/home/p/Games/unreal tournament");
    EXPECT_EQ(LutrisPrefixIn("game:\n  exe: ut2004\n"), std::nullopt);
}

#ifndef _WIN32
TEST(WinePrefixPath, MapsADriveThroughItsLink)
{
    kv::test::TempDir dir;
    const fs::path prefix = dir.Path() / "pfx";
    fs::create_directories(prefix / "dosdevices");
    fs::create_directories(prefix / "drive_c/UT2004");
    fs::create_directory_symlink("../drive_c", prefix / "dosdevices/c:");
    fs::create_directory_symlink("/", prefix / "dosdevices/z:");
    const std::string drive = fs::canonical(prefix / "drive_c").string();
    EXPECT_EQ(MapThroughPrefix("C:\\UT2004\\System\\", prefix.string()), drive + "/UT2004/System/");
    EXPECT_EQ(MapThroughPrefix("c:/UT2004", prefix.string()), drive + "/UT2004");
    EXPECT_EQ(MapThroughPrefix("Z:\\home\\p\\", prefix.string()), "/home/p/");
    EXPECT_EQ(MapThroughPrefix("D:\\UT2004\\", prefix.string()), std::nullopt) << "no d: link";
    EXPECT_EQ(MapThroughPrefix("/opt/ut2004/", prefix.string()), "/opt/ut2004/");
}

#endif

// The Windows rows, as a Windows build reads them, with its registry faked.
TEST(WindowsPlaces, RegistryFolderComesFirstThenTheDefaultFolders)
{
    kv::test::TempDir dir;
    const fs::path registered = dir.Path() / "Registered";
    kv::test::WriteTextFile(registered / "System/UT2004.exe", "");
    kv::test::RecordingLog log;
    std::vector<std::string> asked;
    GameLocator locator(
        dir.Path().string(), log, PathExistsOnDisk, WindowsLayout(),
        [&](const std::string &key, const std::string &value) -> std::optional<std::string> {
            asked.push_back(key + "|" + value);
            return key.starts_with("HKLM\\SOFTWARE\\WOW6432Node") ? registered.string()
                                                                  : std::optional<std::string>();
        });
    const std::optional<FoundGame> game = locator.findElsewhere();
    ASSERT_TRUE(game.has_value()) << ::testing::PrintToString(log.lines());
    EXPECT_EQ(game->location, registered.string() + "/");
    EXPECT_EQ(game->runner, GameRunner::Direct);
    EXPECT_EQ(asked, (std::vector<std::string>{
                         "HKLM\\SOFTWARE\\Unreal Technology\\Installed Apps\\UT2004|Folder",
                         "HKLM\\SOFTWARE\\WOW6432Node\\Unreal Technology\\Installed "
                         "Apps\\UT2004|Folder"}));
    const GameStart start = StartFor(*game, PathExistsOnDisk);
    EXPECT_EQ(start.program, (registered / "System/UT2004.exe").make_preferred().string());
    EXPECT_EQ(start.workingDirectory, (registered / "System/").make_preferred().string());
}
