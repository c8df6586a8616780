#include "InstallerController.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QCoreApplication>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "GameDropView.h"
#include "GameTestSupport.h"
#include "LocationSheet.h"
#include "ProcessPrivilegedRun.h"
#include "QtTestSupport.h"
#include "TarWriter.h"
#include "TestSupport.h"

using kv::installer::InstallerController;
using kv::installer::PrivilegedRun;
using kv::installer::RunAs;
using kv::installer::StartOutcome;
namespace fs = std::filesystem;

namespace {

constexpr int kWaitMs = 60000; // generous: tar and the worker run slowly under the sanitizers

// Lists the archive with the real tar as the current user, as the program does, recording the
// tool and arguments of each listing; the extraction is left to the runs below.
class ListingRun : public PrivilegedRun
{
public:
    void runAsUser(const std::string &tool, const std::vector<std::string> &arguments,
                   Output output) override
    {
        listings.push_back({tool});
        listings.back().insert(listings.back().end(), arguments.begin(), arguments.end());
        real.runAsUser(tool, arguments, std::move(output));
    }

    std::vector<std::vector<std::string>> listings;
    kv::installer::ProcessPrivilegedRun real;
};

// The real run as the current user, recording what it was asked to start.
class RecordingRun : public ListingRun
{
public:
    void start(const std::string &tool, const std::vector<std::string> &arguments, const RunAs &as,
               Started started, Finished finished) override
    {
        tools.push_back(tool);
        this->arguments = arguments;
        real.start(tool, arguments, as, std::move(started), std::move(finished));
    }
    std::string firstErrorLine() const override { return real.firstErrorLine(); }

    std::vector<std::string> tools;
    std::vector<std::string> arguments;
};

// A start the user does not authorise: reports outcome and runs nothing.
class UnauthorisedRun : public ListingRun
{
public:
    explicit UnauthorisedRun(StartOutcome outcome) : outcome_(outcome) {}
    void start(const std::string &, const std::vector<std::string> &, const RunAs &,
               Started started, Finished) override
    {
        ++starts;
        QTimer::singleShot(
            0, [started = std::move(started), outcome = outcome_] { started(outcome); });
    }

    int starts = 0;

private:
    StartOutcome outcome_;
};

// A tool that runs until the test ends it.
class HeldRun : public ListingRun
{
public:
    void start(const std::string &, const std::vector<std::string> &, const RunAs &,
               Started started, Finished finished) override
    {
        end = std::move(finished);
        QTimer::singleShot(0, [started = std::move(started)] { started(StartOutcome::Started); });
    }

    Finished end;
};

// A listing that lasts until the test answers it.
class HeldListing : public RecordingRun
{
public:
    void runAsUser(const std::string &, const std::vector<std::string> &, Output output) override
    {
        answer = std::move(output);
    }

    Output answer;
};

// The log less the lines of the places looked at after the game's log.
std::vector<std::string> WithoutPlaces(const std::vector<std::string> &lines)
{
    std::vector<std::string> kept;
    std::copy_if(lines.begin(), lines.end(), std::back_inserter(kept), [](const std::string &line) {
        return !line.starts_with("Looking for Unreal in : ");
    });
    return kept;
}

bool Spinning(const QProgressBar *bar)
{
    return bar->minimum() == 0 && bar->maximum() == 0;
}

const std::string kMarkerBelowGame = "KVRavelock/Textures/KV2_Quarrytide1.utx";
const std::string kLauncherBelowGame = "KVRavelock/Help/KVRavelock Mac Launcher.zip";
const std::string kLauncherBytes = "PK\x03\x04 the zipped launcher";

// The installer with a home folder, an installer folder holding a real KVRinstall.tgz, and a game.
class InstallerTest : public ::testing::Test
{
protected:
    InstallerTest()
    {
        fs::create_directories(home() / "Desktop");
        fs::create_directories(setup());
        fs::create_directories(gameApp() / "System");
        useRun(run);
    }

    void SetUp() override { ASSERT_TRUE(buildArchive(true)); }

    void useRun(PrivilegedRun &chosen)
    {
        installer.reset();
        installer = std::make_unique<InstallerController>(log, alerts, chosen, setup().string(),
                                                          [this] { ++terminated; });
        QObject::connect(installer.get(), &InstallerController::statusShown,
                         [this](const QString &text) { statuses.push_back(text.toStdString()); });
    }

    fs::path home() const { return dir.Path() / "home"; }
    fs::path setup() const { return dir.Path() / "Setup"; }
    fs::path archive() const { return setup() / "KVRinstall.tgz"; }
    virtual fs::path gameApp() const { return dir.Path() / "Games/Game.app"; }
    std::string location() const { return gameApp().string() + "/"; }
    fs::path desktopCopy() const { return home() / "Desktop/KVRavelock Mac Launcher.zip"; }

