#include "InstallerController.h"

#include <utility>

#include <QAbstractButton>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include "AlertPanel.h"
#include "BaseDirectoryLine.h"
#include "GameLayout.h"
#include "GameLocator.h"
#include "GameTexts.h"
#include "InstallPlan.h"
#include "InstallerTexts.h"
#include "LocationSheet.h"
#include "PathExists.h"
#include "SystemLog.h"
#include "WindowHelpers.h"
#include "ui_ChoiceWindow.h"
#include "ui_InstallWindow.h"
#include "ui_WelcomeWindow.h"

namespace kv::installer {

namespace {

#ifndef _WIN32
constexpr int kXdgUserDirMs = 5000; // a shell script reading one file
#endif

// Each window takes over from the one before it, so it comes to the front with the focus.
void ShowInFront(QWidget *window)
{
    game::ShowCentred(window);
    window->raise();
    window->activateWindow();
}

// The user's Desktop: its known folder on Windows; elsewhere as the desktop's own tool names it
// (it may be translated or moved).
std::string DesktopFolder(const std::string &home)
{
#ifdef _WIN32
    return KnownDesktopFolder().value_or(home + "/Desktop");
#else
    QProcess xdgUserDir;
    xdgUserDir.start(QStringLiteral("xdg-user-dir"), {QStringLiteral("DESKTOP")});
    if (!xdgUserDir.waitForFinished(kXdgUserDirMs)) {
        xdgUserDir.kill();
        xdgUserDir.waitForFinished(-1);
        return DesktopFolderOf(std::string(), home);
    }
    return DesktopFolderOf(xdgUserDir.readAllStandardOutput().toStdString(), home);
#endif
}

// Return presses button while its window is active, as it presses a dialog's default button.
void ReturnPresses(QPushButton *button)
{
    button->setDefault(true);
    button->setShortcut(QKeySequence(Qt::Key_Return));
}

template <class Layout> std::unique_ptr<QWidget> Loaded(Layout &layout)
{
    auto window = std::make_unique<QWidget>();
    layout.setupUi(window.get());
    return window;
}

} // namespace

InstallerController::InstallerController(game::SystemLog &log, game::AlertPanel &alerts,
                                         PrivilegedRun &run, std::string installerFolder,
                                         std::function<void()> terminate, QObject *parent)
    : QObject(parent), welcomeUi_(std::make_unique<Ui::WelcomeWindow>()),
      choiceUi_(std::make_unique<Ui::ChoiceWindow>()),
      installUi_(std::make_unique<Ui::InstallWindow>()), welcome_(Loaded(*welcomeUi_)),
      choice_(Loaded(*choiceUi_)), install_(Loaded(*installUi_)),
      statusText(installUi_->statusText), userOption(choiceUi_->userOption),
      systemOption(choiceUi_->systemOption), progressBar(installUi_->progressBar),
      welcomeWindow(welcome_.get()), choiceWindow(choice_.get()), installWindow(install_.get()),
      cancelButton(installUi_->cancelButton), optionGroup(choiceUi_->optionGroup),
      locationSheet(new game::LocationSheet(installWindow)), pathText(locationSheet->pathText()),
      log_(log), alerts_(alerts), run_(run), installerFolder_(std::move(installerFolder)),
      home_(game::HomeFolder()), terminate_(std::move(terminate))
{
    connect(welcomeUi_->startButton, &QPushButton::clicked, this, &InstallerController::showChoice);
    // Only a click by the user warns; the programmatic switch back after "Cancel" does not.
    connect(systemOption, &QRadioButton::clicked, this,
            &InstallerController::warnAboutAdministrator);
    connect(choiceUi_->installButton, &QPushButton::clicked, this, &InstallerController::install);
    connect(cancelButton, &QPushButton::clicked, this, &InstallerController::cancelInstall);
    ReturnPresses(welcomeUi_->startButton);
    ReturnPresses(choiceUi_->installButton);
    installWindow->installEventFilter(this);
    installUi_->reasonText->hide();

    locationSheet->connectTo(this, &InstallerController::endSheet, &InstallerController::sheetEnded,
                             log_, alerts_);
}

InstallerController::~InstallerController()
{
    toolState_.set(ToolState::Abandoned);
    if (worker_.joinable()) {
        worker_.join();
    }
    if (checker_.joinable()) {
        checker_.join();
    }
}

void InstallerController::showWelcome()
{
    ShowInFront(welcomeWindow);
}

void InstallerController::showChoice()
{
    ShowInFront(choiceWindow);
    welcomeWindow->close();
}

void InstallerController::warnAboutAdministrator()
{
    log_.line(texts::kAllUsersChosen);
    // Also switches userOption off: the two options are exclusive.
    systemOption->setChecked(true);
    // Deleted as soon as it is closed; window-modal, so only the choice window waits for it.
    auto *sheet = new QMessageBox(QMessageBox::Warning, texts::kAdminTitle, texts::kAdminTitle,
                                  QMessageBox::NoButton, choiceWindow);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setInformativeText(texts::kAdminMessage);
    QPushButton *ok = sheet->addButton(texts::kOK, QMessageBox::AcceptRole);
    QPushButton *cancel = sheet->addButton(texts::kCancel, QMessageBox::RejectRole);
    sheet->setDefaultButton(ok);
    sheet->setEscapeButton(cancel);
    sheet->setWindowModality(Qt::WindowModal);
    connect(sheet, &QMessageBox::buttonClicked, this, [this, ok](QAbstractButton *pressed) {
        adminWarningEnded(pressed == ok ? kDefaultReturn : kOtherReturn);
    });
    sheet->open();
}

void InstallerController::adminWarningEnded(int returnCode)
{
    if (returnCode != kDefaultReturn) {
        // Also switches systemOption off.
        userOption->setChecked(true);
    }
}

void InstallerController::install()
{
    // One extraction per run: the choice window stays open behind, but may not start another.
    choiceWindow->setEnabled(false);
    ShowInFront(installWindow);
    std::optional<std::string> baseDirectory = BaseDirectoryFromGameLog(home_);
    if (!baseDirectory) {
        // The platform's other places come after the game's log, before asking.
        game::GameLocator locator(home_, log_);
        if (const std::optional<game::FoundGame> game = locator.findElsewhere()) {
            baseDirectory = game->baseDirectory;
        }
    }
    if (!baseDirectory) {
        askForGame();
        return;
    }
    systemFolder = *baseDirectory;
    game::StartAnimation(progressBar);
    welcomeWindow->close();
    perUserInstall = false;
    extractArchive();
}

void InstallerController::extractArchive()
{
    if (extractionRequested_) {
        return;
    }
    extractionRequested_ = true;
    game::StartAnimation(progressBar);
    log_.line(texts::kSystemFolderNext);
    log_.line(systemFolder);
    const std::string location = game::GameLocationOf(systemFolder);
    log_.line(texts::kInstallerFolderNext);
    log_.line(installerFolder_);
    const std::string archive = ArchivePath(installerFolder_);
    log_.line(location);
    log_.line(texts::kPreparingForInstall);
    log_.line(archive);
    const ExtractionCommand command = ExtractionCommandFor(installerFolder_, archive, location);
    log_.line(texts::kShouldBeRunning);
    setStatus(texts::kMovingFiles);
    installLocation_ = location;
    desktop_ = DesktopFolder(home_);
    // Checked before any rights are asked for, so that each reads as what it is.
    if (const std::optional<std::string> obstacle = ExtractionObstacle(archive, location)) {
        log_.line(*obstacle);
        showFailed(texts::kInstallationFailed, QString::fromStdString(*obstacle));
        return;
    }
    // Checked as the user before any rights are asked for, without holding up the window: a big
    // archive takes seconds, during which Cancel must still work.
#ifdef _WIN32
    // No tar to list it: the helper's own check, in a thread of ours.
    checker_ = std::thread([this, archive, command] {
        const ExtractionOutcome outcome = CheckArchive(archive);
        // Dropped if this controller is destroyed first; its destructor waits for this thread.
        QMetaObject::invokeMethod(
            this, [this, outcome, command] { checked(outcome, command); }, Qt::QueuedConnection);
    });
#else
    // The run may outlive this controller.
    const QPointer<InstallerController> self(this);
    run_.runAsUser(kTarTool, ListingArguments(archive),
                   [self, command](std::optional<std::string> listing) {
                       if (self) {
                           self->listed(listing, command);
                       }
                   });
#endif
}

#ifdef _WIN32
void InstallerController::checked(const ExtractionOutcome &outcome,
                                  const ExtractionCommand &command)
{
    if (quitting_) {
        return;
    }
    switch (outcome.result) {
    case ExtractionResult::Extracted:
        startExtraction(command, RunAsFor(installLocation_));
        return;
    case ExtractionResult::HoldsDevices:
        log_.line(texts::kArchiveRefused);
        break;
    default:
        log_.line(outcome.message);
        break;
    }
    showFailed(texts::kInstallationFailed, QString::fromStdString(outcome.message));
}
#else
void InstallerController::listed(const std::optional<std::string> &listing,
                                 const ExtractionCommand &command)
{
    if (quitting_) {
        return;
    }
    if (!listing) {
        log_.line(texts::kArchiveNotListed);
        showFailed(texts::kInstallationFailed, texts::kArchiveNotListed);
        return;
    }
    // A listing that fails part way still names the members tar would extract before failing;
    // the extraction reports the failure.
    if (!ListingNamesOnlyPlainMembers(*listing)) {
        log_.line(texts::kArchiveRefused);
        showFailed(texts::kInstallationFailed, texts::kArchiveHoldsDevices);
        return;
    }
    const RunAs as = RunAsFor(installLocation_);
    if (RootOwnsTheFiles(as) && !ListingReadableByAll(*listing)) {
        log_.line(texts::kArchiveOwnerOnlyRefused);
        showFailed(texts::kInstallationFailed, texts::kArchiveOwnerOnly);
        return;
    }
    startExtraction(command, as);
}
#endif

void InstallerController::startExtraction(const ExtractionCommand &command, const RunAs &as)
{
    if (as.owner) {
        log_.line(game::texts::Filled(texts::kExtractingAsOwner, std::to_string(as.owner->first)));
    } else {
        log_.line(as.administrator ? texts::kExtractingAsAdministrator : texts::kExtractingAsUser);
    }
    toolRunning_ = true;
    // The run may outlive this InstallerController (and report after it is gone).
    const QPointer<InstallerController> self(this);
    run_.start(
        command.tool, command.arguments, as,
        [self](StartOutcome outcome) {
            if (self) {
                self->extractionStarted(outcome);
            }
        },
        [self](bool succeeded) {
            if (self) {
                self->extractionEnded(succeeded);
            }
        });
}

void InstallerController::extractionStarted(StartOutcome outcome)
{
    if (outcome != StartOutcome::Started) {
        toolRunning_ = false;
        if (quitting_) {
            quit();
            return;
        }
        if (outcome == StartOutcome::NoElevator) {
            showFailed(texts::kRightsNotRequested, texts::kNoElevator);
        } else {
            showFailed(texts::kIncorrectPassword, QString());
        }
        log_.line(texts::kAborted);
        return;
    }
    if (quitting_) {
        return; // no install to finish: the program ends with the tool
    }
    const std::string marker = MarkerPath(installLocation_);
    // Logged before the worker starts, so that the log's order does not depend on the threads.
    log_.line(texts::kWorkerStarted);
    worker_ = std::thread([this, marker] { finishInstall(marker); });
    setStatus(texts::kInstallingFiles);
}

void InstallerController::extractionEnded(bool succeeded)
{
    toolRunning_ = false;
    if (quitting_) {
        toolState_.set(ToolState::Abandoned);
        quit();
        return;
    }
    toolError_ = run_.firstErrorLine();
    toolState_.set(succeeded ? ToolState::Succeeded : ToolState::Failed);
}

void InstallerController::finishInstall(const std::string &marker)
{
    log_.line(marker);
    const WaitOutcome outcome = WaitForMarker(
        marker, [this] { return toolState_.get(); }, game::PathExistsOnDisk,
        [this] { toolState_.pause(kCheckInterval); });
    switch (outcome) {
    case WaitOutcome::Abandoned:
        return;
    case WaitOutcome::ToolFailed:
    case WaitOutcome::MarkerMissing:
        log_.line(outcome == WaitOutcome::ToolFailed ? texts::kExtractionFailed
                                                     : texts::kMarkerMissing);
        // Queued calls to one receiver run in the order they were made, on its (main) thread,
        // which alone reads toolError_.
        QMetaObject::invokeMethod(
            this,
            [this, outcome] {
                QString reason = QString::fromStdString(toolError_);
                if (outcome == WaitOutcome::MarkerMissing) {
                    reason = texts::kMarkerNotInArchive;
                } else if (reason.isEmpty()) {
                    reason = texts::kToolFailed;
                }
                showFailed(texts::kInstallationFailed, reason);
            },
            Qt::QueuedConnection);
        return;
    case WaitOutcome::MarkerFound:
        break;
    }
    log_.line(texts::kCopyLauncher);
    const bool copied =
        CopyLauncher(LauncherSource(installLocation_), LauncherDestination(desktop_));
    log_.line(copied ? texts::kLauncherCopied : texts::kLauncherNotCopied);
    log_.line(texts::kInstallationDone);
    QMetaObject::invokeMethod(this, &InstallerController::showFinished, Qt::QueuedConnection);
}

void InstallerController::showFinished()
{
    game::StopAnimation(progressBar);
    setStatus(QString());
    setStatus(texts::kInstallationComplete);
    cancelButton->setText(texts::kDone);
    disconnect(cancelButton, &QPushButton::clicked, this, nullptr);
    connect(cancelButton, &QPushButton::clicked, this, &InstallerController::quit);
    ReturnPresses(cancelButton);
}

void InstallerController::showFailed(const QString &status, const QString &reason)
{
    setStatus(status);
    game::StopAnimation(progressBar);
    installUi_->reasonText->setText(reason);
    installUi_->reasonText->setVisible(!reason.isEmpty());
    // Still bound to cancelInstall: quitting is all that is left.
    cancelButton->setText(texts::kQuit);
    ReturnPresses(cancelButton);
}

void InstallerController::setStatus(const QString &text)
{
    statusText->setText(text);
    emit statusShown(text);
}

void InstallerController::askForGame()
{
    locationSheet->open();
}

void InstallerController::endSheet()
{
    locationSheet->done(game::LocationSheet::kButtonReturn);
}

void InstallerController::sheetEnded(int returnCode)
{
    log_.line(game::texts::kReturned);
    const QString text = locationSheet->enteredPath(returnCode);
    if (text.isEmpty()) {
        terminate_();
        return;
    }
    const std::string baseDirectory = BaseDirectoryFromSheet(text.toStdString());
    log_.line(baseDirectory);
    systemFolder = baseDirectory;
    extractArchive();
    perUserInstall = false;
}

void InstallerController::cancelInstall()
{
    quitting_ = true;
    if (!toolRunning_) {
        quit();
        return;
    }
    // The rest happens when the tool ends (extractionStarted, extractionEnded).
    setStatus(texts::kWaitingForExtraction);
    cancelButton->setEnabled(false);
}

void InstallerController::quit()
{
    terminate_();
}

bool InstallerController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == installWindow && event->type() == QEvent::Close) {
        if (toolRunning_) {
            // The extraction is never cut short: the program ends once it has.
            event->ignore();
            cancelInstall();
            return true;
        }
        // Closing the window ends the program, and the close goes through: it may be part of
        // quitting, which Qt gives up when any window refuses to close.
        cancelInstall();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace kv::installer
