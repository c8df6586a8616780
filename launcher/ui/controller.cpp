#include "controller.h"

#include <utility>

#include <QGuiApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

#include "AlertPanel.h"
#include "GameLayout.h"
#include "GameTexts.h"
#include "LauncherTexts.h"
#include "LauncherWindow.h"
#include "LocationSheet.h"
#include "SystemLog.h"

namespace kv::launcher {

namespace {

// A busy progress bar (range 0..0) is Qt's spinning indicator; a range of 0..1 at 0 stands still.
void StartAnimation(QProgressBar *bar)
{
    bar->setRange(0, 0);
}

void StopAnimation(QProgressBar *bar)
{
    bar->setRange(0, 1);
    bar->setValue(0);
}

} // namespace

controller::controller(game::SystemLog &log, game::AlertPanel &alerts,
                       std::function<void()> terminate, QObject *parent)
    : QObject(parent), layout_(std::make_unique<LauncherWindow>()), spinny(layout_->spinny()),
      window(layout_.get()), sheetWindow(new game::LocationSheet(layout_.get())),
      pathText(sheetWindow->pathText()), log_(log), alerts_(alerts),
      terminate_(std::move(terminate)), locator_(game::HomeFolder(), log)
{
    sheetWindow->setServices(log_, alerts_);
    connect(sheetWindow->sheetButton(), &QPushButton::clicked, this, &controller::cancelSheet);
    // Also reached when the sheet is closed by Escape or its close button, as cancelled.
    connect(sheetWindow, &QDialog::finished, this, &controller::unrealAttempt);
    searchTimer_.setSingleShot(true);
    searchTimer_.setInterval(kSearchDelayMs);
    connect(&searchTimer_, &QTimer::timeout, this, &controller::launchKVR);
}

controller::~controller() = default;

void controller::awakeFromNib()
{
    kickStart();
    // Shown first: the frame's size, which centring needs, is known only for a window on screen.
    window->show();
    QRect frame = window->frameGeometry();
    if (QScreen *screen = window->screen(); screen != nullptr) {
        frame.moveCenter(screen->availableGeometry().center());
    }
    // Screen y grows downwards here, so the drop is added.
    window->move(frame.topLeft() + QPoint(0, kWindowDrop));
}

void controller::kickStart()
{
    StartAnimation(spinny);
    searchTimer_.start();
}

void controller::launchKVR()
{
    const bool found = locator_.unrealLogExists() || !locator_.unrealLocation().empty() ||
                       locator_.KVROrLogExists() || !locator_.KVROrUnrealLocation().empty();
    if (!found) {
        log_.line(texts::kNoUnrealFound);
        noUnrealFound();
        return;
    }
    log_.line(texts::kUnrealFound);
    // The game's log wins whenever it names a location; the mod's log is the fallback.
    std::string location = locator_.unrealLocation();
    const bool fromGameLog = !location.empty();
    if (fromGameLog) {
        log_.line(texts::kUsingUnrealLog);
    } else {
        log_.line(texts::kUsingKVRLog);
        location = locator_.KVROrUnrealLocation();
    }
    const std::string binString = location + game::layout::kExecutableBelowLocation;
    log_.line(binString);
    if (!locator_.unrealBinaryExists(binString)) {
        noUnrealFound();
        return;
    }
    const std::string lineString =
        fromGameLog ? locator_.unrealLocation() : locator_.KVROrUnrealLocation();
    launchIt(QString::fromStdString(binString), QString::fromStdString(lineString));
}

void controller::launchIt(const QString &binString, const QString &lineString)
{
    log_.line(texts::kLaunchingIt);
    if (!locator_.KVRavelockExists()) {
        alerts_.show(window, texts::kModNotFoundTitle, texts::kModNotFoundMessage, game::texts::kOK,
                     terminate_);
        return;
    }
    log_.line(game::texts::Filled(texts::kBinString, binString.toStdString()));
    game_ = std::make_unique<QProcess>();
    log_.line(texts::kAllocTask);
    game_->setWorkingDirectory(lineString);
    log_.line(texts::kCurrentDir);
    game_->setProgram(binString);
    log_.line(texts::kLaunchPath);
    game_->setArguments({game::layout::kUserLogoArgument, game::layout::kModArgument});
    log_.line(texts::kArguements);
    // The game shares the launcher's terminal and input, as it would when started by hand.
    game_->setProcessChannelMode(QProcess::ForwardedChannels);
    game_->setInputChannelMode(QProcess::ForwardedInputChannel);
    // Queued, so that a start that fails at once is handled after this call, like a later failure.
    connect(
        game_.get(), &QProcess::errorOccurred, this,
        [this, binString](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart) {
                gameFailedToStart(binString);
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
    StopAnimation(spinny);
    log_.line(texts::kAnimate);
}

void controller::gameFailedToStart(const QString &binString)
{
    log_.line(game::texts::Filled(texts::kLaunchFailed, binString.toStdString()));
    alerts_.show(window, texts::kGameNotStartedTitle, texts::kGameNotStartedMessage,
                 game::texts::kOK, terminate_);
}

void controller::noUnrealFound()
{
    sheetWindow->open();
}

void controller::cancelSheet()
{
    sheetWindow->done(kSheetButtonReturn);
}

void controller::unrealAttempt(int returnCode)
{
    log_.line(game::texts::kReturned);
    // Only the sheet's button confirms a path; Escape and the close button cancel.
    const QString text = returnCode == kSheetButtonReturn ? pathText->text() : QString();
    if (text.isEmpty()) {
        terminate_();
        return;
    }
    // No test that the executable exists: the mod check in launchIt is the only one on this path.
    const QString binString = text + game::layout::kExecutableBelowSheetPath;
    log_.line(binString.toStdString());
    locator_.enterSheetPath(text.toStdString());
    launchIt(binString, text);
}

} // namespace kv::launcher
