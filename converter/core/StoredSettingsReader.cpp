#include "StoredSettingsReader.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <stdexcept>

#include "PortableSettings.h"

namespace kv::converter {

namespace {

bool IsKeyCharacter(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

// Control characters end or change a value's meaning in the store's format.
bool IsControl(unsigned char c)
{
    return c < 0x20 || c == 0x7F;
}

// Well-formed UTF-8 (the store's reader would put U+FFFD for anything else).
bool IsUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t point = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
            point = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            point = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            point = c & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            point = (point << 6) | (next & 0x3F);
        }
        const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (point < least[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

// A value as the store writes it: text without commas, semicolons or blanks at its ends, or any
// text in quotes; in both only \" and \\ escaped.
std::optional<std::string> PlainValue(std::string_view raw)
{
    std::string_view inner = raw;
    if (raw.size() >= 2 && raw.front() == '"' && raw.back() == '"') {
        inner = raw.substr(1, raw.size() - 2);
    } else if (raw.find_first_of(",;") != std::string_view::npos ||
               (!raw.empty() && (raw.front() == ' ' || raw.back() == ' '))) {
        return std::nullopt;
    }
    std::string value;
    for (std::size_t i = 0; i < inner.size(); ++i) {
        const char c = inner[i];
        if (IsControl(static_cast<unsigned char>(c)) || c == '"') {
            return std::nullopt;
        }
        if (c == '\\') {
            if (i + 1 == inner.size() || (inner[i + 1] != '"' && inner[i + 1] != '\\')) {
                return std::nullopt;
            }
            ++i;
        }
        value += inner[i];
    }
    if (!IsUtf8(value)) {
        return std::nullopt;
    }
    return PlainStoredText(std::move(value));
}

} // namespace

std::optional<std::string> PlainStoredText(std::string text)
{
    // A leading "@" marks a typed value; the store writes a text's own "@" twice.
    if (!text.empty() && text.front() == '@') {
        if (text.size() < 2 || text[1] != '@') {
            return std::nullopt;
        }
        text.erase(0, 1);
    }
    return text;
}

std::string LowerCaseName(std::string name)
{
    for (char &c : name) {
        c = char(std::tolower(static_cast<unsigned char>(c)));
    }
    return name;
}

std::optional<SettingsLines> ParsePlainSettingsLines(std::string_view text)
{
    SettingsLines lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        // Windows' files end their lines in CR LF.
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty() || line == "[General]") {
            continue;
        }
        std::size_t keyLength = 0;
        while (keyLength < line.size() && IsKeyCharacter(line[keyLength])) {
            ++keyLength;
        }
        if (keyLength == 0 || keyLength == line.size() || line[keyLength] != '=') {
            return std::nullopt; // other groups, comments, spaced or escaped names, a lone CR
        }
        std::optional<std::string> value = PlainValue(line.substr(keyLength + 1));
        if (!value) {
            return std::nullopt;
        }
        lines.emplace_back(std::string(line.substr(0, keyLength)), std::move(*value));
    }
    return lines;
}

std::optional<std::map<std::string, std::string>> ParsePlainSettingsText(std::string_view text)
{
    std::optional<SettingsLines> lines = ParsePlainSettingsLines(text);
    if (!lines) {
        return std::nullopt;
    }
    std::map<std::string, std::string> values;
    for (auto &[name, value] : *lines) {
        // Two names differing in case only: which one the store picks is its own business.
        if (!values.emplace(LowerCaseName(name), std::move(value)).second) {
            return std::nullopt;
        }
    }
    return values;
}

bool HoldsNothingYet(const std::string &path, const std::string &text)
{
    return text.empty() && PortableSettingsFile() == path;
}

std::optional<StoredValues> ReadPlainSettingsFile(const std::string &path)
{
    const std::optional<SettingsFileText> file = ReadSettingsFileText(path);
    if (!file) {
        return std::nullopt;
    }
    if (!file->exists || HoldsNothingYet(path, file->text)) {
        return StoredValues(); // nothing stored yet
    }
    std::optional<std::map<std::string, std::string>> values = ParsePlainSettingsText(file->text);
    // A file without any of the store's values is the store's to judge (it renames it aside).
    if (!values ||
        std::none_of(std::begin(setting::kNames), std::end(setting::kNames),
                     [&](const char *name) { return values->count(LowerCaseName(name)); })) {
        return std::nullopt;
    }
    return StoredValues(std::move(*values));
}

void StoredValues::DeleteKey()
{
    throw std::logic_error("values read without Qt are read-only");
}

std::string StoredValues::Read(const std::string &name) const
{
    const auto found = values_.find(LowerCaseName(name));
    return found == values_.end() ? std::string() : found->second;
}

void StoredValues::Write(const std::string &, const std::string &)
{
    throw std::logic_error("values read without Qt are read-only");
}

} // namespace kv::converter
