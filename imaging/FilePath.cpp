#include "FilePath.h"

#ifdef _WIN32
#include <cerrno>
#include <cwchar>
#include <string_view>
#endif

namespace kv::imaging {

namespace fs = std::filesystem;

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

#endif

} // namespace kv::imaging