    // KVRinstall.tgz made by the real tar, recorded under another owner than ours.
    bool buildArchive(bool withMarker) const
    {
        const fs::path staging = dir.Path() / "staging";
        fs::remove_all(staging);
        kv::test::WriteTextFile(staging / "KVRavelock/UT2K4Mod.ini", "[MOD]\n");
        kv::test::WriteTextFile(staging / kLauncherBelowGame, kLauncherBytes);
        if (withMarker) {
            kv::test::WriteTextFile(staging / kMarkerBelowGame, "texture package");
        }
        QProcess tar;
        tar.start(QStringLiteral("/usr/bin/tar"),
                  {"--owner=4242", "--group=4242", "--numeric-owner", "-czf",
                   QString::fromStdString(archive().string()), "-C",
                   QString::fromStdString(staging.string()), "KVRavelock"});
        return tar.waitForFinished(kWaitMs) && tar.exitStatus() == QProcess::NormalExit &&
               tar.exitCode() == 0;
    }

    void writeGameLog(const std::string &text) const
    {
        kv::test::WriteTextFile(home() / kv::test::kGameLogBelowHome, text);
    }

    QPushButton *button(QWidget *window, const char *name) const
    {
        return window->findChild<QPushButton *>(name);
    }
    // From the welcome window to the install window, without touching the options.
    void clickThrough()
    {
        installer->showWelcome();
        QTest::mouseClick(button(installer->welcomeWindow, "startButton"), Qt::LeftButton);
        QTest::mouseClick(button(installer->choiceWindow, "installButton"), Qt::LeftButton);
    }
    bool waitForTheEnd()
    {
        return QTest::qWaitFor(
            [this] {
                const QString text = installer->statusText->text();
                return text == "Installation Complete" || text == "Installation Failed!";
            },
            kWaitMs);
    }
    void dropOnTheSheet(const fs::path &path) const
    {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path.string()))});
        const Qt::DropActions possible = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
        QWidget *view = installer->locationSheet->dropView();
        QDragEnterEvent enter(QPoint(10, 10), possible, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view, &enter);
        QDropEvent drop(QPointF(10, 10), possible, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view, &drop);
    }
    std::vector<std::string> extractionArguments() const
    {
        return {"-xzvf", archive().string(), "--no-same-permissions", "--no-same-owner",
                "-C",    location()};
    }
    std::vector<std::string> completedStatuses() const
    {
        return {"Moving the files into Unreal Tournament...", "Installing files...", "",
                "Installation Complete"};
    }
    QString reason() const
    {
        return installer->installWindow->findChild<QLabel *>("reasonText")->text();
    }
    // As a person does it: the window in front, then the key.
    void pressReturn(QWidget *window)
    {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_Return);
    }
    std::vector<std::string> failedStatuses() const
    {
        return {"Moving the files into Unreal Tournament...", "Installing files...",
                "Installation Failed!"};
    }

    kv::test::TempDir dir;
    kv::test::ScopedEnv homeEnv{"HOME", (dir.Path() / "home").string()};
    kv::test::RecordingLog log;
    kv::test::FakeAlerts alerts; // none expected; any would be recorded instead of shown
    RecordingRun run;
    int terminated = 0;
    std::vector<std::string> statuses;
    std::unique_ptr<InstallerController> installer;
};

} // namespace

TEST_F(InstallerTest, GameFoundThroughTheLogIsInstalledAndTheLauncherCopiedToTheDesktop)
{
    writeGameLog(kv::test::LogNaming(gameApp()));
    clickThrough();
    EXPECT_FALSE(installer->welcomeWindow->isVisible());
    EXPECT_TRUE(installer->choiceWindow->isVisible()) << "the choice window stays open behind";
    EXPECT_TRUE(installer->installWindow->isVisible());
    EXPECT_EQ(installer->systemFolder, gameApp().string() + "/System/");
    ASSERT_TRUE(waitForTheEnd()) << "status stayed at \""
                                 << installer->statusText->text().toStdString() << "\"";

    EXPECT_EQ(statuses, completedStatuses());
    EXPECT_EQ(run.listings, (std::vector<std::vector<std::string>>{
                                {"/usr/bin/tar", "-tvzf", archive().string()}}));
    EXPECT_EQ(run.tools, std::vector<std::string>{"/usr/bin/tar"});
    EXPECT_EQ(run.arguments, extractionArguments());
    EXPECT_EQ(kv::test::ReadTextFile(gameApp() / kMarkerBelowGame), "texture package");
    EXPECT_EQ(kv::test::ReadTextFile(gameApp() / "KVRavelock/UT2K4Mod.ini"), "[MOD]\n");
    EXPECT_EQ(kv::test::ReadTextFile(desktopCopy()), kLauncherBytes);
    EXPECT_FALSE(Spinning(installer->progressBar));
    EXPECT_EQ(installer->cancelButton->text(), "Done");
    EXPECT_TRUE(alerts.shown.empty());
    // Mended: extracting as administrator used to hand the files to the archive's owner (4242).
    struct stat info
    {
    };
    ASSERT_EQ(stat((gameApp() / kMarkerBelowGame).c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, geteuid()) << "the file kept the owner recorded in the archive";

    const std::string marker = location() + kMarkerBelowGame;
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"Unreal System Path:", gameApp().string() + "/System/",
                                        "KVR Install App Path:", setup().string(), location(),
                                        "Preparing for install", archive().string(),
                                        "Should be running about now", "Extracting as the user",
                                        "Seperating thread...", marker, "Copy Launcher to Desktop",
                                        "Launcher copy was a success.", "Installation done!"}));
}

