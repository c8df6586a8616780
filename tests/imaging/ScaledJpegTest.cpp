#include "ScaledJpeg.h"

#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "BitmapFile.h"
#include "ImageError.h"
#include "JpegFile.h"
#include "Resample.h"
#include "TestSupport.h"

using namespace kv::imaging;

namespace {

struct StreamCase
{
    const char *file;        // in tests/data; "shot.jpg" and "shot.bmp" are made by the test
    int x, y, width, height; // the part loaded; width 0: the whole picture
    int newWidth, newHeight;
    FilterKernel kernel;
};

std::ostream &operator<<(std::ostream &out, const StreamCase &c)
{
    return out << c.file << " (" << c.x << ", " << c.y << ", " << c.width << " x " << c.height
               << ") to " << c.newWidth << " x " << c.newHeight << " kernel " << int(c.kernel);
}

// Hard edges, a gradient and noise: overshoots at both ends, every byte value in play.
WorkingBitmap Shot(int width, int height)
{
    std::uint32_t state = 7;
    return kv::test::MakeImage(width, height, 24, [&](int x, int y) {
        state = state * 1664525u + 1013904223u;
        const std::uint8_t edge = ((x / 5 + y / 3) % 2) ? 250 : 5;
        return PaletteEntry{std::uint8_t(x * 3 + y), edge, std::uint8_t(state >> 24)};
    });
}

class ScaledJpegTest : public ::testing::TestWithParam<std::tuple<StreamCase, bool>>
{
protected:
    void SetUp() override
    {
        WriteJpegFile(Shot(160, 120), dir_.File("shot.jpg"), 92);
        WriteBitmapFile(Shot(160, 120), dir_.File("shot.bmp"));
    }

    std::string PathOf(const char *file) const
    {
        const std::string name = file;
        return name.rfind("shot.", 0) == 0 ? dir_.File(name)
                                           : (kv::test::TestDataDir() / name).string();
    }

    // The case's picture, its rows handed to feed as they are decoded or read.
    WorkingBitmap Load(const StreamCase &c, RowFeed *feed) const
    {
        const std::string path = PathOf(c.file);
        const bool bitmap = path.ends_with(".bmp");
        if (c.width == 0) {
            return bitmap ? LoadBitmapFile(path) : LoadJpegFile(path, nullptr, feed);
        }
        return bitmap ? LoadBitmapFileCropped(path, c.x, c.y, c.width, c.height, nullptr, feed)
                      : LoadJpegFileCropped(path, c.x, c.y, c.width, c.height, nullptr, feed);
    }

    kv::test::TempDir dir_;
};

// The streamed file is byte for byte the one of the steps one after the other: the whole load,
// Resample (skipped where it keeps the colours at the picture's own size), EncodeJpeg.
TEST_P(ScaledJpegTest, GivesTheBytesOfLoadingResamplingAndEncodingInTurn)
{
    const auto &[c, secondThread] = GetParam();
    WorkingBitmap image = Load(c, nullptr);
    if (c.newWidth != image.Width() || c.newHeight != image.Height() ||
        !ResampleKeepsColours(image.Width(), image.Height(), c.kernel, 0.0f)) {
        Resample(c.newWidth, c.newHeight, c.kernel, 0.0f, image);
    }
    const std::vector<std::uint8_t> expected = EncodeJpeg(image, 90);

    ScaledJpeg picture([&](RowFeed *feed) { return Load(c, feed); }, secondThread);
    const std::vector<std::uint8_t> streamed =
        picture.Encode(c.newWidth, c.newHeight, c.kernel, 0.0f, 90);
    EXPECT_EQ(picture.Finish(), nullptr);
    ASSERT_EQ(streamed.size(), expected.size());
    EXPECT_TRUE(streamed == expected) << "same length, other bytes";
}

INSTANTIATE_TEST_SUITE_P(
    ShapesKernelsSizesCropsAndThreads, ScaledJpegTest,
    ::testing::Combine(
        ::testing::Values(
            // Colour JPEGs, decoded row by row: shrinking, a crop at 75%, a crop at its own
            // size (no resampling), enlarging, one pixel.
            StreamCase{"shot.jpg", 0, 0, 0, 0, 80, 60, fkLanczos3},
            StreamCase{"shot.jpg", 17, 9, 101, 67, 75, 50, fkLanczos3},
            StreamCase{"shot.jpg", 17, 9, 101, 67, 101, 67, fkLanczos3},
            StreamCase{"shot.jpg", 0, 0, 0, 0, 237, 173, fkMitchell},
            StreamCase{"shot.jpg", 40, 30, 50, 40, 1, 1, fkTriangle},
            StreamCase{"jpeg/jpg-progressive.jpg", 0, 0, 0, 0, 16, 16, fkBell},
            StreamCase{"jpeg/jpg-cmyk-1.jpg", 0, 0, 0, 0, 24, 24, fkSpline},
            // Greyscale: an 8-bit picture, resampled once it is loaded.
            StreamCase{"jpeg/jpg-gray.jpg", 0, 0, 0, 0, 20, 20, fkLanczos3},
            // Bitmaps: 24 bits cropped, only the height changed (the horizontal pass copies),
            // only the width (the vertical pass copies); 32 bits; 8 bits with a palette.
            StreamCase{"shot.bmp", 17, 9, 101, 67, 75, 50, fkLanczos3},
            StreamCase{"shot.bmp", 0, 0, 0, 0, 160, 50, fkLanczos3},
            StreamCase{"shot.bmp", 0, 0, 0, 0, 70, 120, fkBox},
            StreamCase{"shot.bmp", 0, 0, 0, 0, 160, 120, fkHermite},
            StreamCase{"bmpsuite/g/rgb32.bmp", 0, 0, 0, 0, 64, 32, fkHermite},
            StreamCase{"bmpsuite/g/pal8.bmp", 0, 0, 0, 0, 100, 50, fkLanczos3}),
        ::testing::Bool()));

class ScaledJpegThreads : public ::testing::TestWithParam<bool>
{
};

// A load that fails after handing over rows ends the encoding with its error; its rows stay
// readable meanwhile, and nothing waits for ever.
TEST_P(ScaledJpegThreads, LoadThatFailsMidwayEndsTheEncodingWithItsError)
{
    ScaledJpeg picture(
        [](RowFeed *feed) -> WorkingBitmap {
            WorkingBitmap &image = feed->Begin(WorkingBitmap(64, 64, 24));
            (void)image;
            feed->Publish(20);
            throw ImageError("Stream read error");
        },
        GetParam());
    try {
        picture.Encode(32, 32, fkLanczos3, 0.0f, 90);
        FAIL() << "no error";
    } catch (const ImageError &e) {
        EXPECT_STREQ(e.what(), "Stream read error");
    }
    EXPECT_NE(picture.Finish(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(OneAndTwoThreads, ScaledJpegThreads, ::testing::Bool());

} // namespace
