#pragma once

#include <string>

#include "LoadReport.h"
#include "ScreenshotRow.h"

namespace kv::converter {

// The extension rule, by the extension of the path's file name in any letter case. ".bmp" goes
// to the BMP reader, everything else to the JPEG reader, when measuring and when converting.
bool IsBitmapFileName(const std::string &path);
// ".bmp", ".jpg" and ".jpeg": the files the window takes from a drop.
bool IsScreenshotFileName(const std::string &path);

// The pixel size of a screenshot, from the file's headers where they tell it (a compressed BMP
// is loaded). Throws kv::imaging::ImageError when the file cannot be read or is not a picture.
imaging::ImageSize MeasureImageFile(const std::string &path);

// Measures one file and marks it for the edition. Throws kv::imaging::ImageError when the file
// cannot be read or is not a picture.
ScreenshotRow MeasureScreenshot(const std::string &path, const std::string &selectedGame);

} // namespace kv::converter
