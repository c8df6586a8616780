#include "ScaledJpeg.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

#include "BulkMemory.h"
#include "JpegFile.h"
#include "ResamplePasses.h"

namespace kv::imaging {

namespace {

// A thread that waits for loaded rows asks for this many more than it needs: it is woken once
// per band of rows instead of once per row.
constexpr std::int32_t kRowsPerWake = 16;
// The horizontal pass stores 16 bytes at a time and may run past a row's last pixel.
constexpr std::size_t kRoom = 16;

// The horizontal pass over a picture whose rows arrive through a feed. Rows are claimed from the
// top, one at a time, by the encoding thread when it needs them and by a second thread that
// takes a share once loading is done; either may finish a given row.
class HorizontalPass
{
public:
    HorizontalPass(const passes::VectorPlan &plan, RowFeed &feed, ImageSize source,
                   int bitsPerPixel, std::int32_t newWidth)
        : plan_(plan), feed_(feed), source_(source), bitsPerPixel_(bitsPerPixel),
          stride_(3 * std::size_t(newWidth) + kRoom),
          // A 24-bit source whose pass only copies is its own result.
          direct_(plan.horizontal.identity && bitsPerPixel == 24),
          finished_(std::size_t(source.height), 0), line_(LineBytes())
    {
        if (!direct_) {
            rows_.resize(stride_ * std::size_t(source.height));
        }
    }

    // False when the pass is the source itself: nothing to share.
    bool HasWork() const { return !direct_; }

    const std::uint8_t *Row(std::int32_t y) const
    {
        return direct_ ? feed_.Row(y) : rows_.data() + std::size_t(y) * stride_;
    }

    // On the encoding thread: rows 0 .. count - 1 are done once it returns. Throws the load's
    // failure.
    void Ensure(std::int32_t count)
    {
        if (direct_) {
            feed_.WaitForRows(count, kRowsPerWake);
            return;
        }
        std::unique_lock lock(mutex_);
        while (ready_ < count) {
            if (finished_[std::size_t(ready_)]) {
                ++ready_;
            } else if (next_ < source_.height) {
                const std::int32_t y = next_++;
                lock.unlock();
                feed_.WaitForRows(y + 1, kRowsPerWake);
                Filter(y, line_);
                lock.lock();
                finished_[std::size_t(y)] = 1;
            } else {
                // The other thread has the row in hand.
                waiting_ = true;
                changed_.wait(lock, [&] { return finished_[std::size_t(ready_)] != 0; });
                waiting_ = false;
            }
        }
    }

    // On the second thread, once every row is loaded: rows until none is left or Stop.
    void Share()
    {
        std::vector<std::uint8_t> line(LineBytes());
        std::unique_lock lock(mutex_);
        while (!stopped_ && next_ < source_.height) {
            const std::int32_t y = next_++;
            lock.unlock();
            Filter(y, line);
            lock.lock();
            finished_[std::size_t(y)] = 1;
            if (waiting_) {
                changed_.notify_all();
            }
        }
    }

    // No row is claimed from now on.
    void Stop()
    {
        const std::lock_guard lock(mutex_);
        stopped_ = true;
        next_ = source_.height;
    }

private:
    std::size_t LineBytes() const { return 4 * (std::size_t(source_.width) + 4); }

    void Filter(std::int32_t y, std::vector<std::uint8_t> &line)
    {
        passes::HorizontalSourceRow(plan_, feed_.Row(y), bitsPerPixel_, source_.width, line.data(),
                                    rows_.data() + std::size_t(y) * stride_);
    }

    const passes::VectorPlan &plan_;
    RowFeed &feed_;
    const ImageSize source_;
    const int bitsPerPixel_;
    const std::size_t stride_;
    const bool direct_;
    ByteBuffer rows_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::uint8_t> finished_; // per row: 1 once its pass is done
    std::int32_t next_ = 0;              // the first row nobody has claimed
    std::int32_t ready_ = 0;             // rows 0 .. ready_ - 1 are done, as the encoder knows
    bool waiting_ = false;               // the encoding thread waits for the other's row
    bool stopped_ = false;
    std::vector<std::uint8_t> line_; // the encoding thread's
};

// A step that whichever of two threads comes to first does; the other waits for it only when it
// needs its result.
class SharedStep
{
public:
    explicit SharedStep(std::function<void()> work) : work_(std::move(work)) {}

