#include "ScaledJpeg.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>

#include "JpegFile.h"
#include "ResamplePasses.h"

namespace kv::imaging {

namespace {

// A thread that waits for loaded rows asks for this many more than it needs: it is woken once
// per band of rows instead of once per row.
constexpr std::int32_t kRowsPerWake = 16;
// The horizontal pass stores 16 bytes at a time and may run past a row's last pixel.
constexpr std::size_t kRoom = 16;

// The rows of the horizontal pass that one thread last did, in a ring of its own: a row the
// other thread wrote is slow to read, as it sits in the other core's cache.
class HorizontalRing
{
public:
    HorizontalRing(const passes::VectorPlan &plan, RowFeed &feed, ImageSize source,
                   int bitsPerPixel, std::int32_t newWidth, std::int32_t slots)
        : plan_(plan), feed_(feed), source_(source), bitsPerPixel_(bitsPerPixel),
          // A 24-bit source whose horizontal pass only copies is its own result.
          sourceRows_(plan.horizontal.identity && bitsPerPixel == 24),
          stride_(3 * std::size_t(newWidth) + kRoom), slots_(slots),
          rows_(std::size_t(source.height)), line_(4 * (std::size_t(source.width) + 4))
    {
        if (!sourceRows_) {
            ring_.resize(stride_ * std::size_t(slots_));
        }
        for (std::int32_t y = 0; y < source.height; ++y) {
            rows_[std::size_t(y)] =
                sourceRows_ ? feed.Row(y) : ring_.data() + std::size_t(y % slots_) * stride_;
        }
    }

    // Rows first .. end - 1 of the pass (at most slots of them), done here where the ring does
    // not hold them yet; the table of rows VerticalRow reads. Waits for rows still loading and
    // throws the load's failure.
    const std::uint8_t *const *Rows(std::int32_t first, std::int32_t end)
    {
        if (sourceRows_) {
            feed_.WaitForRows(end, kRowsPerWake);
            return rows_.data();
        }
        if (first >= held_.second || end <= held_.first) {
            // Nothing held is of use: start afresh where the rows are.
            held_ = first >= held_.second ? std::pair{first, first} : std::pair{end, end};
        }
        for (; held_.second < end; ++held_.second) {
            Filter(held_.second);
            held_.first = std::max(held_.first, held_.second + 1 - slots_);
        }
        while (held_.first > first) {
            Filter(--held_.first);
            held_.second = std::min(held_.second, held_.first + slots_);
        }
        return rows_.data();
    }

private:
    void Filter(std::int32_t y)
    {
        feed_.WaitForRows(y + 1, kRowsPerWake);
        passes::HorizontalSourceRow(plan_, feed_.Row(y), bitsPerPixel_, source_.width, line_.data(),
                                    const_cast<std::uint8_t *>(rows_[std::size_t(y)]));
    }

    const passes::VectorPlan &plan_;
    RowFeed &feed_;
    const ImageSize source_;
    const int bitsPerPixel_;
    const bool sourceRows_; // the pass's rows are the source's
    const std::size_t stride_;
    const std::int32_t slots_;
    std::vector<std::uint8_t> ring_;
    std::vector<const std::uint8_t *> rows_;           // by source row: its slot
    std::pair<std::int32_t, std::int32_t> held_{0, 0}; // the rows in the ring, first and end
    std::vector<std::uint8_t> line_;                   // a source row as 4-byte pixels
};

// Both passes of the resampler over a picture whose rows arrive through a feed. While the picture
// loads, the encoding thread works out the output rows itself, as it encodes them. Once loading
// is over, the rows left are cut into a few segments. A second thread works out each segment's
// rows from its top down, keeping them for the encoder; the encoder, whenever its next row is not
// ready yet, works out the segment's last row nobody has taken instead of waiting. So each thread
// reads only rows it wrote itself, but for the second thread's output rows, which the encoder
// reads once each, in order; and the rows the encoder took last wait for it only to the end of
// their segment, not of the picture.
class StreamedPasses
{
public:
    StreamedPasses(const passes::VectorPlan &plan, RowFeed &feed, ImageSize source,
                   int bitsPerPixel, ImageSize target)
        : plan_(plan), outputBytes_(3 * std::size_t(target.width)),
          copiesRows_(plan.vertical.identity),
          encoding_(plan, feed, source, bitsPerPixel, target.width, RingSlots(plan)),
          sharing_(plan, feed, source, bitsPerPixel, target.width, RingSlots(plan)),
          row_(outputBytes_),
          // Only the rows that are kept are ever written, so only those take memory.
          kept_(std::make_unique_for_overwrite<std::uint8_t[]>(outputBytes_ *
                                                               std::size_t(target.height))),
          done_(std::size_t(target.height), 0), end_(target.height), segmentEnd_(target.height)
    {
        segmentEnds_.reserve(kSegments); // so that Share never allocates
    }

