#pragma once

#include <charconv>
#include <optional>
#include <string>

#include "BitmapFile.h"
#include "JpegFile.h"
#include "ScreenshotFiles.h"
#include "ScreenshotRow.h"

// Small helpers shared by the command-line tools.
namespace kv::tools {

// By the screenshots' extension rule: ".bmp" to the BMP reader, anything else to the JPEG one.
inline imaging::WorkingBitmap LoadByExtension(const std::string &path)
{
    return converter::IsBitmapFileName(path) ? imaging::LoadBitmapFile(path)
                                             : imaging::LoadJpegFile(path);
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
