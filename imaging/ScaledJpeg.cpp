#include "ScaledJpeg.h"

#include <algorithm>
#include <array>
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

// Both passes of the resampler over a picture whose rows arrive through a feed. The encoding
// thread takes the output rows in order and does whatever each needs that is not done yet; a
// second thread, once loading is over, does rows of either pass ahead of it. Rows are claimed
// from the top, so either thread may do a given row, and each pass keeps its rows in a ring just
// large enough for that: a slot is used again once no output row still to come reads it.
class StreamedPasses
{
public:
    StreamedPasses(const passes::VectorPlan &plan, RowFeed &feed, ImageSize source,
                   int bitsPerPixel, ImageSize target)
        : plan_(plan), feed_(feed), source_(source), target_(target), bitsPerPixel_(bitsPerPixel),
          // A 24-bit source whose horizontal pass only copies is its own result.
          sourceRows_(plan.horizontal.identity && bitsPerPixel == 24),
          copiesRows_(plan.vertical.identity),
          horizontalStride_(3 * std::size_t(target.width) + kRoom),
          outputBytes_(3 * std::size_t(target.width)),
          neededFrom_(std::size_t(target.height) + 1, source.height),
          horizontalDone_(std::size_t(source.height), 0),
          verticalDone_(std::size_t(target.height), 0), encodingLine_(LineBytes()),
          sharingLine_(LineBytes())
    {
        // neededFrom_[k]: the first source row that output rows k and later read.
        std::int32_t span = 1;
        for (std::int32_t k = target.height - 1; k >= 0; --k) {
            const passes::TapWindow &window = Window(k);
            const std::int32_t first = window.count > 0 ? window.first : source.height;
            neededFrom_[std::size_t(k)] = std::min(first, neededFrom_[std::size_t(k) + 1]);
            span = std::max(span, window.first + window.count - neededFrom_[std::size_t(k)]);
        }
        // Room for the rows one output row reads, and for the rows a thread does ahead of it.
        horizontalSlots_ = std::min(source.height, span + 2 * kRowsPerWake);
        verticalSlots_ = std::min(target.height, 2 * kRowsPerWake);
        if (!sourceRows_) {
            horizontal_.resize(horizontalStride_ * std::size_t(horizontalSlots_));
        }
        if (!copiesRows_) {
            vertical_.resize(outputBytes_ * std::size_t(verticalSlots_));
        }
        rows_.resize(std::size_t(source.height));
        for (std::int32_t y = 0; y < source.height; ++y) {
            rows_[std::size_t(y)] = sourceRows_ ? feed_.Row(y) : HorizontalSlot(y);
        }
    }

    // False when only the encoding thread has work: nothing to share.
    bool HasWork() const { return !sourceRows_ || !copiesRows_; }

    // On the encoding thread, for y = 0, 1, ... in turn: output row y, 3 bytes a pixel, valid
    // until Encoded(y). Throws the load's failure.
    const std::uint8_t *OutputRow(std::int32_t y)
    {
        std::unique_lock lock(mutex_);
        if (copiesRows_) {
            EnsureHorizontal(y + 1, lock, kEncoding, encodingLine_);
            return rows_[std::size_t(y)];
        }
        if (verticalNext_ == y) {
            ++verticalNext_;
            DoVertical(y, lock, kEncoding, encodingLine_);
        }
        // Otherwise the other thread has the row, done or in hand.
        WaitUntil(lock, kEncoding, [&] { return verticalDone_[std::size_t(y)] != 0; });
        return VerticalSlot(y);
    }

    void Encoded(std::int32_t y)
    {
        const std::lock_guard lock(mutex_);
        encoded_ = y + 1;
        if (copiesRows_) {
            // The output row was the horizontal pass's row, which is free only now.
            Finish(verticalDone_, verticalReady_, y);
        }
        Notify();
    }

