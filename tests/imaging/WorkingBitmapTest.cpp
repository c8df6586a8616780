#include "WorkingBitmap.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

using kv::imaging::PaletteEntry;
using kv::imaging::WorkingBitmap;

namespace {

PaletteEntry Gradient(int x, int y)
{
    return {std::uint8_t(x * 7 + y), std::uint8_t(x * 3 + y * 11), std::uint8_t(x + y * 5)};
}

const PaletteEntry kWhite{255, 255, 255};

} // namespace

class WorkingBitmapDepth : public ::testing::TestWithParam<int>
{
};

TEST_P(WorkingBitmapDepth, GrowingKeepsTopLeftAndFillsWhite)
{
    WorkingBitmap image = kv::test::MakeImage(5, 4, 24, Gradient);
    image.ConvertTo(GetParam());
    image.SetSize(7, 6);
    ASSERT_EQ(image.Width(), 7);
    ASSERT_EQ(image.Height(), 6);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 7; ++x) {
            const PaletteEntry expected = (x < 5 && y < 4) ? Gradient(x, y) : kWhite;
            EXPECT_EQ(image.ColourAt(x, y), expected) << "at " << x << "," << y;
        }
    }
}

TEST_P(WorkingBitmapDepth, DrawingOntoItselfAtNegativeOffsetCropsLikeTheConverter)
{
    WorkingBitmap image = kv::test::MakeImage(10, 8, 24, Gradient);
    image.ConvertTo(GetParam());
    image.Draw(-3, -2, image);
    image.SetSize(4, 5);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(image.ColourAt(x, y), Gradient(x + 3, y + 2)) << "at " << x << "," << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(TrueColour, WorkingBitmapDepth, ::testing::Values(24, 32));

TEST(WorkingBitmap, CropGivesWhatDrawingOntoItselfAndCuttingGiveAtEveryDepthAndPlace)
{
    struct Place
    {
        int x, y, width, height;
    };
    // Inside, touching the far edges, partly outside on each side, beyond, and empty.
    const Place places[] = {{2, 1, 5, 4}, {0, 0, 11, 7}, {6, 3, 5, 4},  {8, 2, 6, 3},
                            {3, 5, 4, 5}, {-2, 1, 4, 3}, {1, -3, 3, 5}, {20, 20, 2, 2},
                            {4, 4, 0, 3}, {0, 0, 1, 1}};
    for (const int depth : {1, 4, 8, 16, 24, 32}) {
        WorkingBitmap original(11, 7, depth);
        for (int y = 0; y < 7; ++y) {
            for (std::size_t i = 0; i < original.RowBytes(); ++i) {
                original.Row(y)[i] = std::uint8_t(y * 31 + int(i) * 7);
            }
        }
        original.SetPalette(std::vector<PaletteEntry>(16, PaletteEntry{9, 8, 7}));
        for (const Place &p : places) {
            WorkingBitmap expected = original;
            expected.Draw(-p.x, -p.y, expected);
            expected.SetSize(p.width, p.height);
            WorkingBitmap cropped = original;
            cropped.Crop(p.x, p.y, p.width, p.height);
            ASSERT_EQ(cropped.Width(), p.width);
            ASSERT_EQ(cropped.Height(), p.height);
            EXPECT_EQ(cropped.Palette(), expected.Palette());
            for (int y = 0; y < p.height; ++y) {
                for (std::size_t i = 0; i < expected.RowBytes(); ++i) {
                    ASSERT_EQ(cropped.Row(y)[i], expected.Row(y)[i])
                        << depth << " bits, " << p.width << "x" << p.height << " at (" << p.x
                        << ", " << p.y << "): byte " << i << " of row " << y;
                }
            }
        }
    }
}

TEST(WorkingBitmap, SelfDrawKeepsUncoveredStripsAndMovesDownwardsWithoutSmearing)
{
    WorkingBitmap image = kv::test::MakeImage(6, 6, 24, Gradient);
    WorkingBitmap moved = image;
    moved.Draw(2, 1, moved);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 6; ++x) {
            const PaletteEntry expected =
                (x >= 2 && y >= 1) ? Gradient(x - 2, y - 1) : Gradient(x, y);
            EXPECT_EQ(moved.ColourAt(x, y), expected) << "at " << x << "," << y;
        }
    }
    WorkingBitmap up = image;
    up.Draw(-4, -5, up);
    EXPECT_EQ(up.ColourAt(0, 0), Gradient(4, 5));
    EXPECT_EQ(up.ColourAt(5, 5), Gradient(5, 5)) << "uncovered strip keeps its old value";
}

