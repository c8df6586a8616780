#pragma once

#include <functional>
#include <memory>

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "GameLocator.h"

class QLineEdit;
class QProgressBar;

namespace kv::game {
class AlertPanel;
class LocationSheet;
class SystemLog;
} // namespace kv::game

namespace kv::launcher {

class LauncherWindow;

// The launcher: spins, looks for the game two seconds after start, asks for it in the location
// sheet when no log names it, starts it with the mod's arguments, says so while the game runs
// and ends when it exits. Every path ends in terminate(); the event loop keeps running while the
// game does.
class LauncherController : public QObject
{
    Q_OBJECT

public:
    // terminate ends the application (tests pass a recorder); the window layout is built here.
    LauncherController(game::SystemLog &log, game::AlertPanel &alerts,
                       std::function<void()> terminate, QObject *parent = nullptr);
    ~LauncherController() override;

    // Once the layout is loaded: starts the spinner and the delayed search, then shows the window
    // centred on the screen and 117 points lower.
    void start();
    // Starts spinner and schedules searchAndLaunch for 2 seconds later.
    void scheduleSearch();
    // Looks for the game in the logs, then in the platform's other places, and launches it, or
    // shows the location sheet.
    void searchAndLaunch();
    // Starts the game as start says, or alerts and ends when the mod is missing or nothing can
    // start the game. A game Steam starts is handed to it, and the launcher ends.
    void launchIt(const game::GameStart &start);
    // Shows the location sheet over the window.
    void askForGame();
    // The sheet's button: ends the sheet with return code 1.
    void endSheet();
    // Runs when the sheet has ended: its button with a path launches that path; an empty path,
    // Escape or closing the sheet ends the program.
    void sheetEnded(int returnCode);

    game::GameLocator &locator() { return locator_; }
    // The one-shot timer that starts the search, and the game once started (else null).
    const QTimer &searchTimer() const { return searchTimer_; }
    const QProcess *game() const { return game_.get(); }

    // Distance the window is moved down from the centred position.
    static constexpr int kWindowDrop = 117;
    static constexpr int kSearchDelayMs = 2000;

private:
    void gameFailedToStart(const QString &executable);
    void launchThroughSteam(const QString &program, const QStringList &arguments,
                            const QString &workingDirectory);

    std::unique_ptr<LauncherWindow> layout_;

public:
    // The outlets the window layout provides; owned by layout_.
    QProgressBar *const spinner;
    LauncherWindow *const window;
    game::LocationSheet *const locationSheet;
    QLineEdit *const pathText;

private:
    game::SystemLog &log_;
    game::AlertPanel &alerts_;
    std::function<void()> terminate_;
    game::GameLocator locator_;
    QTimer searchTimer_;
    std::unique_ptr<QProcess> game_;
};

} // namespace kv::launcher
