// Any bytes given to the JPEG decoder give an image or an ImageError, never a crash; the same
// for the partial decode of a rectangle chosen by the input's last bytes (past the end of the
// image data, where the decoder does not look).
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "ImageError.h"
#include "JpegFile.h"

namespace {

void TouchLastByte(const kv::imaging::WorkingBitmap &image)
{
    if (!image.Empty()) {
        volatile std::uint8_t last = image.Row(image.Height() - 1)[image.RowBytes() - 1];
        (void)last;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string &path = kv::fuzz::WriteScratch(data, size, ".jpg");
    try {
        // Headers within the ceiling but of millions of pixels decode correctly and slowly;
        // they teach the fuzzer nothing the small ones do not.
        const kv::imaging::ImageSize header = kv::imaging::ReadJpegSize(path);
        if (std::int64_t(header.width) * header.height > kv::fuzz::kMaxFuzzJpegPixels) {
            return 0;
        }
        const kv::imaging::WorkingBitmap image = kv::imaging::LoadJpegFile(path);
        TouchLastByte(image);
        if (image.Empty() || size < 4) {
            return 0;
        }
        const std::uint8_t *tail = data + size - 4;
        const std::int32_t x = tail[0] % (image.Width() + 1);
        const std::int32_t y = tail[1] % (image.Height() + 1);
        const std::int32_t width = tail[2] % (image.Width() + 2);
        const std::int32_t height = tail[3] % (image.Height() + 2);
        TouchLastByte(kv::imaging::LoadJpegFileCropped(path, x, y, width, height));
    } catch (const kv::imaging::ImageError &) {
    }
    return 0;
}
