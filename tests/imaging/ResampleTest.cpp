#include "Resample.h"

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"

using namespace kv::imaging;

namespace {

std::vector<std::pair<int, int>> Pairs(const TapList &list)
{
    std::vector<std::pair<int, int>> out;
    for (const FilterTap &t : list.taps) {
        out.emplace_back(t.weight, t.index);
    }
    return out;
}

int Total(const TapList &list)
{
    int total = 0;
    for (const FilterTap &t : list.taps) {
        total += t.weight;
    }
    return total;
}

// A one-row 32-bit image with the given grey levels.
WorkingBitmap Row(const std::vector<int> &levels)
{
    WorkingBitmap image(int(levels.size()), 1, 32);
    for (std::size_t x = 0; x < levels.size(); ++x) {
        std::uint8_t *p = image.Row(0) + 4 * x;
        p[0] = p[1] = p[2] = std::uint8_t(levels[x]);
    }
    return image;
}

const FilterKernel kAllKernels[] = {fkBox,    fkTriangle, fkHermite, fkBell,
                                    fkSpline, fkLanczos3, fkMitchell};

} // namespace

TEST(BuildTapLists, ShrinkingNineToFiveMatchesTheWorkedTaps)
{
    const std::vector<TapList> lists = BuildTapLists(5, 0.5f, 9, 3.0f, fkLanczos3);
    ASSERT_EQ(lists.size(), 5u);
    const std::vector<std::pair<int, int>> first = {{3, 5},  {-17, 3}, {78, 1}, {128, 0},
                                                    {78, 1}, {-17, 3}, {3, 5}};
    const std::vector<std::pair<int, int>> last = {{3, 3},  {-17, 5}, {78, 7}, {128, 8},
                                                   {78, 8}, {-17, 6}, {3, 4}};
    EXPECT_EQ(Pairs(lists[0]), first);
    EXPECT_EQ(Pairs(lists[4]), last);
    for (const TapList &list : lists) {
        EXPECT_EQ(Total(list), 256);
    }
}

TEST(BuildTapLists, EnlargingFourToSevenMatchesTheWorkedTaps)
{
    const std::vector<TapList> lists = BuildTapLists(7, 2.0f, 4, 3.0f, fkLanczos3);
    const std::vector<std::pair<int, int>> odd = {{6, 2},   {-35, 1}, {156, 0},
                                                  {156, 1}, {-35, 2}, {6, 3}};
    EXPECT_EQ(Pairs(lists[1]), odd);
    EXPECT_EQ(Total(lists[1]), 254);
    for (int i = 0; i < 7; i += 2) {
        EXPECT_EQ(Pairs(lists[i]), (std::vector<std::pair<int, int>>{{256, i / 2}}))
            << "output " << i;
    }
}

TEST(BuildTapLists, SameSizeGivesTheSingleFullTapForEveryKernel)
{
    for (FilterKernel kernel : kAllKernels) {
        const std::vector<TapList> lists =
            BuildTapLists(12, 1.0f, 12, DefaultRadius(kernel), kernel);
        for (int i = 0; i < 12; ++i) {
            if (kernel == fkBox || kernel == fkTriangle || kernel == fkHermite ||
                kernel == fkLanczos3) {
                EXPECT_EQ(Pairs(lists[i]), (std::vector<std::pair<int, int>>{{256, i}}))
                    << "kernel " << kernel << " output " << i;
            }
            EXPECT_NEAR(Total(lists[i]), 256, 1) << "kernel " << kernel << " output " << i;
        }
    }
}

TEST(BuildTapLists, EveryIndexStaysInsideTheLineWhateverTheReach)
{
    struct Case
    {
        int count;
        int length;
    };
    for (const Case c : {Case{7, 1}, Case{9, 2}, Case{1, 50}, Case{2, 50}, Case{3, 1025}}) {
        const float scale = c.length == 1  ? float(c.count)
                            : c.count == 1 ? 1.0f / float(c.length)
                                           : float(c.count - 1) / float(c.length - 1);
        for (const TapList &list : BuildTapLists(c.count, scale, c.length, 3.0f, fkLanczos3)) {
            for (const FilterTap &tap : list.taps) {
                EXPECT_GE(tap.index, 0) << c.count << " from " << c.length;
                EXPECT_LT(tap.index, c.length) << c.count << " from " << c.length;
                EXPECT_NE(tap.weight, 0);
            }
        }
    }
}

