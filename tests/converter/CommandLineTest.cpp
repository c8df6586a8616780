#include "CommandLine.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "BitmapFile.h"
#include "ConverterTexts.h"
#include "FaultyFileSystem.h"
#include "JpegFile.h"
#include "TestSupport.h"

using namespace kv::converter;

namespace {

struct Outcome
{
    int code;
    std::string out;
    std::string err;
};

class CommandLineTest : public ::testing::Test
{
protected:
    CommandLineTest()
    {
        defaults.edition = texts::kSelectGame;
        defaults.saveFolder = dir.File("out") + "/";
    }

    Outcome Run(const std::vector<std::string> &args)
    {
        std::ostringstream out;
        std::ostringstream err;
        const int code = RunCommandLine(args, defaults, out, err);
        return {code, out.str(), err.str()};
    }

    std::string Screenshot(const std::string &name, int width, int height)
    {
        const std::string path = dir.File(name);
        kv::imaging::WriteBitmapFile(kv::imaging::WorkingBitmap(width, height, 24), path);
        return path;
    }

    kv::test::TempDir dir;
    ConversionSettingTexts defaults;
};

} // namespace

TEST_F(CommandLineTest, ConvertsWithShortFormsAndPrintsMessagesAndResultRowsInListOrder)
{
    const std::string b = Screenshot("b.bmp", 1680, 1050);
    const std::string a = Screenshot("a.bmp", 640, 480);
    const Outcome o = Run({"convert", "--game", "ravelock", "-t", "10", "--spectator", "--size=50",
                           "--save-name", "Board", b, a});
    EXPECT_EQ(o.code, 0) << o.err;
    const std::string out = dir.File("out") + "/Board1.jpg";
    EXPECT_EQ(o.out, "Screenshot 1: This resolution is not (yet) supported\nBoard1.jpg\tSaved\t" +
                         out + "\n");
    const kv::imaging::ImageSize size = kv::imaging::ReadJpegSize(out);
    EXPECT_EQ(size.width, 1337 / 2);
    EXPECT_EQ(size.height, 486 / 2);
}

TEST_F(CommandLineTest, JobsOptionKeepsResultRowsInListOrder)
{
    // Listed by name, a to e; each resolution gives its own crop width.
    std::vector<std::string> args = {"convert", "-g", "ravelock", "-j", "3", "--size", "20"};
    args.push_back(Screenshot("d.bmp", 1024, 768));
    args.push_back(Screenshot("b.bmp", 800, 600));
    args.push_back(Screenshot("e.bmp", 1280, 1024));
    args.push_back(Screenshot("a.bmp", 1280, 960));
    args.push_back(Screenshot("c.bmp", 1152, 864));
    const Outcome o = Run(args);
    EXPECT_EQ(o.code, 0) << o.err;
    std::string expected;
    const int widths[] = {1022 / 5, 637 / 5, 920 / 5, 819 / 5, 1023 / 5};
    for (int n = 1; n <= 5; ++n) {
        const std::string name = "Screenshot" + std::to_string(n) + ".jpg";
        const std::string path = dir.File("out") + "/" + name;
        expected += name + "\tSaved\t" + path + "\n";
        EXPECT_EQ(kv::imaging::ReadJpegSize(path).width, widths[n - 1]) << name;
    }
    EXPECT_EQ(o.out, expected);
}

TEST_F(CommandLineTest, WholeImageAndExactTitlesAreAccepted)
{
    const std::string a = Screenshot("a.bmp", 800, 600);
    const Outcome o = Run({"convert", "--game", "Korvane: Veskar", "--team", " 2 on 2", "--whole",
                           "-s", "10", "-o", dir.File("o2"), a});
    EXPECT_EQ(o.code, 0) << o.err;
    const kv::imaging::ImageSize size = kv::imaging::ReadJpegSize(dir.File("o2/Screenshot1.jpg"));
    EXPECT_EQ(size.width, 80);
    EXPECT_EQ(size.height, 60);
}