TEST_F(InstallerTest, ReturnAfterCompletionPressesDoneWhichQuits)
{
    writeGameLog(kv::test::LogNaming(gameApp()));
    clickThrough();
    ASSERT_TRUE(waitForTheEnd());
    EXPECT_EQ(terminated, 0) << "quit before the user pressed Done";
    installer->installWindow->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(installer->installWindow));
    QTest::keyClick(installer->installWindow, Qt::Key_Return);
    // A shortcut presses the button and lets it go a moment later; the click comes then.
    EXPECT_TRUE(QTest::qWaitFor([this] { return terminated > 0; }, kWaitMs))
        << "Return did not press Done";
    EXPECT_EQ(terminated, 1);
    QTest::mouseClick(installer->cancelButton, Qt::LeftButton);
    EXPECT_EQ(terminated, 2);
}

TEST_F(InstallerTest, LaterOfTwoBaseDirectoryLinesNamesTheGame)
{
    const fs::path oldGame = dir.Path() / "Games/Old.app";
    fs::create_directories(oldGame / "System");
    writeGameLog(kv::test::LogNaming(oldGame) + kv::test::LogNaming(gameApp()));
    clickThrough();
    ASSERT_TRUE(waitForTheEnd());
    EXPECT_EQ(run.arguments.back(), location());
    EXPECT_TRUE(fs::exists(gameApp() / kMarkerBelowGame));
    EXPECT_FALSE(fs::exists(oldGame / "KVRavelock"));
}

class LogWithoutGame : public InstallerTest, public ::testing::WithParamInterface<const char *>
{
};

// Mended for base directories without a parent: they used to send tar to a bad location.
TEST_P(LogWithoutGame, AsksForTheGameInTheLocationSheetOverTheInstallWindow)
{
    if (*GetParam() != '\0') {
        writeGameLog(GetParam());
    }
    clickThrough();
    EXPECT_TRUE(installer->locationSheet->isVisible()) << "log: \"" << GetParam() << "\"";
    EXPECT_EQ(installer->locationSheet->parentWidget(), installer->installWindow);
    EXPECT_EQ(installer->locationSheet->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(run.tools.empty()) << "extraction started without a game";
    EXPECT_TRUE(WithoutPlaces(log.lines()).empty());
}

std::string LogCaseName(const ::testing::TestParamInfo<const char *> &info)
{
    const char *const names[] = {"MissingLog", "FolderAtTheRoot"};
    return names[info.index];
}

INSTANTIATE_TEST_SUITE_P(Logs, LogWithoutGame,
                         ::testing::Values("", "Init: Base directory: /Sys/\n"), LogCaseName);

TEST_F(InstallerTest, GameDroppedOnTheSheetGetsSystemAppendedAndIsInstalled)
{
    clickThrough();
    ASSERT_TRUE(installer->locationSheet->isVisible());
    dropOnTheSheet(gameApp());
    QTest::mouseClick(installer->locationSheet->sheetButton(), Qt::LeftButton);
    EXPECT_FALSE(installer->locationSheet->isVisible());
    EXPECT_EQ(installer->systemFolder, gameApp().string() + "/System/");
    EXPECT_FALSE(installer->perUserInstall);
    ASSERT_TRUE(waitForTheEnd());

    EXPECT_EQ(statuses, completedStatuses());
    EXPECT_EQ(run.arguments, extractionArguments());
    EXPECT_TRUE(fs::exists(gameApp() / kMarkerBelowGame));
    EXPECT_TRUE(fs::exists(desktopCopy()));
    const std::vector<std::string> lines = WithoutPlaces(log.lines());
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0], gameApp().string()) << "the drop target logs the dropped path";
    EXPECT_EQ(lines[1], "Set the string, apparentley");
    EXPECT_EQ(lines[2], "Returned...");
    EXPECT_EQ(lines[3], gameApp().string() + "/System/");
    EXPECT_EQ(lines[4], "Unreal System Path:");
}

TEST_F(InstallerTest, EmptySheetQuitsWithoutExtracting)
{
    clickThrough();
    QTest::mouseClick(installer->locationSheet->sheetButton(), Qt::LeftButton);
    EXPECT_EQ(terminated, 1);
    EXPECT_EQ(WithoutPlaces(log.lines()), std::vector<std::string>{"Returned..."});
    EXPECT_TRUE(run.tools.empty());
}

