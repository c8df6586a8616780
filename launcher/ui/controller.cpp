#include "controller.h"

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

controller::controller(game::SystemLog &log, game::AlertPanel &alerts,
                       std::function<void()> terminate, QObject *parent)
    : QObject(parent), layout_(std::make_unique<LauncherWindow>()), spinny(layout_->spinny()),
      window(layout_.get()), sheetWindow(new game::LocationSheet(layout_.get())),
      pathText(sheetWindow->pathText()), log_(log), alerts_(alerts),
      terminate_(std::move(terminate)), locator_(game::HomeFolder(), log)
{
    sheetWindow->connectTo(this, &controller::cancelSheet, &controller::unrealAttempt, log_,
                           alerts_);
    searchTimer_.setSingleShot(true);
    searchTimer_.setInterval(kSearchDelayMs);
    connect(&searchTimer_, &QTimer::timeout, this, &controller::launchKVR);
}

controller::~controller() = default;

void controller::awakeFromNib()
{
    kickStart();
    game::ShowCentred(window, kWindowDrop);
}

void controller::kickStart()
{
    game::StartAnimation(spinny);
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
    game::StopAnimation(spinny);
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
    sheetWindow->done(game::LocationSheet::kButtonReturn);
}

void controller::unrealAttempt(int returnCode)
{
    log_.line(game::texts::kReturned);
    const QString text = sheetWindow->enteredPath(returnCode);
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
