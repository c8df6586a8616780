#pragma once

#include <cstdint>

namespace kv::imaging {

// A picture's size in pixels.
struct ImageSize
{
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// What loading a picture file found out besides its pixels, for callers that must know whether
// the file held the whole picture before they act on it (say, delete it).
struct LoadReport
{
    // The picture's size as the file gives it, before any crop.
    std::int32_t width = 0;
    std::int32_t height = 0;
    // False when the file ended before its picture did (cut short, or still being written). The
    // picture still loads at its full size, the missing part filled: grey for a JPEG, palette
    // index 0 for a run-length-compressed BMP.
    bool whole = true;
};

} // namespace kv::imaging
