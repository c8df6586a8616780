#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include <QSemaphore>

class QObject;
class QThread;

namespace kv::converter {

// Work on a thread of its own that reports to a window through calls queued on the window's
// thread, run there in the order they were posted; the work itself never touches a widget.
class BackgroundJob
{
public:
    // Starts work(job) on the new thread; ended runs on receiver's thread once work has returned,
    // after every call the work posted.
    BackgroundJob(QObject &receiver, std::function<void(BackgroundJob &)> work,
                  std::function<void()> ended);
    // Asks the work to stop and waits for it; calls it posted and not yet run are dropped with
    // the receiver.
    ~BackgroundJob();
    BackgroundJob(const BackgroundJob &) = delete;
    BackgroundJob &operator=(const BackgroundJob &) = delete;

    // From the work: call runs on the receiver's thread, after the calls posted before it.
    void Post(std::function<void()> call);
    // From the work: the same, and waits until call has returned there (a modal message has been
    // dismissed) or the job is being destroyed.
    void PostAndWait(std::function<void()> call);

    // The work looks at this between steps and ends early once it is set; any thread.
    void RequestStop() { stop_ = true; }
    bool StopRequested() const { return stop_; }

private:
    QObject &receiver_;
    std::atomic<bool> stop_{false};
    QSemaphore answered_;
    std::unique_ptr<QThread> thread_;
};

} // namespace kv::converter
