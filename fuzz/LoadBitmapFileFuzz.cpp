// Any bytes given to the BMP reader give an image or an ImageError, never a crash; measuring a
// file gives the full load's verdict, and a crop read from its rows the full load's pixels.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "BitmapFile.h"
#include "FuzzSupport.h"
#include "ImageError.h"

namespace {

std::uint32_t Little(const std::uint8_t *bytes, int count)
{
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = value << 8 | bytes[i];
    }
    return value;
}

// The pixels the header claims (core or longer header), 0 when the file is too short to say.
std::int64_t ClaimedPixels(const std::uint8_t *data, std::size_t size)
{
    if (size < 26) {
        return 0;
    }
    if (Little(data + 14, 4) == 12) {
        return std::int64_t(Little(data + 18, 2)) * Little(data + 20, 2);
    }
    const std::int64_t width = std::int32_t(Little(data + 18, 4));
    const std::int64_t height = std::int32_t(Little(data + 22, 4));
    return std::llabs(width) * std::llabs(height);
}

template <class Load> std::string Verdict(Load load)
{
    try {
        return load();
    } catch (const kv::imaging::ImageError &e) {
        return std::string("error: ") + e.what();
    }
}

std::string Describe(const kv::imaging::WorkingBitmap &image, const kv::imaging::LoadReport &report)
{
    std::string text = std::to_string(image.Width()) + "x" + std::to_string(image.Height()) + "x" +
                       std::to_string(image.BitsPerPixel()) + " " + std::to_string(report.width) +
                       "x" + std::to_string(report.height) + (report.whole ? " whole " : " cut ");
    for (const auto &entry : image.Palette()) {
        text += {char(entry.red), char(entry.green), char(entry.blue)};
    }
    for (const std::uint32_t mask : image.ColourMasks()) {
        text += std::to_string(mask) + ",";
    }
    for (int y = 0; y < image.Height(); ++y) {
        text.append(reinterpret_cast<const char *>(image.Row(y)), image.RowBytes());
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace kv::imaging;
    // Run-length files can claim many pixels from few bytes; see kMaxFuzzPixels.
    if (ClaimedPixels(data, size) > kv::fuzz::kMaxFuzzPixels) {
        return 0;
    }
    const std::string &path = kv::fuzz::WriteScratch(data, size, ".bmp");
    const std::string loaded = Verdict([&] {
        const WorkingBitmap image = LoadBitmapFile(path);
        if (!image.Empty()) {
            // Touch the last byte so a short row buffer shows up under the address sanitizer.
            volatile std::uint8_t last = image.Row(image.Height() - 1)[image.RowBytes() - 1];
            (void)last;
        }
        return std::to_string(image.Width()) + "x" + std::to_string(image.Height());
    });
    const std::string measured = Verdict([&] {
        const ImageSize measuredSize = MeasureBitmapFile(path);
        return std::to_string(measuredSize.width) + "x" + std::to_string(measuredSize.height);
    });
    if (measured != loaded) {
        std::abort();
    }
    // A rectangle from the last bytes, around the picture's size.
    if (size >= 4) {
        const std::int32_t x = std::int8_t(data[size - 4]);
        const std::int32_t y = std::int8_t(data[size - 3]);
        const std::int32_t width = data[size - 2] & 0x7F;
        const std::int32_t height = data[size - 1] & 0x7F;
        const std::string whole = Verdict([&] {
            LoadReport report;
            WorkingBitmap image = LoadBitmapFile(path, &report);
            image.Crop(x, y, width, height);
            return Describe(image, report);
        });
        const std::string cropped = Verdict([&] {
            LoadReport report;
            return Describe(LoadBitmapFileCropped(path, x, y, width, height, &report), report);
        });
        if (cropped != whole) {
            std::abort();
        }
    }
    return 0;
}