    // Does the step unless another thread has begun it.
    void Start()
    {
        if (Claim()) {
            Do();
        }
    }

    // Once the step is done, here if nobody has begun it. Rethrows its failure.
    void Finish()
    {
        Start();
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return done_; });
        if (failure_) {
            std::rethrow_exception(failure_);
        }
    }

private:
    bool Claim()
    {
        const std::lock_guard lock(mutex_);
        return !std::exchange(begun_, true);
    }

    void Do()
    {
        std::exception_ptr failure;
        try {
            work_();
        } catch (...) {
            failure = std::current_exception();
        }
        {
            const std::lock_guard lock(mutex_);
            failure_ = failure;
            done_ = true;
        }
        changed_.notify_all();
    }

    std::function<void()> work_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool begun_ = false;
    bool done_ = false;
    std::exception_ptr failure_;
};

// Hands the horizontal pass to the second thread once it exists, or says that none will.
class Handover
{
public:
    void Settle(HorizontalPass *pass)
    {
        {
            const std::lock_guard lock(mutex_);
            if (settled_) {
                return;
            }
            pass_ = pass;
            settled_ = true;
        }
        changed_.notify_all();
    }

    HorizontalPass *Wait()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return settled_; });
        return pass_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool settled_ = false;
    HorizontalPass *pass_ = nullptr;
};

} // namespace

ScaledJpeg::ScaledJpeg(Loader load, bool secondThread) : load_(std::move(load))
{
    if (secondThread) {
        thread_ = std::thread([this] {
            Load();
            TakeShare();
        });
    } else {
        Load();
    }
}

ScaledJpeg::~ScaledJpeg()
{
    {
        const std::lock_guard lock(mutex_);
        closing_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void ScaledJpeg::Load()
{
    std::exception_ptr failure;
    try {
        feed_.End(load_(&feed_));
    } catch (...) {
        failure = std::current_exception();
        feed_.Fail(failure);
    }
    {
        const std::lock_guard lock(mutex_);
        loadEnded_ = true;
        loadFailure_ = failure;
    }
    changed_.notify_all();
}

void ScaledJpeg::TakeShare()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return shareState_ == Share::Offered || closing_; });
    if (shareState_ != Share::Offered) {
        return;
    }
    shareState_ = Share::Taken;
    lock.unlock();
    share_();
    lock.lock();
    shareState_ = Share::Done;
    changed_.notify_all();
}

void ScaledJpeg::OfferShare(std::function<void()> share)
{
    {
        const std::lock_guard lock(mutex_);
        // A failed load leaves no rows to share.
        if (!thread_.joinable() || loadFailure_) {
            return;
        }
        share_ = std::move(share);
        shareState_ = Share::Offered;
    }
    changed_.notify_all();
}

void ScaledJpeg::WithdrawShare()
{
    std::unique_lock lock(mutex_);
    if (shareState_ == Share::Offered) {
        shareState_ = Share::None;
    }
    changed_.wait(lock, [&] { return shareState_ != Share::Taken; });
    share_ = nullptr;
}

ImageSize ScaledJpeg::Size()
{
    return feed_.Size();
}

std::exception_ptr ScaledJpeg::Finish()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return loadEnded_; });
    return loadFailure_;
}

std::vector<std::uint8_t> ScaledJpeg::EncodeLoaded(std::int32_t newWidth, std::int32_t newHeight,
                                                   FilterKernel filter, float radius, int quality)
{
    WorkingBitmap &image = feed_.Loaded();
    if (newWidth != image.Width() || newHeight != image.Height() ||
        !ResampleKeepsColours(image.Width(), image.Height(), filter, radius)) {
        Resample(newWidth, newHeight, filter, radius, image);
    }
    return EncodeJpeg(image, quality);
}

