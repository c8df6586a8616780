#include "Resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <numbers>
#include <stdexcept>
#include <utility>

#include "ResamplePasses.h"

namespace kv::imaging {

namespace {

// sin(pi t) / (pi t) with u = pi t rounded to float32, as the weights were first computed.
float Sinc(float t)
{
    if (t == 0.0f) {
        return 1.0f;
    }
    const float u = float(std::numbers::pi * double(t));
    return float(std::sin(double(u)) / double(u));
}

std::int32_t ClampToByte(std::int32_t v)
{
    return std::max(0, std::min(255, v));
}

// Folds a source position into 0..length-1. The first fold is the documented one (about pixel 0
// on the left, about the border on the right); further folds only happen for filters reaching a
// whole line length beyond an edge, which would otherwise read outside the line.
std::int32_t Reflect(std::int64_t j, std::int32_t length)
{
    while (j < 0 || j >= length) {
        j = j < 0 ? -j : 2 * std::int64_t(length) - 1 - j;
    }
    return std::int32_t(j);
}

// Scale factor of one axis: end pixels map onto end pixels. A target of 1 from a longer line
// has no such mapping (the factor would be 0); it is treated like a source of 1, as dst / src.
float ScaleFactor(std::int32_t target, std::int32_t source)
{
    if (source == 1 || target == 1) {
        return float(double(target) / double(source));
    }
    return float(double(target - 1) / double(source - 1));
}

// A filter: K(x), float32 in and out, and its support, the radius beyond which K is 0 (the
// default radius).
struct FilterDefinition
{
    FilterKernel kernel;
    float (*function)(float x);
    float support;
};

// Every filter, in the order of FilterKernel.
constexpr FilterDefinition kFilters[] = {
    {fkBox, [](float x) { return (x > -0.5f && x <= 0.5f) ? 1.0f : 0.0f; }, 0.5f},
    {fkTriangle,
     [](float x) {
         const double a = std::fabs(double(x));
         return a < 1.0 ? float(1.0 - a) : 0.0f;
     },
     1.0f},
    {fkHermite,
     [](float x) {
         const double d = x;
         const double a = std::fabs(d);
         return a < 1.0 ? float((2.0 * a - 3.0) * d * d + 1.0) : 0.0f;
     },
     1.0f},
    {fkBell,
     [](float x) {
         const double d = x;
         const double a = std::fabs(d);
         if (a < 0.5) {
             return float(0.75 - d * d);
         }
         return a < 1.5 ? float(0.5 * (a - 1.5) * (a - 1.5)) : 0.0f;
     },
     1.5f},
    {fkSpline,
     [](float x) {
         const double d = x;
         const double a = std::fabs(d);
         if (a < 1.0) {
             return float(0.5 * a * a * a - d * d + 2.0 / 3.0);
         }
         return a < 2.0 ? float((2.0 - a) * (2.0 - a) * (2.0 - a) / 6.0) : 0.0f;
     },
     2.0f},
    {fkLanczos3,
     [](float x) {
         const double a = std::fabs(double(x));
         if (a >= 3.0) {
             return 0.0f;
         }
         const float t = float(a);
         return float(double(Sinc(t)) * double(Sinc(float(a / 3.0))));
     },
     3.0f},
    {fkMitchell,
     [](float x) {
         const double d = x;
         const double a = std::fabs(d);
         if (a < 1.0) {
             return float((7.0 * a * a * a - 12.0 * d * d + 16.0 / 3.0) / 6.0);
         }
         if (a < 2.0) {
             return float((-(7.0 / 3.0) * a * a * a + 12.0 * d * d - 20.0 * a + 32.0 / 3.0) / 6.0);
         }
         return 0.0f;
     },
     2.0f},
};

constexpr bool InFilterKernelOrder()
{
    for (std::size_t i = 0; i < std::size(kFilters); ++i) {
        if (kFilters[i].kernel != FilterKernel(i)) {
            return false;
        }
    }
    return true;
}
static_assert(InFilterKernelOrder(), "kFilters[k] must define filter kernel k");

const FilterDefinition &DefinitionOf(FilterKernel kernel)
{
    if (kernel < 0 || std::size_t(kernel) >= std::size(kFilters)) {
        throw std::invalid_argument("unknown filter kernel");
    }
    return kFilters[kernel];
}

} // namespace

float EvaluateKernel(FilterKernel kernel, float x)
{
    return DefinitionOf(kernel).function(x);
}

float DefaultRadius(FilterKernel kernel)
{
    return DefinitionOf(kernel).support;
}

std::vector<TapList> BuildTapLists(std::int32_t count, float scale, std::int32_t length,
                                   float radius, FilterKernel kernel)
{
    // Beyond the kernel's own support every weight is 0, so a larger radius adds only taps that
    // would be dropped; capping it keeps the tap windows (and memory) bounded.
    const float support = std::min(radius, DefaultRadius(kernel));
    const bool shrinking = scale < 1.0f;
    const float reach = shrinking ? float(double(support) / double(scale)) : support;

    std::vector<TapList> lists(std::size_t(std::max(count, 0)));
    for (std::int32_t i = 0; i < count; ++i) {
        const float pos = float(double(i) / double(scale));
        const std::int64_t left = std::int64_t(std::floor(double(pos) - double(reach)));
        const std::int64_t right = std::int64_t(std::ceil(double(pos) + double(reach)));
        std::vector<FilterTap> &taps = lists[std::size_t(i)].taps;
        taps.reserve(std::size_t(std::max<std::int64_t>(right - left + 1, 0)));
        for (std::int64_t j = left; j <= right; ++j) {
            double weight;
            if (shrinking) {
                const float arg = float((double(pos) - double(j)) * double(scale));
                weight = double(EvaluateKernel(kernel, arg)) * double(scale) * 256.0;
            } else {
                const float arg = float(double(pos) - double(j));
                weight = double(EvaluateKernel(kernel, arg)) * 256.0;
            }
            // Rounded to nearest, ties to even (the default rounding mode).
            const auto rounded = std::int32_t(std::nearbyint(weight));
            if (rounded != 0) {
                taps.push_back({rounded, Reflect(j, length)});
            }
        }
    }
    return lists;
}

PaletteEntry ApplyTaps(const TapList &list, const std::int32_t *red, const std::int32_t *green,
                       const std::int32_t *blue)
{
    // Weights of one list total about 256 and channels are at most 255, so the sums stay far
    // inside 32 bits.
    std::int32_t total = 0;
    std::int32_t r = 0;
    std::int32_t g = 0;
    std::int32_t b = 0;
    for (const FilterTap &tap : list.taps) {
        total += tap.weight;
        r += red[tap.index] * tap.weight;
        g += green[tap.index] * tap.weight;
        b += blue[tap.index] * tap.weight;
    }
    if (total != 0) {
        return {std::uint8_t(ClampToByte(b / total)), std::uint8_t(ClampToByte(g / total)),
                std::uint8_t(ClampToByte(r / total))};
    }
    // No taps, or weights that cancel: the sums as unsigned, shifted by 8.
    const auto shifted = [](std::int32_t v) {
        return std::uint8_t(ClampToByte(std::int32_t(std::uint32_t(v) >> 8)));
    };
    return {shifted(b), shifted(g), shifted(r)};
}

namespace {

struct LineBuffers
{
    explicit LineBuffers(std::int32_t length)
        : red(std::size_t(length)), green(std::size_t(length)), blue(std::size_t(length))
    {}
    void Set(std::int32_t i, const std::uint8_t *pixel)
    {
        blue[std::size_t(i)] = pixel[0];
        green[std::size_t(i)] = pixel[1];
        red[std::size_t(i)] = pixel[2];
    }
    PaletteEntry Apply(const TapList &list) const
    {
        return ApplyTaps(list, red.data(), green.data(), blue.data());
    }
    std::vector<std::int32_t> red, green, blue;
};

void StorePixel(std::uint8_t *p, const PaletteEntry &c)
{
    p[0] = c.blue;
    p[1] = c.green;
    p[2] = c.red;
    p[3] = 0;
}

void CheckArguments(std::int32_t newWidth, std::int32_t newHeight, float radius)
{
    if (newWidth < 0 || newHeight < 0 || std::isnan(radius)) {
        throw std::invalid_argument("invalid resample size or radius");
    }
}

float RadiusOrDefault(float radius, FilterKernel filter)
{
    return radius == 0.0f ? DefaultRadius(filter) : radius;
}

// The target's old pixels go; it becomes an image of 32 bits at the new size.
void PrepareTarget(WorkingBitmap &target, std::int32_t newWidth, std::int32_t newHeight)
{
    target.Discard();
    target.ConvertTo(32);
    target.SetWidth(newWidth);
    target.SetHeight(newHeight);
}

} // namespace

void ResampleReference(std::int32_t newWidth, std::int32_t newHeight, FilterKernel filter,
                       float radius, const WorkingBitmap &source, WorkingBitmap &target)
{
    CheckArguments(newWidth, newHeight, radius);
    if (source.Empty()) {
        return;
    }
    radius = RadiusOrDefault(radius, filter);

    WorkingBitmap copy = source;
    copy.ConvertTo(32);

    PrepareTarget(target, newWidth, newHeight);
    if (target.Empty()) {
        return;
    }

    const std::int32_t sw = copy.Width();
    const std::int32_t sh = copy.Height();
    const std::int32_t dw = newWidth;
    const std::int32_t dh = newHeight;

    // Horizontal first: each pass rounds and clamps to bytes, so the order shows in the result.
    WorkingBitmap intermediate(dw, sh, 32);
    {
        const std::vector<TapList> lists =
            BuildTapLists(dw, ScaleFactor(dw, sw), sw, radius, filter);
        LineBuffers line(sw);
        for (std::int32_t y = 0; y < sh; ++y) {
            const std::uint8_t *in = copy.Row(y);
            for (std::int32_t x = 0; x < sw; ++x) {
                line.Set(x, in + 4 * std::size_t(x));
            }
            std::uint8_t *out = intermediate.Row(y);
            for (std::int32_t x = 0; x < dw; ++x) {
                StorePixel(out + 4 * std::size_t(x), line.Apply(lists[std::size_t(x)]));
            }
        }
    }
    copy.Discard();

    const std::vector<TapList> lists = BuildTapLists(dh, ScaleFactor(dh, sh), sh, radius, filter);
    LineBuffers line(sh);
    for (std::int32_t x = 0; x < dw; ++x) {
        for (std::int32_t y = 0; y < sh; ++y) {
            line.Set(y, intermediate.Row(y) + 4 * std::size_t(x));
        }
        for (std::int32_t y = 0; y < dh; ++y) {
            StorePixel(target.Row(y) + 4 * std::size_t(x), line.Apply(lists[std::size_t(y)]));
        }
    }
}

namespace {

bool HasColourBytes(const WorkingBitmap &image)
{
    return image.BitsPerPixel() == 24 || image.BitsPerPixel() == 32;
}

// The two passes of ResampleReference, vectorised for plan.level. source has 24 or 32 bits and is
// not the target. The intermediate image holds 3 bytes per pixel (the fourth byte carries
// nothing), and a pass whose every tap list is (256, i) copies instead of filtering.
void RunVectorPasses(const passes::VectorPlan &plan, const WorkingBitmap &source,
                     WorkingBitmap &target, std::int32_t newWidth, std::int32_t newHeight,
                     WorkingBitmap *disposableSource = nullptr)
{
    // The target's rows are made once the intermediate is done and a disposable source gone, so
    // that the three never take memory at once.
    target.Discard();
    target.ConvertTo(32);
    target.SetWidth(newWidth);
    if (newWidth == 0 || newHeight == 0) {
        target.SetHeight(newHeight);
        return;
    }
    const std::int32_t sw = source.Width();
    const std::int32_t sh = source.Height();
    const std::size_t rowBytes = 3 * std::size_t(newWidth);
    // The horizontal pass stores 16 bytes at a time and may run past a row's last pixel.
    constexpr std::size_t kRoom = 16;

    std::vector<const std::uint8_t *> rows(std::size_t(sh), nullptr);
    ByteBuffer intermediate;
    if (plan.horizontal.identity && source.BitsPerPixel() == 24) {
        for (std::int32_t y = 0; y < sh; ++y) {
            rows[std::size_t(y)] = source.Row(y);
        }
    } else {
        const std::size_t stride = rowBytes + kRoom;
        intermediate.resize(stride * std::size_t(sh));
        // One source row as 4-byte pixels, with room for the pass's reads past its end.
        std::vector<std::uint8_t> line(4 * (std::size_t(sw) + 4));
        for (std::int32_t y = 0; y < sh; ++y) {
            std::uint8_t *out = intermediate.data() + std::size_t(y) * stride;
            passes::HorizontalSourceRow(plan, source.Row(y), source.BitsPerPixel(), sw, line.data(),
                                        out);
            rows[std::size_t(y)] = out;
        }
        // A source the caller gave away is not read again: its memory goes before the target's
        // rows are filled.
        if (disposableSource) {
            disposableSource->Discard();
        }
    }

    target.SetHeight(newHeight);
    if (plan.vertical.identity) {
        for (std::int32_t y = 0; y < newHeight; ++y) {
            passes::ExpandRow(plan.level, rows[std::size_t(y)], target.Row(y), newWidth);
        }
        return;
    }
    std::vector<std::uint8_t> out(rowBytes);
    for (std::int32_t y = 0; y < newHeight; ++y) {
        passes::VerticalRow(plan.level, rows.data(), plan.vertical, y, rowBytes, out.data());
        passes::ExpandRow(plan.level, out.data(), target.Row(y), newWidth);
    }
}

} // namespace

bool ResampleKeepsColours(std::int32_t width, std::int32_t height, FilterKernel filter,
                          float radius)
{
    if (width <= 0 || height <= 0 || std::isnan(radius)) {
        return false;
    }
    radius = RadiusOrDefault(radius, filter);
    const auto copies = [&](std::int32_t length) {
        const std::vector<TapList> lists =
            BuildTapLists(length, ScaleFactor(length, length), length, radius, filter);
        for (std::int32_t i = 0; i < length; ++i) {
            const std::vector<FilterTap> &taps = lists[std::size_t(i)].taps;
            if (taps.size() != 1 || taps[0].weight != 256 || taps[0].index != i) {
                return false;
            }
        }
        return true;
    };
    return copies(width) && copies(height);
}

namespace passes {

std::optional<PackedTaps> PlanPass(std::int32_t count, std::int32_t length, FilterKernel filter,
                                   float radius)
{
    radius = RadiusOrDefault(radius, filter);
    return PackTaps(BuildTapLists(count, ScaleFactor(count, length), length, radius, filter),
                    length);
}

std::optional<VectorPlan> PlanVectorPasses(VectorLevel level, std::int32_t sw, std::int32_t sh,
                                           std::int32_t dw, std::int32_t dh, FilterKernel filter,
                                           float radius)
{
    std::optional<PackedTaps> horizontal = PlanPass(dw, sw, filter, radius);
    if (!horizontal) {
        return std::nullopt;
    }
    std::optional<PackedTaps> vertical = PlanPass(dh, sh, filter, radius);
    if (!vertical) {
        return std::nullopt;
    }
    return VectorPlan{level, std::move(*horizontal), std::move(*vertical)};
}

void HorizontalSourceRow(const VectorPlan &plan, const std::uint8_t *row, int bitsPerPixel,
                         std::int32_t width, std::uint8_t *line, std::uint8_t *out)
{
    if (bitsPerPixel == 24) {
        ExpandRow(plan.level, row, line, width);
    } else {
        std::memcpy(line, row, 4 * std::size_t(width));
    }
    HorizontalRow(plan.level, line, plan.horizontal, out);
}

bool ResampleVectorised(VectorLevel level, std::int32_t newWidth, std::int32_t newHeight,
                        FilterKernel filter, float radius, const WorkingBitmap &source,
                        WorkingBitmap &target)
{
    CheckArguments(newWidth, newHeight, radius);
    if (source.Empty()) {
        return true;
    }
    const std::optional<VectorPlan> plan = PlanVectorPasses(level, source.Width(), source.Height(),
                                                            newWidth, newHeight, filter, radius);
    if (!plan) {
        return false;
    }
    if (&source == &target) {
        // The pixels move out of the image instead of being copied: it is the target now, and
        // they go once the horizontal pass has read them.
        WorkingBitmap taken;
        std::swap(taken, target);
        if (!HasColourBytes(taken)) {
            taken.ConvertTo(24);
        }
        RunVectorPasses(*plan, taken, target, newWidth, newHeight, &taken);
    } else if (!HasColourBytes(source)) {
        WorkingBitmap copy = source;
        copy.ConvertTo(24);
        RunVectorPasses(*plan, copy, target, newWidth, newHeight);
    } else {
        RunVectorPasses(*plan, source, target, newWidth, newHeight);
    }
    return true;
}

} // namespace passes

void Resample(std::int32_t newWidth, std::int32_t newHeight, FilterKernel filter, float radius,
              const WorkingBitmap &source, WorkingBitmap &target)
{
    const std::optional<passes::VectorLevel> level = passes::BestVectorLevel();
    if (!level ||
        !passes::ResampleVectorised(*level, newWidth, newHeight, filter, radius, source, target)) {
        ResampleReference(newWidth, newHeight, filter, radius, source, target);
    }
}

void Resample(std::int32_t newWidth, std::int32_t newHeight, FilterKernel filter, float radius,
              WorkingBitmap &image)
{
    Resample(newWidth, newHeight, filter, radius, image, image);
}

} // namespace kv::imaging
