// Any bytes given to the JPEG decoder give an image or an ImageError, never a crash.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "ImageError.h"
#include "JpegFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string &path = kv::fuzz::WriteScratch(data, size, ".jpg");
    try {
        const kv::imaging::WorkingBitmap image = kv::imaging::LoadJpegFile(path);
        if (!image.Empty()) {
            volatile std::uint8_t last = image.Row(image.Height() - 1)[image.RowBytes() - 1];
            (void)last;
        }
    } catch (const kv::imaging::ImageError &) {
    }
    return 0;
}
