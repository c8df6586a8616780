#include "BaseDirectoryLine.h"

#include <fstream>
#include <sstream>

#include "GameLayout.h"

namespace kv::launcher {

namespace {

bool IsUtf8Continuation(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0u) == 0x80u;
}

} // namespace

std::optional<std::string> ReadTextFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    // An empty file, or a folder that opens but does not read, gives empty text: no line in it.
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::optional<std::string> FindBaseDirectoryLine(std::string_view text)
{
    const char separator = text.find('\n') != std::string_view::npos ? '\n' : '\r';
    const std::string_view prefix = layout::kBaseDirectoryPrefix;
    std::optional<std::string_view> match;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view line = text.substr(start, end - start);
        if (line.starts_with(prefix)) {
            match = line;
        }
        start = end + 1;
    }
    if (!match) {
        return std::nullopt;
    }
    return std::string(*match);
}

std::optional<std::string> ReadBaseDirectoryLine(const std::string &path)
{
    const std::optional<std::string> text = ReadTextFile(path);
    if (!text) {
        return std::nullopt;
    }
    return FindBaseDirectoryLine(*text);
}

std::string BaseDirectoryOf(const std::string &line)
{
    // The prefix is ASCII, so its 22 characters are 22 bytes.
    if (line.size() <= layout::kBaseDirectoryPrefixLength) {
        return {};
    }
    return line.substr(layout::kBaseDirectoryPrefixLength);
}

std::string GameLocationOf(const std::string &baseDirectory)
{
    // Count characters, not bytes, so that a non-ASCII name is never cut inside a character.
    std::size_t end = baseDirectory.size();
    for (std::size_t dropped = 0; dropped < layout::kSystemFolderLength; ++dropped) {
        if (end == 0) {
            return {};
        }
        --end;
        while (end > 0 && IsUtf8Continuation(baseDirectory[end])) {
            --end;
        }
    }
    return baseDirectory.substr(0, end);
}

} // namespace kv::launcher
