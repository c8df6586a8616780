#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "SystemLog.h"

namespace kv::test {

// Keeps every line the launcher logs, in order.
class RecordingLog : public game::SystemLog
{
public:
    void line(const std::string &text) override { lines.push_back(text); }

    std::vector<std::string> lines;
};

// Writes text as a file at path, creating the folders above it.
inline void WriteTextFile(const std::filesystem::path &path, const std::string &text)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
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
