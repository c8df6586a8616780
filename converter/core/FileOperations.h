#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FileSystem.h"

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

// True when anything at all is at path: a file, a folder, a FIFO, a device.
bool PathExists(const std::string &path);

// What tells a file from every other one, and from itself once it was written to: the device
// (volume) and the file's number on it, its size and the time of its last change.
struct FileIdentity
{
    std::uint64_t device = 0;
    std::uint64_t file = 0;
    std::uint64_t size = 0;
    std::int64_t modified = 0; // in the system's own units (nanoseconds, or 100 ns on Windows)

    bool operator==(const FileIdentity &) const = default;
    // The same file, whatever was written to it.
    bool SameFile(const FileIdentity &other) const
    {
        return device == other.device && file == other.file;
    }
};

// The identity of the regular file at path (links followed); nothing when there is none.
std::optional<FileIdentity> IdentityOf(const std::string &path);

// True when another program has the file at path open for writing, where the system makes
// readers wait for it: on Windows, which then refuses the reader's deny-write open (the one a
// screenshot is read with). Never elsewhere.
bool HeldForWriting(const std::string &path);

// Creates folder with every missing parent; failures are left to the write that follows.
void CreateFolders(const std::string &folder);

// Writes bytes as a new file under path without ever replacing one: the bytes go to a temporary
// file in the same folder (".NAME.XXXXXX", its name cut where that would pass the system's limit
// for a name) and only then appear under the final name, on every file system; with flush they
// reach the disk first (worth its 10 ms or so only where the file must outlive a crash, as
// before an original is deleted). Returns false (writing nothing) when a file of that name
// exists. Throws ConversionError with "Cannot create file ..." on any other failure, leaving
// nothing under path, except when only flushing the new folder entry failed: the whole file then
// stays. Every write, flush, link and rename goes through system. With modified (FileIdentity's
// units) the file appears with that modification time.
bool WriteNewFile(const std::string &path, const std::vector<std::uint8_t> &bytes,
                  bool flush = true, FileSystem &system = SystemFileSystem(),
                  std::optional<std::int64_t> modified = std::nullopt);

// Puts bytes under path in one step, replacing what is there: a reader sees the old file or the
// new one, never a part. They go to a temporary file beside it first and reach the disk before
// it returns. Throws ConversionError with "Cannot create file ..." on any failure, leaving the old
// file as it was.
void ReplaceFileContents(const std::string &path, const std::vector<std::uint8_t> &bytes);

// Flushes a written file and its folder entry to the disk. Throws ConversionError with
// "Cannot create file ..." when the disk reports a failure, since the file may then not survive
// a crash. Both flushes go through system.
void FlushToDisk(const std::string &path, FileSystem &system = SystemFileSystem());

} // namespace kv::converter
