#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <QObject>
#include <QString>

#include "ArchiveExtraction.h"
#include "ExtractionWait.h"
#include "InstallPlan.h"
#include "PrivilegedRun.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QWidget;

namespace Ui {
class ChoiceWindow;
class InstallWindow;
class WelcomeWindow;
} // namespace Ui

namespace kv::game {
class AlertPanel;
class LocationSheet;
class SystemLog;
} // namespace kv::game

namespace kv::installer {

// The installer: leads from the welcome window to the choice window and the install window,
// finds the game from its log (or asks for it in the location sheet), unpacks the archive beside
// the program into it with administrator rights, and on a worker thread waits for the result,
// copies the launcher to the Desktop and shows the finished state. Every way out goes through
// terminate.
class InstallerController : public QObject
{
    Q_OBJECT

public:
    // The windows are built here. installerFolder holds KVRinstall.tgz; terminate ends the
    // application (tests pass a recorder).
    InstallerController(game::SystemLog &log, game::AlertPanel &alerts, PrivilegedRun &run,
                        std::string installerFolder, std::function<void()> terminate,
                        QObject *parent = nullptr);
    // Stops a waiting worker and waits for it to end.
    ~InstallerController() override;

    // Once the layout is loaded: shows welcomeWindow centred.
    void showWelcome();
    // The welcome window's button: shows choiceWindow centred and closes welcomeWindow.
    void showChoice();
    // The all-users option: warns that an administrator's password will be needed.
    void warnAboutAdministrator();
    // End of that warning: any button but "OK" (1) puts the choice back on userOption.
    void adminWarningEnded(int returnCode);
    // The choice window's Install button: shows installWindow, then extracts into the game named
    // by the game log, or asks for the game.
    void install();
    // Starts the extraction into the game below systemFolder, once the archive and the game's
    // folder are there and the archive, listed (on Windows checked) without blocking the window,
    // holds nothing but what may be unpacked.
    void extractArchive();
    // Worker thread body: waits until the extraction has ended, checks marker, copies the
    // launcher to the Desktop and hands the finished (or failed) window to the main thread.
    void finishInstall(const std::string &marker);
    // Shows the location sheet over installWindow.
    void askForGame();
    // The sheet's button: ends the sheet with return code 1.
    void endSheet();
    // Runs when the sheet has ended: its button with a path takes that path as the game's folder
    // and extracts into it; an empty path, Escape or closing the sheet ends the program.
    void sheetEnded(int returnCode);
    // cancelButton until completion, and closing installWindow: quits, but an extraction under
    // way is never cut short: the program waits for it to end, saying so, and quits then.
    void cancelInstall();
    // cancelButton after completion: quits.
    void quit();

    // Return codes of the warning's buttons.
    static constexpr int kDefaultReturn = 1;
    static constexpr int kOtherReturn = -1;
    // Longest pause of the worker between two checks; it wakes at once when the tool ends.
    static constexpr std::chrono::milliseconds kCheckInterval{250};

signals:
    // The status line now shows text.
    void statusShown(const QString &text);

protected:
    // Closing installWindow quits, as cancelButton does: while the extraction runs the close is
    // refused and the program waits for it; otherwise the close is let through.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
#ifdef _WIN32
    // The archive has been checked; extracts when it would be unpacked whole.
    void checked(const ExtractionOutcome &outcome, const ExtractionCommand &command);
#else
    // The listing has ended (or never ran: no listing); extracts when it names only plain members.
    void listed(const std::optional<std::string> &listing, const ExtractionCommand &command);
#endif
    // Says whom the tool runs as, and starts it.
    void startExtraction(const ExtractionCommand &command, const RunAs &as);
    void extractionStarted(StartOutcome outcome);
    void extractionEnded(bool succeeded);
    void setStatus(const QString &text);
    void showFinished();
    // The failed state: status, reason beneath it, and only quitting left.
    void showFailed(const QString &status, const QString &reason);

    std::unique_ptr<Ui::WelcomeWindow> welcomeUi_;
    std::unique_ptr<Ui::ChoiceWindow> choiceUi_;
    std::unique_ptr<Ui::InstallWindow> installUi_;
    std::unique_ptr<QWidget> welcome_;
    std::unique_ptr<QWidget> choice_;
    std::unique_ptr<QWidget> install_;

public:
    // The outlets of the window layout; owned by the windows above.
    QLabel *const statusText;
    QRadioButton *const userOption;
    QRadioButton *const systemOption;
    QProgressBar *const progressBar;
    QWidget *const welcomeWindow;
    QWidget *const choiceWindow;
    QWidget *const installWindow;
    QPushButton *const cancelButton;
    QGroupBox *const optionGroup;
    game::LocationSheet *const locationSheet;
    QLineEdit *const pathText;

    // Would select a per-user install, which is not offered: cleared whenever an install starts.
    bool perUserInstall = false;
    // The game's System folder, ending in "System/"; the extraction's location comes from it.
    std::string systemFolder;

private:
    game::SystemLog &log_;
    game::AlertPanel &alerts_;
    PrivilegedRun &run_;
    std::string installerFolder_;
    std::string home_;
    std::function<void()> terminate_;
    bool extractionRequested_ = false;
    // The extraction tool has been asked for and has not ended (or failed to start).
    bool toolRunning_ = false;
    // The user asked to quit; the program ends as soon as no extraction runs.
    bool quitting_ = false;
    // The game location of the extraction; written once before the worker starts.
    std::string installLocation_;
    std::string desktop_; // where the launcher is copied; written once before the worker starts
    ExtractionState toolState_;
    std::string toolError_; // the tool's first error line once it failed; main thread only
    std::thread worker_;
    std::thread checker_; // Windows: checks the archive before the extraction
};

} // namespace kv::installer
