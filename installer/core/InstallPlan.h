#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "PrivilegedRun.h"

// The install's plan, which the InstallerController carries out: where it reads and writes (the
// archive beside the installer, the paths below the game location) and tar's command lines. A game
// location ends in "/"; paths below it are appended without a separator.
namespace kv::installer {

inline constexpr const char *kTarTool = "/usr/bin/tar";
inline constexpr const char *kArchiveFormat = "%@/KVRinstall.tgz";
inline constexpr const char *kMarkerBelowLocation = "KVRavelock/Textures/KV2_Quarrytide1.utx";
inline constexpr const char *kLauncherBelowLocation = "KVRavelock/Help/KVRavelock Mac Launcher.zip";
inline constexpr const char *kLauncherOnDesktop = "KVRavelock Mac Launcher.zip";
// Appended to the game folder typed or dropped in the location sheet to give the base directory.
inline constexpr const char *kSystemBelowSheetPath = "/System/";

// The base directory (the game's System folder, kept whole) from the game log below home; nothing
// when the log is missing, has no base-directory line, or names no game location (a base
// directory of 7 characters or fewer).
std::optional<std::string> BaseDirectoryFromGameLog(const std::string &home);

// The base directory for a game folder entered in the location sheet.
std::string BaseDirectoryFromSheet(const std::string &sheetText);

// The folder holding the running program or bundle: its path less the last component, as the
// platform's path rules drop it ("/a/b/" gives "/a", "/a" gives "/", "b" gives "").
std::string InstallerFolderOf(const std::string &bundlePath);

std::string ArchivePath(const std::string &installerFolder);
std::string MarkerPath(const std::string &gameLocation);
std::string LauncherSource(const std::string &gameLocation);
std::string LauncherDestination(const std::string &desktop);

// The Desktop from what "xdg-user-dir DESKTOP" printed; home's Desktop when it printed no
// absolute path (it is missing, or failed).
std::string DesktopFolderOf(const std::string &printed, const std::string &home);

// Whom the extraction runs as to unpack into gameLocation: the current user when they may write
// there (and into a KVRavelock folder already in it), else an administrator. Root unpacks into a
// folder another user owns as that user, so that no file in it belongs to root.
RunAs RunAsFor(const std::string &gameLocation);

// Whether files the extraction writes as run belong to root. Never on Windows, where they take
// the game folder's access rules, which let its users read them.
bool RootOwnsTheFiles(const RunAs &run);

#ifdef _WIN32
// Whether a file can be made in folder now. Windows' access rules (ACLs, a read-only medium) are
// only known by trying: a file is created there and deleted as it is closed.
bool FolderWritable(const std::string &folder);

// The user's Desktop (its known folder, wherever the user moved it); nothing when the system
// names none.
std::optional<std::string> KnownDesktopFolder();
#endif

// Whether a verbose listing gives every member read rights for all (and folders entry rights):
// files root installs must be readable by the player who runs the game.
bool ListingReadableByAll(std::string_view listing);

// The arguments of kTarTool that unpack archive into gameLocation. The owner recorded in the
// archive is not kept: the tool runs as administrator and would otherwise hand the files to
// whoever built the archive.
std::vector<std::string> ExtractionArguments(const std::string &archive,
                                             const std::string &gameLocation);

// The arguments of kTarTool that list archive, one member a line led by its type letter; run as
// the user before the extraction.
std::vector<std::string> ListingArguments(const std::string &archive);

// The program that unpacks archive into gameLocation, and its arguments.
struct ExtractionCommand
{
    std::string tool;
    std::vector<std::string> arguments;
};

// kTarTool with ExtractionArguments; on Windows, where no tar can be counted on, the helper
// KVRExtract beside the installer (in installerFolder) with the archive and the game location.
ExtractionCommand ExtractionCommandFor(const std::string &installerFolder,
                                       const std::string &archive, const std::string &gameLocation);

// Whether a verbose listing (see ListingArguments) names only files, folders and links. Run as
// administrator, tar would create device nodes and FIFOs (readable by all) whatever the other
// arguments say, so an archive holding one is not extracted at all.
bool ListingNamesOnlyPlainMembers(std::string_view listing);

// Why nothing can be extracted from archive into gameLocation, before anything runs: the
// archive is no file, or the game location no folder (a mistyped path, say). Nothing when both
// are there.
std::optional<std::string> ExtractionObstacle(const std::string &archive,
                                              const std::string &gameLocation);

// Copies the file source to destination; false when source is missing or no plain file (a link
// is not followed) or destination exists (an existing file is left as it is).
bool CopyLauncher(const std::string &source, const std::string &destination);

} // namespace kv::installer
