#include "InstallPlan.h"

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>

#include "GameTestSupport.h"
#include "TestSupport.h"

using namespace kv::installer;

TEST(ExtractionArguments, UnpackTheArchiveBesideTheBundleIntoTheGameLocationWithoutItsOwner)
{
    const std::string folder = InstallerFolderOf("/Volumes/Setup/KVRInstaller.app");
    const std::string archive = ArchivePath(folder);
    EXPECT_EQ(archive, "/Volumes/Setup/KVRinstall.tgz");
    EXPECT_EQ(
        ExtractionArguments(archive, "/Games/Game.app/"),
        (std::vector<std::string>{"-xzvf", "/Volumes/Setup/KVRinstall.tgz", "--no-same-permissions",
                                  "--no-same-owner", "-C", "/Games/Game.app/"}));
    EXPECT_STREQ(kTarTool, "/usr/bin/tar");
}

TEST(ExtractionListing, FilesRootInstallsMustBeReadableByAll)
{
    const std::string readable = "drwxr-xr-x p/p 0 2026-12-08 01:40 KVRavelock/\n"
                                 "-rw-r--r-- p/p 6 2026-12-08 01:40 KVRavelock/UT2K4Mod.ini\n"
                                 "lrwxrwxrwx p/p 0 2026-12-08 01:40 KVRavelock/L -> UT2K4Mod.ini\n";
    EXPECT_TRUE(ListingReadableByAll(readable));
    EXPECT_FALSE(
        ListingReadableByAll(readable + "-rw------- p/p 6 2026-12-08 01:40 KVRavelock/a\n"));
    EXPECT_FALSE(ListingReadableByAll("drwxr--r-- p/p 0 2026-12-08 01:40 KVRavelock/\n"))
        << "a folder nobody else may enter";
}

TEST(InstallPaths, AreAppendedToTheGameLocationWithoutAnExtraSlash)
{
    EXPECT_EQ(MarkerPath("/Games/Game.app/"),
              "/Games/Game.app/KVRavelock/Textures/KV2_Quarrytide1.utx");
    EXPECT_EQ(LauncherSource("/Games/Game.app/"),
              "/Games/Game.app/KVRavelock/Help/KVRavelock Mac Launcher.zip");
    EXPECT_EQ(LauncherDestination("/Users/player/Desktop"),
              "/Users/player/Desktop/KVRavelock Mac Launcher.zip");
    // xdg-user-dir's answer, or the home's Desktop when it gave none.
    EXPECT_EQ(DesktopFolderOf("/home/p/Schreibtisch\n", "/home/p"), "/home/p/Schreibtisch");
    EXPECT_EQ(DesktopFolderOf("", "/home/p"), "/home/p/Desktop");
    EXPECT_EQ(BaseDirectoryFromSheet("/Games/Game.app"), "/Games/Game.app/System/");
}

struct FolderCase
{
    const char *bundle;
    const char *folder;
};

void PrintTo(const FolderCase &c, std::ostream *out)
{
    *out << '"' << c.bundle << '"';
}

class InstallerFolder : public ::testing::TestWithParam<FolderCase>
{
};

TEST_P(InstallerFolder, DropsTheLastPathComponent)
{
    EXPECT_EQ(InstallerFolderOf(GetParam().bundle), GetParam().folder)
        << "bundle path \"" << GetParam().bundle << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Paths, InstallerFolder,
    ::testing::Values(FolderCase{"/Volumes/Setup/KVRInstaller.app", "/Volumes/Setup"},
                      FolderCase{"/Volumes/Setup/KVRInstaller.app/", "/Volumes/Setup"},
                      FolderCase{"/kvrinstaller", "/"}, FolderCase{"kvrinstaller", ""}));

struct LogCase
{
    const char *name;
    std::optional<std::string> log; // nothing: no log file at all
    std::optional<std::string> baseDirectory;
};

void PrintTo(const LogCase &c, std::ostream *out)
{
    *out << c.name;
}

class GameLogBaseDirectory : public ::testing::TestWithParam<LogCase>
{
protected:
    kv::test::TempDir home;
};

TEST_P(GameLogBaseDirectory, IsTheLastLineKeptWholeOrNothingWithoutALocation)
{
    if (*kv::game::ThisPlatform().gameLog == '\0') {
        GTEST_SKIP() << "the game keeps its log in its own folder here";
    }
    if (GetParam().log) {
        kv::test::WriteTextFile(home.Path() / kv::test::kGameLogBelowHome, *GetParam().log);
    }
    EXPECT_EQ(BaseDirectoryFromGameLog(home.Path().string()), GetParam().baseDirectory);
}

