#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The Windows side of finding the game: Windows paths, and the files in which Steam, Wine and
// Lutris record where things are. Plain text handling, the same on every system.
namespace kv::game {

// Whether path starts with a drive letter and a colon ("C:\UT2004", "z:/home").
bool HasDriveLetter(std::string_view path);

// The path on this system of a Windows path inside the Wine prefix: the drive's link in
// prefix/dosdevices ("c:" -> ../drive_c, "z:" -> /) resolved, then the rest with "/" for "\".
// A path without a drive letter is returned as it is; nothing when the drive has no link.
std::optional<std::string> MapThroughPrefix(const std::string &path, const std::string &prefix);

// The libraries a Steam libraryfolders.vdf lists: each "path" value, or in the older form each
// numbered value of the outer block, unescaped ("C:\\Games" gives "C:\Games"). Malformed text
// gives what was read before the fault.
std::vector<std::string> SteamLibrariesIn(std::string_view vdf);

// A value of a Wine registry file (system.reg, user.reg): key as Windows writes it below its
// hive ("Software\Valve\Steam"), compared without regard to case; value's string, unescaped.
std::optional<std::string> WineRegistryValue(std::string_view registryFile, std::string_view key,
                                             std::string_view value);

// The Wine prefix a Lutris game file names on its "prefix:" line, unquoted; nothing without one.
std::optional<std::string> LutrisPrefixIn(std::string_view gameFile);

} // namespace kv::game
