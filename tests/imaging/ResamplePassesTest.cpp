#include "ResamplePasses.h"

#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"

using namespace kv::imaging;
using passes::VectorLevel;

namespace {

// Bytes from a fixed pseudo-random sequence, fourth bytes included: they must not leak into
// the result.
WorkingBitmap Noise(int width, int height, int bitsPerPixel, std::uint32_t seed)
{
    WorkingBitmap image(width, height, bitsPerPixel);
    std::uint32_t state = seed * 2654435761u + 1;
    for (int y = 0; y < height; ++y) {
        for (std::size_t i = 0; i < image.RowBytes(); ++i) {
            state = state * 1664525u + 1013904223u;
            image.Row(y)[i] = std::uint8_t(state >> 24);
        }
    }
    if (bitsPerPixel <= 8) {
        std::vector<PaletteEntry> palette;
        for (int i = 0; i < (1 << bitsPerPixel); ++i) {
            palette.push_back({std::uint8_t(i * 37), std::uint8_t(255 - i), std::uint8_t(i * 11)});
        }
        image.SetPalette(palette);
    }
    return image;
}

// Hard edges between full black and full white: the largest overshoots, so the clamping at
// both ends is exercised on every row.
WorkingBitmap Bars(int width, int height)
{
    return kv::test::MakeImage(width, height, 24, [](int x, int y) {
        const std::uint8_t v = ((x / 3 + y / 2) % 2) ? 255 : 0;
        return PaletteEntry{v, std::uint8_t(255 - v), v};
    });
}

// Compares every byte, the fourth of each pixel included; says where the first difference is.
::testing::AssertionResult SameBytes(const WorkingBitmap &expected, const WorkingBitmap &actual)
{
    if (expected.Width() != actual.Width() || expected.Height() != actual.Height() ||
        expected.BitsPerPixel() != actual.BitsPerPixel()) {
        return ::testing::AssertionFailure()
               << "size " << actual.Width() << "x" << actual.Height() << "x"
               << actual.BitsPerPixel() << ", expected " << expected.Width() << "x"
               << expected.Height() << "x" << expected.BitsPerPixel();
    }
    for (int y = 0; y < expected.Height(); ++y) {
        for (std::size_t i = 0; i < expected.RowBytes(); ++i) {
            if (expected.Row(y)[i] != actual.Row(y)[i]) {
                return ::testing::AssertionFailure()
                       << "pixel (" << i / 4 << ", " << y << ") byte " << i % 4 << ": expected "
                       << int(expected.Row(y)[i]) << ", actual " << int(actual.Row(y)[i]);
            }
        }
    }
    return ::testing::AssertionSuccess();
}

struct SizeCase
{
    int sourceWidth, sourceHeight, width, height;
};

// Shrinking and enlarging in either axis, a scale of exactly 1 in one or both, odd widths that
// leave partial vectors, one-pixel sources and targets, and reaches beyond a whole line.
const SizeCase kSizes[] = {
    {1600, 120, 800, 60}, {1337, 49, 1002, 36}, {97, 61, 97, 30}, {61, 97, 30, 97},
    {45, 33, 45, 33},     {37, 23, 81, 59},     {4, 4, 7, 7},     {9, 9, 5, 5},
    {1, 1, 9, 4},         {2, 2, 13, 11},       {50, 40, 1, 1},   {64, 1, 3, 1},
    {1, 64, 1, 3},        {1025, 3, 3, 3},      {31, 17, 33, 16}, {300, 7, 299, 8},
    {5, 300, 6, 299},     {128, 3, 2, 3},       {3, 3, 1, 100},   {2, 9, 40, 2},
};

class ResampleVectorised
    : public ::testing::TestWithParam<std::tuple<VectorLevel, FilterKernel, int>>
{
protected:
    void SetUp() override
    {
        if (!passes::CpuSupports(Level())) {
            GTEST_SKIP() << "this processor lacks the instruction set";
        }
    }
    VectorLevel Level() const { return std::get<0>(GetParam()); }
    FilterKernel Kernel() const { return std::get<1>(GetParam()); }
    int Depth() const { return std::get<2>(GetParam()); }
};

} // namespace

TEST_P(ResampleVectorised, GivesTheReferenceBytesForEverySizePair)
{
    for (const SizeCase &c : kSizes) {
        const WorkingBitmap source = Noise(c.sourceWidth, c.sourceHeight, Depth(), 7);
        WorkingBitmap expected;
        ResampleReference(c.width, c.height, Kernel(), 0.0f, source, expected);
        WorkingBitmap actual(3, 3, 24);
        ASSERT_TRUE(
            passes::ResampleVectorised(Level(), c.width, c.height, Kernel(), 0.0f, source, actual));
        EXPECT_TRUE(SameBytes(expected, actual))
            << c.sourceWidth << "x" << c.sourceHeight << " to " << c.width << "x" << c.height;
    }
}

