#pragma once

#include <string>

#include "PathExists.h"
#include "SystemLog.h"

namespace kv::game {

// Finds the game from its own log or the mod's log, and whether the mod is installed. Every call
// re-reads its log; only the path entered in the location sheet is remembered.
class GameLocator
{
public:
    // home replaces the leading "~" of the fixed paths; exists answers every existence test.
    GameLocator(std::string home, SystemLog &log, PathExists exists = PathExistsOnDisk);

    // Whether the game's log, or the mod's log, exists.
    bool gameLogExists() const;
    bool modLogExists() const;

    // The game location (ending in "/") from the game's log or the mod's log; empty when that log
    // is missing, unreadable, has no base-directory line or a base directory too short. Each call
    // logs the line it found, or "(null)".
    std::string gameLogLocation() const;
    std::string modLogLocation() const;

    // Whether anything exists at exactly pathBeingUsed ("~" is not expanded).
    bool executableExists(const std::string &pathBeingUsed) const;

    // Whether the mod's descriptor exists. Before a sheet path was entered the candidates are:
    // below the game log's location, the per-user descriptor, below the mod log's location;
    // afterwards: below the sheet path, then the per-user descriptor. The first that exists ends
    // the test.
    bool modInstalled() const;

    // Records a non-empty path the user entered in the location sheet; from now on the logs no
    // longer count for modInstalled.
    void enterSheetPath(const std::string &path);
    bool sheetPathEntered() const { return sheetPathEntered_; }
    const std::string &sheetPath() const { return sheetPath_; }

    // The folder the game writes its screenshots to: ScreenShots below the game log's location,
    // else on Linux the per-user one; the first that exists, or empty.
    std::string screenshotFolder() const;

    // A fixed path of the game layout with "~" expanded.
    std::string expanded(const char *path) const;

private:
    std::string locationFrom(const char *logPath, const char *logLineFormat) const;

    std::string home_;
    SystemLog &log_;
    PathExists exists_;
    std::string sheetPath_;
    bool sheetPathEntered_ = false;
};

} // namespace kv::game