TEST(FilterKernels, ValuesAtHandWorkedPoints)
{
    EXPECT_EQ(EvaluateKernel(fkBox, -0.5f), 0.0f);
    EXPECT_EQ(EvaluateKernel(fkBox, 0.5f), 1.0f);
    EXPECT_EQ(EvaluateKernel(fkTriangle, 0.25f), 0.75f);
    EXPECT_EQ(EvaluateKernel(fkHermite, 0.5f), 0.5f);
    EXPECT_EQ(EvaluateKernel(fkBell, 0.0f), 0.75f);
    EXPECT_EQ(EvaluateKernel(fkBell, 1.0f), 0.125f);
    EXPECT_FLOAT_EQ(EvaluateKernel(fkSpline, 0.0f), 2.0f / 3.0f);
    EXPECT_FLOAT_EQ(EvaluateKernel(fkSpline, 1.0f), 1.0f / 6.0f);
    EXPECT_FLOAT_EQ(EvaluateKernel(fkMitchell, 0.0f), 8.0f / 9.0f);
    EXPECT_FLOAT_EQ(EvaluateKernel(fkMitchell, 1.0f), 1.0f / 18.0f);
    EXPECT_EQ(EvaluateKernel(fkLanczos3, 0.0f), 1.0f);
    EXPECT_NEAR(EvaluateKernel(fkLanczos3, 0.5f), 0.6079271f, 1e-6);
    EXPECT_NEAR(EvaluateKernel(fkLanczos3, 1.0f), 0.0f, 1e-7);
    for (FilterKernel kernel : kAllKernels) {
        EXPECT_EQ(EvaluateKernel(kernel, DefaultRadius(kernel) + 0.01f), 0.0f) << kernel;
        EXPECT_EQ(EvaluateKernel(kernel, -DefaultRadius(kernel) - 0.01f), 0.0f) << kernel;
    }
}

TEST(ApplyTaps, DividesByTheTotalAndFallsBackToAnUnsignedShiftWhenItIsZero)
{
    const std::int32_t red[] = {255, 0, 10};
    const std::int32_t green[] = {0, 255, 20};
    const std::int32_t blue[] = {100, 100, 30};
    TapList enlarge{{{6, 2}, {-35, 1}, {156, 0}, {156, 1}, {-35, 2}, {6, 0}}};
    EXPECT_EQ(ApplyTaps(enlarge, red, green, blue).red,
              (6 * 10 - 35 * 0 + 156 * 255 + 0 - 35 * 10 + 6 * 255) / 254);
    TapList overshoot{{{300, 0}, {-44, 1}}};
    const PaletteEntry c = ApplyTaps(overshoot, red, green, blue);
    EXPECT_EQ(c.red, 255) << "a sum above 255 is clamped";
    EXPECT_EQ(c.green, 0) << "a negative quotient is clamped";
    TapList cancelling{{{5, 0}, {-5, 1}}};
    const PaletteEntry z = ApplyTaps(cancelling, red, green, blue);
    EXPECT_EQ(z.red, (5 * 255) >> 8);
    EXPECT_EQ(z.green, 255) << "a negative sum shifted as unsigned clamps to 255";
    EXPECT_EQ(z.blue, 0);
    EXPECT_EQ(ApplyTaps(TapList{}, red, green, blue), (PaletteEntry{0, 0, 0}));
}

TEST(Resample, SameSizeCopiesColourBytesExactly)
{
    WorkingBitmap image = kv::test::MakeImage(13, 7, 24, [](int x, int y) {
        return PaletteEntry{std::uint8_t(x * 19), std::uint8_t(y * 37), std::uint8_t(x * y)};
    });
    const WorkingBitmap original = image;
    Resample(13, 7, fkLanczos3, 0.0f, image);
    ASSERT_EQ(image.BitsPerPixel(), 32);
    for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < 13; ++x) {
            EXPECT_EQ(image.ColourAt(x, y), original.ColourAt(x, y)) << "at " << x << "," << y;
        }
    }
}

TEST(Resample, ConstantImageStaysConstantForEveryKernelUpAndDown)
{
    const PaletteEntry colour{40, 130, 220};
    for (FilterKernel kernel : kAllKernels) {
        for (const auto &[w, h] : {std::pair{23, 17}, std::pair{6, 5}, std::pair{40, 3}}) {
            WorkingBitmap image = kv::test::MakeImage(11, 9, 24, [&](int, int) { return colour; });
            Resample(w, h, kernel, 0.0f, image);
            ASSERT_EQ(image.Width(), w);
            ASSERT_EQ(image.Height(), h);
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    ASSERT_EQ(image.ColourAt(x, y), colour)
                        << "kernel " << kernel << " " << w << "x" << h << " at " << x << "," << y;
                }
            }
        }
    }
}

