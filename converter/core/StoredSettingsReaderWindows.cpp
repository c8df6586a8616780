#include "StoredSettingsReader.h"

#include <cwchar>

#include <windows.h>

namespace kv::converter {

namespace {

// The names the command line's settings come from.
const char *const kReadNames[] = {
    setting::kGame, setting::kSizeNumber,     setting::kSaveName, setting::kSaveFolder,
    setting::kSize, setting::kScoreBoardOnly, setting::kSpectator};

std::optional<std::string> Utf8(const std::wstring &text)
{
    if (text.empty()) {
        return std::string();
    }
    const int size = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(),
                                         int(text.size()), nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return std::nullopt; // a lone surrogate: the store would put U+FFFD there
    }
    std::string result(std::size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), int(text.size()), result.data(),
                        size, nullptr, nullptr);
    return result;
}

// The text of a REG_SZ value up to its first NUL; nothing for values of other types.
std::optional<std::optional<std::wstring>> ReadText(HKEY key, const std::wstring &name)
{
    DWORD type = 0;
    DWORD size = 0;
    LONG status = RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
    if (status == ERROR_FILE_NOT_FOUND) {
        return std::optional<std::wstring>();
    }
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    // Room for a terminating NUL the value may lack.
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    DWORD got = DWORD(text.size() * sizeof(wchar_t));
    status = RegQueryValueExW(key, name.c_str(), nullptr, &type,
                              reinterpret_cast<BYTE *>(text.data()), &got);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    text.resize(std::wcslen(text.c_str()));
    return std::optional<std::wstring>(std::move(text));
}

} // namespace

std::optional<std::string> PlainSettingsFilePath()
{
    return std::nullopt; // the registry holds the settings
}

std::optional<StoredValues> ReadStoredValuesWithoutQt()
{
    HKEY key = nullptr;
    const LONG status =
        RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\KVSC", 0, KEY_QUERY_VALUE, &key);
    if (status == ERROR_FILE_NOT_FOUND) {
        return StoredValues(); // nothing stored yet
    }
    if (status != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::map<std::string, std::string> values;
    bool plain = true;
    for (const char *name : kReadNames) {
        // Value names are case-insensitive in the registry, as in the store.
        const std::string narrow(name);
        const std::optional<std::optional<std::wstring>> text =
            ReadText(key, std::wstring(narrow.begin(), narrow.end()));
        if (!text) {
            plain = false;
            break;
        }
        if (!*text) {
            continue;
        }
        std::optional<std::string> utf8 = Utf8(**text);
        std::optional<std::string> value = utf8 ? PlainStoredText(std::move(*utf8)) : std::nullopt;
        if (!value) {
            plain = false;
            break;
        }
        values.emplace(LowerCaseName(narrow), std::move(*value));
    }
    RegCloseKey(key);
    if (!plain) {
        return std::nullopt;
    }
    return StoredValues(std::move(values));
}

} // namespace kv::converter