    // On the second thread, once every row is loaded: rows until none is left or Stop.
    void Share()
    {
        std::unique_lock lock(mutex_);
        while (!stopped_ && !sourceRows_ && horizontalNext_ < source_.height) {
            if (horizontalNext_ >= HorizontalLimit()) {
                if (!copiesRows_) {
                    break; // rows of the vertical pass make room
                }
                // Woken once there is room for a band of rows, not for each row.
                const std::int32_t band = std::min(horizontalNext_ + kRowsPerWake, source_.height);
                WaitUntil(lock, kSharing, [&] { return stopped_ || band <= HorizontalLimit(); });
                continue;
            }
            const std::int32_t y = horizontalNext_++;
            lock.unlock();
            Filter(y, sharingLine_);
            lock.lock();
            Finish(horizontalDone_, horizontalReady_, y);
        }
        while (!stopped_ && !copiesRows_ && verticalNext_ < target_.height) {
            if (verticalNext_ >= encoded_ + verticalSlots_) {
                const std::int32_t band = std::min(verticalNext_ + kRowsPerWake, target_.height);
                WaitUntil(lock, kSharing,
                          [&] { return stopped_ || band <= encoded_ + verticalSlots_; });
                continue;
            }
            DoVertical(verticalNext_++, lock, kSharing, sharingLine_);
        }
    }

    // No row is claimed, and nobody waits, from now on.
    void Stop()
    {
        const std::lock_guard lock(mutex_);
        stopped_ = true;
        changed_.notify_all();
    }

private:
    std::size_t LineBytes() const { return 4 * (std::size_t(source_.width) + 4); }

    const passes::TapWindow &Window(std::int32_t y) const
    {
        return plan_.vertical.windows[std::size_t(y)];
    }

    std::uint8_t *HorizontalSlot(std::int32_t y)
    {
        return horizontal_.data() + std::size_t(y % horizontalSlots_) * horizontalStride_;
    }

    std::uint8_t *VerticalSlot(std::int32_t y)
    {
        return vertical_.data() + std::size_t(y % verticalSlots_) * outputBytes_;
    }

    // Rows below this may go into the horizontal ring: their slots hold rows nobody reads again.
    std::int32_t HorizontalLimit() const
    {
        return neededFrom_[std::size_t(verticalReady_)] + horizontalSlots_;
    }

    // The two threads, each of which may wait for the other.
    static constexpr int kEncoding = 0;
    static constexpr int kSharing = 1;

    // Waits until ready() holds. The other thread wakes this one only once it does: a wake-up
    // for each row would cost more than the row.
    template <class Ready>
    void WaitUntil(std::unique_lock<std::mutex> &lock, int thread, Ready ready)
    {
        if (ready()) {
            return;
        }
        std::function<bool()> condition = ready;
        waitsFor_[thread] = &condition;
        changed_.wait(lock, ready);
        waitsFor_[thread] = nullptr;
    }

    void Notify()
    {
        for (const std::function<bool()> *condition : waitsFor_) {
            if (condition && (*condition)()) {
                changed_.notify_all();
                return;
            }
        }
    }

    // Marks row y of a pass done and moves that pass's count of rows done from the top on.
    void Finish(std::vector<std::uint8_t> &done, std::int32_t &ready, std::int32_t y)
    {
        done[std::size_t(y)] = 1;
        while (ready < std::int32_t(done.size()) && done[std::size_t(ready)]) {
            ++ready;
        }
        Notify();
    }

    void Filter(std::int32_t y, std::vector<std::uint8_t> &line)
    {
        passes::HorizontalSourceRow(plan_, feed_.Row(y), bitsPerPixel_, source_.width, line.data(),
                                    HorizontalSlot(y));
    }

    // Rows 0 .. count - 1 of the horizontal pass done, here where nobody has claimed them. False
    // when stopped first. The lock is held on entry and on return.
    bool EnsureHorizontal(std::int32_t count, std::unique_lock<std::mutex> &lock, int thread,
                          std::vector<std::uint8_t> &line)
    {
        if (sourceRows_) {
            lock.unlock();
            feed_.WaitForRows(count, kRowsPerWake);
            lock.lock();
            return true;
        }
        while (horizontalReady_ < count) {
            if (stopped_) {
                return false;
            }
            if (horizontalNext_ < count && horizontalNext_ < HorizontalLimit()) {
                const std::int32_t y = horizontalNext_++;
                lock.unlock();
                feed_.WaitForRows(y + 1, kRowsPerWake);
                Filter(y, line);
                lock.lock();
                Finish(horizontalDone_, horizontalReady_, y);
            } else {
                // Rows in the other thread's hands, or no room yet.
                const std::int32_t ready = horizontalReady_;
                WaitUntil(lock, thread, [&] {
                    return stopped_ || horizontalReady_ > ready ||
                           (horizontalNext_ < count && horizontalNext_ < HorizontalLimit());
                });
            }
        }
        return true;
    }

