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
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "DrivenProgram.h"
#include "GameTestSupport.h"
#include "PlayerLayouts.h"
#include "TestSupport.h"
#ifdef _WIN32
#include "InstallPlan.h"
#include "TarWriter.h"
#endif

namespace fs = std::filesystem;

namespace {

const std::string kMarkerBelowGame = "KVRavelock/Textures/KV2_Quarrytide1.utx";

} // namespace

#ifndef _WIN32

namespace {

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

namespace {

// A player who is not root, and what the installer is run through to be them.
constexpr unsigned kPlayer = 4242;
const std::vector<std::string> kAsPlayer = {"/usr/bin/setpriv", "--reuid=4242", "--regid=4242",
                                            "--clear-groups", "--"};
// Root with a umask that would keep every other user out of what it writes.
const std::vector<std::string> kAsRootWithUmask077 = {"/bin/sh", "-c", "umask 077 && exec \"$0\""};

struct InstallCase
{
    const char *name;
    const char *layout; // a row of the player layouts
    bool rootOwnsTheGame;
    bool asPlayer;
    // Who must own the installed files; root owning the game and the player installing needs
    // rights, which pkexec (missing here) would ask for: nothing is installed then.
    bool installed;
    unsigned owner;
};

void PrintTo(const InstallCase &c, std::ostream *out)
{
    *out << c.name;
}

class InstallerLayoutTest : public ::testing::TestWithParam<InstallCase>
{
protected:
    kv::test::TempDir dir;
};

kv::test::PlayerLayout LayoutNamed(const std::string &name)
{
    for (const kv::test::PlayerLayout &layout : kv::test::layouts::All()) {
        if (layout.name == name) {
            return layout;
        }
    }
    ADD_FAILURE() << "no layout " << name;
    return {};
}

void Own(const fs::path &top, unsigned user)
{
    ASSERT_EQ(lchown(top.c_str(), user, user), 0) << top;
    if (fs::is_directory(fs::symlink_status(top))) {
        for (const auto &entry : fs::recursive_directory_iterator(top)) {
            ASSERT_EQ(lchown(entry.path().c_str(), user, user), 0) << entry.path();
        }
    }
}

} // namespace

TEST_P(InstallerLayoutTest, InstallsAsTheRightUserAndEnds)
{
    const InstallCase &c = GetParam();
    if (geteuid() != 0) {
        GTEST_SKIP() << "becoming a player and owning files as root needs root";
    }
    if (c.rootOwnsTheGame && c.asPlayer && fs::exists("/usr/bin/pkexec")) {
        GTEST_SKIP() << "pkexec would ask for the administrator's password";
    }
    const fs::path home = dir.Path() / "home";
    const fs::path setup = dir.Path() / "Setup";
    fs::create_directories(home / "Schreibtisch");
    // The Desktop as xdg-user-dir knows it, translated.
    kv::test::WriteTextFile(home / ".config/user-dirs.dirs",
                            "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
    const kv::test::LaidOut laid =
        LayoutNamed(c.layout).lay(dir.Path(), home, KV_FAKE_GAME_FOR_LAYOUTS);
    const fs::path staging = dir.Path() / "staging";
    kv::test::WriteTextFile(staging / "KVRavelock/UT2K4Mod.ini", "[MOD]\n");
    kv::test::WriteTextFile(staging / "KVRavelock/Help/KVRavelock Mac Launcher.zip", "PK");
    kv::test::WriteTextFile(staging / kMarkerBelowGame, "texture package");
    fs::create_directories(setup);
    QProcess tar;
    tar.start(QStringLiteral("/usr/bin/tar"),
              {"-czf", QString::fromStdString((setup / "KVRinstall.tgz").string()), "-C",
               QString::fromStdString(staging.string()), "KVRavelock"});
    ASSERT_TRUE(tar.waitForFinished(60000) && tar.exitCode() == 0);
    fs::copy_file(KV_INSTALLER_PROGRAM, setup / "kvrinstaller");
    fs::create_directories(dir.Path() / "run");
    fs::permissions(dir.Path() / "run", fs::perms::owner_all);
    Own(dir.Path(), kPlayer);
    if (c.rootOwnsTheGame) {
        Own(laid.game, 0);
    }

    const std::string awaited =
        c.installed ? "Installation Complete" : "Administrator rights could not be requested!";
    const kv::test::ProgramEnd end =
        kv::test::RunDriven((setup / "kvrinstaller").string(),
                            {"click startButton", "click installButton",
                             "wait statusText " + awaited, "click cancelButton"},
                            dir.Path() / "script",
                            {{"HOME", home.string()},
                             {"XDG_DATA_HOME", ""},
                             {"XDG_CONFIG_HOME", ""},
                             {"XDG_RUNTIME_DIR", (dir.Path() / "run").string()}},
                            dir.Path(), 60000, c.asPlayer ? kAsPlayer : kAsRootWithUmask077);
    ASSERT_TRUE(end.ended) << "still running; its output:\n" << end.errorOutput;
    EXPECT_EQ(end.exitCode, 0) << end.errorOutput;
    const fs::path marker = laid.game / kMarkerBelowGame;
    ASSERT_EQ(fs::exists(marker), c.installed) << end.errorOutput;
    if (!c.installed) {
        return;
    }
    for (const fs::path &installed : {laid.game / "KVRavelock", laid.game / "KVRavelock/Textures",
                                      marker, laid.game / "KVRavelock/UT2K4Mod.ini"}) {
        struct stat info
        {
        };
        ASSERT_EQ(stat(installed.c_str(), &info), 0) << installed;
        EXPECT_EQ(info.st_uid, c.owner) << installed;
        // Whoever plays reads it, as a root-owned game folder's files must be.
        EXPECT_TRUE(info.st_mode & S_IROTH) << installed << " mode " << std::oct << info.st_mode;
    }
    EXPECT_TRUE(fs::exists(home / "Schreibtisch/KVRavelock Mac Launcher.zip")) << end.errorOutput;
}

INSTANTIATE_TEST_SUITE_P(
    Linux, InstallerLayoutTest,
    ::testing::Values(
        InstallCase{"PlayersOwnGameFolder", "Native3369InHome", false, true, true, kPlayer},
        InstallCase{"Patch3374NeverRun", "Patch3374NeverRun", false, true, true, kPlayer},
        InstallCase{"WinePrefix", "WineDefaultPrefix", false, true, true, kPlayer},
        InstallCase{"SteamLibrary", "SteamProtonLibrary", false, true, true, kPlayer},
        // Root installing into a player's folder leaves nothing there that root owns.
        InstallCase{"RootIntoAPlayersFolder", "Native3369InHome", false, false, true, kPlayer},
        InstallCase{"RootOwnedGameAsRoot", "Native3369Script", true, false, true, 0},
        InstallCase{"RootOwnedGameAsPlayerNeedsRights", "Native3369Script", true, true, false, 0}),
    [](const auto &info) { return std::string(info.param.name); });
#else
namespace {

// Each way a Windows player has the game: the installer, beside KVRinstall.tgz and KVRExtract.exe,
// must unpack the mod into the game as the user (the folder is theirs), copy the launcher to the
// Desktop known folder, and end when Done is clicked.
class WindowsInstallerLayoutTest : public ::testing::TestWithParam<kv::test::PlayerLayout>
{
protected:
    kv::test::TempDir dir;
};

} // namespace

TEST_P(WindowsInstallerLayoutTest, InstallsAsTheUserAndEnds)
{
    if (!kv::test::layouts::UnderWine()) {
        GTEST_SKIP() << "it would write C:\\UT2004 and the registry of the player's Windows";
    }
    const kv::test::layouts::WindowsPlacesCleared cleared;
    const kv::test::LaidOut laid =
        GetParam().lay(dir.Path(), dir.Path() / "home", KV_FAKE_GAME_FOR_LAYOUTS);
    const fs::path setup = dir.Path() / "Setup";
    fs::create_directories(setup);
    kv::test::TarWriter archive;
    archive.add(kv::test::File("KVRavelock/UT2K4Mod.ini", "[MOD]\n"));
    archive.add(kv::test::File("KVRavelock/Help/KVRavelock Mac Launcher.zip", "PK"));
    archive.add(kv::test::File(kMarkerBelowGame, "texture package"));
    ASSERT_TRUE(archive.writeGzip(setup / "KVRinstall.tgz"));
    fs::copy_file(KV_INSTALLER_PROGRAM, setup / fs::path(KV_INSTALLER_PROGRAM).filename());
    fs::copy_file(KV_EXTRACT_HELPER, setup / fs::path(KV_EXTRACT_HELPER).filename());
    const std::optional<std::string> desktop = kv::installer::KnownDesktopFolder();
    ASSERT_TRUE(desktop.has_value());
    const fs::path launcherCopy = fs::path(*desktop) / "KVRavelock Mac Launcher.zip";
    std::error_code ignored;
    fs::remove(launcherCopy, ignored);

    const kv::test::ProgramEnd end =
        kv::test::RunDriven((setup / fs::path(KV_INSTALLER_PROGRAM).filename()).string(),
                            {"click startButton", "click installButton",
                             "wait statusText Installation Complete", "click cancelButton"},
                            dir.Path() / "script", {}, dir.Path());
    const bool copied = fs::exists(launcherCopy);
    fs::remove(launcherCopy, ignored);
    ASSERT_TRUE(end.ended) << "still running; its output:\n" << end.errorOutput;
    EXPECT_EQ(end.exitCode, 0) << end.errorOutput;
    EXPECT_EQ(kv::test::ReadTextFile(laid.game / kMarkerBelowGame), "texture package")
        << end.errorOutput;
    EXPECT_EQ(kv::test::ReadTextFile(laid.game / "KVRavelock/UT2K4Mod.ini"), "[MOD]\n");
    EXPECT_NE(end.errorOutput.find("Extracting as the user"), std::string::npos) << end.errorOutput;
    EXPECT_TRUE(copied) << end.errorOutput;
}

INSTANTIATE_TEST_SUITE_P(Windows, WindowsInstallerLayoutTest,
                         ::testing::ValuesIn(kv::test::layouts::WindowsAll()),
                         [](const auto &info) { return std::string(info.param.name); });
#endif