TEST_F(InstallerTest, MarkerAlreadyPresentStillCompletesOnceTarHasRun)
{
    kv::test::WriteTextFile(gameApp() / kMarkerBelowGame, "from an earlier install");
    writeGameLog(kv::test::LogNaming(gameApp()));
    clickThrough();
    ASSERT_TRUE(waitForTheEnd());
    EXPECT_EQ(statuses, completedStatuses());
    EXPECT_EQ(kv::test::ReadTextFile(gameApp() / kMarkerBelowGame), "texture package");
    EXPECT_EQ(kv::test::ReadTextFile(desktopCopy()), kLauncherBytes);
}

// Mended: a failed tar used to leave the window at "Installing files..." for ever.
TEST_F(InstallerTest, MissingArchiveSaysTheInstallationFailedAndLeavesOnlyQuitting)
{
    fs::remove(archive());
    writeGameLog(kv::test::LogNaming(gameApp()));
    clickThrough();
    ASSERT_TRUE(waitForTheEnd());
    // Found missing before tar runs and before any rights are asked for.
    EXPECT_EQ(statuses, (std::vector<std::string>{"Moving the files into Unreal Tournament...",
                                                  "Installation Failed!"}));
    EXPECT_FALSE(Spinning(installer->progressBar));
    EXPECT_EQ(installer->cancelButton->text(), "Quit");
    EXPECT_FALSE(fs::exists(desktopCopy()));
    EXPECT_EQ(log.lines().back(),
              "KVRinstall.tgz is not in " + setup().string() + ", beside the installer.");
    EXPECT_TRUE(run.tools.empty());
    EXPECT_EQ(terminated, 0);
    QTest::mouseClick(installer->cancelButton, Qt::LeftButton);
    EXPECT_EQ(terminated, 1);
}

// Mended: completion used to follow from a marker left by an earlier install, even when tar failed.
TEST_F(InstallerTest, FailedTarIsNotHiddenByAMarkerFromAnEarlierInstall)
{
    kv::test::WriteTextFile(gameApp() / kMarkerBelowGame, "from an earlier install");
    kv::test::WriteTextFile(archive(), "no gzip data");
    writeGameLog(kv::test::LogNaming(gameApp()));
    clickThrough();
    ASSERT_TRUE(waitForTheEnd());
    EXPECT_EQ(statuses, failedStatuses());
}

TEST_F(InstallerTest, ArchiveWithoutTheMarkerIsAFailedInstallation)
{
    ASSERT_TRUE(buildArchive(false));
    writeGameLog(kv::test::LogNaming(gameApp()));
    clickThrough();
    ASSERT_TRUE(waitForTheEnd());
    EXPECT_EQ(statuses, failedStatuses());
    EXPECT_EQ(log.lines().back(), "Marker missing after extraction");
    EXPECT_FALSE(fs::exists(desktopCopy()));
}

TEST_F(InstallerTest, LauncherAlreadyOnTheDesktopIsLeftAloneAndTheInstallCompletes)
{
    kv::test::WriteTextFile(desktopCopy(), "the user's own copy");
    writeGameLog(kv::test::LogNaming(gameApp()));
    clickThrough();
    ASSERT_TRUE(waitForTheEnd());
    EXPECT_EQ(statuses, completedStatuses());
    EXPECT_EQ(kv::test::ReadTextFile(desktopCopy()), "the user's own copy");
    const std::vector<std::string> lines = log.lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "Unable to copy Launcher!");
    EXPECT_EQ(lines.back(), "Installation done!");
    EXPECT_EQ(installer->cancelButton->text(), "Done");
}

class UnauthorisedStart : public InstallerTest, public ::testing::WithParamInterface<StartOutcome>
{
};

TEST_P(UnauthorisedStart, SaysIncorrectPasswordStopsAndLeavesOnlyQuitting)
{
    UnauthorisedRun refusing(GetParam());
    useRun(refusing);
    writeGameLog(kv::test::LogNaming(gameApp()));
    clickThrough();
    ASSERT_TRUE(QTest::qWaitFor([this] { return statuses.size() >= 2; }, kWaitMs));
    EXPECT_EQ(statuses, (std::vector<std::string>{"Moving the files into Unreal Tournament...",
                                                  "Incorrect Password!"}));
    EXPECT_FALSE(Spinning(installer->progressBar));
    EXPECT_EQ(log.lines().back(), "Aborted");
    EXPECT_EQ(refusing.starts, 1);
    EXPECT_FALSE(fs::exists(gameApp() / "KVRavelock"));
    QTest::mouseClick(installer->cancelButton, Qt::LeftButton);
    EXPECT_EQ(terminated, 1);
    installer.reset(); // before the run it refers to
}

std::string OutcomeName(const ::testing::TestParamInfo<StartOutcome> &info)
{
    switch (info.param) {
    case StartOutcome::Started:
        return "Started";
    case StartOutcome::Dismissed:
        return "Dismissed";
    case StartOutcome::Refused:
        return "Refused";
    case StartOutcome::FailedToStart:
        return "FailedToStart";
    case StartOutcome::NoElevator:
        return "NoElevator";
    }
    return "Unknown";
}