TEST_F(CommandLineTest, RefusesWithoutAGameAndReportsErrorsWithNonZeroExit)
{
    const std::string a = Screenshot("a.bmp", 800, 600);
    Outcome o = Run({"convert", a});
    EXPECT_EQ(o.code, 1);
    EXPECT_EQ(o.err, "Select a game first\n");

    o = Run({"convert", "--game", "quake", a});
    EXPECT_EQ(o.code, 2);
    o = Run({"convert", "--bogus", a});
    EXPECT_EQ(o.code, 2);
    o = Run({"convert", "--game"});
    EXPECT_EQ(o.code, 2);
    for (const char *jobs : {"0", "65", "two", "-1", ""}) {
        o = Run({"convert", "--game", "veskar", "--jobs", jobs, a});
        EXPECT_EQ(o.code, 2) << "--jobs " << jobs;
    }

    o = Run({"convert", "--game", "veskar", dir.File("missing.jpg")});
    EXPECT_EQ(o.code, 1);
    EXPECT_NE(o.err.find("Invalid or no file selected"), std::string::npos) << o.err;
}

TEST_F(CommandLineTest, HelpAndVersionNeedNoFiles)
{
    EXPECT_TRUE(IsCommandLineRequest({"convert"}));
    EXPECT_TRUE(IsCommandLineRequest({"--version"}));
    EXPECT_FALSE(IsCommandLineRequest({}));
    EXPECT_FALSE(IsCommandLineRequest({"-platform", "offscreen"}));
    Outcome o = Run({"--version"});
    EXPECT_EQ(o.code, 0);
    EXPECT_EQ(o.out, "KV Screenshot Converter 3.0\n");
    o = Run({"--help"});
    EXPECT_EQ(o.code, 0);
    EXPECT_NE(o.out.find("kvsc convert [options] FILE..."), std::string::npos);
}

TEST_F(CommandLineTest, ReadsTheStoredSettingsOnlyWhenTheCommandLineLeavesOneOut)
{
    const std::string shot = Screenshot("a.bmp", 1680, 1050);
    int reads = 0;
    const auto stored = [&] {
        ++reads;
        ConversionSettingTexts settings = defaults;
        settings.edition = texts::kRavelock;
        settings.saveName = "Stored";
        return settings;
    };
    const auto run = [&](std::vector<std::string> args) {
        std::ostringstream out;
        std::ostringstream err;
        const int code = RunCommandLine(args, stored, out, err);
        return Outcome{code, out.str(), err.str()};
    };
    const std::string folder = dir.File("out") + "/";

    // Every stored setting given: the store is not consulted.
    Outcome o = run({"convert", "-g", "ravelock", "-t", "6", "--no-spectator", "--whole", "-s",
                     "50", "-o", folder, "-n", "Given", "--no-trash", shot});
    EXPECT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(reads, 0);
    EXPECT_TRUE(std::filesystem::exists(folder + "Given1.jpg"));
    EXPECT_EQ(run({"--version"}).code, 0);
    EXPECT_EQ(reads, 0);

    // The save name left out: it comes from the store, the given options still win.
    o = run({"convert", "-g", "ravelock", "-t", "6", "--no-spectator", "--whole", "-s", "50", "-o",
             folder, "--no-trash", shot});
    EXPECT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(reads, 1);
    EXPECT_TRUE(std::filesystem::exists(folder + "Stored1.jpg"));
}

struct UsageCase
{
    const char *name;
    std::vector<std::string> options;
    const char *said; // in the error text
};

void PrintTo(const UsageCase &c, std::ostream *os)
{
    *os << c.name;
}

class UsageError : public CommandLineTest, public ::testing::WithParamInterface<UsageCase>
{
};

