#include "LauncherController.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include "GameDropView.h"
#include "GameTestSupport.h"
#include "LauncherWindow.h"
#include "LocationSheet.h"
#include "QtTestSupport.h"
#include "TestSupport.h"

using kv::launcher::LauncherController;
using kv::test::ScopedEnv;
namespace fs = std::filesystem;

namespace {

constexpr int kWaitMs = 30000; // generous: the fake game may start slowly under the sanitizers

bool Spinning(const QProgressBar *bar)
{
    return bar->minimum() == 0 && bar->maximum() == 0;
}

// The launcher in a home folder of its own, with the fake game's record file in it.
class LauncherControllerTest : public ::testing::Test
{
protected:
    LauncherControllerTest()
    {
        launcher = std::make_unique<LauncherController>(log, alerts, [this] { ++terminated; });
    }

    fs::path gameApp() const { return dir.Path() / "Games/Game.app"; }
    std::string location() const { return gameApp().string() + "/"; }
    std::string executable(const fs::path &app) const
    {
        return kv::test::ExecutableBelow(app).string();
    }

    void writeGameLog(const std::string &text) const
    {
        kv::test::WriteTextFile(dir.Path() / kv::test::kGameLogBelowHome, text);
    }
    void writeModLog(const std::string &text) const
    {
        kv::test::WriteTextFile(dir.Path() / kv::test::kModLogBelowHome, text);
    }
    void installGame(const fs::path &app) const
    {
        fs::create_directories(fs::path(executable(app)).parent_path());
        fs::copy_file(KV_FAKE_GAME, executable(app));
    }
    void installMod(const fs::path &app) const
    {
        kv::test::WriteTextFile(app / "KVRavelock/UT2K4Mod.ini", "[MOD]\n");
    }

    // What the fake game wrote: its working directory, then its arguments.
    std::vector<std::string> recorded() const
    {
        std::ifstream in(recordFile());
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }
    std::string recordFile() const { return dir.File("record.txt"); }
    bool waitForTermination()
    {
        return QTest::qWaitFor([this] { return terminated > 0; }, kWaitMs);
    }
    std::vector<std::string> expectedRecord(const fs::path &workingDirectory) const
    {
        return {fs::canonical(workingDirectory).string(),
                "-userlogo=../KVRavelock/Help/KVRavelockLogo.bmp", "-mod=KVRavelock"};
    }

    kv::test::TempDir dir;
    ScopedEnv home{"HOME", dir.Path().string()};
    ScopedEnv record{"KV_FAKE_GAME_RECORD", dir.File("record.txt")};
    // The game inherits it: one set where the tests run would be recorded as the game's.
    ScopedEnv winePrefix{"WINEPREFIX", ""};
    kv::test::RecordingLog log;
    kv::test::FakeAlerts alerts;
    int terminated = 0;
    std::unique_ptr<LauncherController> launcher;
};

} // namespace

TEST_F(LauncherControllerTest, SearchStartsTwoSecondsAfterTheLayoutIsLoadedNotAtOnce)
{
    launcher->start();
    EXPECT_TRUE(Spinning(launcher->spinner));
    const QTimer &timer = launcher->searchTimer();
    EXPECT_TRUE(timer.isActive());
    EXPECT_TRUE(timer.isSingleShot());
    EXPECT_EQ(timer.interval(), 2000);
    QCoreApplication::processEvents();
    EXPECT_TRUE(log.lines().empty()) << "searched before the delay: " << log.lines().front();

    // What the timer starts when it fires: here the search that finds nothing.
    QMetaObject::invokeMethod(const_cast<QTimer *>(&timer), "timeout");
    // The logs first, then each further place the platform has, then the verdict.
    const std::vector<std::string> lines = log.lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 2),
              (std::vector<std::string>{"Unreal Location lineString : (null)",
                                        "KVR OR location lineString : (null)"}));
    for (auto line = lines.begin() + 2; line + 1 != lines.end(); ++line) {
        EXPECT_TRUE(line->starts_with("Looking for Unreal in : ")) << *line;
    }
    EXPECT_EQ(lines.back(), "No Unreal Found");
    EXPECT_TRUE(launcher->locationSheet->isVisible());
    EXPECT_EQ(launcher->locationSheet->windowModality(), Qt::WindowModal);
    EXPECT_EQ(launcher->locationSheet->parentWidget(), launcher->window);
    EXPECT_EQ(launcher->game(), nullptr);
    EXPECT_TRUE(Spinning(launcher->spinner)) << "the spinner stops only when the game starts";
}

