#include "CaptionOrder.h"

#include <algorithm>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

namespace kv::converter {

namespace {

#ifdef _WIN32
std::wstring Wide(const std::string &text)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(std::size_t(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), length);
    return wide;
}

// The comparison the window's list used on Windows: the user's locale, case-sensitive.
int CollateCaptions(const std::string &a, const std::string &b)
{
    const std::wstring wideA = Wide(a);
    const std::wstring wideB = Wide(b);
    const int result = CompareStringEx(LOCALE_NAME_USER_DEFAULT, 0, wideA.data(), int(wideA.size()),
                                       wideB.data(), int(wideB.size()), nullptr, nullptr, 0);
    return result == 0 ? 0 : result - CSTR_EQUAL;
}
#else
int CollateCaptions(const std::string &a, const std::string &b)
{
    return std::strcoll(a.c_str(), b.c_str());
}
#endif

} // namespace

int CompareCaptions(const std::string &a, const std::string &b)
{
    const int order = CollateCaptions(a, b);
    return order != 0 ? order : a.compare(b);
}

void SortByCaption(std::vector<ScreenshotRow> &rows)
{
    std::stable_sort(rows.begin(), rows.end(), [](const ScreenshotRow &a, const ScreenshotRow &b) {
        return CompareCaptions(a.caption, b.caption) < 0;
    });
}

} // namespace kv::converter