INSTANTIATE_TEST_SUITE_P(Outcomes, UnauthorisedStart,
                         ::testing::Values(StartOutcome::Dismissed, StartOutcome::Refused,
                                           StartOutcome::FailedToStart),
                         OutcomeName);

struct OptionCase
{
    const char *name;
    bool chooseAllUsers;
    const char *warningButton; // pressed on the warning, when it is shown
    bool userOptionAfter;
};

void PrintTo(const OptionCase &option, std::ostream *out)
{
    *out << option.name;
}

class OptionChoice : public InstallerTest, public ::testing::WithParamInterface<OptionCase>
{
};

TEST_P(OptionChoice, WarnsForAllUsersButInstallsTheSameWay)
{
    writeGameLog(kv::test::LogNaming(gameApp()));
    installer->showWelcome();
    QTest::mouseClick(button(installer->welcomeWindow, "startButton"), Qt::LeftButton);
    EXPECT_TRUE(installer->userOption->isChecked()) << "the user-only option is the default";
    if (GetParam().chooseAllUsers) {
        QTest::mouseClick(installer->systemOption, Qt::LeftButton);
        auto *warning = installer->choiceWindow->findChild<QMessageBox *>();
        ASSERT_NE(warning, nullptr) << "no warning after choosing all users";
        EXPECT_EQ(warning->text(), "Administrator Password Required");
        EXPECT_EQ(warning->informativeText(), "In order to install KV:Ravelock for all users, "
                                              "you must know the Administrator Password!");
        EXPECT_EQ(warning->windowModality(), Qt::WindowModal);
        EXPECT_EQ(warning->defaultButton()->text(), "OK");
        EXPECT_EQ(log.lines(), std::vector<std::string>{"here, at least"});
        QAbstractButton *pressed = nullptr;
        for (QAbstractButton *candidate : warning->buttons()) {
            if (candidate->text() == GetParam().warningButton) {
                pressed = candidate;
            }
        }
        ASSERT_NE(pressed, nullptr) << "no button \"" << GetParam().warningButton << "\"";
        QTest::mouseClick(pressed, Qt::LeftButton);
    }
    EXPECT_EQ(installer->userOption->isChecked(), GetParam().userOptionAfter);
    EXPECT_NE(installer->systemOption->isChecked(), GetParam().userOptionAfter);

    QTest::mouseClick(button(installer->choiceWindow, "installButton"), Qt::LeftButton);
    EXPECT_FALSE(installer->perUserInstall);
    ASSERT_TRUE(waitForTheEnd());
    EXPECT_EQ(statuses, completedStatuses());
    EXPECT_EQ(run.arguments, extractionArguments());
    EXPECT_TRUE(fs::exists(gameApp() / kMarkerBelowGame));
}

INSTANTIATE_TEST_SUITE_P(Options, OptionChoice,
                         ::testing::Values(OptionCase{"UserOnly", false, "", true},
                                           OptionCase{"AllUsersConfirmed", true, "OK", false},
                                           OptionCase{"AllUsersCancelled", true, "Cancel", true}),
                         [](const auto &info) { return std::string(info.param.name); });

// The game's folder name carries characters a shell would act on.
class OddlyNamedGame : public InstallerTest
{
protected:
    fs::path gameApp() const override { return dir.Path() / folderName(); }
    virtual std::string folderName() const { return "Games/Bob's \"Game\" $(touch executed).app"; }
    // Installs (begun by start) from the test's folder, where a shell would have run the
    // commands; true when the install ended.
    bool installFromTheTestFolder(const std::function<void()> &start)
    {
        fs::create_directories(gameApp() / "System");
        const fs::path previous = fs::current_path();
        fs::current_path(dir.Path());
        start();
        const bool ended = waitForTheEnd();
        fs::current_path(previous);
        return ended;
    }
    void expectInstalledWithNothingExecuted() const
    {
        EXPECT_EQ(statuses, completedStatuses());
        EXPECT_EQ(run.arguments, extractionArguments());
        EXPECT_TRUE(fs::exists(gameApp() / kMarkerBelowGame));
        for (const auto &entry : fs::recursive_directory_iterator(dir.Path())) {
            EXPECT_NE(entry.path().filename(), "executed") << "ran a command: " << entry.path();
        }
    }
};

TEST_F(OddlyNamedGame, InstallsIntoItWithNothingExecuted)
{
    ASSERT_TRUE(installFromTheTestFolder([this] {
        writeGameLog(kv::test::LogNaming(gameApp()));
        clickThrough();
    }));
    expectInstalledWithNothingExecuted();
    EXPECT_EQ(kv::test::ReadTextFile(desktopCopy()), kLauncherBytes);
}

// A game folder whose name holds a line end as well, which no log line can carry: it comes
// through the location sheet.
class GameNamedOverTwoLines : public OddlyNamedGame
{
protected:
    std::string folderName() const override
    {
        return "Games/Bob's \"Game\"\n$(touch executed) `touch executed`.app";
    }
};

