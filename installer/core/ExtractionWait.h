#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include "PathExists.h"

// How the install's worker thread waits for the extraction: it learns how the tool ended from
// the main thread and then looks for the marker file.
namespace kv::installer {

enum class ToolState
{
    Running,
    Succeeded,
    Failed,
    // The program is ending: the worker stops waiting and does nothing more.
    Abandoned,
};

// The extraction tool's state, written on the main thread and read by the worker. Starts as
// Running.
class ExtractionState
{
public:
    // Records the new state and wakes a worker waiting in pause().
    void set(ToolState state);
    ToolState get() const;
    // Returns after longest, or earlier as soon as the state is no longer Running.
    void pause(std::chrono::milliseconds longest) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    ToolState state_ = ToolState::Running;
};

enum class WaitOutcome
{
    MarkerFound,
    ToolFailed,
    // The tool ended well, but the archive held no marker.
    MarkerMissing,
    Abandoned,
};

// Checks toolState until the tool has ended, calling pause between two checks, then looks for
// the marker. The install counts as done only when the tool succeeded and the marker exists, so
// the launcher is never copied from a half-written folder.
WaitOutcome WaitForMarker(const std::string &marker, const std::function<ToolState()> &toolState,
                          const game::PathExists &exists, const std::function<void()> &pause);

} // namespace kv::installer
