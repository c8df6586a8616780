#include "FilePath.h"

#include <cerrno>
#include <cstring>
#include <string_view>

#ifdef _WIN32
#include <cwchar>

#include <io.h>
#include <share.h>
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

bool IsDeviceName(const std::string &fileName)
{
    // The system looks at the name up to its first dot, less trailing blanks.
    std::string stem = fileName.substr(0, fileName.find('.'));
    while (!stem.empty() && stem.back() == ' ') {
        stem.pop_back();
    }
    std::string upper = stem;
    for (char &c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = char(c - 'a' + 'A');
        }
    }
    for (const char *device : {"CON", "PRN", "AUX", "NUL"}) {
        if (upper == device) {
            return true;
        }
    }
    if (upper.starts_with("COM") || upper.starts_with("LPT")) {
        const std::string_view digit = std::string_view(upper).substr(3);
        // "1" to "9", or the superscript one, two and three in UTF-8.
        return (digit.size() == 1 && digit[0] >= '1' && digit[0] <= '9') || digit == "\xC2\xB9" ||
               digit == "\xC2\xB2" || digit == "\xC2\xB3";
    }
    return false;
}

#ifdef _WIN32

namespace {

constexpr std::wstring_view kLongPathPrefix = L"\\\\?\\";
constexpr std::wstring_view kLongUncPrefix = L"\\\\?\\UNC\\";
// Room left under MAX_PATH for a file name the callers add to a folder (".Screenshot7.jpg...").
constexpr std::size_t kClassicPathLimit = 260 - 12;

// True when a name in the path ends in a dot or a blank (and is not "." or ".."), which the
// system drops from some names of a path and keeps in others.
bool HasOddName(std::wstring_view text)
{
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of(L"\\/", start);
        if (end == std::wstring_view::npos) {
            end = text.size();
        }
        const std::wstring_view name = text.substr(start, end - start);
        if (!name.empty() && (name.back() == L'.' || name.back() == L' ') &&
            name.find_first_not_of(L'.') != std::wstring_view::npos) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

// The path as the system resolves it (current folder and drive, "." and "..", separators), with
// every name cut before its trailing dots and blanks, as the shell and folder creation do: so
// "shots." or "shots " is the folder "shots" at every length of the path.
std::wstring FullPath(const std::wstring &text)
{
    std::wstring full(text.size() + MAX_PATH, L'\0');
    DWORD length = GetFullPathNameW(text.c_str(), DWORD(full.size()), full.data(), nullptr);
    if (length >= full.size()) {
        full.resize(length);
        length = GetFullPathNameW(text.c_str(), DWORD(full.size()), full.data(), nullptr);
    }
    if (length == 0 || length >= full.size()) {
        return text;
    }
    full.resize(length);
    std::wstring clean;
    std::size_t start = 0;
    while (start <= full.size()) {
        std::size_t end = full.find(L'\\', start);
        if (end == std::wstring::npos) {
            end = full.size();
        }
        std::wstring name = full.substr(start, end - start);
        if (name.find_first_not_of(L'.') != std::wstring::npos) {
            while (!name.empty() && (name.back() == L'.' || name.back() == L' ')) {
                name.pop_back();
            }
        }
        clean += name;
        if (end < full.size()) {
            clean += L'\\';
        }
        start = end + 1;
    }
    return clean;
}

} // namespace

fs::path PathFromUtf8(const std::string &path)
{
    fs::path result(std::u8string(path.begin(), path.end()));
    const std::wstring &text = result.native();
    if (text.starts_with(kLongPathPrefix) || text.starts_with(L"\\\\.\\")) {
        return result;
    }
    const bool odd = HasOddName(text);
    if (!odd && text.size() < kClassicPathLimit && result.is_absolute()) {
        return result;
    }
    // A relative path is long once it is made absolute, which the system does first.
    const std::wstring full = FullPath(text);
    if (full.size() < kClassicPathLimit) {
        return odd ? fs::path(full) : result;
    }
    // The prefix turns off the system's own clean-up of the path, which FullPath did.
    if (full.starts_with(L"\\\\")) {
        return fs::path(std::wstring(kLongUncPrefix) + full.substr(2));
    }
    return fs::path(std::wstring(kLongPathPrefix) + full);
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
    // Others may read the screenshot meanwhile, but not write it (the game writing the next one
    // into the same name): a picture is never read half old, half new.
    FilePtr file(_wfsopen(native.c_str(), L"rb", _SH_DENYWR));
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
