#include "ExtractionHelper.h"

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "GameTestSupport.h"
#include "GameTexts.h"
#include "InstallPlan.h"
#include "InstallerTexts.h"
#include "TarWriter.h"
#include "TestSupport.h"

using namespace kv::installer;
namespace fs = std::filesystem;

namespace {

struct CommandLineCase
{
    std::vector<std::string> arguments;
    std::string line;
};

class WindowsCommandLineOf : public ::testing::TestWithParam<CommandLineCase>
{
};

TEST_P(WindowsCommandLineOf, QuotesWhatTheSplitterWouldOtherwiseCut)
{
    EXPECT_EQ(WindowsCommandLine(GetParam().arguments), GetParam().line);
#ifdef _WIN32
    // The system's own splitter gives the arguments back (after a program name, which it reads
    // by other rules).
    int count = 0;
    const std::wstring line =
        L"KVRExtract.exe " +
        fs::path(std::u8string(GetParam().line.begin(), GetParam().line.end())).native();
    wchar_t **split = CommandLineToArgvW(line.c_str(), &count);
    ASSERT_NE(split, nullptr);
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i) {
        const std::u8string text = fs::path(split[i]).u8string();
        arguments.emplace_back(text.begin(), text.end());
    }
    LocalFree(split);
    EXPECT_EQ(arguments, GetParam().arguments);
#endif
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, WindowsCommandLineOf,
    ::testing::Values(CommandLineCase{{"C:\\UT2004\\", "D:\\Setup\\KVRinstall.tgz"},
                                      "C:\\UT2004\\ D:\\Setup\\KVRinstall.tgz"},
                      CommandLineCase{{"C:\\Program Files (x86)\\UT2004\\"},
                                      "\"C:\\Program Files (x86)\\UT2004\\\\\""},
                      CommandLineCase{{"", "a"}, "\"\" a"},
                      CommandLineCase{{"say \"hi\""}, "\"say \\\"hi\\\"\""},
                      CommandLineCase{{"a\\\\\"b c"}, "\"a\\\\\\\\\\\"b c\""},
                      CommandLineCase{{"tab\there", "Игра 2004"}, "\"tab\there\" \"Игра 2004\""}));

// Runs the real helper program with arguments; its exit status, or -1 when it did not end well.
long RunHelper(const std::vector<std::string> &arguments)
{
#ifdef _WIN32
    HelperProcess helper = StartHelper(KV_EXTRACT_HELPER, arguments, false);
    if (helper.outcome != StartOutcome::Started) {
        return -1;
    }
    const std::optional<unsigned long> status = WaitForHelper(helper);
    return status ? long(*status) : -1;
#else
    const pid_t child = fork();
    if (child == 0) {
        std::vector<char *> argv = {const_cast<char *>(KV_EXTRACT_HELPER)};
        for (const std::string &argument : arguments) {
            argv.push_back(const_cast<char *>(argument.c_str()));
        }
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

// The helper program as the installer runs it: into a folder named with blanks and a trailing
// separator, with its message for the user in the file it is given.
TEST(ExtractionHelperProgram, UnpacksOrRefusesAndLeavesItsMessage)
{
    kv::test::TempDir dir;
    const fs::path game = dir.Path() / "Unreal Tournament 2004";
    fs::create_directory(game);
    kv::test::TarWriter good;
    good.add(kv::test::File("KVRavelock/Textures/KV2_Quarrytide1.utx", "utx"));
    ASSERT_TRUE(good.writeGzip(dir.Path() / "good.tgz"));
    kv::test::TarWriter hostile;
    hostile.add(kv::test::File("../escaped", "x"));
    ASSERT_TRUE(hostile.writeGzip(dir.Path() / "hostile.tgz"));
    const std::string location = dir.File("Unreal Tournament 2004") + "/";

    EXPECT_EQ(RunHelper(HelperArguments(dir.File("good.tgz"), location, dir.File("message"))),
              long(ExtractionResult::Extracted));
    EXPECT_EQ(kv::test::ReadTextFile(game / "KVRavelock/Textures/KV2_Quarrytide1.utx"), "utx");
    EXPECT_EQ(kv::test::ReadTextFile(dir.Path() / "message"), "");

    EXPECT_EQ(RunHelper(HelperArguments(dir.File("hostile.tgz"), location, dir.File("message"))),
              long(ExtractionResult::MemberRefused));
    EXPECT_EQ(kv::test::ReadTextFile(dir.Path() / "message"),
              kv::game::texts::Filled(texts::kArchiveMemberRefused, "../escaped"));
    EXPECT_FALSE(fs::exists(dir.Path() / "escaped"));

    EXPECT_EQ(RunHelper({"too few"}), kHelperUsage);
    EXPECT_EQ(ResultOfHelperStatus(kHelperUsage), ExtractionResult::WriteFailed);
}

TEST(RunAsFor, AWritableGameFolderIsUnpackedAsTheUser)
{
    kv::test::TempDir dir;
    fs::create_directory(dir.Path() / "KVRavelock");
    EXPECT_FALSE(RunAsFor(dir.File("")).administrator);
}

#ifdef _WIN32
bool UnderWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// Windows' rules are known only by trying: a folder no file can be made in needs the helper
// run with administrator rights. Under Wine, which runs as whatever Unix user started it, a
// folder of /sys refuses every new file, even root's.
TEST(RunAsFor, AFolderTheUserCannotWriteAsksForAdministratorRights)
{
    const std::string refusing = UnderWine() ? "Z:\\sys\\" : "C:\\Windows\\System32\\";
    ASSERT_TRUE(fs::is_directory(refusing));
    EXPECT_FALSE(FolderWritable(refusing));
    EXPECT_TRUE(RunAsFor(refusing).administrator);
    EXPECT_FALSE(RootOwnsTheFiles(RunAsFor(refusing)));
}

// The user's Desktop known folder, where the launcher's zip is copied.
TEST(KnownDesktopFolder, IsAFolder)
{
    const std::optional<std::string> desktop = KnownDesktopFolder();
    ASSERT_TRUE(desktop.has_value());
    EXPECT_TRUE(fs::path(*desktop).is_absolute()) << *desktop;
}

// Wine has no UAC: "runas" starts the helper as the same user, which shows the elevated route
// works up to the prompt, which cannot be shown here.
TEST(ExtractionHelperProgram, RunsThroughTheElevatedRoute)
{
    if (!UnderWine()) {
        GTEST_SKIP() << "Windows would show its UAC prompt";
    }
    kv::test::TempDir dir;
    kv::test::TarWriter good;
    good.add(kv::test::File("KVRavelock/UT2K4Mod.ini", "ini"));
    ASSERT_TRUE(good.writeGzip(dir.Path() / "good.tgz"));
    HelperProcess helper =
        StartHelper(KV_EXTRACT_HELPER,
                    HelperArguments(dir.File("good.tgz"), dir.File(""), dir.File("message")), true);
    ASSERT_EQ(helper.outcome, StartOutcome::Started);
    EXPECT_EQ(WaitForHelper(helper), 0u);
    EXPECT_EQ(kv::test::ReadTextFile(dir.Path() / "KVRavelock/UT2K4Mod.ini"), "ini");
}
#endif

} // namespace
