#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "Resample.h"

// The vector passes behind Resample. They give the bytes of the plain per-pixel code (kept as
// ResampleReference) and are used only where that is shown to hold.
namespace kv::imaging::passes {

// Instruction sets the passes are written for, checked at run time.
enum class VectorLevel
{
    Sse41,
    Avx2,
};

bool CpuSupports(VectorLevel level);

// The best level this processor runs, or nothing (other processors take the reference code).
std::optional<VectorLevel> BestVectorLevel();

// One tap list as a dense run of weights over the source positions first..first+count-1: taps
// that the edge reflection folded onto one position are added up, which leaves every sum as it
// was. total is the list's total weight, divisor the same as a float (1 when total is 0).
struct TapWindow
{
    std::int32_t first = 0;
    std::int32_t count = 0;
    std::int32_t total = 0;
    float divisor = 1.0f;
    std::size_t offset = 0; // of the window's first weight in PackedTaps::weights
};

// The tap lists of one pass. Each window's weights are padded with zeros to a multiple of 4.
struct PackedTaps
{
    std::vector<TapWindow> windows;
    std::vector<std::int16_t> weights;
    // The same weights for the 256-bit horizontal pass: per 4 taps, the pair of taps 0 and 1
    // four times, then that of taps 2 and 3 four times (a pair is one 32-bit value, its first
    // weight low), so that one load gives a multiply-add its weights. A window's pairs start at
    // 2 * offset.
    std::vector<std::int32_t> spreadPairs;
    bool identity = false; // every list is the single tap (256, i): the pass is a copy
};

// Packs the lists of one pass, or gives nothing when a weight, total or possible sum lies
// outside the range in which the vector arithmetic is exact (see ResamplePasses.cpp).
std::optional<PackedTaps> PackTaps(const std::vector<TapList> &lists, std::int32_t length);

// One row of the horizontal pass. line: the source row as 4-byte pixels (blue, green, red, any),
// followed by at least 4 pixels of room; out: 3 bytes per output pixel (blue, green, red) and at
// least 16 bytes of room beyond.
void HorizontalRow(VectorLevel level, const std::uint8_t *line, const PackedTaps &taps,
                   std::uint8_t *out);

// Output row y of the vertical pass over byte rows of any pixel layout: out[i] is the filtered
// byte i of the rows the window names. Reads exactly bytes bytes of each row.
void VerticalRow(VectorLevel level, const std::uint8_t *const *rows, const PackedTaps &taps,
                 std::int32_t y, std::size_t bytes, std::uint8_t *out);

// 3-byte pixels to 4-byte ones whose fourth byte is 0. Reads exactly 3 * width bytes.
void ExpandRow(VectorLevel level, const std::uint8_t *in, std::uint8_t *out, std::int32_t width);

// The taps of both passes of one resampling, packed for one instruction set.
struct VectorPlan
{
    VectorLevel level;
    PackedTaps horizontal;
    PackedTaps vertical;
};

// The packed taps of one pass from length source pixels to count (radius 0: the kernel's
// default), or nothing where PackTaps refuses them. Working them out takes a sine or two per tap.
std::optional<PackedTaps> PlanPass(std::int32_t count, std::int32_t length, FilterKernel filter,
                                   float radius);

// The plan for resampling a sourceWidth x sourceHeight image to newWidth x newHeight (radius 0:
// the kernel's default), or nothing when PackTaps refuses either pass.
std::optional<VectorPlan> PlanVectorPasses(VectorLevel level, std::int32_t sourceWidth,
                                           std::int32_t sourceHeight, std::int32_t newWidth,
                                           std::int32_t newHeight, FilterKernel filter,
                                           float radius);

// The horizontal pass of one source row of width pixels of 3 or 4 bytes (bitsPerPixel 24 or 32).
// line: room for width + 4 pixels of 4 bytes; out as for HorizontalRow.
void HorizontalSourceRow(const VectorPlan &plan, const std::uint8_t *row, int bitsPerPixel,
                         std::int32_t width, std::uint8_t *line, std::uint8_t *out);

// Resample with the passes of the given level (which the processor must run). Returns false,
// leaving both images as they were, when the tap weights lie outside the exact range.
bool ResampleVectorised(VectorLevel level, std::int32_t newWidth, std::int32_t newHeight,
                        FilterKernel filter, float radius, const WorkingBitmap &source,
                        WorkingBitmap &target);

} // namespace kv::imaging::passes