    // On the encoding thread, for y = 0, 1, ... in turn: output row y, 3 bytes a pixel, valid
    // until the next call. Throws the load's failure.
    const std::uint8_t *OutputRow(std::int32_t y)
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (done_[std::size_t(y)]) {
                return Kept(y);
            }
            if (!shared_ && next_ == y) {
                ++next_;
                lock.unlock();
                return Work(y, encoding_, row_.data());
            }
            if (end_ - 1 >= next_) {
                // The segment's last row nobody has taken, kept for later.
                const std::int32_t last = --end_;
                lock.unlock();
                Keep(last, encoding_);
                lock.lock();
                done_[std::size_t(last)] = 1;
                continue;
            }
            if (NextSegment()) {
                continue;
            }
            // The second thread has the row in hand.
            waitingFor_ = y;
            changed_.wait(lock, [&] { return done_[std::size_t(y)] != 0; });
            waitingFor_ = -1;
        }
    }

    // On the second thread, once every row is loaded: rows from where the encoder is on down,
    // until none is left or Stop.
    void Share()
    {
        std::unique_lock lock(mutex_);
        shared_ = true;
        // Segments of at least kSegmentRows rows, so that starting one (a thread's ring then
        // holds no row it needs) costs little beside it.
        const std::int32_t rows = end_ - next_;
        const std::int32_t segments = std::clamp(rows / kSegmentRows, 1, kSegments);
        for (std::int32_t i = segments - 1; i > 0; --i) {
            segmentEnds_.push_back(segmentEnd_);
            segmentEnd_ = next_ + std::int32_t(std::int64_t(rows) * i / segments);
        }
        end_ = segmentEnd_;
        while (!stopped_ && (next_ < end_ || NextSegment())) {
            const std::int32_t y = next_++;
            lock.unlock();
            Keep(y, sharing_);
            lock.lock();
            done_[std::size_t(y)] = 1;
            if (waitingFor_ == y) {
                changed_.notify_all();
            }
        }
    }

    // No row is taken by the second thread from now on.
    void Stop()
    {
        const std::lock_guard lock(mutex_);
        stopped_ = true;
    }

private:
    // Moves on to the next segment once every row of this one is taken; false after the last.
    // The lock is held.
    bool NextSegment()
    {
        if (next_ < end_ || segmentEnds_.empty()) {
            return false;
        }
        next_ = segmentEnd_;
        end_ = segmentEnd_ = segmentEnds_.back();
        segmentEnds_.pop_back();
        return true;
    }

    static constexpr std::int32_t kSegments = 3;
    static constexpr std::int32_t kSegmentRows = 32;

    // Room for the rows one output row reads, and one more.
    static std::int32_t RingSlots(const passes::VectorPlan &plan)
    {
        std::int32_t most = 1;
        for (const passes::TapWindow &window : plan.vertical.windows) {
            most = std::max(most, window.count);
        }
        return most + 1;
    }

    std::uint8_t *Kept(std::int32_t y) { return kept_.get() + std::size_t(y) * outputBytes_; }

    // Output row y, worked out with ring's rows into out; the ring's own row where the vertical
    // pass only copies.
    const std::uint8_t *Work(std::int32_t y, HorizontalRing &ring, std::uint8_t *out)
    {
        const passes::TapWindow &window = plan_.vertical.windows[std::size_t(y)];
        if (copiesRows_) {
            return ring.Rows(y, y + 1)[y];
        }
        passes::VerticalRow(plan_.level, ring.Rows(window.first, window.first + window.count),
                            plan_.vertical, y, outputBytes_, out);
        return out;
    }

    void Keep(std::int32_t y, HorizontalRing &ring)
    {
        std::uint8_t *out = Kept(y);
        const std::uint8_t *row = Work(y, ring, out);
        if (row != out) {
            std::memcpy(out, row, outputBytes_);
        }
    }

    const passes::VectorPlan &plan_;
    const std::size_t outputBytes_;
    const bool copiesRows_;   // the vertical pass's rows are the horizontal pass's
    HorizontalRing encoding_; // each thread's own rows of the horizontal pass
    HorizontalRing sharing_;
    std::vector<std::uint8_t> row_;        // the encoding thread's row in hand
    std::unique_ptr<std::uint8_t[]> kept_; // rows worked out ahead of the encoder, by row

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::uint8_t> done_;        // per output row: 1 once it is kept
    std::int32_t next_ = 0;                 // the first row nobody has taken from the segment's top
    std::int32_t end_;                      // rows from here to the segment's end are taken
    std::int32_t segmentEnd_;               // where the segment ends
    std::vector<std::int32_t> segmentEnds_; // of the segments after this one, the last first
    std::int32_t waitingFor_ = -1;          // the row the encoding thread waits for
    bool shared_ = false;                   // the second thread takes rows from the top
    bool stopped_ = false;
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
    handover.Settle(&*resampling);
    for (std::int32_t y = 0; y < newHeight; ++y) {
        encoder.WriteRow(resampling->OutputRow(y));
    }
    return encoder.Finish();
}

} // namespace kv::imaging
