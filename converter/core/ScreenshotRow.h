#pragma once

#include <string>
#include <vector>

#include "JpegFile.h"

namespace kv::converter {

// One row of the screenshot list. Complete once measured; never changed afterwards, so the
// supported verdict keeps the edition that was selected when the row was added.
struct ScreenshotRow
{
    std::string caption;    // file name without folder
    std::string resolution; // resolution label, "1024 x 768"
    std::string supported;  // "Yes" or "No"
    std::string path;       // full path as chosen
};

// One row of the result list: output file name, "Saved", full output path.
struct ResultRow
{
    std::string fileName;
    std::string result;
    std::string path;
};

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

// The order of the screenshot list: negative when caption a comes before b, 0 only for equal
// texts. Locale-aware and case-sensitive (the system's user locale on Windows, LC_COLLATE
// elsewhere); texts the locale ranks alike are ordered byte by byte.
int CompareCaptions(const std::string &a, const std::string &b);

// Orders rows by CompareCaptions, keeping rows of equal captions in the order they were added.
void SortByCaption(std::vector<ScreenshotRow> &rows);

} // namespace kv::converter
