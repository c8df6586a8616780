#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "SystemLog.h"

namespace kv::test {

// Keeps every line logged, in order; the installer's worker logs from its own thread.
class RecordingLog : public game::SystemLog
{
public:
    void line(const std::string &text) override
    {
        const std::lock_guard lock(mutex_);
        lines_.push_back(text);
    }
    std::vector<std::string> lines() const
    {
        const std::lock_guard lock(mutex_);
        return lines_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// Writes text as a file at path, creating the folders above it.
inline void WriteTextFile(const std::filesystem::path &path, const std::string &text)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadTextFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline const std::filesystem::path kGameLogBelowHome =
    "Library/Application Support/Unreal Tournament 2004/System/UT2004.log";
inline const std::filesystem::path kModLogBelowHome =
    "Library/Application Support/Unreal Tournament 2004/KVRavelock/System/KVRavelock.log";
inline const std::filesystem::path kUserDescriptorBelowHome =
    "Library/Application Support/Unreal Tournament 2004/KVRavelock/UT2K4Mod.ini";

// A log with the game's base-directory line for the game at appFolder among other lines.
inline std::string LogNaming(const std::filesystem::path &appFolder)
{
    return "Log: Log file open, 12/08/26 01:40:00\n"
           "Init: Base directory: " +
           appFolder.string() + "/System/\nLog: Computer: KORVANE\n";
}

} // namespace kv::test
