#pragma once

#include <optional>
#include <string>
#include <string_view>

// The rule by which the game's and the mod's logs name the game's folder. Logs are read as UTF-8
// bytes; the prefix is plain ASCII.
namespace kv::game {

// The last line of text that starts with "Init: Base directory: " (case and blanks exact), prefix
// included; nothing when no line does. Lines end at LF, or at CR when text has no LF at all; a CR
// before an LF stays on its line.
std::optional<std::string> FindBaseDirectoryLine(std::string_view text);

// The base-directory line of the log at path; nothing when the log is not a regular file (a
// folder, a pipe that would block), cannot be read, or has no such line. The log is read in
// pieces, so its size costs time but not memory.
std::optional<std::string> ReadBaseDirectoryLine(const std::string &path);

// A base-directory line less its prefix: the game's System folder with its trailing slash.
std::string BaseDirectoryOf(const std::string &line);

// The parent of the folder the base directory names, with its trailing separator ("/" or "\\"):
// the folder that holds the game. Empty when the base directory names no parent ("System/") or
// the parent is a file system's root ("/", "C:\\").
std::string GameLocationOf(const std::string &baseDirectory);

} // namespace kv::game
