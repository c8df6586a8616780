#include "LauncherController.h"

#include <utility>

#include <QGuiApplication>
#include <QProcessEnvironment>
#include <QProgressBar>
#include <QStandardPaths>
#include <QStringList>

#include "AlertPanel.h"
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
    if (found) {
        log_.line(texts::kGameFound);
        // The game's log wins whenever it names a location; the mod's log is the fallback.
        std::optional<game::FoundGame> game = locator_.gameFromGameLog();
        const bool fromGameLog = game.has_value();
        if (fromGameLog) {
            log_.line(texts::kUsingGameLog);
        } else {
            log_.line(texts::kUsingModLog);
            game = locator_.gameFromModLog();
        }
        if (game) {
            const game::GameStart start = game::StartFor(*game, game::PathExistsOnDisk);
            log_.line(start.executable);
            if (locator_.executableExists(start.executable)) {
                // The location is read again from the same log, as every read logs its line.
                game = fromGameLog ? locator_.gameFromGameLog() : locator_.gameFromModLog();
                if (game) {
                    launchIt(game::StartFor(*game, game::PathExistsOnDisk));
                    return;
                }
            }
        }
    }
    // The platform's other places come after the logs, before asking.
    if (const std::optional<game::FoundGame> game = locator_.findElsewhere()) {
        if (!found) {
            log_.line(texts::kGameFound);
        }
        const game::GameStart start = game::StartFor(*game, game::PathExistsOnDisk);
        log_.line(start.executable);
        launchIt(start);
        return;
    }
    if (!found) {
        log_.line(texts::kGameNotFound);
    }
    askForGame();
}

void LauncherController::launchIt(const game::GameStart &start)
{
    log_.line(texts::kLaunchingIt);
    if (!locator_.modInstalled()) {
        alerts_.show(window, texts::kModNotFoundTitle, texts::kModNotFoundMessage, game::texts::kOK,
                     terminate_);
        return;
    }
    log_.line(game::texts::Filled(texts::kStartingExecutable, start.executable));
    QString program = QString::fromStdString(start.program);
    if (start.program != start.executable) {
        // Wine or Steam starts the game; without it nothing can, which the player is told.
        program = QStandardPaths::findExecutable(program);
        if (program.isEmpty()) {
            log_.line(game::texts::Filled(texts::kRunnerMissing, start.program));
            alerts_.show(window, texts::kGameNotStartedTitle,
                         QString::fromStdString(
                             game::texts::Filled(texts::kRunnerMissingMessage, start.program)),
                         game::texts::kOK, terminate_);
            return;
        }
    }
    QStringList arguments;
    for (const std::string &argument : start.arguments) {
        arguments.append(QString::fromStdString(argument));
    }
    const QString workingDirectory = QString::fromStdString(start.workingDirectory);
    if (!start.waitable) {
        launchThroughSteam(program, arguments, workingDirectory);
        return;
    }
    game_ = std::make_unique<QProcess>();
    log_.line(texts::kAllocTask);
    game_->setWorkingDirectory(workingDirectory);
    log_.line(texts::kCurrentDir);
    game_->setProgram(program);
    log_.line(texts::kLaunchPath);
    game_->setArguments(arguments);
    log_.line(texts::kArgumentsSet);
    if (!start.environment.empty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const auto &[name, value] : start.environment) {
            environment.insert(QString::fromStdString(name), QString::fromStdString(value));
        }
        game_->setProcessEnvironment(environment);
    }
    // The game shares the launcher's terminal and input, as it would when started by hand.
    game_->setProcessChannelMode(QProcess::ForwardedChannels);
    game_->setInputChannelMode(QProcess::ForwardedInputChannel);
    const QString executable = QString::fromStdString(start.executable);
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

void LauncherController::launchThroughSteam(const QString &program, const QStringList &arguments,
                                            const QString &workingDirectory)
{
    // Steam hands the start to its running client, or keeps running as that client: either way
    // the game is not our child, and a client we started must outlive the launcher.
    if (!QProcess::startDetached(program, arguments, workingDirectory)) {
        gameFailedToStart(program);
        return;
    }
    log_.line(game::texts::Filled(texts::kHandedToSteam, program.toStdString()));
    game::StopAnimation(spinner);
    alerts_.show(window, texts::kHandedToSteamTitle, texts::kHandedToSteamMessage, game::texts::kOK,
                 terminate_);
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
    // The platform's executables are looked for in the folder; when none is there, starting the
    // first of them fails and says so. The mod check in launchIt comes first.
    const game::GameStart start =
        game::StartFor(locator_.gameInSheetPath(text.toStdString()), game::PathExistsOnDisk);
    log_.line(start.executable);
    locator_.enterSheetPath(text.toStdString());
    launchIt(start);
}

} // namespace kv::launcher