INSTANTIATE_TEST_SUITE_P(
    Logs, GameLogBaseDirectory,
    ::testing::Values(
        LogCase{"OneLine", "Init: Base directory: /Games/Game.app/System/\n",
                "/Games/Game.app/System/"},
        LogCase{"TwoLinesTheLaterWins",
                "Init: Base directory: /Games/Old.app/System/\nLog: x\n"
                "Init: Base directory: /Games/Game.app/System/\n",
                "/Games/Game.app/System/"},
        LogCase{"KeptWholeWithItsCarriageReturn",
                "Init: Base directory: /Games/Game.app/System/\r\nLog: x\r\n",
                "/Games/Game.app/System/\r"},
        LogCase{"MissingLog", std::nullopt, std::nullopt},
        LogCase{"NoBaseDirectoryLine", "Log: Log file open\nInit: Version 3369\n", std::nullopt},
        LogCase{"LineOf21CharactersIsNeverCompared", "Init: Base directory:\n", std::nullopt},
        LogCase{"EmptyBaseDirectory", "Init: Base directory: \n", std::nullopt},
        LogCase{"FolderWithoutParentNamesNoLocation", "Init: Base directory: System/\n",
                std::nullopt},
        // Tar would unpack into the file system's root.
        LogCase{"FolderAtTheRootNamesNoLocation", "Init: Base directory: /System/\n", std::nullopt},
        LogCase{"AnyFolderNameIsKeptWhole", "Init: Base directory: /opt/ut2004/SystemARM64/\n",
                "/opt/ut2004/SystemARM64/"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ArchiveListing, AllowsFilesFoldersAndLinksAndRefusesDevicesFifosAndUnknownTypes)
{
    const std::string plain =
        "drwxr-xr-x 0/0 0 2026-01-01 00:00 KVRavelock/\n"
        "-rw-r--r-- 0/0 5 2026-01-01 00:00 KVRavelock/a\\nb\n"
        "lrwxrwxrwx 0/0 0 2026-01-01 00:00 KVRavelock/l -> a\n"
        "hrw-r--r-- 0/0 0 2026-01-01 00:00 KVRavelock/h link to KVRavelock/a\n";
    EXPECT_TRUE(ListingNamesOnlyPlainMembers(plain));
    EXPECT_TRUE(ListingNamesOnlyPlainMembers("")) << "an empty listing has nothing to refuse";
    for (const char *member : {"crw-r--r-- 0/0 1,3 2026-01-01 00:00 KVRavelock/null\n",
                               "brw-r--r-- 0/0 8,0 2026-01-01 00:00 KVRavelock/disk\n",
                               "prw-r--r-- 0/0 0 2026-01-01 00:00 KVRavelock/fifo\n",
                               "?rw-r--r-- 0/0 0 2026-01-01 00:00 KVRavelock/odd"}) {
        EXPECT_FALSE(ListingNamesOnlyPlainMembers(plain + member)) << "allowed: " << member;
    }
}

TEST(CopyLauncher, CopiesAPlainFileOnceAndNeverFollowsALink)
{
    kv::test::TempDir dir;
    kv::test::WriteBytes(dir.File("secret"), {'s'});
    kv::test::WriteBytes(dir.File("launcher.zip"), {'z', 'i', 'p'});
    // Windows lets only a privileged user, or developer mode, make a link (Wine: none at all).
    std::error_code noLinks;
    std::filesystem::create_symlink(dir.File("secret"), dir.File("linked.zip"), noLinks);

    EXPECT_TRUE(kv::installer::CopyLauncher(dir.File("launcher.zip"), dir.File("desk.zip")));
    EXPECT_EQ(kv::test::ReadBytes(dir.File("desk.zip")),
              (std::vector<unsigned char>{'z', 'i', 'p'}));
    EXPECT_FALSE(kv::installer::CopyLauncher(dir.File("launcher.zip"), dir.File("desk.zip")))
        << "an existing Desktop copy is left as it is";
    EXPECT_FALSE(kv::installer::CopyLauncher(dir.File("linked.zip"), dir.File("other.zip")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("other.zip")));
    EXPECT_FALSE(kv::installer::CopyLauncher(dir.File("missing.zip"), dir.File("other.zip")));
}
