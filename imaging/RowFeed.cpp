#include "RowFeed.h"

#include <algorithm>
#include <stdexcept>

namespace kv::imaging {

void RowFeed::Show(const WorkingBitmap &image)
{
    size_ = {image.Width(), image.Height()};
    bitsPerPixel_ = image.BitsPerPixel();
    pixels_ = image.Empty() ? nullptr : image.Row(0);
    rowBytes_ = image.RowBytes();
    begun_ = true;
}

WorkingBitmap &RowFeed::Begin(WorkingBitmap image)
{
    std::unique_lock lock(mutex_);
    image_ = std::move(image);
    Show(image_);
    lock.unlock();
    changed_.notify_all();
    return image_;
}

void RowFeed::Publish(std::int32_t rows)
{
    // Sequentially consistent with the user's store of wanted_ and load of published_: one of
    // the two sides sees the other's store, so a waiting user is never missed.
    published_.store(rows);
    if (rows >= wanted_.load()) {
        // Taking the lock waits until the user sleeps, so the notification cannot pass it by.
        {
            const std::lock_guard lock(mutex_);
        }
        changed_.notify_all();
    }
}

void RowFeed::End(WorkingBitmap loaded)
{
    {
        const std::lock_guard lock(mutex_);
        if (!begun_) {
            image_ = std::move(loaded);
            Show(image_);
        } else if (loaded.Empty() ? pixels_ != nullptr : loaded.Row(0) != pixels_) {
            // Its rows were handed out from another image, which users may have read.
            failure_ = std::make_exception_ptr(
                std::logic_error("a loader returned another image than the one it began"));
        } else {
            // Moving the image keeps its pixels where users read them.
            image_ = std::move(loaded);
        }
        if (!failure_) {
            published_.store(size_.height);
        }
        ended_ = true;
    }
    changed_.notify_all();
}

void RowFeed::Fail(std::exception_ptr failure)
{
    {
        const std::lock_guard lock(mutex_);
        failure_ = std::move(failure);
        ended_ = true;
    }
    changed_.notify_all();
}

void RowFeed::WaitForBegin(std::unique_lock<std::mutex> &lock)
{
    changed_.wait(lock, [&] { return begun_ || ended_; });
    if (failure_ && !begun_) {
        std::rethrow_exception(failure_);
    }
}

ImageSize RowFeed::Size()
{
    std::unique_lock lock(mutex_);
    WaitForBegin(lock);
    return size_;
}

int RowFeed::BitsPerPixel()
{
    std::unique_lock lock(mutex_);
    WaitForBegin(lock);
    return bitsPerPixel_;
}

void RowFeed::WaitForRows(std::int32_t needed, std::int32_t more)
{
    if (published_.load() >= needed) {
        return;
    }
    std::unique_lock lock(mutex_);
    WaitForBegin(lock);
    const auto rows =
        std::int32_t(std::min<std::int64_t>(std::int64_t{needed} + more, size_.height));
    wanted_.store(rows);
    changed_.wait(lock, [&] { return published_.load() >= rows || ended_; });
    wanted_.store(INT32_MAX);
    if (failure_) {
        std::rethrow_exception(failure_);
    }
}

WorkingBitmap &RowFeed::Loaded()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return ended_; });
    if (failure_) {
        std::rethrow_exception(failure_);
    }
    return image_;
}

} // namespace kv::imaging
