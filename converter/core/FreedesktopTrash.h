#pragma once

#include <ctime>
#include <optional>
#include <string>

// The desktop's trash on Linux and other free desktops: a folder with files/ (the files as they
// were) and info/ (NAME.trashinfo: where each came from and when), one in the user's data folder
// and one per other volume, so that a file never has to be copied to be trashed.
namespace kv::converter {

// path as a trash info's Path: every byte but letters, digits, "/" and -_.!~*'() as %XX.
std::string PercentEncodedPath(const std::string &path);

// The text of NAME.trashinfo for a file that was at path (absolute), trashed at the local time
// deleted.
std::string TrashInfoText(const std::string &path, const std::tm &deleted);

// The home trash: $XDG_DATA_HOME/Trash, or ~/.local/share/Trash when that is unset or relative.
std::string HomeTrashFolder();

// The trash of the volume whose top folder is topdir, for the user uid: topdir/.Trash/UID when
// topdir/.Trash is a folder (no link) with the sticky bit, else topdir/.Trash-UID, made (0700)
// when missing and refused when it is no folder of that user's. Nothing, with why set, where
// neither can be used.
std::optional<std::string> VolumeTrashFolder(const std::string &topdir, unsigned uid,
                                             std::string &why);

// Moves the file at path (absolute) into the trash folder trash, making its files/ and info/ as
// needed: info/NAME.trashinfo is made first (a name no other file in that trash has), then the
// file is renamed to files/NAME. Returns the empty text, or why not (nothing is then moved).
std::string MoveIntoTrashFolder(const std::string &path, const std::string &trash);

// Moves the file at path into the home trash when both are on one volume, else into its
// volume's trash. Returns the empty text, or why no trash took it.
std::string MoveToFreedesktopTrash(const std::string &path);

} // namespace kv::converter
