#include "FilePath.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <cwchar>
#include <string_view>

#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "ImageError.h"
#include "ImagingTexts.h"

namespace kv::imaging {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void ThrowCannotOpen(const std::string &path, const char *reason)
{
    throw ImageError(texts::CannotOpenFile(path, reason));
}

} // namespace

#ifdef _WIN32

namespace {

constexpr std::wstring_view kLongPathPrefix = L"\\\\?\\";
constexpr std::wstring_view kLongUncPrefix = L"\\\\?\\UNC\\";
// Room left under MAX_PATH for a file name the callers add to a folder (".Screenshot7.jpg...").
constexpr std::size_t kClassicPathLimit = 260 - 12;

} // namespace

fs::path PathFromUtf8(const std::string &path)
{
    fs::path result(std::u8string(path.begin(), path.end()));
    const std::wstring &text = result.native();
    if (text.size() < kClassicPathLimit || text.starts_with(kLongPathPrefix) ||
        !result.is_absolute()) {
        return result;
    }
    // The prefix turns off the system's own clean-up of the path, so it is done here: one kind of
    // separator, no "." or "..".
    std::wstring clean = result.lexically_normal().make_preferred().native();
    if (clean.starts_with(L"\\\\")) {
        return fs::path(std::wstring(kLongUncPrefix) + clean.substr(2));
    }
    return fs::path(std::wstring(kLongPathPrefix) + clean);
}

std::string Utf8FromPath(const fs::path &path)
{
    std::wstring text = path.native();
    if (text.starts_with(kLongUncPrefix)) {
        text = L"\\\\" + text.substr(kLongUncPrefix.size());
    } else if (text.starts_with(kLongPathPrefix)) {
        text = text.substr(kLongPathPrefix.size());
    }
    const std::u8string utf8 = fs::path(text).u8string();
    return std::string(utf8.begin(), utf8.end());
}

FilePtr OpenFile(const std::string &path, const char *mode)
{
    std::wstring wideMode;
    for (const char *c = mode; *c; ++c) {
        wideMode += wchar_t(*c);
    }
    return FilePtr(_wfopen(PathFromUtf8(path).c_str(), wideMode.c_str()));
}

OpenedFile OpenFileForReading(const std::string &path)
{
    if (path.empty()) {
        ThrowCannotOpen(path, texts::kNotAFile);
    }
    const fs::path native = PathFromUtf8(path);
    std::error_code unknown;
    const fs::file_status status = fs::status(native, unknown);
    if (!unknown && fs::exists(status) && !fs::is_regular_file(status)) {
        ThrowCannotOpen(path, texts::kNotAFile); // a folder
    }
    FilePtr file(_wfopen(native.c_str(), L"rb"));
    if (!file) {
        ThrowCannotOpen(path, std::strerror(errno));
    }
    // Device names (NUL, CON, COM1) and pipes open like files; only a file on a disk is one.
    const int fd = _fileno(file.get());
    if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(fd))) != FILE_TYPE_DISK) {
        ThrowCannotOpen(path, texts::kNotAFile);
    }
    struct _stat64 info;
    if (_fstat64(fd, &info) != 0) {
        ThrowCannotOpen(path, std::strerror(errno));
    }
    return {std::move(file), std::uint64_t(info.st_size)};
}

#else

fs::path PathFromUtf8(const std::string &path)
{
    return fs::path(path);
}

std::string Utf8FromPath(const fs::path &path)
{
    return path.string();
}

FilePtr OpenFile(const std::string &path, const char *mode)
{
    return FilePtr(std::fopen(path.c_str(), mode));
}

OpenedFile OpenFileForReading(const std::string &path)
{
    if (path.empty()) {
        ThrowCannotOpen(path, texts::kNotAFile);
    }
    // Without O_NONBLOCK opening a FIFO would wait for a writer; the type is checked on what was
    // opened, so nothing can be swapped in between.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        ThrowCannotOpen(path, std::strerror(errno));
    }
    struct stat info = {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        ThrowCannotOpen(path, std::strerror(error));
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        ThrowCannotOpen(path, texts::kNotAFile);
    }
    // Reads of a regular file never wait anyway; the flag only mattered for the open.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE *file = ::fdopen(fd, "rb");
    if (!file) {
        const int error = errno;
        ::close(fd);
        ThrowCannotOpen(path, std::strerror(error));
    }
    return {FilePtr(file), std::uint64_t(info.st_size)};
}

#endif

} // namespace kv::imaging
