#pragma once

#include <cstddef>
#include <span>
#include <string>

// Where the game keeps its logs, executable and the mod, one table per platform. A leading "~"
// stands for the home folder and "$XDG_DATA_HOME" for the user's data folder (~/.local/share when
// unset); nothing else in these paths is expanded.
namespace kv::game::layout {

// Appended without a separator to a game location, which ends in a separator.
inline constexpr const char *kModDescriptorBelowLocation = "KVRavelock/UT2K4Mod.ini";
// Appended to a path from the location sheet, which normally has no trailing "/".
inline constexpr const char *kModDescriptorBelowSheetPath = "/KVRavelock/UT2K4Mod.ini";

// A log line naming the game's System folder starts with these 22 characters.
inline constexpr const char *kBaseDirectoryPrefix = "Init: Base directory: ";
inline constexpr std::size_t kBaseDirectoryPrefixLength = 22;

// The game's screenshots: below the game location (which ends in "/"), or on Linux below the
// per-user game folder.
inline constexpr const char *kScreenshotsBelowLocation = "ScreenShots";
inline constexpr const char *kLinuxUserScreenshots = "~/.ut2004/ScreenShots";

// The game's command line for the mod, in this order and nothing else.
inline constexpr const char *kUserLogoArgument = "-userlogo=../KVRavelock/Help/KVRavelockLogo.bmp";
inline constexpr const char *kModArgument = "-mod=KVRavelock";

// The game's id in Steam's store, which Steam's command line starts it by.
inline constexpr const char *kSteamAppId = "13230";

} // namespace kv::game::layout

namespace kv::game {

// The folder the game runs in: the location (which the game itself leaves for its System folder),
// or the folder holding the executable, from where "../KVRavelock" is the mod.
enum class RunsIn
{
    Location,
    ExecutableFolder,
};

// One executable the game may have; the first that exists below a location is started.
struct GameExecutable
{
    // Below the location, or with inNamedFolder below the folder the base-directory line names
    // (System, SystemARM64, ...).
    const char *path;
    bool inNamedFolder;
    RunsIn runsIn;
};

// A kind of place where the game may lie besides the one the logs name.
enum class PlaceKind
{
    // A folder that holds the game.
    GameFolder,
    // A Wine prefix: the Windows places are looked for inside it.
    WinePrefix,
    // A folder whose subfolders are Wine prefixes made by Lutris.
    LutrisGames,
    // A folder of Lutris game files, each naming its Wine prefix on a "prefix:" line.
    LutrisConfigs,
    // A Steam installation: its steamapps/libraryfolders.vdf lists the libraries.
    SteamRoot,
    // The same, of the Flatpak Steam, whose games are started through flatpak.
    FlatpakSteamRoot,
    // Windows: a registry value "KEY|Value" naming the game's folder.
    RegistryFolder,
    // Windows: a registry value "KEY|Value" naming a Steam installation.
    RegistrySteamRoot,
};

struct GamePlace
{
    PlaceKind kind;
    const char *path;
};

// How the game lies on one platform. The logs come first (the game's, then the mod's); the places
// follow in their order; the location sheet is the last resort.
struct PlatformLayout
{
    const char *name;
    const char *gameLog;
    const char *modLog;
    const char *userModDescriptor;
    // Tried in order below a location; those in the named folder first.
    std::span<const GameExecutable> executables;
    std::span<const GamePlace> places;
};

// The tables; each row says where it comes from.
const PlatformLayout &MacLayout();
const PlatformLayout &LinuxLayout();
// Also what a Wine prefix holds: its places are looked for inside each prefix on Linux.
const PlatformLayout &WindowsLayout();
// The table of the system this program was built for.
const PlatformLayout &ThisPlatform();

// The home folder: $HOME, or when HOME is unset the user's entry in the password database
// (USERPROFILE on Windows).
std::string HomeFolder();

// path with a leading "~" replaced by home, and a leading "$XDG_DATA_HOME" by that variable (or
// home's .local/share when it is unset or not absolute); any other path is returned as it is.
std::string ExpandHome(const std::string &path, const std::string &home);

} // namespace kv::game
