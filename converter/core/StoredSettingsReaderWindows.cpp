#include "StoredSettingsReader.h"

#include <cwchar>

#include <windows.h>

#include "ConverterTexts.h"
#include "FilePath.h"
#include "PlainSettingsStore.h"
#include "PortableSettings.h"

namespace kv::converter {

namespace {

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
    return PortableSettingsFile(); // else the registry holds the settings
}

std::optional<SettingsFileText> ReadSettingsFileText(const std::string &path)
{
    // Without FILE_FLAG_BACKUP_SEMANTICS a folder does not open: the store explains it.
    const HANDLE file = CreateFileW(imaging::PathFromUtf8(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return SettingsFileText{};
        }
        return std::nullopt;
    }
    constexpr LONGLONG kLargestPlainFile = 64 << 10;
    LARGE_INTEGER size;
    std::optional<SettingsFileText> result;
    if (GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &size) &&
        size.QuadPart <= kLargestPlainFile) {
        std::string text(std::size_t(size.QuadPart), '\0');
        DWORD got = 0;
        if (ReadFile(file, text.data(), DWORD(text.size()), &got, nullptr) && got == text.size()) {
            result = SettingsFileText{true, std::move(text)};
        }
    }
    CloseHandle(file);
    return result;
}

std::optional<StoredValues> ReadStoredValuesWithoutQt()
{
    if (const std::optional<std::string> portable = PortableSettingsFile()) {
        return ReadPlainSettingsFile(*portable);
    }
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
    for (const char *name : setting::kConversionNames) {
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

namespace {

std::wstring Wide(const std::string &utf8)
{
    if (utf8.empty()) {
        return {};
    }
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring text(std::size_t(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), text.data(), size);
    return text;
}

// The registry key as the command line changes it: REG_SZ values, as the window's store writes.
class RegistrySettings final : public PlainSettingsStore
{
public:
    explicit RegistrySettings(StoredValues values) : values_(std::move(values)) {}

    std::string Location() const override { return "HKEY_CURRENT_USER\\Software\\KVSC"; }
    bool KeyExists() const override { return values_.KeyExists(); }
    void DeleteKey() override
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KVSC");
        values_ = StoredValues();
    }
    std::string Read(const std::string &name) const override { return values_.Read(name); }
    void Write(const std::string &name, const std::string &value) override
    {
        // The store marks typed values with a leading "@", so a text's own is written twice.
        const std::wstring text =
            Wide(!value.empty() && value.front() == '@' ? "@" + value : value);
        HKEY key = nullptr;
        LONG status = RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\KVSC", 0, nullptr, 0,
                                      KEY_SET_VALUE, nullptr, &key, nullptr);
        if (status == ERROR_SUCCESS) {
            status = RegSetValueExW(key, Wide(name).c_str(), 0, REG_SZ,
                                    reinterpret_cast<const BYTE *>(text.c_str()),
                                    DWORD((text.size() + 1) * sizeof(wchar_t)));
            RegCloseKey(key);
        }
        if (status != ERROR_SUCCESS) {
            throw SettingsError(texts::CannotWriteSetting(name, Location()));
        }
        if (std::optional<StoredValues> stored = ReadStoredValuesWithoutQt()) {
            values_ = std::move(*stored);
        }
    }

private:
    StoredValues values_;
};

} // namespace

std::unique_ptr<PlainSettingsStore> OpenRegistrySettings(std::string &error)
{
    std::optional<StoredValues> values = ReadStoredValuesWithoutQt();
    if (!values) {
        error = texts::SettingsNotPlain("HKEY_CURRENT_USER\\Software\\KVSC");
        return nullptr;
    }
    return std::make_unique<RegistrySettings>(std::move(*values));
}

} // namespace kv::converter
