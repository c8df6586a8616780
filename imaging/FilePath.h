#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace kv::imaging {

// Paths travel through the programs as UTF-8 text. On Windows the system's narrow functions
// would read them in the ANSI code page, so a screenshot named in Cyrillic or Chinese could not
// be opened: every file is reached through these, which use the wide-character API there.

// The path named by UTF-8 text. On Windows an absolute path too long for the classic limit of
// 260 characters gets the "\\?\" prefix that lifts it.
std::filesystem::path PathFromUtf8(const std::string &path);

// The UTF-8 text of a path (without a "\\?\" prefix that PathFromUtf8 added).
std::string Utf8FromPath(const std::filesystem::path &path);

struct FileCloser
{
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// True for a file name that Windows takes for a device whatever the folder: CON, PRN, AUX, NUL,
// COM1 to COM9 and LPT1 to LPT9 (also with the superscript digits), in any letter case, alone or
// with any extension, blanks and dots after them. Checked on every system, as names made here
// may end up on Windows.
bool IsDeviceName(const std::string &fileName);

// std::fopen for a UTF-8 path; nullptr with errno set on failure.
FilePtr OpenFile(const std::string &path, const char *mode);

// An open file and its size in bytes when it was opened.
struct OpenedFile
{
    FilePtr file;
    std::uint64_t size = 0;
};

// Opens an existing regular file for reading in binary mode. Anything else (a folder, a FIFO, a
// device, the empty path) is refused at once, never waited on. Throws ImageError with
// "Cannot open file ..." and the system's reason, or texts::kNotAFile.
OpenedFile OpenFileForReading(const std::string &path);

} // namespace kv::imaging
