// Any bytes given to the JPEG header reader give a size or an ImageError, never a crash.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "ImageError.h"
#include "JpegFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string &path = kv::fuzz::WriteScratch(data, size, ".jpg");
    try {
        kv::imaging::ReadJpegSize(path);
    } catch (const kv::imaging::ImageError &) {
    }
    return 0;
}
