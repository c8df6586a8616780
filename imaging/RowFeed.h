#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>

#include "LoadReport.h"
#include "WorkingBitmap.h"

namespace kv::imaging {

// A picture's rows passed from the thread that loads them to a thread that uses them while
// loading goes on; rows become final from the top down. The loader hands its image over with
// Begin, fills it through the reference it gets back, calls Publish as rows are done and
// returns the image (moving it keeps its pixels where they are); whoever runs the loader then
// calls End or Fail. The feed keeps the image meanwhile, so that published rows outlive a loader
// that fails. One user thread waits at a time.
class RowFeed
{
public:
    // The loader's side.
    WorkingBitmap &Begin(WorkingBitmap image);
    void Publish(std::int32_t rows); // rows 0 .. rows - 1 are final

    // The side that runs the loader: the image it returned (the one it began with, or one that
    // never went through the feed), every row of which is now final; or why the load failed.
    void End(WorkingBitmap loaded);
    void Fail(std::exception_ptr failure);

    // The users' side. Each waits, and rethrows the load's failure when the load ended without
    // giving what is waited for.
    // Width, height and bits per pixel of the image, once it is known.
    ImageSize Size();
    int BitsPerPixel();
    // Waits until at least needed rows (at most the height) are final; when that means waiting,
    // until needed + more are, so that a user that keeps up is woken less often.
    void WaitForRows(std::int32_t needed, std::int32_t more = 0);
    const std::uint8_t *Row(std::int32_t y) const { return pixels_ + std::size_t(y) * rowBytes_; }
    // The whole image once the load has ended.
    WorkingBitmap &Loaded();

private:
    void Show(const WorkingBitmap &image); // takes its geometry; the lock is held
    void WaitForBegin(std::unique_lock<std::mutex> &lock);

    std::mutex mutex_;
    std::condition_variable changed_;
    WorkingBitmap image_;
    bool begun_ = false;
    bool ended_ = false;
    std::exception_ptr failure_;
    ImageSize size_;
    int bitsPerPixel_ = 0;
    const std::uint8_t *pixels_ = nullptr;
    std::size_t rowBytes_ = 0;
    // Read without the lock: the loader wakes a user only once the rows it waits for are there.
    std::atomic<std::int32_t> published_{0};
    std::atomic<std::int32_t> wanted_{INT32_MAX};
};

} // namespace kv::imaging
