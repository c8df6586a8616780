// Any bytes given to the BMP reader give an image or an ImageError, never a crash.
#include <cstddef>
#include <cstdint>

#include "BitmapFile.h"
#include "FuzzSupport.h"
#include "ImageError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
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