TEST(WorkingBitmap, DrawClipsAtEveryEdgeAndConvertsOtherDepths)
{
    WorkingBitmap target(4, 4, 32);
    WorkingBitmap source = kv::test::MakeImage(3, 3, 24, Gradient);
    target.Draw(2, -1, source);
    EXPECT_EQ(target.ColourAt(2, 0), Gradient(0, 1));
    EXPECT_EQ(target.ColourAt(3, 1), Gradient(1, 2));
    EXPECT_EQ(target.ColourAt(1, 0), kWhite);
    EXPECT_EQ(target.ColourAt(2, 2), kWhite);
    target.Draw(100, 100, source);
    target.Draw(-100, 0, source);
    EXPECT_EQ(target.ColourAt(0, 0), kWhite);
}

TEST(WorkingBitmap, PaletteAndSixteenBitPixelsExpandToTheirColours)
{
    WorkingBitmap pal(9, 2, 1);
    pal.SetPalette({{0, 0, 0}, {10, 20, 30}});
    pal.Row(1)[0] = 0x80; // pixel (0, 1)
    pal.Row(1)[1] = 0x80; // pixel (8, 1)
    WorkingBitmap nibbles(3, 1, 4);
    nibbles.SetPalette(std::vector<PaletteEntry>(16, PaletteEntry{1, 2, 3}));
    nibbles.Row(0)[0] = 0x0F;
    nibbles.Row(0)[1] = 0xF0;
    WorkingBitmap words(2, 1, 16);
    words.SetColourMasks({0xF800, 0x07E0, 0x001F});
    words.Row(0)[0] = 0x1F; // pure blue in 5-6-5
    words.Row(0)[1] = 0x00;
    words.Row(0)[2] = 0x00; // pure red
    words.Row(0)[3] = 0xF8;

    pal.ConvertTo(24);
    nibbles.ConvertTo(32);
    words.ConvertTo(24);
    EXPECT_EQ(pal.ColourAt(0, 1), (PaletteEntry{10, 20, 30}));
    EXPECT_EQ(pal.ColourAt(8, 1), (PaletteEntry{10, 20, 30}));
    EXPECT_EQ(pal.ColourAt(1, 1), (PaletteEntry{0, 0, 0}));
    EXPECT_EQ(nibbles.ColourAt(1, 0), (PaletteEntry{1, 2, 3}));
    EXPECT_EQ(words.ColourAt(0, 0), (PaletteEntry{255, 0, 0}));
    EXPECT_EQ(words.ColourAt(1, 0), (PaletteEntry{0, 0, 255}));
}

TEST(WorkingBitmap, PaletteImagesGrowWithTheirWhitestEntryAndOutOfRangeIndicesAreBlack)
{
    WorkingBitmap image(3, 1, 8);
    image.SetPalette({{0, 0, 0}, {250, 251, 252}, {9, 9, 9}});
    image.Row(0)[2] = 200;
    EXPECT_EQ(image.ColourAt(2, 0), (PaletteEntry{0, 0, 0}));
    image.SetSize(4, 2);
    EXPECT_EQ(image.ColourAt(3, 1), (PaletteEntry{250, 251, 252}));
}

TEST(WorkingBitmap, ThirtyTwoToTwentyFourDropsTheFourthByteAndDiscardEmpties)
{
    WorkingBitmap image = kv::test::MakeImage(3, 2, 32, Gradient);
    image.Row(0)[3] = 77;
    image.ConvertTo(24);
    EXPECT_EQ(image.RowBytes(), 9u);
    EXPECT_EQ(image.ColourAt(2, 1), Gradient(2, 1));
    image.Discard();
    EXPECT_TRUE(image.Empty());
    EXPECT_EQ(image.BitsPerPixel(), 24);
    EXPECT_THROW(image.ConvertTo(8), std::invalid_argument);
}

TEST(WorkingBitmap, PixelCeilingAcceptsTheLimitAndRefusesOneMore)
{
    using namespace kv::imaging;
    EXPECT_TRUE(WithinPixelCeiling(kMaxDimension, kMaxPixels / kMaxDimension));
    EXPECT_FALSE(WithinPixelCeiling(kMaxDimension + 1, 1));
    EXPECT_TRUE(WithinPixelCeiling(kMaxPixels / 4096, 4096));
    EXPECT_FALSE(WithinPixelCeiling(kMaxPixels / 4096 + 1, 4096));
    EXPECT_FALSE(WithinPixelCeiling(-1, 5));
}