TEST_F(GameNamedOverTwoLines, DroppedOnTheSheetInstallsIntoItWithNothingExecuted)
{
    ASSERT_TRUE(installFromTheTestFolder([this] {
        clickThrough();
        ASSERT_TRUE(installer->locationSheet->isVisible());
        dropOnTheSheet(gameApp());
        QTest::mouseClick(installer->locationSheet->sheetButton(), Qt::LeftButton);
    }));
    EXPECT_EQ(installer->systemFolder, gameApp().string() + "/System/");
    expectInstalledWithNothingExecuted();
}

namespace {

// An archive built to reach outside the game location or to leave dangerous files in it.
struct HostileArchive
{
    const char *name;
    // Members besides the marker and the launcher; outside is a folder beside the game.
    std::function<std::vector<kv::test::TarMember>(const fs::path &outside)> members;
    bool tarFails; // the real tar reports a failure (and the window says so)
};

void PrintTo(const HostileArchive &archive, std::ostream *out)
{
    *out << archive.name;
}

// Every path below root, with what it is, leaving out the subtrees in skipped.
std::vector<std::string> Listing(const fs::path &root, const std::vector<fs::path> &skipped)
{
    std::vector<std::string> paths;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::end(it); ++it) {
        bool skip = false;
        for (const fs::path &s : skipped) {
            skip = skip || it->path() == s;
        }
        if (skip) {
            it.disable_recursion_pending();
            continue;
        }
        paths.push_back(it->path().string() + (it->is_symlink() ? " (link)" : ""));
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

class HostileArchiveInstall : public InstallerTest,
                              public ::testing::WithParamInterface<HostileArchive>
{
protected:
    void SetUp() override
    {
        kv::test::WriteTextFile(outside() / "target", "outside the game");
        kv::test::TarWriter writer;
        writer.add(kv::test::File(kMarkerBelowGame, "texture package"));
        writer.add(kv::test::File(kLauncherBelowGame, kLauncherBytes));
        for (const kv::test::TarMember &member : GetParam().members(outside())) {
            writer.add(member);
        }
        ASSERT_TRUE(writer.writeGzip(archive()));
    }
    fs::path outside() const { return dir.Path() / "outside"; }
};

} // namespace

TEST_P(HostileArchiveInstall, PutsNothingOutsideTheGameAndNothingOwnedByTheArchivesOwner)
{
    writeGameLog(kv::test::LogNaming(gameApp()));
    const std::vector<fs::path> skipped = {gameApp(), desktopCopy()};
    const std::vector<std::string> before = Listing(dir.Path(), skipped);
    clickThrough();
    ASSERT_TRUE(waitForTheEnd()) << "status stayed at \""
                                 << installer->statusText->text().toStdString() << "\"";

    EXPECT_EQ(Listing(dir.Path(), skipped), before) << "something changed outside the game";
    EXPECT_EQ(kv::test::ReadTextFile(outside() / "target"), "outside the game");
    for (const auto &entry : fs::recursive_directory_iterator(gameApp())) {
        struct stat info
        {
        };
        ASSERT_EQ(lstat(entry.path().c_str(), &info), 0) << entry.path();
        EXPECT_NE(info.st_uid, kv::test::TarWriter::kOwner)
            << "archive's owner on " << entry.path();
        EXPECT_NE(info.st_gid, kv::test::TarWriter::kOwner)
            << "archive's group on " << entry.path();
        EXPECT_FALSE(S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) || S_ISFIFO(info.st_mode))
            << "device node or FIFO extracted: " << entry.path();
        if (S_ISREG(info.st_mode)) {
            EXPECT_EQ(info.st_nlink, 1u) << "hard link to a file elsewhere: " << entry.path();
        }
    }
    const std::string ending =
        GetParam().tarFails ? "Installation Failed!" : "Installation Complete";
    EXPECT_EQ(statuses.back(), ending);
}

