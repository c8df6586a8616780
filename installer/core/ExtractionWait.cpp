#include "ExtractionWait.h"

namespace kv::installer {

void ExtractionState::set(ToolState state)
{
    {
        const std::lock_guard lock(mutex_);
        state_ = state;
    }
    changed_.notify_all();
}

ToolState ExtractionState::get() const
{
    const std::lock_guard lock(mutex_);
    return state_;
}

void ExtractionState::pause(std::chrono::milliseconds longest) const
{
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, longest, [this] { return state_ != ToolState::Running; });
}

WaitOutcome WaitForMarker(const std::string &marker, const std::function<ToolState()> &toolState,
                          const game::PathExists &exists, const std::function<void()> &pause)
{
    for (;;) {
        switch (toolState()) {
        case ToolState::Running:
            break;
        case ToolState::Succeeded:
            return exists(marker) ? WaitOutcome::MarkerFound : WaitOutcome::MarkerMissing;
        case ToolState::Failed:
            return WaitOutcome::ToolFailed;
        case ToolState::Abandoned:
            return WaitOutcome::Abandoned;
        }
        pause();
    }
}

} // namespace kv::installer
