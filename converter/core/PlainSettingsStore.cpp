#include "PlainSettingsStore.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "ConversionError.h"
#include "ConverterTexts.h"
#include "FileOperations.h"
#include "FilePath.h"

namespace kv::converter {

namespace {

#ifdef _WIN32
constexpr const char *kLineEnd = "\r\n"; // as QSettings writes its files there
#else
constexpr const char *kLineEnd = "\n";
#endif

// A value as the store writes it: a leading "@" doubled, \ and " escaped, and quotes where a
// comma, a semicolon or blanks at the ends would change its meaning.
std::string PlainValueText(const std::string &value)
{
    std::string escaped = !value.empty() && value.front() == '@' ? "@" : "";
    for (const char c : value) {
        if (c == '\\' || c == '"') {
            escaped += '\\';
        }
        escaped += c;
    }
    if (value.find_first_of(",;") != std::string::npos ||
        (!value.empty() && (value.front() == ' ' || value.back() == ' '))) {
        return '"' + escaped + '"';
    }
    return escaped;
}

bool HasControlCharacter(const std::string &text)
{
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

} // namespace

std::string PlainSettingsText(const SettingsLines &lines)
{
    std::string text = std::string("[General]") + kLineEnd;
    for (const auto &[name, value] : lines) {
        text += name + "=" + PlainValueText(value) + kLineEnd;
    }
    return text;
}

std::unique_ptr<PlainSettingsStore> PlainSettingsStore::Open(std::string &error)
{
    const std::optional<std::string> path = PlainSettingsFilePath();
#ifdef _WIN32
    if (!path) {
        return OpenRegistrySettings(error);
    }
#else
    if (!path) {
        error = "the settings file cannot be found (HOME or XDG_CONFIG_HOME holds \"..\")";
        return nullptr;
    }
#endif
    std::unique_ptr<PlainSettingsFile> file = PlainSettingsFile::Load(*path);
    if (!file) {
        error = texts::SettingsNotPlain(*path);
    }
    return file;
}

std::unique_ptr<PlainSettingsFile> PlainSettingsFile::Load(const std::string &path)
{
    const std::optional<SettingsFileText> file = ReadSettingsFileText(path);
    if (!file) {
        return nullptr;
    }
    if (!file->exists || HoldsNothingYet(path, file->text)) {
        return std::unique_ptr<PlainSettingsFile>(new PlainSettingsFile(path, false, {}));
    }
    std::optional<SettingsLines> lines = ParsePlainSettingsLines(file->text);
    if (!lines || !ParsePlainSettingsText(file->text)) {
        return nullptr;
    }
    return std::unique_ptr<PlainSettingsFile>(new PlainSettingsFile(path, true, std::move(*lines)));
}

void PlainSettingsFile::DeleteKey()
{
    std::error_code ignored;
    std::filesystem::remove(imaging::PathFromUtf8(path_), ignored);
    lines_.clear();
    exists_ = false;
}

std::string PlainSettingsFile::Read(const std::string &name) const
{
    for (const auto &[stored, value] : lines_) {
        if (LowerCaseName(stored) == LowerCaseName(name)) {
            return value;
        }
    }
    return {};
}

void PlainSettingsFile::Write(const std::string &name, const std::string &value)
{
    if (HasControlCharacter(value)) {
        throw SettingsError(texts::SettingNotPlain(name));
    }
    SettingsLines lines = lines_;
    const auto found = std::find_if(lines.begin(), lines.end(), [&](const auto &line) {
        return LowerCaseName(line.first) == LowerCaseName(name);
    });
    if (found != lines.end()) {
        found->second = value; // under the name as the file spells it
    } else {
        lines.emplace_back(name, value);
    }
    const std::string text = PlainSettingsText(lines);
    try {
        CreateFolders(imaging::Utf8FromPath(imaging::PathFromUtf8(path_).parent_path()));
        ReplaceFileContents(path_, std::vector<std::uint8_t>(text.begin(), text.end()));
    } catch (const ConversionError &e) {
        throw SettingsError(e.what());
    }
    lines_ = std::move(lines);
    exists_ = true;
}

} // namespace kv::converter
