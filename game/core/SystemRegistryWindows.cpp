#include "GameLocator.h"

#include <string_view>

#include <windows.h>

namespace kv::game {

namespace {

std::wstring Wide(std::string_view text)
{
    std::wstring wide(text.size(), L'\0'); // UTF-16 needs no more units than UTF-8 bytes
    wide.resize(std::size_t(MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()),
                                                wide.data(), int(wide.size()))));
    return wide;
}

std::string Utf8(std::wstring_view text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string utf8(std::size_t(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), utf8.data(), size, nullptr,
                        nullptr);
    return utf8;
}

// The text of a string value of key in one registry view; nothing when it is missing or no text.
std::optional<std::string> TextIn(HKEY hive, const std::wstring &key, const std::wstring &name,
                                  REGSAM view)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExW(hive, key.c_str(), 0, KEY_QUERY_VALUE | view, &opened) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    // Without RRF_NOEXPAND a REG_EXPAND_SZ value comes back expanded, and passes as REG_SZ (asking
    // for RRF_RT_REG_EXPAND_SZ too would make the call fail).
    constexpr DWORD kText = RRF_RT_REG_SZ;
    DWORD size = 0;
    std::optional<std::string> text;
    if (RegGetValueW(opened, nullptr, name.c_str(), kText, nullptr, nullptr, &size) ==
        ERROR_SUCCESS) {
        std::wstring wide(size / sizeof(wchar_t) + 1, L'\0');
        size = DWORD(wide.size() * sizeof(wchar_t));
        if (RegGetValueW(opened, nullptr, name.c_str(), kText, nullptr, wide.data(), &size) ==
            ERROR_SUCCESS) {
            wide.resize(std::wstring_view(wide.c_str()).size());
            text = Utf8(wide);
        }
    }
    RegCloseKey(opened);
    return text;
}

} // namespace

std::optional<std::string> SystemRegistryValue(const std::string &key, const std::string &value)
{
    const std::size_t hiveEnd = key.find('\\');
    const std::string_view hiveName = std::string_view(key).substr(0, hiveEnd);
    HKEY hive = nullptr;
    if (hiveName == "HKLM") {
        hive = HKEY_LOCAL_MACHINE;
    } else if (hiveName == "HKCU") {
        hive = HKEY_CURRENT_USER;
    }
    if (hive == nullptr || hiveEnd == std::string::npos) {
        return std::nullopt;
    }
    const std::wstring subkey = Wide(std::string_view(key).substr(hiveEnd + 1));
    const std::wstring name = Wide(value);
    // The 64-bit view first, then the 32-bit one (WOW6432Node), where a 32-bit installer's keys
    // of HKLM\SOFTWARE lie on 64-bit Windows.
    for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        if (auto text = TextIn(hive, subkey, name, view)) {
            return text;
        }
    }
    return std::nullopt;
}

} // namespace kv::game
