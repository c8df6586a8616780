#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "GameLayout.h"
#include "PathExists.h"
#include "SystemLog.h"

namespace kv::game {

// What starts the game: its executable itself, Wine with the game's prefix, or Steam (natively
// or as a Flatpak), which starts it through Proton and does not let us wait for it.
enum class GameRunner
{
    Direct,
    Wine,
    Steam,
    FlatpakSteam,
};

// A game found on this system.
struct FoundGame
{
    // The folder the game runs from (System, SystemARM64, ...) and its parent, the game location,
    // both with their trailing separator and as paths of this system.
    std::string baseDirectory;
    std::string location;
    GameRunner runner = GameRunner::Direct;
    // The Wine prefix the game lies in (Wine), or its Proton prefix (Steam); else empty.
    std::string prefix;
    // Whose executables it has: this platform's, or Windows' inside a prefix.
    const PlatformLayout *layout = nullptr;
};

// How the game is started: the program and all its arguments (the mod's two last), where, with
// which variables added to the environment, and whether the started program is the game.
struct GameStart
{
    std::string executable; // the game's own, whose existence decides whether it can start
    std::string program;    // what is started: executable, or "wine", "steam", "flatpak"
    std::vector<std::string> arguments;
    std::string workingDirectory;
    std::vector<std::pair<std::string, std::string>> environment;
    // False when a Steam client takes the start over and the game is not our child.
    bool waitable = true;
};

// How game is started: with the first of its layout's executables that exists (the first of
// them when none does, so that starting it fails and says so).
GameStart StartFor(const FoundGame &game, const PathExists &exists);

// A registry value ("HKLM\..." key, value name) on Windows; tests pass their own.
using RegistryReader =
    std::function<std::optional<std::string>(const std::string &key, const std::string &value)>;

// The registry of the running Windows; nothing elsewhere.
std::optional<std::string> SystemRegistryValue(const std::string &key, const std::string &value);

// Finds the game from its own log or the mod's log, then in the platform's other places, and
// whether the mod is installed. Every call re-reads what it looks at; only the path entered in the
// location sheet and the game found elsewhere are remembered.
class GameLocator
{
public:
    // home replaces the leading "~" of the layout's paths; exists answers every existence test.
    GameLocator(std::string home, SystemLog &log, PathExists exists = PathExistsOnDisk,
                const PlatformLayout &layout = ThisPlatform(),
                RegistryReader registry = SystemRegistryValue);

    // Whether the game's log, or the mod's log, exists.
    bool gameLogExists() const;
    bool modLogExists() const;

    // The game location (ending in a separator) from the game's log or the mod's log; empty when
    // that log is missing, unreadable, has no base-directory line or a base directory without a
    // parent. Each call logs the line it found, or "(null)".
    std::string gameLogLocation() const;
    std::string modLogLocation() const;
    // The same as the game found there; nothing when the location is empty.
    std::optional<FoundGame> gameFromGameLog() const;
    std::optional<FoundGame> gameFromModLog() const;

    // The game in the first of the platform's other places that holds one, logging each place
    // looked at; remembered for modInstalled.
    std::optional<FoundGame> findElsewhere();

    // The game in a folder entered in the location sheet: this platform's executables, or inside a
    // Wine prefix or a Steam library, the Windows game started by Wine or Steam.
    FoundGame gameInSheetPath(const std::string &path) const;

    // Whether anything exists at exactly pathBeingUsed ("~" is not expanded).
    bool executableExists(const std::string &pathBeingUsed) const;

    // Whether the mod's descriptor exists. Before a sheet path was entered the candidates are:
    // below the game log's location, the per-user descriptor, below the mod log's location, below
    // the game found elsewhere; afterwards: below the sheet path, then the per-user descriptor.
    // The first that exists ends the test.
    bool modInstalled() const;

    // Records a non-empty path the user entered in the location sheet; from now on the logs no
    // longer count for modInstalled.
    void enterSheetPath(const std::string &path);
    bool sheetPathEntered() const { return sheetPathEntered_; }
    const std::string &sheetPath() const { return sheetPath_; }

    // The folder the game writes its screenshots to, the first of these that exists: ScreenShots
    // below the game log's location, below the mod log's, on Linux the per-user one, below the
    // game found elsewhere; empty when none does.
    std::string screenshotFolder();

    // A path of the layout with "~" and "$XDG_DATA_HOME" expanded.
    std::string expanded(const char *path) const;
    const PlatformLayout &layout() const { return layout_; }

private:
    // Where a place is looked at: natively, inside a Wine prefix, or in a Steam library.
    struct Context
    {
        const PlatformLayout *layout;
        GameRunner runner;
        std::string prefix;
        bool insidePrefix;
    };

    std::optional<FoundGame> fromLog(const char *logPath, const char *logLineFormat) const;
    std::optional<FoundGame> inPlaces(const PlatformLayout &places, const Context &context);
    std::optional<FoundGame> inFolder(const std::string &folder, const Context &context);
    std::optional<FoundGame> inPrefix(const std::string &prefix);
    std::optional<FoundGame> inSteam(const std::string &root, const Context &context,
                                     GameRunner runner);
    std::optional<std::string> registryValue(const std::string &entry,
                                             const Context &context) const;
    bool holdsExecutable(const FoundGame &game) const;
    // Whether path is looked at for the first time in this search.
    bool firstVisit(const std::string &path);

    std::string home_;
    SystemLog &log_;
    PathExists exists_;
    const PlatformLayout &layout_;
    RegistryReader registry_;
    std::string sheetPath_;
    bool sheetPathEntered_ = false;
    std::optional<std::string> foundLocation_;
    std::set<std::string> visited_;
};

} // namespace kv::game
