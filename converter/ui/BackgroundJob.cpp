#include "BackgroundJob.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

namespace kv::converter {

BackgroundJob::BackgroundJob(QObject &receiver, std::function<void(BackgroundJob &)> work,
                             std::function<void()> ended)
    : receiver_(receiver)
{
    thread_.reset(QThread::create([this, work = std::move(work), ended = std::move(ended)] {
        work(*this);
        // Queued behind everything the work posted.
        Post(ended);
    }));
    thread_->start();
}

BackgroundJob::~BackgroundJob()
{
    RequestStop();
    // A work waiting for a call that will never run now (its receiver is going) goes on.
    answered_.release();
    thread_->wait();
}

void BackgroundJob::Post(std::function<void()> call)
{
    QMetaObject::invokeMethod(&receiver_, std::move(call), Qt::QueuedConnection);
}

void BackgroundJob::PostAndWait(std::function<void()> call)
{
    Post([this, call = std::move(call)] {
        call();
        answered_.release();
    });
    answered_.acquire();
}

} // namespace kv::converter
