#pragma once

#include <string>
#include <vector>

#include "ConversionSettings.h"
#include "ScreenshotRow.h"

namespace kv::converter {

// What a run reports while it goes: the window shows it, the command line prints it.
class ConversionObserver
{
public:
    virtual ~ConversionObserver() = default;
    virtual void ShowProgressBar(bool visible) = 0;
    virtual void SetProgress(int position) = 0; // 0..kProgressMaximum
    // Lets the caller's event loop run between screenshots.
    virtual void ProcessPendingMessages() = 0;
    // A modal message; returns once the user has dismissed it.
    virtual void ShowMessage(const std::string &text) = 0;
    virtual void AddResultRow(const ResultRow &row) = 0;
};

// Turns screenshot rows into JPEG files: per supported row, load, crop to the scoreboard, scale
// with Lanczos-3, write at quality 90 under the lowest free number, optionally delete the
// original. Throws (ImageError, ConversionError, std::bad_alloc) when a screenshot fails; the
// run ends there, and files written before stay.
class ConversionRun
{
public:
    static constexpr int kProgressMaximum = 100;

    ConversionRun(const std::vector<ScreenshotRow> &rows, ConversionSettings &settings,
                  ConversionObserver &observer);

    void Run();

    // Converts the screenshot of row ScoreRow(): a width x height crop drawn at the offsets
    // (-left, -top); Veskar always uses (-145, -30).
    void MakeScore(int width, int height, int xOffset, int yOffset);

    void SetScoreRow(int row) { scoreRow_ = row; }
    int ScoreRow() const { return scoreRow_; }

private:
    void HandleRow(int index, const std::string &edition, bool messageForUnsupported);
    std::string SaveFolderWithSeparator();

    const std::vector<ScreenshotRow> &rows_;
    ConversionSettings &settings_;
    ConversionObserver &observer_;
    int scoreRow_ = 0;
};

// The output path for sequence number n: folder, name, n, ".jpg" run together.
std::string OutputPath(const std::string &folder, const std::string &name, int n);

} // namespace kv::converter
