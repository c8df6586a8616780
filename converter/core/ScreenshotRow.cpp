#include "ScreenshotRow.h"

#include <algorithm>
#include <cstring>

#include "BitmapFile.h"
#include "ConverterTexts.h"
#include "FilePath.h"
#include "JpegFile.h"
#include "ResolutionSupport.h"

namespace kv::converter {

bool IsBitmapFileName(const std::string &path)
{
    std::string extension = imaging::Utf8FromPath(imaging::PathFromUtf8(path).extension());
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return extension == ".bmp";
}

imaging::ImageSize MeasureImageFile(const std::string &path)
{
    if (IsBitmapFileName(path)) {
        const imaging::WorkingBitmap image = imaging::LoadBitmapFile(path);
        return {image.Width(), image.Height()};
    }
    return imaging::ReadJpegSize(path);
}

ScreenshotRow MeasureScreenshot(const std::string &path, const std::string &selectedGame)
{
    const imaging::ImageSize size = MeasureImageFile(path);
    ScreenshotRow row;
    row.caption = imaging::Utf8FromPath(imaging::PathFromUtf8(path).filename());
    row.resolution = ResolutionLabel(size.width, size.height);
    row.supported =
        ResolutionSupported(selectedGame, size.width, size.height) ? texts::kYes : texts::kNo;
    row.path = path;
    return row;
}

void SortByCaption(std::vector<ScreenshotRow> &rows)
{
    std::stable_sort(rows.begin(), rows.end(), [](const ScreenshotRow &a, const ScreenshotRow &b) {
        return std::strcoll(a.caption.c_str(), b.caption.c_str()) < 0;
    });
}

} // namespace kv::converter
