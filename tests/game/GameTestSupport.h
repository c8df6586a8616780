#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "GameLayout.h"
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

// This platform's layout where it has logs in the home folder; on Windows, which keeps them in the
// game's folder, the Linux one, so that the log rules are tested there too.
inline const game::PlatformLayout &LayoutWithLogs()
{
    return *game::ThisPlatform().gameLog != '\0' ? game::ThisPlatform() : game::LinuxLayout();
}

// A path of that layout below the home folder (its leading "~/" dropped).
inline std::filesystem::path BelowHome(const char *path)
{
    return std::string(path).substr(2);
}

inline const std::filesystem::path kGameLogBelowHome = BelowHome(LayoutWithLogs().gameLog);
inline const std::filesystem::path kModLogBelowHome = BelowHome(LayoutWithLogs().modLog);
inline const std::filesystem::path kUserDescriptorBelowHome =
    BelowHome(LayoutWithLogs().userModDescriptor);

// Where the tests put a fake game's executable: this platform's first one below the game that
// runs in the game's folder (the Mac bundle's executable, the Linux launch script).
inline std::filesystem::path ExecutableBelow(const std::filesystem::path &game)
{
    for (const game::GameExecutable &executable : game::ThisPlatform().executables) {
        if (!executable.inNamedFolder && executable.runsIn == game::RunsIn::Location) {
            return game / executable.path;
        }
    }
    return {};
}

// A log with the game's base-directory line for the game at appFolder among other lines.
inline std::string LogNaming(const std::filesystem::path &appFolder)
{
    return "Log: Log file open, 12/08/26 01:40:00\n"
           "Init: Base directory: " +
           appFolder.string() + "/System/\nLog: Computer: KORVANE\n";
}

} // namespace kv::test
