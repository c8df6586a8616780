#include "LauncherController.h"

#include <utility>

#include <QGuiApplication>
#include <QProgressBar>

#include "AlertPanel.h"
#include "GameLayout.h"
#include "GameTexts.h"
#include "LauncherTexts.h"
#include "LauncherWindow.h"
#include "LocationSheet.h"
#include "SystemLog.h"
#include "WindowHelpers.h"

namespace kv::launcher {

LauncherController::LauncherController(game::SystemLog &log, game::AlertPanel &alerts,
                                       std::function<void()> terminate, QObject *parent)
    : QObject(parent), layout_(std::make_unique<LauncherWindow>()), spinner(layout_->spinner()),
      window(layout_.get()), locationSheet(new game::LocationSheet(layout_.get())),
      pathText(locationSheet->pathText()), log_(log), alerts_(alerts),
      terminate_(std::move(terminate)), locator_(game::HomeFolder(), log)
{
    locationSheet->connectTo(this, &LauncherController::endSheet, &LauncherController::sheetEnded,
                             log_, alerts_);
    searchTimer_.setSingleShot(true);
    searchTimer_.setInterval(kSearchDelayMs);
    connect(&searchTimer_, &QTimer::timeout, this, &LauncherController::searchAndLaunch);
}

LauncherController::~LauncherController() = default;

void LauncherController::start()
{
    scheduleSearch();
    game::ShowCentred(window, kWindowDrop);
}

void LauncherController::scheduleSearch()
{
    game::StartAnimation(spinner);
    searchTimer_.start();
}

void LauncherController::searchAndLaunch()
{
    const bool found = locator_.gameLogExists() || !locator_.gameLogLocation().empty() ||
                       locator_.modLogExists() || !locator_.modLogLocation().empty();
    if (!found) {
        log_.line(texts::kGameNotFound);
        askForGame();
        return;
    }
    log_.line(texts::kGameFound);
    // The game's log wins whenever it names a location; the mod's log is the fallback.
    std::string location = locator_.gameLogLocation();
    const bool fromGameLog = !location.empty();
    if (fromGameLog) {
        log_.line(texts::kUsingGameLog);
    } else {
        log_.line(texts::kUsingModLog);
        location = locator_.modLogLocation();
    }
    const std::string executable = location + game::layout::kExecutableBelowLocation;
    log_.line(executable);
    if (!locator_.executableExists(executable)) {
        askForGame();
        return;
    }
    const std::string workingDirectory =
        fromGameLog ? locator_.gameLogLocation() : locator_.modLogLocation();
    launchIt(QString::fromStdString(executable), QString::fromStdString(workingDirectory));
}

void LauncherController::launchIt(const QString &executable, const QString &workingDirectory)
{
    log_.line(texts::kLaunchingIt);
    if (!locator_.modInstalled()) {
        alerts_.show(window, texts::kModNotFoundTitle, texts::kModNotFoundMessage, game::texts::kOK,
                     terminate_);
        return;
    }
    log_.line(game::texts::Filled(texts::kStartingExecutable, executable.toStdString()));
    game_ = std::make_unique<QProcess>();
    log_.line(texts::kAllocTask);
    game_->setWorkingDirectory(workingDirectory);
    log_.line(texts::kCurrentDir);
    game_->setProgram(executable);
    log_.line(texts::kLaunchPath);
    game_->setArguments({game::layout::kUserLogoArgument, game::layout::kModArgument});
    log_.line(texts::kArgumentsSet);
    // The game shares the launcher's terminal and input, as it would when started by hand.
    game_->setProcessChannelMode(QProcess::ForwardedChannels);
    game_->setInputChannelMode(QProcess::ForwardedInputChannel);
    // Queued, so that a start that fails at once is handled after this call, like a later failure.
    connect(
        game_.get(), &QProcess::errorOccurred, this,
        [this, executable](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart) {
                gameFailedToStart(executable);
            }
        },
        Qt::QueuedConnection);
    connect(game_.get(), &QProcess::started, window, &LauncherWindow::showGameRunning);
    connect(game_.get(), &QProcess::finished, this, [this] {
        log_.line(texts::kWaitForExit);
        terminate_();
    });
    // The launcher lives as long as the game: closing its window must not end it, since ending
    // it would take the game down with it.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    game_->start();
    log_.line(texts::kLaunch);
    game::StopAnimation(spinner);
    log_.line(texts::kAnimate);
}

void LauncherController::gameFailedToStart(const QString &executable)
{
    log_.line(game::texts::Filled(texts::kLaunchFailed, executable.toStdString()));
    alerts_.show(window, texts::kGameNotStartedTitle, texts::kGameNotStartedMessage,
                 game::texts::kOK, terminate_);
}

void LauncherController::askForGame()
{
    locationSheet->open();
}

void LauncherController::endSheet()
{
    locationSheet->done(game::LocationSheet::kButtonReturn);
}

void LauncherController::sheetEnded(int returnCode)
{
    log_.line(game::texts::kReturned);
    const QString text = locationSheet->enteredPath(returnCode);
    if (text.isEmpty()) {
        terminate_();
        return;
    }
    // No test that the executable exists: the mod check in launchIt is the only one on this path.
    const QString executable = text + game::layout::kExecutableBelowSheetPath;
    log_.line(executable.toStdString());
    locator_.enterSheetPath(text.toStdString());
    launchIt(executable, text);
}

} // namespace kv::launcher
