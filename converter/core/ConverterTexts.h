#pragma once

#include <cstdint>
#include <string>

// Every text the converter shows to users, shared by the window, the command line and tests.
namespace kv::converter::texts {

inline constexpr const char *kVeskar = "Korvane: Veskar";
inline constexpr const char *kRavelock = "Korvane: Ravelock";
inline constexpr const char *kSelectGame = "Select Game:";

inline constexpr const char *kSelectGameFirst = "Select a game first";
inline constexpr const char *kInvalidOrNoFile = "Invalid or no file selected";
inline constexpr const char *kSettingsReset = "All settings have been reset!";
inline constexpr const char *kOpenFilter = "Supported Files (*.bmp; *.jpg)|*.bmp;*.jpg";
inline constexpr const char *kSelectFolderTitle = "Select a folder:";
inline constexpr const char *kAbout = "KV Screenshot Converter\nVersion 3.0\nOrlinde";
inline constexpr const char *kSettingsDamaged =
    "The stored settings could not be read; KVSC starts with the default settings.";
// kSettingsDamaged, then where the unreadable file was kept.
std::string SettingsMovedAside(const std::string &aside);
inline constexpr const char *kSaved = "Saved";
inline constexpr const char *kYes = "Yes";
inline constexpr const char *kNo = "No";

inline constexpr const char *kNotSupported = "This resolution is not (yet) supported";
// "Screenshot N: This resolution is not (yet) supported", N counted from 1.
std::string ResolutionNotSupported(int rowNumber);
// "'%s' is not a valid integer value".
std::string NotAValidInteger(const std::string &text);
// A size percent that leaves no pixels: nothing is written for that screenshot.
std::string NothingToSave(int rowNumber, const std::string &sizeText);

// The crop preview: its window title and the screenshot list's context-menu entry, then what it
// says under the picture.
inline constexpr const char *kPreview = "Preview";
// "Output: 782 x 304 pixels", the size of the JPEG the settings would write.
std::string PreviewOutputSize(std::int64_t width, std::int64_t height);
// "1680 x 1050: not supported": the run skips the screenshot.
std::string PreviewNotSupported(const std::string &resolution);
// A team-size text that is none of the ten labels: the run converts nothing.
std::string PreviewNoTeamSize(const std::string &teamSize);
// A size that leaves no pixels: the run writes nothing.
std::string PreviewNothingToSave(const std::string &sizeText);

// "Screenshot N (caption): " and text: an error that ended the run at a screenshot, or one of
// the notes below, naming the screenshot it is about.
std::string InScreenshot(int rowNumber, const std::string &caption, const std::string &text);

// Notes on one screenshot; the run goes on.
inline constexpr const char *kPictureNotWhole =
    "The file ended before its picture did (cut short or still being written); it was "
    "converted as it is and the original was kept";
inline constexpr const char *kChangedSinceRead =
    "The file was changed or replaced after it was read; the original was kept";
// "Its size is now W x H, not the listed W x H; it was not converted".
std::string SizeChanged(const std::string &now, const std::string &listed);
// "The original could not be deleted. %s" with the system's text for the error.
std::string CannotDelete(const std::string &reason);
// "The original could not be moved to the Trash (%s); it was kept" with why no trash took it.
std::string CannotMoveToTrash(const std::string &why);

// `kvsc watch`: a folder it is given that is none; each folder it watches (again); a watched
// folder that is not there; a screenshot still cut short after the wait, which is kept.
std::string NotAFolder(const std::string &folder);
std::string WatchingFolder(const std::string &folder);
std::string FolderMissing(const std::string &folder);
std::string StillIncomplete(const std::string &path);
inline constexpr const char *kGameFolderNotFound = "the game's screenshot folder was not found";
// The window's Watch Folder: the title of its folder picker.
inline constexpr const char *kWatchFolderTitle = "Select the folder to watch:";

// Why a run converted nothing although it had screenshots.
std::string NothingConvertedTeamSize(const std::string &teamSize);
std::string NothingConvertedEdition(const std::string &edition);

// The command line's refusals (after "kvsc: ") of stored settings that would convert nothing or
// write into the root of the file system.
std::string StoredTeamSizeUnknown(const std::string &teamSize);
std::string StoredEditionUnknown(const std::string &edition);
inline constexpr const char *kStoredSaveFolderEmpty =
    "the stored save folder is empty; give one with --save-folder";
// Result lines lost on a closed pipe or a full device (after "kvsc: ").
inline constexpr const char *kOutputNotWritten =
    "some result lines could not be written to standard output; the run itself went on to its "
    "end";
// A save name that cannot name files ("the save name cannot hold " and what).
std::string SaveNameRefused(const std::string &what);
// A size that is no whole number of percent, 1 or more (after "kvsc: ").
std::string SizeRefused(const std::string &size);
std::string StoredSizeRefused(const std::string &size);
// A FIFO, folder or device where the settings file belongs.
std::string SettingsFileNotAFile(const std::string &location);
// A settings file that cannot be opened, with the system's reason; it is left as it is.
std::string SettingsFileUnreadable(const std::string &location, const std::string &reason);
// A value the store refused.
std::string CannotWriteSetting(const std::string &name, const std::string &location);
// `kvsc settings` (after "kvsc: "): a store holding more than the plain form the command line
// changes, and a value that form cannot hold.
std::string SettingsNotPlain(const std::string &location);
std::string SettingNotPlain(const std::string &name);

} // namespace kv::converter::texts
