#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ConversionSettings.h"
#include "FileOperations.h"
#include "FileSystem.h"
#include "OutputNames.h"
#include "ResultRow.h"
#include "ScreenshotRow.h"
#include "WholeNumber.h"
#include "WorkAhead.h"

namespace kv::converter {

// What a run reports while it goes: the window shows it, the command line prints it.
class ConversionObserver
{
public:
    virtual ~ConversionObserver() = default;
    virtual void ShowProgressBar(bool visible) = 0;
    virtual void SetProgress(int position) = 0; // 0..kProgressMaximum
    // Asked before each screenshot: true ends the run there, after the one in hand is done. May
    // be asked on another thread than the one that requests the stop.
    virtual bool StopRequested() const { return false; }
    // A modal message; returns once the user has dismissed it.
    virtual void ShowMessage(const std::string &text) = 0;
    // Something that went wrong with one screenshot, which the run left unconverted or whose
    // original it kept; the run goes on. Shown like a message unless the caller tells them apart
    // (the command line prints it on stderr).
    virtual void ShowWarning(const std::string &text) { ShowMessage(text); }
    // An original that could not be deleted or moved to the trash (a warning too): the command
    // line's exit status tells it.
    virtual void ShowDeleteFailure(const std::string &text) { ShowWarning(text); }
    // A screenshot the Veskar pass passes over as unsupported, which the window does without a
    // word; a script is told.
    virtual void ShowSkipped(const std::string & /*text*/) {}
    virtual void AddResultRow(const ResultRow &row) = 0;
    // The run is done with row index (converted, passed over or skipped); a row at which an
    // error ended the run is not done.
    virtual void RowDone(int /*index*/) {}
};

// Turns screenshot rows into JPEG files: per supported row, load, crop to the scoreboard, scale
// with Lanczos-3, write at quality 90 under the lowest free number with the screenshot's
// modification time, optionally delete the original or move it to the trash. An original goes
// only when it is still the very file that was read and its picture came whole from it; a file
// whose size is no longer the listed one is not converted.
// Throws ConversionError ("Screenshot N (name): " and the failure's own text) or std::bad_alloc
// when a screenshot fails; the run ends there, and files written before stay.
class ConversionRun
{
public:
    static constexpr int kProgressMaximum = 100;

    // With jobs > 1, up to that many worker threads load, crop, scale and encode the coming
    // screenshots ahead of the run; names, files, messages, rows, deletions and errors still
    // happen one screenshot after the other on the calling thread, as without them. A file the
    // run may replace before it gets there (one it deletes as an earlier row's original) is not
    // read ahead. The run keeps its own copy of settings. Files are written and deleted through
    // files.
    ConversionRun(const std::vector<ScreenshotRow> &rows, const ConversionSettings &settings,
                  ConversionObserver &observer, int jobs = 1,
                  FileSystem &files = SystemFileSystem());
    ~ConversionRun();

    void Run();
    // After Run: a screenshot the edition supports was passed over because the team size is none
    // of the labels, which the caller may want to tell the user.
    bool SkippedForTeamSize() const { return teamSizeUnmatched_; }

private:
    struct Crop;
    struct Encoded;
    // A screenshot the workers convert ahead of the run, with its crop.
    struct Task;

    std::optional<Crop> CropFor(int index) const;
    void HandleRow(int index, bool messageForUnsupported);
    // Converts the screenshot of row index with its crop: the steps of Encode, then the output's
    // name, the file, its result row and the original's deletion.
    void ConvertRow(int index, const Crop &crop);
    Encoded Encode(int row, const Crop &crop) const;
    void RemoveOriginal(int index, const Encoded &encoded, const std::string &output, bool flushed);
    void Warn(int index, const std::string &text);

    const std::vector<ScreenshotRow> &rows_;
    const ConversionSettings settings_;
    ConversionObserver &observer_;
    int jobs_;
    FileSystem &files_;
    std::vector<Task> tasks_;                  // of a run with jobs > 1, in the run's order
    std::unique_ptr<WorkAhead<Encoded>> pool_; // while such a run goes on
    // Originals this run converted to be deleted, as they were then: one given twice is
    // converted once, also when it could not be deleted.
    std::vector<FileIdentity> converted_;
    bool teamSizeUnmatched_ = false; // a supported row was skipped for the team size
};

// True when a run with settings comes to convert one of rows, and so to write into the save
// folder: a row whose resolution the edition's table has, with a team size that is a label.
bool ConvertsAnyRow(const std::vector<ScreenshotRow> &rows, const ConversionSettings &settings);

// Screenshots worked on at once unless told otherwise: one per processor.
int DefaultJobs();

// A side of length pixels scaled to percent: the product, then a division that truncates.
std::int64_t ScaledLength(std::int64_t length, std::int64_t percent);

} // namespace kv::converter
