#include "WatchConversion.h"

#include <algorithm>
#include <exception>
#include <new>

#include "CaptionOrder.h"
#include "ConverterTexts.h"
#include "FileOperations.h"
#include "ScreenshotFiles.h"
#include "ScreenshotRow.h"

namespace kv::converter {

namespace {

// Passes every report on, keeping what the watch needs to know: the rows done and the files
// written.
class RecordingObserver : public ConversionObserver
{
public:
    explicit RecordingObserver(ConversionObserver &shown) : shown_(shown) {}
    void ShowProgressBar(bool visible) override { shown_.ShowProgressBar(visible); }
    void SetProgress(int position) override { shown_.SetProgress(position); }
    bool StopRequested() const override { return shown_.StopRequested(); }
    void ShowMessage(const std::string &text) override { shown_.ShowMessage(text); }
    void ShowWarning(const std::string &text) override { shown_.ShowWarning(text); }
    void ShowDeleteFailure(const std::string &text) override { shown_.ShowDeleteFailure(text); }
    void ShowSkipped(const std::string &text) override { shown_.ShowSkipped(text); }
    void AddResultRow(const ResultRow &row) override
    {
        written.push_back(row.path);
        shown_.AddResultRow(row);
    }
    void RowDone(int index) override
    {
        done.push_back(index);
        shown_.RowDone(index);
    }

    std::vector<std::string> written;
    std::vector<int> done;

private:
    ConversionObserver &shown_;
};

} // namespace

WatchHandler::Outcome ConvertWatchedScreenshots(
    const std::vector<std::string> &paths, const ConversionSettingTexts &settings, int jobs,
    ConversionObserver &observer, const std::function<void(const std::string &)> &problem,
    FileSystem &files)
{
    WatchHandler::Outcome outcome;
    std::vector<ScreenshotRow> rows;
    for (const std::string &path : paths) {
        if (!PathExists(path)) {
            continue;
        }
        try {
            rows.push_back(MeasureScreenshot(path, settings.edition));
        } catch (const std::exception &e) {
            problem(std::string(texts::kInvalidOrNoFile) + ": " + path + ": " + e.what());
            outcome.done.push_back(path);
        }
    }
    SortByCaption(rows);
    RecordingObserver recording(observer);
    try {
        ConversionRun run(rows, ReadConversionSettings(settings), recording, jobs, files);
        run.Run();
    } catch (const std::bad_alloc &) {
        problem("Out of memory");
    } catch (const std::exception &e) {
        problem(e.what());
        // The first row not done is the one the error ended the run at.
        for (int i = 0; i < int(rows.size()); ++i) {
            if (std::find(recording.done.begin(), recording.done.end(), i) ==
                recording.done.end()) {
                recording.done.push_back(i);
                break;
            }
        }
    }
    for (const int index : recording.done) {
        outcome.done.push_back(rows[std::size_t(index)].path);
    }
    outcome.written = std::move(recording.written);
    return outcome;
}

} // namespace kv::converter