TEST_F(LauncherControllerTest, WindowEndsUp117PointsBelowTheCentreWithItsSizeUnchanged)
{
    const QSize size = launcher->window->size();
    launcher->start();
    const QRect screen = launcher->window->screen()->availableGeometry();
    const QRect frame = launcher->window->frameGeometry();
    EXPECT_EQ(launcher->window->size(), size);
    EXPECT_EQ(frame.center().x(), screen.center().x());
    EXPECT_EQ(frame.center().y(), screen.center().y() + 117)
        << "window at " << frame.y() << " on a screen from " << screen.y() << " to "
        << screen.bottom();
}

TEST_F(LauncherControllerTest, GameFromTheGameLogStartsWithExactlyTheModArgumentsInItsLocation)
{
    writeGameLog(kv::test::LogNaming(gameApp()));
    installGame(gameApp());
    installMod(gameApp());
    launcher->scheduleSearch();
    launcher->searchAndLaunch();
    ASSERT_TRUE(waitForTermination()) << "the launcher did not end after the game exited";
    EXPECT_EQ(terminated, 1);
    EXPECT_EQ(recorded(), expectedRecord(gameApp()));
    EXPECT_FALSE(Spinning(launcher->spinner));
    EXPECT_TRUE(alerts.shown.empty());

    const std::string line =
        "Unreal Location lineString : Init: Base directory: " + gameApp().string() + "/System/";
    const std::string bin = executable(gameApp());
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{
                  "Unreal Found", line, "Using unreal log", bin, line, "Launching it", line,
                  "Unreal being used : " + location() + "KVRavelock/UT2K4Mod.ini",
                  "binString : " + bin, "Alloc Task", "Current dir", "launchPath", "arguements",
                  "launch", "animate", "wait for exit"}));
}

// Mended: the launcher no longer blocks its event loop until the game exits.
TEST_F(LauncherControllerTest, EventLoopKeepsRunningWhileTheGameRuns)
{
    const std::string holdFile = dir.File("hold");
    kv::test::WriteTextFile(holdFile, "");
    ScopedEnv hold{"KV_FAKE_GAME_HOLD", holdFile};
    writeGameLog(kv::test::LogNaming(gameApp()));
    installGame(gameApp());
    installMod(gameApp());

    launcher->searchAndLaunch();
    ASSERT_NE(launcher->game(), nullptr);
    ASSERT_TRUE(QTest::qWaitFor([this] { return fs::exists(recordFile()); }, kWaitMs))
        << "the fake game never ran";
    bool serviced = false;
    QTimer::singleShot(0, [&serviced] { serviced = true; });
    EXPECT_TRUE(QTest::qWaitFor([&serviced] { return serviced; }, kWaitMs));
    EXPECT_EQ(launcher->game()->state(), QProcess::Running);
    EXPECT_EQ(terminated, 0) << "ended while the game was still running";
    // Mended: the window said "Starting KVRavelock..." over a stopped bar for the whole game.
    EXPECT_EQ(launcher->window->findChild<QLabel *>("startingLabel")->text(),
              "KVRavelock is running. This window closes when the game ends.");
    EXPECT_TRUE(launcher->spinner->isHidden());

    fs::remove(holdFile);
    ASSERT_TRUE(waitForTermination());
    EXPECT_EQ(log.lines().back(), "wait for exit");
}

TEST_F(LauncherControllerTest, MissingModAlertsStartsNothingAndEndsWhenDismissed)
{
    writeGameLog(kv::test::LogNaming(gameApp()));
    installGame(gameApp());
    launcher->scheduleSearch();
    launcher->searchAndLaunch();
    ASSERT_EQ(alerts.shown.size(), 1u);
    EXPECT_EQ(alerts.shown[0].title, "KVRavelock Not Found!");
    EXPECT_EQ(alerts.shown[0].message, "Please check your Installation.");
    EXPECT_EQ(alerts.shown[0].button, "OK");
    EXPECT_EQ(alerts.shown[0].parent, launcher->window);
    EXPECT_EQ(launcher->game(), nullptr);
    EXPECT_TRUE(Spinning(launcher->spinner)) << "spins on while the alert is up";
    EXPECT_EQ(terminated, 0) << "ended before the alert was dismissed";
    alerts.dismissLast();
    EXPECT_EQ(terminated, 1);
    QCoreApplication::processEvents();
    EXPECT_FALSE(fs::exists(recordFile())) << "the game was started";
}

TEST_F(LauncherControllerTest, GameLogWithoutLineFallsBackToTheModLog)
{
    writeGameLog("Log: no base directory here\n");
    writeModLog(kv::test::LogNaming(gameApp()));
    installGame(gameApp());
    installMod(gameApp());
    launcher->searchAndLaunch();
    ASSERT_TRUE(waitForTermination());
    EXPECT_EQ(recorded(), expectedRecord(gameApp()));
    const std::vector<std::string> lines = log.lines();
    const auto usingKVR = std::find(lines.begin(), lines.end(), "using KVR log");
    ASSERT_NE(usingKVR, lines.end());
    EXPECT_EQ(*std::next(usingKVR), "KVR OR location lineString : Init: Base directory: " +
                                        gameApp().string() + "/System/");
}

