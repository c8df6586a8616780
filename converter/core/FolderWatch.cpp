#include "FolderWatch.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <utility>

#include "FilePath.h"
#include "ScreenshotFiles.h"

namespace kv::converter {

namespace fs = std::filesystem;

namespace {

std::uint32_t Little32(const std::uint8_t *bytes)
{
    return std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 | std::uint32_t(bytes[2]) << 16 |
           std::uint32_t(bytes[3]) << 24;
}

std::uint16_t Little16(const std::uint8_t *bytes)
{
    return std::uint16_t(bytes[0] | bytes[1] << 8);
}

// The bytes a BMP's headers promise: the pixel data's offset plus its size (uncompressed rows,
// or the size the header gives for compressed data); nothing for a file that is no BMP.
std::optional<std::uint64_t> PromisedBitmapSize(const std::uint8_t *header, std::size_t got)
{
    if (got < 2 || header[0] != 'B' || header[1] != 'M') {
        return std::nullopt;
    }
    if (got < 26) {
        return std::uint64_t(26); // not even the headers yet
    }
    const std::uint64_t offset = Little32(header + 10);
    const std::uint32_t infoSize = Little32(header + 14);
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint32_t bits = 0;
    std::uint32_t compression = 0;
    std::uint32_t imageSize = 0;
    if (infoSize == 12) { // the OS/2 core header
        width = Little16(header + 18);
        height = Little16(header + 20);
        bits = Little16(header + 24);
    } else {
        if (got < 38) {
            return std::uint64_t(38);
        }
        width = std::int32_t(Little32(header + 18));
        height = std::int32_t(Little32(header + 22));
        bits = Little16(header + 28);
        compression = Little32(header + 30);
        imageSize = Little32(header + 34);
    }
    // Uncompressed rows (plain or with bit fields) are padded to four bytes.
    if (compression == 0 || compression == 3 || compression == 6) {
        const std::uint64_t stride =
            (std::uint64_t(std::max<std::int64_t>(width, 0)) * bits + 31) / 32 * 4;
        return offset + stride * std::uint64_t(height < 0 ? -height : height);
    }
    return offset + imageSize;
}

} // namespace

bool LooksComplete(const std::string &path)
{
    std::ifstream file(imaging::PathFromUtf8(path), std::ios::binary);
    if (!file) {
        return false;
    }
    std::array<std::uint8_t, 64> head{};
    file.read(reinterpret_cast<char *>(head.data()), head.size());
    const auto got = std::size_t(file.gcount());
    file.clear();
    file.seekg(0, std::ios::end);
    const auto size = std::uint64_t(file.tellg());
    if (size == 0) {
        return false;
    }
    if (const std::optional<std::uint64_t> promised = PromisedBitmapSize(head.data(), got)) {
        return size >= *promised;
    }
    if (got < 2 || head[0] != 0xFF || head[1] != 0xD8) {
        return true; // no picture this reader knows: the converter says what it is
    }
    // A JPEG ends with its end-of-image marker; writers may pad a few bytes after it. The
    // marker cannot appear inside the compressed data, where every 0xFF is followed by 0.
    std::array<std::uint8_t, 32> tail{};
    const std::uint64_t tailSize = std::min<std::uint64_t>(size, tail.size());
    file.seekg(std::streamoff(size - tailSize));
    file.read(reinterpret_cast<char *>(tail.data()), std::streamsize(tailSize));
    for (std::size_t i = 0; i + 1 < std::size_t(file.gcount()); ++i) {
        if (tail[i] == 0xFF && tail[i + 1] == 0xD9) {
            return true;
        }
    }
    return false;
}

FolderWatch::FolderWatch(std::vector<std::string> folders, FolderNotifier &notifier,
                         WatchHandler &handler, WatchTimes times)
    : folders_(std::move(folders)), notifier_(notifier), handler_(handler), times_(times)
{}

bool FolderWatch::ListFolders(std::map<std::string, FileIdentity> &files)
{
    bool all = true;
    for (const std::string &folder : folders_) {
        std::error_code error;
        fs::directory_iterator entries(imaging::PathFromUtf8(folder), error);
        const bool there = !error;
        const auto was = present_.find(folder);
        const bool turned = was == present_.end() || was->second != there;
        present_[folder] = there;
        if (!there) {
            if (turned) {
                handler_.FolderMissing(folder);
            }
            all = false;
            continue;
        }
        for (const fs::directory_entry &entry : entries) {
            const std::string name = imaging::Utf8FromPath(entry.path().filename());
            if (name.empty() || name[0] == '.' || !IsScreenshotFileName(name)) {
                continue;
            }
            const std::string path = imaging::Utf8FromPath(entry.path());
            if (const std::optional<FileIdentity> identity = IdentityOf(path)) {
                files[path] = *identity;
            }
        }
        // Once listed: what appears from now on is new to the watch.
        if (turned) {
            handler_.Watching(folder);
        }
    }
    return all;
}

void FolderWatch::Update(const std::map<std::string, FileIdentity> &files, Clock::time_point now)
{
    for (auto it = arrivals_.begin(); it != arrivals_.end();) {
        it = files.count(it->first) ? std::next(it) : arrivals_.erase(it);
    }
    for (const auto &[path, identity] : files) {
        if (const auto done = done_.find(identity); done != done_.end()) {
            done->second = now; // still there: not to be forgotten yet
            arrivals_.erase(path);
            continue;
        }
        const auto it = arrivals_.find(path);
        if (it == arrivals_.end()) {
            arrivals_[path] = {identity, now};
        } else if (!(it->second.identity == identity)) {
            it->second = {identity, now};
        }
    }
}

void FolderWatch::LookAgain(Clock::time_point now)
{
    for (auto it = arrivals_.begin(); it != arrivals_.end();) {
        const std::optional<FileIdentity> identity = IdentityOf(it->first);
        if (!identity) {
            it = arrivals_.erase(it);
            continue;
        }
        if (!(*identity == it->second.identity)) {
            it->second = {*identity, now};
        }
        ++it;
    }
}

void FolderWatch::HandReady(Clock::time_point now)
{
    std::vector<std::string> ready;
    for (auto &[path, arrival] : arrivals_) {
        const auto unchanged = now - arrival.since;
        if (unchanged < times_.settle || arrival.reported) {
            continue;
        }
        // A file its writer still holds open cannot be read on Windows: it is still on its way,
        // and settles once let go.
        if (HeldForWriting(path)) {
            arrival.since = now;
            continue;
        }
        const bool complete = LooksComplete(path);
        // A write since the last look (up to a tick ago) is a change like any other: what is
        // converted, and then known as converted, must be the file as it is now.
        const std::optional<FileIdentity> identity = IdentityOf(path);
        if (!identity || !(*identity == arrival.identity)) {
            if (identity) {
                arrival = {*identity, now};
            }
            continue;
        }
        if (complete) {
            ready.push_back(path);
        } else if (unchanged >= times_.giveUp) {
            arrival.reported = true;
            handler_.Incomplete(path);
        }
    }
    if (ready.empty()) {
        return;
    }
    const WatchHandler::Outcome outcome = handler_.Convert(ready);
    for (const std::string &path : outcome.done) {
        if (const auto it = arrivals_.find(path); it != arrivals_.end()) {
            done_[it->second.identity] = now;
            arrivals_.erase(it);
        }
    }
    // A JPEG written into a watched folder is no screenshot to convert.
    for (const std::string &path : outcome.written) {
        if (const std::optional<FileIdentity> identity = IdentityOf(path)) {
            done_[*identity] = now;
            arrivals_.erase(path);
        }
    }
}

void FolderWatch::Run(bool catchUp)
{
    notifier_.Refresh(folders_);
    std::map<std::string, FileIdentity> files;
    ListFolders(files);
    Clock::time_point now = Clock::now();
    if (!catchUp) {
        for (const auto &[path, identity] : files) {
            done_[identity] = now;
        }
    }
    Update(files, now);
    Clock::time_point nextListing = now + times_.rescan;
    bool changed = false;
    while (!handler_.StopRequested()) {
        HandReady(Clock::now());
        if (handler_.StopRequested()) {
            break;
        }
        changed = notifier_.Wait(times_.tick) || changed;
        notifier_.Refresh(folders_);
        now = Clock::now();
        if (changed || now >= nextListing) {
            files.clear();
            const bool all = ListFolders(files);
            Update(files, now);
            // What was converted and has been gone from every folder for a while can be
            // forgotten; not while a folder is away, since its files may come back with it.
            if (all) {
                std::erase_if(
                    done_, [&](const auto &entry) { return now - entry.second >= times_.forget; });
            }
            nextListing = now + times_.rescan;
            changed = false;
        } else {
            LookAgain(now);
        }
    }
}

} // namespace kv::converter