// Each is refused before any screenshot is looked at: a missing one would otherwise be the
// error, with exit status 1.
TEST_P(UsageError, IsRefusedWithStatusTwoBeforeAnyScreenshot)
{
    std::vector<std::string> args = {"convert", "-g", "ravelock"};
    args.insert(args.end(), GetParam().options.begin(), GetParam().options.end());
    args.push_back(dir.File("missing.bmp"));
    const Outcome o = Run(args);
    EXPECT_EQ(o.code, 2) << o.err;
    EXPECT_NE(o.err.find(GetParam().said), std::string::npos) << o.err;
    EXPECT_TRUE(o.out.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Options, UsageError,
    ::testing::Values(UsageCase{"NameWithSeparator", {"-n", "../x"}, "cannot hold \"/\""},
                      UsageCase{"NameWithTab", {"-n", "a\tb"}, "cannot hold a control character"},
                      UsageCase{"NameWithLineEnd", {"--save-name=a\nb"}, "control character"},
                      UsageCase{"SizeNoNumber", {"--size", "abc"}, "invalid size \"abc\""},
                      UsageCase{"SizeZero", {"-s", "0"}, "invalid size \"0\""},
                      UsageCase{"SizeEmpty", {"--size="}, "invalid size \"\""}),
    [](const auto &info) { return std::string(info.param.name); });

// "6 on 6" is taken as " 6 on 6"; a Veskar run names each screenshot it passes over on stderr;
// an original that could not be deleted makes the status 1.
TEST_F(CommandLineTest, TeamWithoutBlankVeskarSkipsAndFailedDeletesAreTold)
{
    const std::string a = Screenshot("a.bmp", 1680, 1050);
    const std::string b = Screenshot("b.bmp", 640, 480);
    Outcome o = Run({"convert", "-g", "veskar", "-t", "6 on 6", "--save-name", "V", a, b});
    EXPECT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(o.err, "Screenshot 1 (a.bmp): This resolution is not (yet) supported\n");
    EXPECT_EQ(kv::imaging::ReadJpegSize(dir.File("out") + "/V1.jpg").height, 92 + 5 * 24);

    kv::test::FaultyFileSystem files;
    files.FailNextRemove(EACCES);
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunCommandLine({"convert", "-g", "veskar", "--delete-originals", b}, defaults, out,
                             err, files),
              1);
    EXPECT_NE(err.str().find("could not be deleted"), std::string::npos) << err.str();
    EXPECT_TRUE(std::filesystem::exists(b));
}

#if defined(KV_KVSC_BINARY) && defined(KV_KVSC_WINDOW_MODULE) && !defined(_WIN32)

std::string LogOf(const std::string &path)
{
    const std::vector<unsigned char> bytes = kv::test::ReadBytes(path);
    return {bytes.begin(), bytes.end()};
}

// The program reads the stored settings through its window module when an option is missing.
TEST_F(CommandLineTest, ProgramTakesMissingOptionsFromTheStoredSettings)
{
    const std::string shot = Screenshot("a.bmp", 1680, 1050);
    const std::string out = dir.File("stored") + "/";
    std::filesystem::create_directories(dir.File("config/KVSC"));
    {
        std::ofstream conf(dir.File("config/KVSC/KVSC.conf"));
        conf << "[General]\nGame=Korvane: Ravelock\nSizeNumber=\" 6 on 6\"\nSaveName=Stored\n"
                "SaveFolder="
             << out << "\nSize=50\nScoreBoardOnly=Yes\nSpectator=No\n";
    }
    const kv::test::ScopedEnv config("XDG_CONFIG_HOME", dir.File("config"));
    const std::string command = std::string(KV_KVSC_BINARY) + " convert --jobs 1 " + shot + " >" +
                                dir.File("log") + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << LogOf(dir.File("log"));
    EXPECT_TRUE(std::filesystem::exists(out + "Stored1.jpg")) << LogOf(dir.File("log"));
}

struct StoreFileCase
{
    const char *name;
    std::string bytes;
    bool unreadable;  // no read permission for the user kvsc runs as
    int code;         // kvsc's exit status
    const char *said; // on stderr, or "" for nothing
    bool movedAside;  // the file is then KVSC.conf.damaged
};

void PrintTo(const StoreFileCase &c, std::ostream *os)
{
    *os << c.name;
}

class ProgramStoreFile : public CommandLineTest, public ::testing::WithParamInterface<StoreFileCase>
{
};

