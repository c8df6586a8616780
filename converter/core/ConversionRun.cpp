#include "ConversionRun.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <filesystem>
#include <new>
#include <string_view>
#include <thread>

#include "BitmapFile.h"
#include "ConversionError.h"
#include "ConverterTexts.h"
#include "EditionRules.h"
#include "FileOperations.h"
#include "FilePath.h"
#include "ImageError.h"
#include "ImagingTexts.h"
#include "JpegFile.h"
#include "OutputFormat.h"
#include "ResolutionSupport.h"
#include "ScaledJpeg.h"
#include "ScoreboardTable.h"
#include "ScreenshotFiles.h"

namespace kv::converter {

std::int64_t ScaledLength(std::int64_t length, std::int64_t percent)
{
    return length * percent / 100;
}

int DefaultJobs()
{
    return int(std::max(1u, std::thread::hardware_concurrency()));
}

// One screenshot's crop: its size and the offsets (-left, -top) it is drawn at.
struct ConversionRun::Crop
{
    int width = 0;
    int height = 0;
    int xOffset = 0;
    int yOffset = 0;
    bool operator==(const Crop &) const = default;
};

// What the steps of a conversion that read nothing but the screenshot make of it.
struct ConversionRun::Encoded
{
    std::optional<FileIdentity> identity;     // the file as it was read; nothing when missing
    bool changedWhileRead = false;            // its identity after reading was another
    bool whole = true;                        // the picture came whole from the file
    std::exception_ptr loadError;             // loading, cropping, the size or scaling failed
    std::optional<std::string> sizeNow;       // the label of a size that is not the listed one
    std::optional<std::string> nothingToSave; // the message for a size that leaves no pixels
    std::exception_ptr encodeError;
    std::vector<std::uint8_t> jpeg;
};

struct ConversionRun::Task
{
    int row;
    Crop crop;
};

ConversionRun::ConversionRun(const std::vector<ScreenshotRow> &rows,
                             const ConversionSettings &settings, ConversionObserver &observer,
                             int jobs, FileSystem &files)
    : rows_(rows), settings_(settings), observer_(observer), jobs_(jobs), files_(files)
{}

ConversionRun::~ConversionRun() = default;

void ConversionRun::Run()
{
    observer_.ShowProgressBar(true);
    converted_.clear();
    teamSizeUnmatched_ = false;
    if (jobs_ > 1) {
        // The screenshots the passes below will convert, in their order. The run replaces a
        // file only after deleting it as an earlier row's original, so a file that an earlier
        // row also names (whatever the path) is left for the run to read when it gets there.
        tasks_.clear();
        std::vector<FileIdentity> earlier;
        for (int i = 0; i < int(rows_.size()); ++i) {
            const std::optional<Crop> crop = CropFor(i);
            if (!crop) {
                continue;
            }
            const std::optional<FileIdentity> file = IdentityOf(rows_[std::size_t(i)].path);
            if (settings_.deleteOriginals && file) {
                const bool named = std::any_of(earlier.begin(), earlier.end(),
                                               [&](const auto &e) { return e.SameFile(*file); });
                earlier.push_back(*file);
                if (named) {
                    continue;
                }
            }
            tasks_.push_back({i, *crop});
        }
        pool_ = std::make_unique<WorkAhead<Encoded>>(tasks_.size(), jobs_, [this](std::size_t i) {
            Encoded encoded;
            try {
                encoded = Encode(tasks_[i].row, tasks_[i].crop);
            } catch (...) {
                encoded.loadError = std::current_exception(); // out of memory for the result
            }
            return encoded;
        });
    }
    // However the run ends, the workers stop with it.
    const struct PoolEnd
    {
        std::unique_ptr<WorkAhead<Encoded>> &pool;
        ~PoolEnd() { pool.reset(); }
    } poolEnd{pool_};

    if (settings_.edition != nullptr) {
        // Ravelock tells of each screenshot it passes over; Veskar passes over them silently.
        const bool messageForUnsupported =
            std::string_view(settings_.edition->title) == texts::kRavelock;
        for (int i = 0; i < int(rows_.size()) && !observer_.StopRequested(); ++i) {
            HandleRow(i, messageForUnsupported);
        }
    }
    observer_.ShowProgressBar(false);
    observer_.SetProgress(0);
}

// The crop of a row whose resolution the edition's table has (the resolutions the edition
// supports), when the team size is one of the labels. The edition is the one the run was started
// with, whatever it was when the row was listed.
std::optional<ConversionRun::Crop> ConversionRun::CropFor(int index) const
{
    const ScreenshotRow &row = rows_[std::size_t(index)];
    const std::optional<ScoreboardGeometry> geometry =
        FindScoreboardGeometry(settings_.edition, row.resolution);
    if (!geometry || !settings_.playersPerTeam) {
        return std::nullopt;
    }
    return Crop{geometry->width,
                ScoreboardHeight(*geometry, *settings_.playersPerTeam, settings_.spectator),
                -geometry->left, -geometry->top};
}

void ConversionRun::HandleRow(int index, bool messageForUnsupported)
{
    const ScreenshotRow &row = rows_[std::size_t(index)];
    if (FindScoreboardGeometry(settings_.edition, row.resolution)) {
        if (const std::optional<Crop> crop = CropFor(index)) {
            try {
                ConvertRow(index, *crop);
            } catch (const std::bad_alloc &) {
                throw;
            } catch (const std::exception &e) {
                // The failure's own text, with the screenshot it ended the run at.
                throw ConversionError(texts::InScreenshot(index + 1, row.caption, e.what()));
            }
        } else {
            teamSizeUnmatched_ = true;
        }
    } else if (messageForUnsupported) {
        observer_.ShowMessage(texts::ResolutionNotSupported(index + 1));
    } else {
        observer_.ShowSkipped(texts::InScreenshot(index + 1, row.caption, texts::kNotSupported));
    }
    observer_.RowDone(index);
    observer_.SetProgress(
        int((std::int64_t(index) + 1) * kProgressMaximum / std::int64_t(rows_.size())));
}

bool ConvertsAnyRow(const std::vector<ScreenshotRow> &rows, const ConversionSettings &settings)
{
    return settings.playersPerTeam &&
           std::any_of(rows.begin(), rows.end(), [&](const ScreenshotRow &row) {
               return FindScoreboardGeometry(settings.edition, row.resolution).has_value();
           });
}

// Load, crop, scale and encode: the steps that read nothing but the screenshot and the settings,
// so that a worker can take them. Failures are kept for ConvertRow to raise in turn.
ConversionRun::Encoded ConversionRun::Encode(int rowIndex, const Crop &crop) const
{
    const ScreenshotRow &row = rows_.at(std::size_t(rowIndex));
    Encoded encoded;
    encoded.identity = IdentityOf(row.path);
    int width = crop.width;
    int height = crop.height;
    const int xOffset = crop.xOffset;
    const int yOffset = crop.yOffset;
    const bool scoreboardOnly = settings_.scoreboardOnly;
    // The screenshot drawn onto itself at the offsets and cut to width x height; a file is read
    // (a JPEG decoded) no further than that needs. An offset of INT_MIN, whose negation does not
    // fit, moves the picture out of sight as INT_MIN does for Crop.
    const std::int32_t left = xOffset == INT_MIN ? INT_MIN : -xOffset;
    const std::int32_t top = yOffset == INT_MIN ? INT_MIN : -yOffset;
    const bool bitmapFile = IsBitmapFileName(row.path);
    imaging::LoadReport report;
    const auto load = [&](imaging::RowFeed *feed) {
        if (scoreboardOnly) {
            return bitmapFile ? imaging::LoadBitmapFileCropped(row.path, left, top, width, height,
                                                               &report, feed)
                              : imaging::LoadJpegFileCropped(row.path, left, top, width, height,
                                                             &report, feed);
        }
        return bitmapFile ? imaging::LoadBitmapFile(row.path, &report)
                          : imaging::LoadJpegFile(row.path, &report, feed);
    };
    // A screenshot converted while no other is loads on a second thread, and the scaling and
    // encoding of its first rows start while it loads; in a batch each core has a screenshot.
    const bool coreToSpare = jobs_ > 1 && tasks_.size() < std::size_t(jobs_);
    imaging::ScaledJpeg picture(load, coreToSpare);
    try {
        const imaging::ImageSize loaded = picture.Size();
        if (!scoreboardOnly) {
            width = loaded.width;
            height = loaded.height;
        }
        // The crop belongs to the size the row was listed with; another picture (the file was
        // emptied or replaced since) would be cut at the wrong place or filled with white.
        const std::string sizeNow = ResolutionLabel(report.width, report.height);
        if (sizeNow != row.resolution) {
            encoded.sizeNow = sizeNow;
        } else {
            const SizePercent &size = settings_.size;
            if (!size.percent) {
                throw ConversionError(texts::NotAValidInteger(size.text));
            }
            const std::int64_t percent = *size.percent;
            const std::int64_t newWidth = ScaledLength(width, percent);
            const std::int64_t newHeight = ScaledLength(height, percent);
            if (newWidth <= 0 || newHeight <= 0) {
                // An empty picture would be a 0-byte file: say so, write nothing, keep the
                // original.
                encoded.nothingToSave = texts::NothingToSave(rowIndex + 1, size.text);
            } else if (!imaging::WithinPixelCeiling(newWidth, newHeight)) {
                throw ConversionError(imaging::texts::ImageTooLarge(newWidth, newHeight));
            } else {
                try {
                    encoded.jpeg = picture.Encode(std::int32_t(newWidth), std::int32_t(newHeight),
                                                  kScaleKernel, kScaleRadius, kJpegQuality);
                } catch (...) {
                    encoded.encodeError = std::current_exception();
                }
            }
        }
        // A failed load is what the screenshot reports, as when loading came before all else.
        if (const std::exception_ptr failure = picture.Finish()) {
            std::rethrow_exception(failure);
        }
    } catch (...) {
        const std::exception_ptr failure = picture.Finish();
        encoded.loadError = failure ? failure : std::current_exception();
        return encoded;
    }
    // A file written to while it was read may hold a picture of neither version.
    encoded.changedWhileRead = IdentityOf(row.path) != encoded.identity;
    encoded.whole = report.whole;
    return encoded;
}

void ConversionRun::Warn(int index, const std::string &text)
{
    const ScreenshotRow &row = rows_.at(std::size_t(index));
    observer_.ShowWarning(texts::InScreenshot(index + 1, row.caption, text));
}

void ConversionRun::ConvertRow(int index, const Crop &crop)
{
    const ScreenshotRow &row = rows_.at(std::size_t(index));
    const std::string &folder = settings_.saveFolder;
    // A missing file is skipped; anything else that is there, a FIFO or a folder too, is read and
    // refused with its error, never passed over without a word.
    if (!PathExists(row.path)) {
        return;
    }
    const std::optional<FileIdentity> file = IdentityOf(row.path);
    // Had its original been deleted, a file given twice would be missing by now.
    if (settings_.deleteOriginals && file &&
        std::find(converted_.begin(), converted_.end(), *file) != converted_.end()) {
        return;
    }

    std::optional<Encoded> ahead;
    // Work done ahead is taken when it is this row's with this crop.
    if (pool_ && pool_->Taken() < tasks_.size() && tasks_[pool_->Taken()].row == index &&
        tasks_[pool_->Taken()].crop == crop) {
        ahead = pool_->TakeNext();
    }
    // Work done ahead counts only if it read the file as it is now.
    const bool current =
        ahead && ahead->identity && ahead->identity == file && !ahead->changedWhileRead;
    const Encoded encoded = current ? std::move(*ahead) : Encode(index, crop);
    if (encoded.loadError) {
        std::rethrow_exception(encoded.loadError);
    }
    if (encoded.sizeNow) {
        Warn(index, texts::SizeChanged(*encoded.sizeNow, row.resolution));
        return;
    }
    if (encoded.nothingToSave) {
        observer_.ShowMessage(*encoded.nothingToSave);
        return;
    }
    CreateFolders(folder);
    if (encoded.encodeError) {
        std::rethrow_exception(encoded.encodeError);
    }

    const std::string &name = settings_.saveName;
    // The JPEG reaches the disk before its original may go; otherwise the system writes it
    // when it likes, as it does for any program's output.
    const bool flushed = settings_.deleteOriginals;
    // The screenshot's time is the only record of when the match was played.
    const std::optional<std::int64_t> modified =
        encoded.identity ? std::optional(encoded.identity->modified) : std::nullopt;
    std::string output;
    for (int n = 1;; ++n) {
        output = OutputPath(folder, name, n);
        // "COM1.jpg" would open the serial port: such numbers are passed over.
        if (NamesADevice(name + std::to_string(n) + ".jpg")) {
            continue;
        }
        // A name taken between the check and the write is skipped, never overwritten.
        if (!FileExists(output) && WriteNewFile(output, encoded.jpeg, flushed, files_, modified)) {
            break;
        }
    }
    observer_.AddResultRow(
        {imaging::Utf8FromPath(imaging::PathFromUtf8(output).filename()), texts::kSaved, output});

    if (settings_.deleteOriginals && PathExists(row.path)) {
        RemoveOriginal(index, encoded, output, flushed);
    }
}

// Deletes the original of a written JPEG or moves it to the trash, unless the picture did not
// come whole from it or the file is no longer the one that was read (the game, a sync tool or
// another run wrote it since).
void ConversionRun::RemoveOriginal(int index, const Encoded &encoded, const std::string &output,
                                   bool flushed)
{
    const ScreenshotRow &row = rows_.at(std::size_t(index));
    if (encoded.identity) {
        converted_.push_back(*encoded.identity);
    }
    if (!encoded.whole) {
        Warn(index, texts::kPictureNotWhole);
        return;
    }
    if (!flushed) {
        FlushToDisk(output, files_);
    }
    // Compared last, right before the deletion, to leave the least time for a change.
    if (encoded.changedWhileRead || !encoded.identity || IdentityOf(row.path) != encoded.identity) {
        Warn(index, texts::kChangedSinceRead);
        return;
    }
    std::string failure;
    if (settings_.trash) {
        if (const std::string why = files_.MoveToTrash(row.path); !why.empty()) {
            failure = texts::CannotMoveToTrash(why);
        }
    } else if (const int error = files_.Remove(row.path)) {
        failure = texts::CannotDelete(std::strerror(error));
    }
    if (!failure.empty()) {
        observer_.ShowDeleteFailure(texts::InScreenshot(index + 1, row.caption, failure));
    }
}

} // namespace kv::converter
