#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "LoadReport.h"
#include "Resample.h"
#include "RowFeed.h"
#include "WorkingBitmap.h"

namespace kv::imaging {

// One picture loaded, resampled and encoded to a JPEG file's bytes with its stages overlapping:
// rows go through both passes of the resampler and into the encoder while later rows are still
// loading. With a second thread the load runs there, and once it is done that thread takes rows
// of the horizontal pass; the passes and the encoder otherwise run on the thread that encodes.
class ScaledJpeg
{
public:
    // Gives the picture. It may hand the image it returns to the feed and its rows as they
    // become final (see LoadJpegFile and RowFeed); otherwise they are taken when it returns.
    using Loader = std::function<WorkingBitmap(RowFeed *feed)>;

    // Starts the load: on a thread of its own with secondThread, otherwise here, to its end.
    ScaledJpeg(Loader load, bool secondThread);
    // Waits for the second thread, which first finishes a load in hand.
    ~ScaledJpeg();
    ScaledJpeg(const ScaledJpeg &) = delete;
    ScaledJpeg &operator=(const ScaledJpeg &) = delete;

    // The loaded image's size, once the load knows it. Rethrows the load's failure.
    ImageSize Size();
    // Waits for the load to end; its failure, or nothing.
    std::exception_ptr Finish();
    // EncodeJpeg(image, quality) of the picture after Resample(newWidth, newHeight, filter,
    // radius, image), byte for byte (at the picture's own size, where ResampleKeepsColours
    // holds, of the picture itself). Throws what those throw, or the load's failure. Once only.
    std::vector<std::uint8_t> Encode(std::int32_t newWidth, std::int32_t newHeight,
                                     FilterKernel filter, float radius, int quality);

private:
    void Load();
    // On the second thread once loading is done: a share of the work, if one is offered.
    void TakeShare();
    void OfferShare(std::function<void()> share);
    // The share is not taken any more, or is done.
    void WithdrawShare();
    std::vector<std::uint8_t> EncodeLoaded(std::int32_t newWidth, std::int32_t newHeight,
                                           FilterKernel filter, float radius, int quality);

    enum class Share
    {
        None,
        Offered,
        Taken,
        Done,
    };

    Loader load_;
    RowFeed feed_; // holds the picture
    std::mutex mutex_;
    std::condition_variable changed_;
    bool loadEnded_ = false;
    std::exception_ptr loadFailure_;
    std::function<void()> share_;
    Share shareState_ = Share::None;
    bool closing_ = false;
    std::thread thread_;
};

} // namespace kv::imaging
