#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "FileOperations.h"
#include "FolderNotifier.h"

namespace kv::converter {

// How long the watch waits on a file, and how often it looks.
struct WatchTimes
{
    // A file unchanged this long is taken as written, once it is also whole.
    std::chrono::milliseconds settle{2000};
    // A file still cut short after this long unchanged is reported and kept, never converted.
    std::chrono::milliseconds giveUp{15000};
    // Every folder is listed again at least this often, for events the system dropped.
    std::chrono::milliseconds rescan{5000};
    // Files on their way are looked at again this often.
    std::chrono::milliseconds tick{250};
    // A converted file is forgotten once no listing has shown it for this long. One back sooner
    // (moved away and back, or missed by a listing) is the file converted, not a new one.
    std::chrono::milliseconds forget{60000};
};

// True when the file at path holds as much as its headers promise: a BMP its pixel data, a JPEG
// its end marker. A file that is neither is left to the converter to refuse.
bool LooksComplete(const std::string &path);

// What the watch asks of its user.
class WatchHandler
{
public:
    virtual ~WatchHandler() = default;
    // Converts complete screenshots (absolute paths); returns those it is done with, converted or
    // refused. The others are handed over again.
    struct Outcome
    {
        std::vector<std::string> done;
        std::vector<std::string> written; // the JPEG files written, which are no screenshots
    };
    virtual Outcome Convert(const std::vector<std::string> &paths) = 0;
    // A screenshot still cut short after WatchTimes::giveUp; it stays as it is.
    virtual void Incomplete(const std::string &path) = 0;
    // A folder is watched from now on (at the start, and again after it vanished): it has been
    // listed, and a screenshot that appears in it after this is new.
    virtual void Watching(const std::string &folder) = 0;
    // A watched folder is not there (at the start, or it vanished).
    virtual void FolderMissing(const std::string &folder) = 0;
    // True ends the watch.
    virtual bool StopRequested() const = 0;
};

// Watches folders (not their subfolders) for BMP and JPEG screenshots that appear, or change, in
// them and hands each to the handler once, when it is complete: unchanged for WatchTimes::settle,
// whole and let go by its writer. Hidden files (a leading ".") are passed over. A file is known by
// its identity (device, number, size and time), so one renamed after it was converted is not
// converted again and one written anew is.
class FolderWatch
{
public:
    FolderWatch(std::vector<std::string> folders, FolderNotifier &notifier, WatchHandler &handler,
                WatchTimes times = {});

    // With catchUp the screenshots already there are converted too; otherwise only those that
    // appear or change from now on. Returns when the handler asks to stop.
    void Run(bool catchUp);

private:
    using Clock = std::chrono::steady_clock;
    struct Arrival
    {
        FileIdentity identity;
        Clock::time_point since; // when the file last changed, as far as the watch saw
        bool reported = false;
    };
    struct IdentityOrder
    {
        bool operator()(const FileIdentity &a, const FileIdentity &b) const
        {
            return std::tie(a.device, a.file, a.size, a.modified) <
                   std::tie(b.device, b.file, b.size, b.modified);
        }
    };

    // Lists every folder; false when one could not be listed.
    bool ListFolders(std::map<std::string, FileIdentity> &files);
    void Update(const std::map<std::string, FileIdentity> &files, Clock::time_point now);
    void LookAgain(Clock::time_point now);
    void HandReady(Clock::time_point now);

    std::vector<std::string> folders_;
    FolderNotifier &notifier_;
    WatchHandler &handler_;
    WatchTimes times_;
    std::map<std::string, Arrival> arrivals_;
    std::map<FileIdentity, Clock::time_point, IdentityOrder> done_; // when last listed
    std::map<std::string, bool> present_; // per folder: whether it was there at the last look
};

} // namespace kv::converter
