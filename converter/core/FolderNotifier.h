#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace kv::converter {

// The system's change notification for a few folders (inotify on Linux, change handles on
// Windows). It only says that something may have changed; the watch lists the folders itself,
// since every system drops events now and then.
class FolderNotifier
{
public:
    virtual ~FolderNotifier() = default;
    // Watches each of folders that is not watched now: at the start, and again once a folder
    // that vanished has come back.
    virtual void Refresh(const std::vector<std::string> &folders) = 0;
    // Waits up to timeout for a change in a watched folder; true when one came, or when events
    // were lost. Returns early, false, when the process is asked to stop.
    virtual bool Wait(std::chrono::milliseconds timeout) = 0;
};

// The notifier of this system; on a system without one, a notifier that only waits (the watch's
// listing then finds every file).
std::unique_ptr<FolderNotifier> SystemFolderNotifier();

// From now on Ctrl+C and SIGTERM (Ctrl+C, Ctrl+Break and closing the console on Windows) set
// StopAsked() instead of ending the process; a second one ends it at once.
void CatchStopRequests();
bool StopAsked();

} // namespace kv::converter