INSTANTIATE_TEST_SUITE_P(
    Archives, HostileArchiveInstall,
    ::testing::Values(
        HostileArchive{"DotDotMembers",
                       [](const fs::path &) {
                           return std::vector<kv::test::TarMember>{
                               kv::test::File("../../../outside/dotdot", "escaped"),
                               kv::test::File("KVRavelock/../../../outside/dotdot2", "escaped")};
                       },
                       true},
        // GNU tar drops the leading "/" and unpacks the member below the game location.
        HostileArchive{"AbsoluteNames",
                       [](const fs::path &outside) {
                           return std::vector<kv::test::TarMember>{
                               kv::test::File((outside / "absolute").string(), "escaped")};
                       },
                       false},
        HostileArchive{"SymlinksOutAndMembersWrittenThroughThem",
                       [](const fs::path &outside) {
                           return std::vector<kv::test::TarMember>{
                               kv::test::Link("KVRavelock/out", '2', outside.string()),
                               kv::test::File("KVRavelock/out/through", "escaped"),
                               kv::test::Link("KVRavelock/up", '2', "../../../outside"),
                               kv::test::File("KVRavelock/up/through", "escaped"),
                               kv::test::Link("KVRavelock/chain", '2', "out"),
                               kv::test::File("KVRavelock/chain/through", "escaped")};
                       },
                       true},
        HostileArchive{"HardLinkToAFileOutside",
                       [](const fs::path &outside) {
                           return std::vector<kv::test::TarMember>{
                               kv::test::Link("KVRavelock/hard", '1',
                                              (outside / "target").string()),
                               kv::test::Link("KVRavelock/hard2", '1', "../../../outside/target")};
                       },
                       true},
        // Regression: tar run as administrator created these, readable by every user.
        HostileArchive{"DeviceNodesAndFifoAreRefusedBeforeExtraction",
                       [](const fs::path &) {
                           return std::vector<kv::test::TarMember>{
                               kv::test::Special("KVRavelock/null", '3', 1, 3),
                               kv::test::Special("KVRavelock/disk", '4', 8, 0),
                               kv::test::Special("KVRavelock/fifo", '6')};
                       },
                       true},
        HostileArchive{"TwentyThousandMembers",
                       [](const fs::path &) {
                           std::vector<kv::test::TarMember> members;
                           for (int i = 0; i < 20000; ++i) {
                               members.push_back(
                                   kv::test::File("KVRavelock/Many/" + std::to_string(i)));
                           }
                           return members;
                       },
                       false}),
    [](const auto &info) { return std::string(info.param.name); });

class FailedInstall;

struct FailureCase
{
    const char *name;
    // Prepares the failure and starts the install.
    std::function<void(FailedInstall &test)> start;
    const char *status;
    // The reason shown, from the folder holding the test's files.
    std::function<std::string(const fs::path &dir)> reason;
};

void PrintTo(const FailureCase &failure, std::ostream *out)
{
    *out << failure.name;
}

class FailedInstall : public InstallerTest, public ::testing::WithParamInterface<FailureCase>
{
public:
    // What the cases reach of the fixture.
    void install(const std::string &log)
    {
        writeGameLog(log);
        clickThrough();
    }
    using InstallerTest::archive;
    using InstallerTest::dir;
    using InstallerTest::gameApp;
    using InstallerTest::installer;
    using InstallerTest::useRun;
    UnauthorisedRun noElevator{StartOutcome::NoElevator};
    UnauthorisedRun dismissed{StartOutcome::Dismissed};
};

// Mended: the window said "Installation Failed!" (or "Incorrect Password!" without pkexec) but
// never why; Return did nothing there, and closing the window left the choice window behind.
TEST_P(FailedInstall, SaysWhyAndReturnOrClosingTheWindowQuits)
{
    GetParam().start(*this);
    ASSERT_TRUE(
        QTest::qWaitFor([this] { return installer->cancelButton->text() == "Quit"; }, kWaitMs))
        << "status stayed at \"" << installer->statusText->text().toStdString() << "\"";
    EXPECT_EQ(installer->statusText->text(), GetParam().status);
    EXPECT_EQ(reason().toStdString(), GetParam().reason(dir.Path()));
    EXPECT_FALSE(Spinning(installer->progressBar));
    EXPECT_EQ(terminated, 0);
    pressReturn(installer->installWindow);
    EXPECT_TRUE(QTest::qWaitFor([this] { return terminated == 1; }, kWaitMs))
        << "Return did not press Quit";
    installer->installWindow->close();
    EXPECT_EQ(terminated, 2) << "closing the window did not end the program";
    installer.reset(); // before the run it refers to
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, FailedInstall,
    ::testing::Values(
        FailureCase{"MissingArchive",
                    [](FailedInstall &test) {
                        fs::remove(test.archive());
                        test.install(kv::test::LogNaming(test.gameApp()));
                    },
                    "Installation Failed!",
                    [](const fs::path &dir) {
                        return "KVRinstall.tgz is not in " + (dir / "Setup").string() +
                               ", beside the installer.";
                    }},
        FailureCase{"MistypedGamePath",
                    [](FailedInstall &test) {
                        test.install("");
                        test.installer->pathText->setText(
                            QString::fromStdString(test.gameApp().string() + "x"));
                        QTest::mouseClick(test.installer->locationSheet->sheetButton(),
                                          Qt::LeftButton);
                    },
                    "Installation Failed!",
                    [](const fs::path &dir) {
                        return "There is no folder " + (dir / "Games/Game.appx/").string() +
                               ". Please check the path of Unreal Tournament 2004.";
                    }},
        FailureCase{"ArchiveNotGzip",
                    [](FailedInstall &test) {
                        kv::test::WriteTextFile(test.archive(), "no gzip data");
                        test.install(kv::test::LogNaming(test.gameApp()));
                    },
                    "Installation Failed!",
                    [](const fs::path &) {
                        return std::string("gzip: stdin: not in gzip format"); // tar's first line
                    }},
        FailureCase{"PasswordDismissed",
                    [](FailedInstall &test) {
                        test.useRun(test.dismissed);
                        test.install(kv::test::LogNaming(test.gameApp()));
                    },
                    "Incorrect Password!", [](const fs::path &) { return std::string(); }},
        FailureCase{"NoPkexec",
                    [](FailedInstall &test) {
                        test.useRun(test.noElevator);
                        test.install(kv::test::LogNaming(test.gameApp()));
                    },
                    "Administrator rights could not be requested!",
                    [](const fs::path &) {
                        return std::string(
                            "pkexec, which asks for the administrator's password, is missing or "
                            "cannot be run. Install the package pkexec, or start KVRInstaller as "
                            "root.");
                    }}),
    [](const auto &info) { return std::string(info.param.name); });

