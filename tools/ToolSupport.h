#pragma once

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>
#include <string>

#include "BitmapFile.h"
#include "JpegFile.h"

// Small helpers shared by the command-line tools.
namespace kv::tools {

inline bool IsBmpName(std::string path)
{
    std::transform(path.begin(), path.end(), path.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return path.size() >= 4 && path.compare(path.size() - 4, 4, ".bmp") == 0;
}

inline imaging::WorkingBitmap LoadByExtension(const std::string &path)
{
    return IsBmpName(path) ? imaging::LoadBitmapFile(path) : imaging::LoadJpegFile(path);
}

inline std::optional<long> ParseNumber(const std::string &text)
{
    long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

} // namespace kv::tools