TEST(Resample, EnlargedOddPixelIsTheWeightedSumOverTheListTotal)
{
    WorkingBitmap image = Row({10, 200, 30, 90});
    Resample(7, 1, fkLanczos3, 0.0f, image);
    const int expected = (6 * 30 - 35 * 200 + 156 * 10 + 156 * 200 - 35 * 30 + 6 * 90) / 254;
    EXPECT_EQ(image.ColourAt(1, 0).red, expected);
    EXPECT_EQ(image.ColourAt(0, 0).red, 10);
    EXPECT_EQ(image.ColourAt(2, 0).red, 200);
    EXPECT_EQ(image.ColourAt(6, 0).red, 90);
}

TEST(Resample, NegativeLobesClampInsteadOfWrapping)
{
    WorkingBitmap image = Row({0, 0, 0, 255, 255, 255, 0, 0});
    Resample(15, 1, fkLanczos3, 0.0f, image);
    for (int x = 0; x < 15; ++x) {
        const int v = image.ColourAt(x, 0).red;
        if (x == 4 || x == 12) {
            EXPECT_EQ(v, 0) << "undershoot beside the edge clamps to 0 at " << x;
        }
        if (x == 8) {
            EXPECT_EQ(v, 255) << "overshoot clamps to 255 at " << x;
        }
    }
}

TEST(Resample, EmptySourceLeavesTargetAndZeroSizeGivesEmptyThirtyTwoBitImage)
{
    WorkingBitmap target(3, 3, 24);
    Resample(5, 5, fkLanczos3, 0.0f, WorkingBitmap{}, target);
    EXPECT_EQ(target.Width(), 3);
    EXPECT_EQ(target.BitsPerPixel(), 24);

    WorkingBitmap image(30, 20, 24);
    Resample(0, 7, fkLanczos3, 0.0f, image);
    EXPECT_TRUE(image.Empty());
    EXPECT_EQ(image.BitsPerPixel(), 32);
    EXPECT_EQ(image.Height(), 7);
}

TEST(Resample, OnePixelTargetsAndTinySourcesGiveTheRequestedSize)
{
    for (const auto &[sw, sh, dw, dh] : {std::tuple{50, 40, 1, 1}, std::tuple{1, 1, 9, 4},
                                         std::tuple{2, 2, 13, 11}, std::tuple{64, 1, 3, 1}}) {
        WorkingBitmap image = kv::test::MakeImage(sw, sh, 24, [](int x, int y) {
            return PaletteEntry{std::uint8_t(x * 5), 77, std::uint8_t(y * 3)};
        });
        Resample(dw, dh, fkLanczos3, 0.0f, image);
        EXPECT_EQ(image.Width(), dw);
        EXPECT_EQ(image.Height(), dh);
    }
}

TEST(Resample, ShrinkingBy1025To3ReachesTheNoTapsRuleAndGoesBlack)
{
    WorkingBitmap image = kv::test::MakeImage(1025, 1, 24, [](int, int) {
        return PaletteEntry{200, 200, 200};
    });
    Resample(3, 1, fkLanczos3, 0.0f, image);
    for (int x = 0; x < 3; ++x) {
        EXPECT_EQ(image.ColourAt(x, 0), (PaletteEntry{0, 0, 0})) << "at " << x;
    }
}

TEST(Resample, PaletteSourcesAreExpandedBeforeFiltering)
{
    WorkingBitmap image(4, 4, 8);
    image.SetPalette(std::vector<PaletteEntry>(256, PaletteEntry{10, 20, 30}));
    Resample(2, 2, fkTriangle, 0.0f, image);
    EXPECT_EQ(image.ColourAt(1, 1), (PaletteEntry{10, 20, 30}));
}

TEST(Resample, KeepsColoursAtTheSameSizeOnlyWhereEveryTapListIsTheFullTap)
{
    EXPECT_TRUE(ResampleKeepsColours(1337, 486, fkLanczos3, 0.0f));
    EXPECT_TRUE(ResampleKeepsColours(1, 1, fkLanczos3, 0.0f));
    EXPECT_TRUE(ResampleKeepsColours(5, 3, fkTriangle, 0.0f));
    EXPECT_FALSE(ResampleKeepsColours(40, 30, fkSpline, 0.0f)) << "the spline spreads at scale 1";
    EXPECT_FALSE(ResampleKeepsColours(40, 30, fkMitchell, 0.0f));
    EXPECT_FALSE(ResampleKeepsColours(0, 30, fkLanczos3, 0.0f));
}
