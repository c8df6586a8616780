#include "ScreenshotRow.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "BitmapFile.h"
#include "ConverterTexts.h"
#include "JpegFile.h"
#include "ResolutionSupport.h"

namespace kv::converter {

bool IsBitmapFileName(const std::string &path)
{
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return extension == ".bmp";
}

ScreenshotRow MeasureScreenshot(const std::string &path, const std::string &selectedGame)
{
    std::int64_t width = 0;
    std::int64_t height = 0;
    if (IsBitmapFileName(path)) {
        const imaging::WorkingBitmap image = imaging::LoadBitmapFile(path);
        width = image.Width();
        height = image.Height();
    } else {
        const imaging::ImageSize size = imaging::ReadJpegSize(path);
        width = size.width;
        height = size.height;
    }
    ScreenshotRow row;
    row.caption = std::filesystem::path(path).filename().string();
    row.resolution = ResolutionLabel(width, height);
    row.supported = ResolutionSupported(selectedGame, width, height) ? texts::kYes : texts::kNo;
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
