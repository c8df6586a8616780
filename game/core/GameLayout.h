#pragma once

#include <cstddef>
#include <string>

// Where the game keeps its logs, executable and the mod below the game location. A leading "~"
// stands for the home folder; nothing else in these paths is expanded.
namespace kv::game::layout {

inline constexpr const char *kGameLog =
    "~/Library/Application Support/Unreal Tournament 2004/System/UT2004.log";
inline constexpr const char *kModLog =
    "~/Library/Application Support/Unreal Tournament 2004/KVRavelock/System/KVRavelock.log";
inline constexpr const char *kUserModDescriptor =
    "~/Library/Application Support/Unreal Tournament 2004/KVRavelock/UT2K4Mod.ini";

// Appended without a separator to a location taken from a log, which ends in "/".
inline constexpr const char *kModDescriptorBelowLocation = "KVRavelock/UT2K4Mod.ini";
inline constexpr const char *kExecutableBelowLocation = "Contents/MacOS/Unreal Tournament 2004";
// Appended to a path from the location sheet, which normally has no trailing "/".
inline constexpr const char *kModDescriptorBelowSheetPath = "/KVRavelock/UT2K4Mod.ini";
inline constexpr const char *kExecutableBelowSheetPath = "/Contents/MacOS/Unreal Tournament 2004";

// A log line naming the game's System folder starts with these 22 characters.
inline constexpr const char *kBaseDirectoryPrefix = "Init: Base directory: ";
inline constexpr std::size_t kBaseDirectoryPrefixLength = 22;
// The length of "System/", cut from the base directory to give the game location.
inline constexpr std::size_t kSystemFolderLength = 7;

// The game's screenshots: below the game location (which ends in "/"), or on Linux below the
// per-user game folder.
inline constexpr const char *kScreenshotsBelowLocation = "ScreenShots";
inline constexpr const char *kLinuxUserScreenshots = "~/.ut2004/ScreenShots";

// The game's command line for the mod, in this order and nothing else.
inline constexpr const char *kUserLogoArgument = "-userlogo=../KVRavelock/Help/KVRavelockLogo.bmp";
inline constexpr const char *kModArgument = "-mod=KVRavelock";

} // namespace kv::game::layout

namespace kv::game {

// The home folder: $HOME, or the user's entry in the password database when HOME is unset.
std::string HomeFolder();

// path with a leading "~" replaced by home; any other path is returned as it is.
std::string ExpandHome(const std::string &path, const std::string &home);

} // namespace kv::game
