// The resampler with sizes, kernel and radius taken from the input (bounded so one run stays
// small): it must never read or write outside its lines, whatever the reach of the filter.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "Resample.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 7) {
        return 0;
    }
    const int sourceWidth = 1 + data[0] % 64;
    const int sourceHeight = 1 + data[1] % 64;
    const int targetWidth = data[2] % 97;
    const int targetHeight = data[3] % 97;
    const auto kernel = kv::imaging::FilterKernel(data[4] % 7);
    // 0 (the kernel's default) or 1/16 steps up to 8.
    const float radius = float(data[5] % 129) / 16.0f;
    const int bits = (data[6] & 1) ? 32 : 24;
    data += 7;
    size -= 7;

    kv::imaging::WorkingBitmap source(sourceWidth, sourceHeight, bits);
    for (int y = 0; y < sourceHeight && size > 0; ++y) {
        const std::size_t n = std::min(size, source.RowBytes());
        std::memcpy(source.Row(y), data, n);
        data += n;
        size -= n;
    }
    kv::imaging::WorkingBitmap target;
    kv::imaging::Resample(targetWidth, targetHeight, kernel, radius, source, target);
    if (!target.Empty()) {
        volatile std::uint8_t last = target.Row(target.Height() - 1)[target.RowBytes() - 1];
        (void)last;
    }
    return 0;
}
