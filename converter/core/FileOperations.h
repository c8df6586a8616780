#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kv::converter {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// True when path names an existing regular file.
bool FileExists(const std::string &path);

// Creates folder with every missing parent; failures are left to the write that follows.
void CreateFolders(const std::string &folder);

// Deletes a file; a file that cannot be deleted stays.
void DeleteFile(const std::string &path);

// Writes bytes as a new file under path without ever replacing one: the bytes go to a temporary
// file in the same folder, are flushed to disk and only then appear under the final name.
// Returns false (writing nothing) when a file of that name exists. Throws ConversionError with
// "Cannot create file ..." on any other failure, leaving nothing under path.
bool WriteNewFile(const std::string &path, const std::vector<std::uint8_t> &bytes);

} // namespace kv::converter