TEST_P(ResampleVectorised, ClampsOvershootsAtHardEdgesLikeTheReference)
{
    for (const SizeCase &c : {SizeCase{90, 40, 61, 27}, SizeCase{40, 30, 97, 71}}) {
        const WorkingBitmap source = Bars(c.sourceWidth, c.sourceHeight);
        WorkingBitmap expected;
        ResampleReference(c.width, c.height, Kernel(), 0.0f, source, expected);
        WorkingBitmap actual;
        ASSERT_TRUE(
            passes::ResampleVectorised(Level(), c.width, c.height, Kernel(), 0.0f, source, actual));
        EXPECT_TRUE(SameBytes(expected, actual))
            << c.sourceWidth << "x" << c.sourceHeight << " to " << c.width << "x" << c.height;
    }
}

TEST_P(ResampleVectorised, SourceThatIsTheTargetIsReadBeforeItIsReplaced)
{
    const WorkingBitmap original = Noise(53, 29, Depth(), 3);
    WorkingBitmap expected;
    ResampleReference(40, 35, Kernel(), 0.0f, original, expected);
    WorkingBitmap image = original;
    ASSERT_TRUE(passes::ResampleVectorised(Level(), 40, 35, Kernel(), 0.0f, image, image));
    EXPECT_TRUE(SameBytes(expected, image));
}

INSTANTIATE_TEST_SUITE_P(
    EveryKernelAndDepth, ResampleVectorised,
    ::testing::Combine(::testing::Values(VectorLevel::Sse41, VectorLevel::Avx2),
                       ::testing::Values(fkBox, fkTriangle, fkHermite, fkBell, fkSpline, fkLanczos3,
                                         fkMitchell),
                       ::testing::Values(8, 24, 32)),
    [](const auto &info) {
        return std::string(std::get<0>(info.param) == VectorLevel::Avx2 ? "Avx2" : "Sse41") +
               "Kernel" + std::to_string(int(std::get<1>(info.param))) + "Depth" +
               std::to_string(std::get<2>(info.param));
    });

TEST(Resample, InPlaceFormGivesTheReferenceBytesAtTheConvertersSizes)
{
    for (const SizeCase &c : {SizeCase{1337, 41, 1002, 30}, SizeCase{168, 105, 84, 52},
                              SizeCase{1337, 48, 1337, 48}, SizeCase{1, 1, 1, 1}}) {
        WorkingBitmap image = Noise(c.sourceWidth, c.sourceHeight, 24, 11);
        WorkingBitmap expected;
        ResampleReference(c.width, c.height, fkLanczos3, 0.0f, image, expected);
        Resample(c.width, c.height, fkLanczos3, 0.0f, image);
        EXPECT_TRUE(SameBytes(expected, image))
            << c.sourceWidth << "x" << c.sourceHeight << " to " << c.width << "x" << c.height;
    }
}

TEST(PackTaps, AddsUpTapsFoldedOntoOnePositionAndKeepsTheTotal)
{
    // Shrinking 9 to 5: output 0 reaches across the left edge, so positions 1, 3 and 5 are
    // each named twice.
    const passes::PackedTaps packed =
        *passes::PackTaps(BuildTapLists(5, 0.5f, 9, 3.0f, fkLanczos3), 9);
    const passes::TapWindow &first = packed.windows[0];
    EXPECT_EQ(first.first, 0);
    EXPECT_EQ(first.count, 6);
    EXPECT_EQ(first.total, 256);
    const std::vector<std::int16_t> weights(packed.weights.begin() + std::ptrdiff_t(first.offset),
                                            packed.weights.begin() +
                                                std::ptrdiff_t(first.offset + 8));
    EXPECT_EQ(weights, (std::vector<std::int16_t>{128, 156, 0, -34, 0, 6, 0, 0}));
    EXPECT_FALSE(packed.identity);
    EXPECT_TRUE(passes::PackTaps(BuildTapLists(6, 1.0f, 6, 3.0f, fkLanczos3), 6)->identity);
    EXPECT_FALSE(passes::PackTaps(BuildTapLists(6, 1.0f, 6, 2.0f, fkSpline), 6)->identity);
}

TEST(PackTaps, RefusesWeightsBeyondTheExactRangeOfTheVectorArithmetic)
{
    const std::vector<TapList> heavy = {TapList{{{40000, 0}}}};
    EXPECT_FALSE(passes::PackTaps(heavy, 1));
    // A total of 2^16: a float quotient could round onto the next whole number.
    TapList wide;
    for (int i = 0; i < 256; ++i) {
        wide.taps.push_back({256, i});
    }
    EXPECT_FALSE(passes::PackTaps({wide}, 256));
}
