#include "ScreenshotFiles.h"

#include <algorithm>
#include <cctype>

#include "BitmapFile.h"
#include "FilePath.h"
#include "JpegFile.h"
#include "ResolutionSupport.h"

namespace kv::converter {

namespace {

std::string LowerExtension(const std::string &path)
{
    std::string extension = imaging::Utf8FromPath(imaging::PathFromUtf8(path).extension());
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return extension;
}

} // namespace

bool IsBitmapFileName(const std::string &path)
{
    return LowerExtension(path) == ".bmp";
}

bool IsScreenshotFileName(const std::string &path)
{
    const std::string extension = LowerExtension(path);
    return extension == ".bmp" || extension == ".jpg" || extension == ".jpeg";
}

imaging::ImageSize MeasureImageFile(const std::string &path)
{
    if (IsBitmapFileName(path)) {
        return imaging::MeasureBitmapFile(path);
    }
    return imaging::ReadJpegSize(path);
}

ScreenshotRow MeasureScreenshot(const std::string &path, const std::string &selectedGame)
{
    const imaging::ImageSize size = MeasureImageFile(path);
    ScreenshotRow row;
    row.caption = imaging::Utf8FromPath(imaging::PathFromUtf8(path).filename());
    row.resolution = ResolutionLabel(size.width, size.height);
    row.supported = ResolutionSupported(selectedGame, size.width, size.height);
    row.path = path;
    return row;
}

} // namespace kv::converter
