#include "WindowsPaths.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace kv::game {

namespace {

bool EqualIgnoringCase(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

std::string_view Trimmed(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Reads the tokens of Valve's key-value text: quoted strings (with "\\" and "\"" escapes), "{"
// and "}"; "//" starts a comment to the line's end.
class VdfTokens
{
public:
    explicit VdfTokens(std::string_view text) : text_(text) {}

    enum class Kind
    {
        String,
        Open,
        Close,
        End,
    };

    Kind next(std::string &string)
    {
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if (std::isspace(static_cast<unsigned char>(c))) {
                ++at_;
            } else if (text_.substr(at_, 2) == "//") {
                at_ = std::min(text_.find('\n', at_), text_.size());
            } else {
                break;
            }
        }
        if (at_ >= text_.size()) {
            return Kind::End;
        }
        const char c = text_[at_++];
        if (c == '{') {
            return Kind::Open;
        }
        if (c == '}') {
            return Kind::Close;
        }
        if (c != '"') {
            return Kind::End; // not Valve's text: stop here
        }
        string.clear();
        while (at_ < text_.size() && text_[at_] != '"') {
            if (text_[at_] == '\\' && at_ + 1 < text_.size()) {
                ++at_;
            }
            string += text_[at_++];
        }
        ++at_;
        return Kind::String;
    }

private:
    std::string_view text_;
    std::size_t at_ = 0;
};

bool AllDigits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
    });
}

// A string as the Wine registry writes it between quotes: "\\" for "\", "\"" for a quote.
std::optional<std::string> RegistryString(std::string_view quoted)
{
    if (quoted.size() < 2 || quoted.front() != '"') {
        return std::nullopt;
    }
    std::string text;
    for (std::size_t i = 1; i < quoted.size(); ++i) {
        if (quoted[i] == '"') {
            return text;
        }
        if (quoted[i] == '\\' && i + 1 < quoted.size()) {
            ++i;
        }
        text += quoted[i];
    }
    return std::nullopt;
}

} // namespace

bool HasDriveLetter(std::string_view path)
{
    return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

std::optional<std::string> MapThroughPrefix(const std::string &path, const std::string &prefix)
{
    if (!HasDriveLetter(path)) {
        return path;
    }
    const std::string drive{char(std::tolower(static_cast<unsigned char>(path[0]))), ':'};
    std::error_code error;
    const std::filesystem::path target =
        std::filesystem::canonical(std::filesystem::path(prefix) / "dosdevices" / drive, error);
    if (error) {
        return std::nullopt;
    }
    std::string rest = path.substr(2);
    std::replace(rest.begin(), rest.end(), '\\', '/');
    rest.erase(0, rest.find_first_not_of('/') == std::string::npos ? rest.size()
                                                                   : rest.find_first_not_of('/'));
    std::string mapped = target.string();
    if (mapped.back() != '/') {
        mapped += '/';
    }
    return mapped + rest;
}

std::vector<std::string> SteamLibrariesIn(std::string_view vdf)
{
    std::vector<std::string> libraries;
    VdfTokens tokens(vdf);
    int depth = 0;
    std::string key;
    std::string value;
    for (;;) {
        switch (tokens.next(key)) {
        case VdfTokens::Kind::End:
            return libraries;
        case VdfTokens::Kind::Open:
            ++depth; // the outer block, without a key before it
            continue;
        case VdfTokens::Kind::Close:
            if (--depth < 0) {
                return libraries;
            }
            continue;
        case VdfTokens::Kind::String:
            break;
        }
        switch (tokens.next(value)) {
        case VdfTokens::Kind::String:
            // "path" in a library's block; the older form numbers the libraries directly.
            if (EqualIgnoringCase(key, "path") || (depth == 1 && AllDigits(key))) {
                libraries.push_back(value);
            }
            break;
        case VdfTokens::Kind::Open:
            ++depth;
            break;
        default:
            return libraries;
        }
    }
}

std::optional<std::string> WineRegistryValue(std::string_view registryFile, std::string_view key,
                                             std::string_view value)
{
    // Sections read [Software\\Valve\\Steam] 1700000000, values "Name"="text".
    bool inKey = false;
    std::size_t start = 0;
    while (start < registryFile.size()) {
        std::size_t end = registryFile.find('\n', start);
        if (end == std::string_view::npos) {
            end = registryFile.size();
        }
        const std::string_view line = Trimmed(registryFile.substr(start, end - start));
        start = end + 1;
        if (line.starts_with('[')) {
            const std::size_t close = line.find(']');
            std::string section;
            const std::string_view inside = line.substr(
                1, close == std::string_view::npos ? std::string_view::npos : close - 1);
            for (std::size_t i = 0; i < inside.size(); ++i) {
                section += inside[i];
                if (inside[i] == '\\' && i + 1 < inside.size() && inside[i + 1] == '\\') {
                    ++i;
                }
            }
            inKey = EqualIgnoringCase(section, key);
            continue;
        }
        if (!inKey || !line.starts_with('"')) {
            continue;
        }
        const std::size_t equals = line.find("\"=");
        if (equals == std::string_view::npos) {
            continue;
        }
        if (const auto name = RegistryString(line.substr(0, equals + 1));
            name && EqualIgnoringCase(*name, value)) {
            return RegistryString(line.substr(equals + 2));
        }
    }
    return std::nullopt;
}

std::optional<std::string> LutrisPrefixIn(std::string_view gameFile)
{
    std::size_t start = 0;
    while (start < gameFile.size()) {
        std::size_t end = gameFile.find('\n', start);
        if (end == std::string_view::npos) {
            end = gameFile.size();
        }
        const std::string_view line = Trimmed(gameFile.substr(start, end - start));
        start = end + 1;
        if (!line.starts_with("prefix:")) {
            continue;
        }
        std::string_view prefix = Trimmed(line.substr(7));
        if (prefix.size() >= 2 && (prefix.front() == '\'' || prefix.front() == '"') &&
            prefix.back() == prefix.front()) {
            prefix = prefix.substr(1, prefix.size() - 2);
        }
        if (!prefix.empty()) {
            return std::string(prefix);
        }
    }
    return std::nullopt;
}

} // namespace kv::game
