#pragma once

#include <cstdint>
#include <optional>
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

// Creates folder with every missing parent; failures are left to the write that follows.
void CreateFolders(const std::string &folder);

// Deletes a file. Returns 0, or the C library's error number (errno) when the file stays.
int RemoveFile(const std::string &path);

// Writes bytes as a new file under path without ever replacing one: the bytes go to a temporary
// file in the same folder (".NAME.XXXXXX", its name cut where that would pass the system's limit
// for a name) and only then appear under the final name, on every file system; with flush they
// reach the disk first (worth its 10 ms or so only where the file must outlive a crash, as
// before an original is deleted). Returns false (writing nothing) when a file of that name
// exists. Throws ConversionError with "Cannot create file ..." on any other failure, leaving
// nothing under path, except when only flushing the new folder entry failed: the whole file then
// stays.
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

// Test-only: the next RemoveFile fails with error (say EACCES) and deletes nothing; 0 withdraws a
// fault not yet used.
void FailNextRemoveForTesting(int error);

// Test-only: WriteNewFile behaves as on a file system without hard links (FAT, exFAT, some
// network shares) and, with alsoWithoutExclusiveRename, without a rename that refuses to replace
// a file either. Both false restores the system's own behaviour.
void WithoutHardLinksForTesting(bool withoutLinks, bool alsoWithoutExclusiveRename = false);

} // namespace kv::converter
