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

// True for a character that ends a folder's name in a path: on Windows "/" as well as "\".
constexpr bool IsPathSeparator(char c)
{
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

// Paths are UTF-8 text; on Windows they reach the system through its wide-character API.

// True when path names an existing regular file.
bool FileExists(const std::string &path);

// Creates folder with every missing parent; failures are left to the write that follows.
void CreateFolders(const std::string &folder);

// Deletes a file; a file that cannot be deleted stays, and the result says so.
bool RemoveFile(const std::string &path);

// Writes bytes as a new file under path without ever replacing one: the bytes go to a temporary
// file in the same folder and only then appear under the final name; with flush they reach the
// disk first (worth its 10 ms or so only where the file must outlive a crash, as before an
// original is deleted). Returns false (writing nothing) when a file of that name exists. Throws
// ConversionError with "Cannot create file ..." on any other failure, leaving nothing under path,
// except when only flushing the new folder entry failed: the whole file then stays.
bool WriteNewFile(const std::string &path, const std::vector<std::uint8_t> &bytes,
                  bool flush = true);

// Flushes a written file and its folder entry to the disk. Throws ConversionError with
// "Cannot create file ..." when the disk reports a failure, since the file may then not survive
// a crash.
void FlushToDisk(const std::string &path);

// Test-only fault injection: the next file write of WriteNewFile stores half of its bytes and
// then fails with error (say ENOSPC or EIO), as a disk that fills up or breaks mid-file would;
// with folderFlush the write succeeds and flushing the folder entry fails instead. 0 withdraws
// a fault not yet used.
void FailNextWriteForTesting(int error, bool folderFlush = false);

} // namespace kv::converter