// kvsc convert judges the settings file as the window does: the same function decides.
TEST_P(ProgramStoreFile, IsKeptMovedAsideOrLeftAloneWithTheReason)
{
    const StoreFileCase &c = GetParam();
    std::vector<std::string> command;
    if (c.unreadable) {
        // Permissions bind only a user other than root.
        if (geteuid() == 0) {
            if (std::system("command -v setpriv >/dev/null") != 0) {
                GTEST_SKIP() << "running as root without setpriv";
            }
            command = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        }
        std::filesystem::permissions(dir.Path(), std::filesystem::perms(0755));
    }
    const std::string conf = dir.File("config/KVSC/KVSC.conf");
    std::filesystem::create_directories(dir.File("config/KVSC"));
    {
        std::ofstream file(conf, std::ios::binary);
        file << c.bytes;
    }
    if (c.unreadable) {
        std::filesystem::permissions(conf, std::filesystem::perms::none);
    }
    const std::string shot = Screenshot("a.bmp", 1680, 1050);
    const kv::test::ScopedEnv config("XDG_CONFIG_HOME", dir.File("config"));
    std::string line;
    for (const std::string &part : command) {
        line += part + " ";
    }
    line += std::string(KV_KVSC_BINARY) + " convert -g ravelock -t 6 -o " + dir.File("out") + " " +
            shot + " 2>" + dir.File("err") + " >/dev/null";
    const int status = std::system(line.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    const std::string err = LogOf(dir.File("err"));
    EXPECT_EQ(WEXITSTATUS(status), c.code) << err;
    if (*c.said) {
        EXPECT_NE(err.find(c.said), std::string::npos) << err;
    } else {
        EXPECT_EQ(err, "");
    }
    const std::string kept = c.movedAside ? conf + ".damaged" : conf;
    std::filesystem::permissions(kept, std::filesystem::perms::owner_read);
    EXPECT_EQ(LogOf(kept), c.bytes);
    EXPECT_EQ(std::filesystem::exists(conf), !c.movedAside);
}

INSTANTIATE_TEST_SUITE_P(
    Judged, ProgramStoreFile,
    ::testing::Values(
        StoreFileCase{"NoFinalLineEnd", "[General]\nSaveName=Kept\nSize=50", false, 0, "", false},
        StoreFileCase{"Garbage", std::string("\x01\x02\0garbage", 10), false, 0,
                      "could not be read; KVSC starts with the default settings. The file was "
                      "kept as",
                      true},
        StoreFileCase{"Unreadable", "[General]\nSaveName=Kept\n", true, 1,
                      "cannot be read (Permission denied); it is left as it is", false}),
    [](const auto &info) { return std::string(info.param.name); });

#endif

#if defined(KV_KVSC_BINARY) && defined(_WIN32)
// KVSC.exe tells the system that it takes paths past 260 characters.
TEST(KVSCProgram, ManifestDeclaresLongPathAwareness)
{
    const HMODULE program = LoadLibraryExA(KV_KVSC_BINARY, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(program, nullptr);
    const HRSRC found = FindResourceA(program, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr);
    const char *bytes = static_cast<const char *>(LockResource(LoadResource(program, found)));
    const std::string manifest(bytes, SizeofResource(program, found));
    EXPECT_NE(manifest.find("<ws2:longPathAware>true</ws2:longPathAware>"), std::string::npos)
        << manifest;
    FreeLibrary(program);
}
#endif

#ifndef _WIN32
// Without a folder, `kvsc watch` names the game's screenshot folder where the game's rules find
// one, and --game-folder watches it; a folder that is none is refused before anything is watched.
TEST(WatchCommand, OffersTheGamesScreenshotFolderAndRefusesWhatIsNoFolder)
{
    kv::test::TempDir home;
    const kv::test::ScopedEnv homeEnv("HOME", home.Path().string());
    ConversionSettingTexts settings;
    settings.edition = texts::kRavelock;
    settings.saveFolder = home.File("out");
    const auto run = [&](const std::vector<std::string> &args) {
        std::ostringstream out;
        std::ostringstream err;
        const int code = RunCommandLine(args, settings, out, err);
        return std::make_pair(code, err.str());
    };
    EXPECT_EQ(run({"watch", "--game-folder"}),
              std::make_pair(1, "kvsc: " + std::string(texts::kGameFolderNotFound) + "\n"));
    EXPECT_EQ(run({"watch"}).first, 2);

    const std::string folder = home.File(".ut2004/ScreenShots");
    std::filesystem::create_directories(folder);
    const auto [code, err] = run({"watch"});
    EXPECT_EQ(code, 2);
    EXPECT_NE(err.find("The game's screenshots are in " + folder + " (--game-folder)"),
              std::string::npos)
        << err;
    EXPECT_EQ(run({"watch", home.File("none")}).second,
              "kvsc: " + texts::NotAFolder(home.File("none")) + "\n");
    EXPECT_EQ(run({"convert", "--catch-up", "a.bmp"}).first, 2);
}
#endif