std::vector<std::uint8_t> ScaledJpeg::Encode(std::int32_t newWidth, std::int32_t newHeight,
                                             FilterKernel filter, float radius, int quality)
{
    const ImageSize source = feed_.Size();
    const int bitsPerPixel = feed_.BitsPerPixel();
    // Empty pictures and sizes, arguments Resample refuses, and depths other than 24 and 32 bits
    // (palettes, masks) take the plain steps once the load is done.
    if ((bitsPerPixel != 24 && bitsPerPixel != 32) || source.width <= 0 || source.height <= 0 ||
        newWidth <= 0 || newHeight <= 0 || std::isnan(radius)) {
        return EncodeLoaded(newWidth, newHeight, filter, radius, quality);
    }

    if (newWidth == source.width && newHeight == source.height &&
        ResampleKeepsColours(source.width, source.height, filter, radius)) {
        JpegEncoder encoder(source.width, source.height, bitsPerPixel / 8, quality);
        for (std::int32_t y = 0; y < source.height; ++y) {
            feed_.WaitForRows(y + 1, kRowsPerWake);
            encoder.WriteRow(feed_.Row(y));
        }
        return encoder.Finish();
    }

    const std::optional<passes::VectorLevel> level = passes::BestVectorLevel();
    if (!level) {
        return EncodeLoaded(newWidth, newHeight, filter, radius, quality);
    }
    // Working out the taps takes a sine or two each: the vertical pass's are worked out by the
    // second thread, if loading is over, while this one works out the horizontal pass's.
    std::optional<passes::PackedTaps> verticalTaps;
    SharedStep vertical(
        [&] { verticalTaps = passes::PlanPass(newHeight, source.height, filter, radius); });
    std::optional<passes::VectorPlan> plan;
    std::optional<HorizontalPass> horizontal;
    Handover handover;
    // However this ends, the second thread is done with all of these before they go.
    const struct ShareEnd
    {
        ScaledJpeg &self;
        Handover &handover;
        std::optional<HorizontalPass> &pass;
        ~ShareEnd()
        {
            handover.Settle(nullptr);
            if (pass) {
                pass->Stop();
            }
            self.WithdrawShare();
        }
    } shareEnd{*this, handover, horizontal};
    OfferShare([&] {
        vertical.Start();
        if (HorizontalPass *pass = handover.Wait()) {
            pass->Share();
        }
    });
    std::optional<passes::PackedTaps> horizontalTaps =
        passes::PlanPass(newWidth, source.width, filter, radius);
    vertical.Finish();
    if (!horizontalTaps || !verticalTaps) {
        handover.Settle(nullptr);
        return EncodeLoaded(newWidth, newHeight, filter, radius, quality);
    }
    plan.emplace(passes::VectorPlan{*level, std::move(*horizontalTaps), std::move(*verticalTaps)});

    // Made before any row is worked on: a size the format cannot hold fails first.
    JpegEncoder encoder(newWidth, newHeight, 3, quality);
    horizontal.emplace(*plan, feed_, source, bitsPerPixel, newWidth);
    handover.Settle(horizontal->HasWork() ? &*horizontal : nullptr);

    std::vector<const std::uint8_t *> rows(std::size_t(source.height));
    for (std::int32_t y = 0; y < source.height; ++y) {
        rows[std::size_t(y)] = horizontal->Row(y);
    }
    const std::size_t rowBytes = 3 * std::size_t(newWidth);
    std::vector<std::uint8_t> out(rowBytes);
    for (std::int32_t y = 0; y < newHeight; ++y) {
        if (plan->vertical.identity) {
            horizontal->Ensure(y + 1);
            encoder.WriteRow(rows[std::size_t(y)]);
            continue;
        }
        const passes::TapWindow &window = plan->vertical.windows[std::size_t(y)];
        horizontal->Ensure(window.first + window.count);
        passes::VerticalRow(plan->level, rows.data(), plan->vertical, y, rowBytes, out.data());
        encoder.WriteRow(out.data());
    }
    return encoder.Finish();
}

} // namespace kv::imaging