// Mended: Return did nothing in the welcome and choice windows.
TEST_F(InstallerTest, ReturnGoesOnFromTheWelcomeAndTheChoiceWindow)
{
    installer->showWelcome();
    pressReturn(installer->welcomeWindow);
    ASSERT_TRUE(QTest::qWaitFor([this] { return installer->choiceWindow->isVisible(); }, kWaitMs));
    pressReturn(installer->choiceWindow);
    EXPECT_TRUE(QTest::qWaitFor([this] { return installer->locationSheet->isVisible(); }, kWaitMs))
        << "Return did not press Install";
}

class SheetCancelled : public InstallerTest, public ::testing::WithParamInterface<bool>
{
};

// Mended: with a path typed, Escape installed into it.
TEST_P(SheetCancelled, ByEscapeOrItsCloseButtonQuitsWithoutExtracting)
{
    clickThrough();
    ASSERT_TRUE(installer->locationSheet->isVisible());
    installer->pathText->setText(QString::fromStdString(gameApp().string()));
    if (GetParam()) {
        QTest::keyClick(installer->pathText, Qt::Key_Escape);
    } else {
        installer->locationSheet->close();
    }
    EXPECT_FALSE(installer->locationSheet->isVisible());
    EXPECT_EQ(terminated, 1);
    EXPECT_EQ(WithoutPlaces(log.lines()), std::vector<std::string>{"Returned..."});
    EXPECT_TRUE(installer->systemFolder.empty());
}

INSTANTIATE_TEST_SUITE_P(Ways, SheetCancelled, ::testing::Bool(),
                         [](const auto &info) { return info.param ? "Escape" : "CloseButton"; });

class QuitDuringExtraction : public InstallerTest, public ::testing::WithParamInterface<bool>
{
};

// Mended: Cancel and closing the window killed tar and left a half-installed modification.
TEST_P(QuitDuringExtraction, WaitsForTarSayingSoThenQuitsWithoutFinishingTheInstall)
{
    HeldRun held;
    useRun(held);
    // As far as the worker could tell the mod is there: only quitting keeps it from copying.
    kv::test::WriteTextFile(gameApp() / kMarkerBelowGame, "texture package");
    kv::test::WriteTextFile(gameApp() / kLauncherBelowGame, kLauncherBytes);
    writeGameLog(kv::test::LogNaming(gameApp()));
    clickThrough();
    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return installer->statusText->text() == "Installing files..."; }, kWaitMs));
    if (GetParam()) {
        QTest::mouseClick(installer->cancelButton, Qt::LeftButton);
    } else {
        installer->installWindow->close();
    }
    EXPECT_EQ(terminated, 0) << "quit while tar still ran";
    EXPECT_EQ(installer->statusText->text(),
              "Waiting for the extraction to end before quitting...");
    EXPECT_FALSE(installer->cancelButton->isEnabled());
    EXPECT_TRUE(installer->installWindow->isVisible());

    held.end(true);
    EXPECT_EQ(terminated, 1);
    installer.reset(); // joins the worker
    EXPECT_FALSE(fs::exists(desktopCopy())) << "went on installing after the user quit";
}

INSTANTIATE_TEST_SUITE_P(Ways, QuitDuringExtraction, ::testing::Bool(), [](const auto &info) {
    return info.param ? "Cancel" : "ClosingTheWindow";
});

// Mended: the archive was listed on the main thread, which froze the window.
TEST_F(InstallerTest, CancelWhileTheArchiveIsListedQuitsAtOnceAndExtractsNothing)
{
    HeldListing held;
    useRun(held);
    writeGameLog(kv::test::LogNaming(gameApp()));
    clickThrough();
    ASSERT_TRUE(held.answer) << "the archive was not listed";
    EXPECT_EQ(installer->statusText->text(), "Moving the files into Unreal Tournament...");
    EXPECT_TRUE(Spinning(installer->progressBar));
    QTest::mouseClick(installer->cancelButton, Qt::LeftButton);
    EXPECT_EQ(terminated, 1);
    // Only the user's quitting keeps this listing from leading to the extraction.
    held.answer("-rw-r--r-- player/player 6 2026-01-01 00:00 KVRavelock/UT2K4Mod.ini\n");
    EXPECT_TRUE(held.tools.empty()) << "extracted after the user quit";
    installer.reset(); // before the run it refers to
}
