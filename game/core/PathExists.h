#pragma once

#include <functional>
#include <string>

namespace kv::game {

// True when there is a file-system entry (file or folder) at path; nothing is opened. Tests pass
// their own to see which paths are looked at.
using PathExists = std::function<bool(const std::string &path)>;

// The file system's answer; a path that cannot be looked at counts as missing.
bool PathExistsOnDisk(const std::string &path);

} // namespace kv::game
