#pragma once

#include <memory>
#include <optional>
#include <thread>

#include <QObject>
#include <QTemporaryDir>

#include "ExtractionHelper.h"
#include "PrivilegedRun.h"

namespace kv::installer {

// Windows: runs the extraction helper (KVRExtract) as the user, or with administrator rights
// through UAC's "runas" when the game folder needs them. A thread of its own waits on the
// helper's process handle and hands the end to the main thread, so that the window never waits.
// Tools it starts take as their last argument a file for the message the user is shown, which the
// run adds: an elevated helper's error output cannot be read, but a file in the user's own folders
// can be written.
class HelperPrivilegedRun final : public QObject, public PrivilegedRun
{
    Q_OBJECT

public:
    HelperPrivilegedRun();
    // Waits for a helper still running: an extraction cut short leaves a half-installed game.
    ~HelperPrivilegedRun() override;

    // One run at a time. The UAC prompt is up while this runs; started follows through the event
    // loop, like finished.
    void start(const std::string &tool, const std::vector<std::string> &arguments, const RunAs &as,
               Started started, Finished finished) override;
    // The first line of the helper's message, once it has finished.
    std::string firstErrorLine() const override;
    // Runs the tool with QProcess and hands its standard output on.
    void runAsUser(const std::string &tool, const std::vector<std::string> &arguments,
                   Output output) override;

private:
    void ended(std::optional<unsigned long> status);

    std::unique_ptr<QTemporaryDir> messageFolder_;
    Finished finished_;
    std::string message_;
    std::thread waiter_; // waits for the helper; joined before the next run and at the end
};

} // namespace kv::installer