TEST_F(LauncherControllerTest, FoundGameWithoutExecutableShowsTheSheet)
{
    writeGameLog(kv::test::LogNaming(gameApp()));
    installMod(gameApp());
    launcher->searchAndLaunch();
    const std::vector<std::string> lines = log.lines();
    EXPECT_EQ(lines.front(), "Unreal Found");
    // The platform's other places come before the sheet.
    EXPECT_TRUE(lines.back().starts_with("Looking for Unreal in : ")) << lines.back();
    EXPECT_TRUE(launcher->locationSheet->isVisible());
    EXPECT_EQ(launcher->game(), nullptr);
}

TEST_F(LauncherControllerTest, GameDroppedOnTheSheetIsStartedBelowThatPath)
{
    installGame(gameApp());
    installMod(gameApp());
    launcher->searchAndLaunch();
    ASSERT_TRUE(launcher->locationSheet->isVisible());

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(gameApp().string()))});
    const Qt::DropActions possible = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    QDragEnterEvent enter(QPoint(10, 10), possible, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(launcher->locationSheet->dropView(), &enter);
    QDropEvent drop(QPointF(10, 10), possible, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(launcher->locationSheet->dropView(), &drop);
    EXPECT_EQ(launcher->pathText->text().toStdString(), gameApp().string());
    QTest::mouseClick(launcher->locationSheet->sheetButton(), Qt::LeftButton);
    EXPECT_FALSE(launcher->locationSheet->isVisible());
    EXPECT_TRUE(launcher->locator().sheetPathEntered());
    EXPECT_EQ(launcher->locator().sheetPath(), gameApp().string());

    ASSERT_TRUE(waitForTermination());
    EXPECT_EQ(recorded(), expectedRecord(gameApp()));
    const std::vector<std::string> lines = log.lines();
    const auto returned = std::find(lines.begin(), lines.end(), "Returned...");
    ASSERT_NE(returned, lines.end());
    EXPECT_EQ(*std::next(returned), executable(gameApp()));
    EXPECT_EQ(*std::next(returned, 2), "Launching it");
}

TEST_F(LauncherControllerTest, EmptySheetEndsTheProgramAndStartsNothing)
{
    launcher->askForGame();
    QTest::mouseClick(launcher->locationSheet->sheetButton(), Qt::LeftButton);
    EXPECT_EQ(terminated, 1);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Returned..."});
    EXPECT_FALSE(launcher->locator().sheetPathEntered());
    EXPECT_EQ(launcher->game(), nullptr);
}

// Mended: a sheet path that names no executable used to leave the launcher hanging.
TEST_F(LauncherControllerTest, SheetPathWithoutExecutableAlertsAndEndsWhenDismissed)
{
    const fs::path notAGame = dir.Path() / "Documents";
    installMod(notAGame);
    launcher->askForGame();
    launcher->pathText->setText(QString::fromStdString(notAGame.string()));
    QTest::mouseClick(launcher->locationSheet->sheetButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !alerts.shown.empty(); }, kWaitMs))
        << "no alert after the failed start";
    EXPECT_EQ(alerts.shown[0].title, "Unreal Tournament 2004 Could Not Be Started!");
    EXPECT_EQ(alerts.shown[0].parent, launcher->window);
    EXPECT_TRUE(log.lines().back().starts_with("Could not start : " + notAGame.string() + "/"))
        << log.lines().back();
    EXPECT_EQ(terminated, 0);
    alerts.dismissLast();
    EXPECT_EQ(terminated, 1);
}

class SheetCancelled : public LauncherControllerTest, public ::testing::WithParamInterface<bool>
{
};

// Mended: with a path typed, Escape launched it.
TEST_P(SheetCancelled, ByEscapeOrItsCloseButtonEndsTheProgramAndStartsNothing)
{
    installGame(gameApp());
    installMod(gameApp());
    launcher->askForGame();
    launcher->pathText->setText(QString::fromStdString(gameApp().string()));
    if (GetParam()) {
        QTest::keyClick(launcher->pathText, Qt::Key_Escape);
    } else {
        launcher->locationSheet->close();
    }
    EXPECT_FALSE(launcher->locationSheet->isVisible());
    EXPECT_EQ(terminated, 1);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Returned..."});
    EXPECT_EQ(launcher->game(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Ways, SheetCancelled, ::testing::Bool(),
                         [](const auto &info) { return info.param ? "Escape" : "CloseButton"; });