    // Output row y, claimed by this thread. The lock is held on entry and on return.
    void DoVertical(std::int32_t y, std::unique_lock<std::mutex> &lock, int thread,
                    std::vector<std::uint8_t> &line)
    {
        const passes::TapWindow &window = Window(y);
        if (!EnsureHorizontal(window.first + window.count, lock, thread, line)) {
            return;
        }
        lock.unlock();
        passes::VerticalRow(plan_.level, rows_.data(), plan_.vertical, y, outputBytes_,
                            VerticalSlot(y));
        lock.lock();
        Finish(verticalDone_, verticalReady_, y);
    }

    const passes::VectorPlan &plan_;
    RowFeed &feed_;
    const ImageSize source_;
    const ImageSize target_;
    const int bitsPerPixel_;
    const bool sourceRows_; // the horizontal pass's rows are the source's
    const bool copiesRows_; // the vertical pass's rows are the horizontal pass's
    const std::size_t horizontalStride_;
    const std::size_t outputBytes_;
    std::vector<std::int32_t> neededFrom_;
    std::int32_t horizontalSlots_ = 0;
    std::int32_t verticalSlots_ = 0;
    std::vector<std::uint8_t> horizontal_;
    std::vector<std::uint8_t> vertical_;
    std::vector<const std::uint8_t *> rows_; // of the horizontal pass, by source row

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::uint8_t> horizontalDone_; // per source row: 1 once the pass has done it
    std::vector<std::uint8_t> verticalDone_;   // per output row
    std::int32_t horizontalNext_ = 0;          // the first row nobody has claimed
    std::int32_t verticalNext_ = 0;
    std::int32_t horizontalReady_ = 0; // rows 0 .. horizontalReady_ - 1 are done
    std::int32_t verticalReady_ = 0;
    std::int32_t encoded_ = 0;
    std::array<const std::function<bool()> *, 2> waitsFor_{}; // what each thread waits for
    bool stopped_ = false;
    std::vector<std::uint8_t> encodingLine_; // source rows as 4-byte pixels, one per thread
    std::vector<std::uint8_t> sharingLine_;
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

// Hands the passes to the second thread once they exist, or says that they never will.
class Handover
{
public:
    void Settle(StreamedPasses *pass)
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

    StreamedPasses *Wait()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return settled_; });
        return pass_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool settled_ = false;
    StreamedPasses *pass_ = nullptr;
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
    // A failed load leaves rows that are not final, and the encoding thread stops.
    if (loadFailure_) {
        return;
    }
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
    std::optional<StreamedPasses> resampling;
    Handover handover;
    // However this ends, the second thread is done with all of these before they go.
    const struct ShareEnd
    {
        ScaledJpeg &self;
        Handover &handover;
        std::optional<StreamedPasses> &passes;
        ~ShareEnd()
        {
            handover.Settle(nullptr);
            if (passes) {
                passes->Stop();
            }
            self.WithdrawShare();
        }
    } shareEnd{*this, handover, resampling};
    OfferShare([&] {
        vertical.Start();
        if (StreamedPasses *passes = handover.Wait()) {
            passes->Share();
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
    resampling.emplace(*plan, feed_, source, bitsPerPixel, ImageSize{newWidth, newHeight});
    handover.Settle(resampling->HasWork() ? &*resampling : nullptr);
    for (std::int32_t y = 0; y < newHeight; ++y) {
        encoder.WriteRow(resampling->OutputRow(y));
        resampling->Encoded(y);
    }
    return encoder.Finish();
}

} // namespace kv::imaging
