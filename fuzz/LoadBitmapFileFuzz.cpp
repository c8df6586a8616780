// Any bytes given to the BMP reader give an image or an ImageError, never a crash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Run-length files can claim many pixels from few bytes; see kMaxFuzzPixels.
    if (ClaimedPixels(data, size) > kv::fuzz::kMaxFuzzPixels) {
        return 0;
    }
    const std::string &path = kv::fuzz::WriteScratch(data, size, ".bmp");
    try {
        const kv::imaging::WorkingBitmap image = kv::imaging::LoadBitmapFile(path);
        if (!image.Empty()) {
            // Touch the last byte so a short row buffer shows up under the address sanitizer.
            volatile std::uint8_t last = image.Row(image.Height() - 1)[image.RowBytes() - 1];
            (void)last;
        }
    } catch (const kv::imaging::ImageError &) {
    }
    return 0;
}
