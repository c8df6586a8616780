#pragma once

#include <cstdint>
#include <vector>

#include "WorkingBitmap.h"

namespace kv::imaging {

// Numbered as callers pass them.
enum FilterKernel : int
{
    fkBox = 0,
    fkTriangle = 1,
    fkHermite = 2,
    fkBell = 3,
    fkSpline = 4,
    fkLanczos3 = 5,
    fkMitchell = 6,
};

// One weighted source pixel: weight in 1/256 (never 0 in a stored tap), index after reflection.
struct FilterTap
{
    std::int32_t weight = 0;
    std::int32_t index = 0;
};

// The taps of one output column (horizontal pass) or row (vertical pass), in increasing source
// position before reflection.
struct TapList
{
    std::vector<FilterTap> taps;
};

// K(x) of a kernel, float32 in and out, and its default radius (its support).
float EvaluateKernel(FilterKernel kernel, float x);
float DefaultRadius(FilterKernel kernel);

// One tap list per output position 0..count-1 for scale factor scale, source length length and
// radius radius. Every index lies in 0..length-1.
std::vector<TapList> BuildTapLists(std::int32_t count, float scale, std::int32_t length,
                                   float radius, FilterKernel kernel);

// One pixel from one tap list over three line buffers of channel values 0..255: the weighted
// sums divided by the total weight (truncating), or shifted right by 8 as unsigned when the total
// is 0, each clamped to a byte.
PaletteEntry ApplyTaps(const TapList &list, const std::int32_t *red, const std::int32_t *green,
                       const std::int32_t *blue);

// Resamples source into target at newWidth x newHeight; the target becomes 32 bits per pixel.
// radius 0 means the kernel's default. An empty source leaves both images unchanged. The source
// may be the target: its pixels are then moved, not copied. Out of memory throws std::bad_alloc.
void Resample(std::int32_t newWidth, std::int32_t newHeight, FilterKernel filter, float radius,
              const WorkingBitmap &source, WorkingBitmap &target);

// The in-place form.
void Resample(std::int32_t newWidth, std::int32_t newHeight, FilterKernel filter, float radius,
              WorkingBitmap &image);

// True when resampling a width x height image to its own size leaves every colour byte as it
// is: every tap list of both passes is the single tap (256, i), as for fkLanczos3. A caller that
// reads only the colours may then skip the resampling.
bool ResampleKeepsColours(std::int32_t width, std::int32_t height, FilterKernel filter,
                          float radius);

// The same result computed pixel by pixel with ApplyTaps, as plainly as it is defined: the
// reference the faster paths of Resample are tested against, and their fallback.
void ResampleReference(std::int32_t newWidth, std::int32_t newHeight, FilterKernel filter,
                       float radius, const WorkingBitmap &source, WorkingBitmap &target);

} // namespace kv::imaging
