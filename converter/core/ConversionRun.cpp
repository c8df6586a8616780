#include "ConversionRun.h"

#include <cctype>
#include <climits>
#include <filesystem>

#include "BitmapFile.h"
#include "ConversionError.h"
#include "ConverterTexts.h"
#include "FileOperations.h"
#include "ImageError.h"
#include "ImagingTexts.h"
#include "JpegFile.h"
#include "Resample.h"
#include "ScoreboardTable.h"

namespace kv::converter {

namespace {

// Whole numbers as the size field holds them: blanks before, an optional sign, decimal digits,
// within 32 bits. Anything else is refused with the field's text.
int ParseWholeNumber(const std::string &text)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size()) {
        throw ConversionError(texts::NotAValidInteger(text));
    }
    long long value = 0;
    for (; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
            throw ConversionError(texts::NotAValidInteger(text));
        }
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) {
            throw ConversionError(texts::NotAValidInteger(text));
        }
    }
    value = negative ? -value : value;
    if (value > INT_MAX || value < INT_MIN) {
        throw ConversionError(texts::NotAValidInteger(text));
    }
    return int(value);
}

} // namespace

std::string OutputPath(const std::string &folder, const std::string &name, int n)
{
    return folder + name + std::to_string(n) + ".jpg";
}

ConversionRun::ConversionRun(const std::vector<ScreenshotRow> &rows, ConversionSettings &settings,
                             ConversionObserver &observer)
    : rows_(rows), settings_(settings), observer_(observer)
{}

void ConversionRun::Run()
{
    observer_.ShowProgressBar(true);
    observer_.ProcessPendingMessages();
    // The edition is read before each pass, as the field holds it then.
    if (settings_.Edition() == texts::kVeskar) {
        for (int i = 0; i < int(rows_.size()); ++i) {
            HandleRow(i, texts::kVeskar, false);
        }
    }
    if (settings_.Edition() == texts::kRavelock) {
        for (int i = 0; i < int(rows_.size()); ++i) {
            HandleRow(i, texts::kRavelock, true);
        }
    }
    observer_.ShowProgressBar(false);
    observer_.SetProgress(0);
}

void ConversionRun::HandleRow(int index, const std::string &edition, bool messageForUnsupported)
{
    const ScreenshotRow &row = rows_[std::size_t(index)];
    const std::optional<ScoreboardGeometry> geometry =
        FindScoreboardGeometry(edition, row.resolution);
    // A row marked supported for another edition has no geometry in this one: it is treated
    // like an unsupported row rather than cropped with some other row's rectangle.
    if (row.supported == texts::kYes && geometry) {
        const bool spectator = settings_.Spectator();
        if (const std::optional<int> players = PlayersPerTeam(settings_.TeamSize())) {
            scoreRow_ = index;
            MakeScore(geometry->width, ScoreboardHeight(*geometry, *players, spectator),
                      -geometry->left, -geometry->top);
        }
    } else if (messageForUnsupported) {
        observer_.ShowMessage(texts::ResolutionNotSupported(index + 1));
    }
    observer_.SetProgress(
        int((std::int64_t(index) + 1) * kProgressMaximum / std::int64_t(rows_.size())));
    observer_.ProcessPendingMessages();
}

std::string ConversionRun::SaveFolderWithSeparator()
{
    std::string folder = settings_.SaveFolder();
    if (folder.empty() || folder.back() != kPathSeparator) {
        folder += kPathSeparator;
        settings_.SetSaveFolder(folder);
    }
    return folder;
}

void ConversionRun::MakeScore(int width, int height, int xOffset, int yOffset)
{
    const ScreenshotRow &row = rows_.at(std::size_t(scoreRow_));
    // Done on every call, so the field shows the separator whether or not the file exists.
    const std::string folder = SaveFolderWithSeparator();
    if (!FileExists(row.path)) {
        return;
    }

    const bool bitmapFile = IsBitmapFileName(row.path);
    imaging::WorkingBitmap image;
    if (settings_.ScoreboardOnly()) {
        if (settings_.Edition() == texts::kVeskar) {
            xOffset = -145;
            yOffset = -30;
        }
        // The screenshot drawn onto itself at the offsets and cut to width x height; a JPEG
        // file decodes no more of itself than that needs. An offset of INT_MIN, whose negation
        // does not fit, moves the picture out of sight just as INT_MIN does for Crop.
        const std::int32_t left = xOffset == INT_MIN ? INT_MIN : -xOffset;
        const std::int32_t top = yOffset == INT_MIN ? INT_MIN : -yOffset;
        if (bitmapFile) {
            image = imaging::LoadBitmapFile(row.path);
            image.Crop(left, top, width, height);
        } else {
            image = imaging::LoadJpegFileCropped(row.path, left, top, width, height);
        }
    } else {
        image = bitmapFile ? imaging::LoadBitmapFile(row.path) : imaging::LoadJpegFile(row.path);
        width = image.Width();
        height = image.Height();
    }

    const std::string sizeText = settings_.SizePercent();
    const std::int64_t percent = ParseWholeNumber(sizeText);
    const std::int64_t newWidth = std::int64_t(width) * percent / 100;
    const std::int64_t newHeight = std::int64_t(height) * percent / 100;
    if (newWidth <= 0 || newHeight <= 0) {
        // An empty picture would be a 0-byte file: say so, write nothing, keep the original.
        observer_.ShowMessage(texts::NothingToSave(scoreRow_ + 1, sizeText));
        return;
    }
    if (!imaging::WithinPixelCeiling(newWidth, newHeight)) {
        throw ConversionError(imaging::texts::ImageTooLarge(newWidth, newHeight));
    }
    // At the image's own size Lanczos-3 copies every colour byte, and the JPEG writer reads no
    // other byte, so the resampled image would encode to the same file.
    const bool sameSize = newWidth == image.Width() && newHeight == image.Height();
    if (!sameSize ||
        !imaging::ResampleKeepsColours(image.Width(), image.Height(), imaging::fkLanczos3, 0.0f)) {
        imaging::Resample(std::int32_t(newWidth), std::int32_t(newHeight), imaging::fkLanczos3,
                          0.0f, image);
    }

    CreateFolders(folder);
    const std::vector<std::uint8_t> jpeg = imaging::EncodeJpeg(image, imaging::JpegQuality);
    image.Discard();
    const std::string name = settings_.SaveName();
    // The JPEG reaches the disk before its original may go; otherwise the system writes it
    // when it likes, as it does for any program's output.
    const bool flushed = settings_.DeleteOriginals();
    std::string output;
    for (int n = 1;; ++n) {
        output = OutputPath(folder, name, n);
        // A name taken between the check and the write is skipped, never overwritten.
        if (!FileExists(output) && WriteNewFile(output, jpeg, flushed)) {
            break;
        }
    }
    observer_.AddResultRow(
        {std::filesystem::path(output).filename().string(), texts::kSaved, output});

    if (settings_.DeleteOriginals() && FileExists(row.path)) {
        if (!flushed) {
            FlushToDisk(output);
        }
        DeleteFile(row.path);
    }
}

} // namespace kv::converter
