#include "JpegFile.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <jerror.h>
#include <jpeglib.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "ImageError.h"
#include "ImagingTexts.h"
#include "TestSupport.h"

using kv::imaging::EJPEG;
using kv::imaging::ImageError;
using kv::imaging::LoadJpegFile;
using kv::imaging::PaletteEntry;
using kv::imaging::ReadJpegSize;
using kv::imaging::WorkingBitmap;
using kv::imaging::WriteJpegFile;
namespace texts = kv::imaging::texts;

namespace {

using Bytes = std::vector<unsigned char>;

PaletteEntry Rgb(int red, int green, int blue)
{
    return {std::uint8_t(blue), std::uint8_t(green), std::uint8_t(red)};
}

// Flat colours in 16 x 16 blocks, so every luminance and chrominance block is flat too.
const std::vector<PaletteEntry> kBlockColours = {
    Rgb(255, 0, 0),   Rgb(0, 255, 0),     Rgb(0, 0, 255), Rgb(128, 128, 128),
    Rgb(255, 255, 0), Rgb(255, 255, 255), Rgb(0, 0, 0),   Rgb(0, 255, 255)};

int BlockIndex(int x, int y)
{
    return ((y / 16) * 4 + x / 16) % 8;
}

PaletteEntry BlockColour(int x, int y)
{
    return kBlockColours[std::size_t(BlockIndex(x, y))];
}

// Chroma upsampling blends the pixels on either side of a block border; the rest must be flat.
bool InsideBlock(int x, int y)
{
    return x % 16 != 0 && x % 16 != 15 && y % 16 != 0 && y % 16 != 15;
}

WorkingBitmap BlockImage(int width, int height, int bitsPerPixel)
{
    if (bitsPerPixel != 8) {
        return kv::test::MakeImage(width, height, bitsPerPixel, BlockColour);
    }
    WorkingBitmap image(width, height, 8);
    image.SetPalette(kBlockColours);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.Row(y)[x] = std::uint8_t(BlockIndex(x, y));
        }
    }
    return image;
}

::testing::AssertionResult ColourNear(const PaletteEntry &actual, const PaletteEntry &expected,
                                      int tolerance)
{
    const int worst =
        std::max({std::abs(actual.red - expected.red), std::abs(actual.green - expected.green),
                  std::abs(actual.blue - expected.blue)});
    if (worst <= tolerance) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "expected " << ::testing::PrintToString(expected) << ", got "
           << ::testing::PrintToString(actual) << " (tolerance " << tolerance << ")";
}

// Every block interior in the first rows of image within tolerance of expected(x, y).
void ExpectBlocks(const WorkingBitmap &image, int rows, int tolerance,
                  const std::function<PaletteEntry(int, int)> &expected = BlockColour)
{
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < image.Width(); ++x) {
            if (InsideBlock(x, y)) {
                EXPECT_TRUE(ColourNear(image.ColourAt(x, y), expected(x, y), tolerance))
                    << "at " << x << "," << y;
            }
        }
    }
}

void ExpectJpegError(const std::function<void()> &action, int expectedCode)
{
    try {
        action();
        ADD_FAILURE() << "no EJPEG thrown";
    } catch (const EJPEG &e) {
        const std::string text = e.what();
        const std::string prefix = "JPEG error #";
        EXPECT_TRUE(text.starts_with(prefix) && text.size() > prefix.size() &&
                    text.find_first_not_of("0123456789", prefix.size()) == std::string::npos)
            << text;
        EXPECT_EQ(e.what(), texts::JpegError(e.Code()));
        EXPECT_EQ(e.Code(), expectedCode);
    }
}

struct Segment
{
    int marker;
    std::size_t offset; // of the body, just past the length field
    Bytes body;
};

// The marker segments after SOI up to and including SOS.
std::vector<Segment> HeaderSegments(const Bytes &file)
{
    std::vector<Segment> segments;
    if (file.size() < 2 || file[0] != 0xFF || file[1] != 0xD8) {
        ADD_FAILURE() << "no SOI at the start";
        return segments;
    }
    std::size_t pos = 2;
    while (pos + 4 <= file.size() && file[pos] == 0xFF) {
        const std::size_t length = std::size_t(file[pos + 2]) << 8 | file[pos + 3];
        if (length < 2 || pos + 2 + length > file.size()) {
            break;
        }
        const auto begin = file.begin() + std::ptrdiff_t(pos + 4);
        segments.push_back(
            {file[pos + 1], pos + 4, Bytes(begin, begin + std::ptrdiff_t(length - 2))});
        if (file[pos + 1] == 0xDA) {
            return segments;
        }
        pos += 2 + length;
    }
    ADD_FAILURE() << "marker structure broken at byte " << pos << " before SOS";
    return segments;
}

const Segment *FindSegment(const std::vector<Segment> &segments, int marker)
{
    for (const Segment &s : segments) {
        if (s.marker == marker) {
            return &s;
        }
    }
    return nullptr;
}

std::size_t ScanDataStart(const Bytes &file)
{
    const std::vector<Segment> segments = HeaderSegments(file);
    return segments.empty() ? 0 : segments.back().offset + segments.back().body.size();
}

// A width x height file made by the library directly, for kinds EncodeJpeg does not write;
// sample(x, y, channel) gives the input. Well-formed input never reaches the default error exit.
Bytes EncodeWithLibjpeg(int width, int height, J_COLOR_SPACE space, int components,
                        const std::function<int(int, int, int)> &sample, bool progressive,
                        bool adobeMarker = true,
                        const std::function<void(jpeg_compress_struct &)> &configure = {})
{
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = components;
    info.in_color_space = space;
    jpeg_set_defaults(&info);
    if (space == JCS_CMYK) {
        info.write_Adobe_marker = adobeMarker;
    }
    if (progressive) {
        jpeg_simple_progression(&info);
    }
    if (configure) {
        configure(info);
    }
    jpeg_start_compress(&info, TRUE);
    Bytes row(std::size_t(width * components));
    for (int y = 0; y < height; ++y) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            row[i] = std::uint8_t(sample(int(i) / components, y, int(i) % components));
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    Bytes bytes(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return bytes;
}

class JpegFileTest : public ::testing::Test
{
protected:
    WorkingBitmap RoundTrip(const WorkingBitmap &image)
    {
        WriteJpegFile(image, file_, 90);
        return LoadJpegFile(file_);
    }
    WorkingBitmap LoadBytes(const Bytes &bytes)
    {
        kv::test::WriteBytes(file_, bytes);
        return LoadJpegFile(file_);
    }

    kv::test::TempDir dir_;
    std::string file_ = dir_.File("picture.jpg");
};

} // namespace

class JpegRoundTrip : public JpegFileTest, public ::testing::WithParamInterface<int>
{
};

TEST_P(JpegRoundTrip, BlocksDecodeToTheirColoursAtFullSizeWithoutRedBlueSwap)
{
    const WorkingBitmap decoded = RoundTrip(BlockImage(64, 32, GetParam()));
    ASSERT_EQ(decoded.Width(), 64);
    ASSERT_EQ(decoded.Height(), 32);
    ASSERT_EQ(decoded.BitsPerPixel(), 24);
    ExpectBlocks(decoded, 32, 4);
}

INSTANTIATE_TEST_SUITE_P(AnyDepth, JpegRoundTrip, ::testing::Values(8, 24, 32));

TEST_F(JpegFileTest, WritesBaselineJfif101WithLumaSampledTwoByTwo)
{
    const Bytes file = kv::imaging::EncodeJpeg(BlockImage(64, 32, 24), 90);
    const std::vector<Segment> segments = HeaderSegments(file);

    const Segment *app0 = FindSegment(segments, 0xE0);
    ASSERT_NE(app0, nullptr) << "no APP0";
    const Bytes jfif = {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1}; // 1.01, unit 0, 1 x 1
    ASSERT_GE(app0->body.size(), jfif.size());
    EXPECT_EQ(Bytes(app0->body.begin(), app0->body.begin() + 12), jfif);

    const Segment *sof0 = FindSegment(segments, 0xC0);
    ASSERT_NE(sof0, nullptr) << "no SOF0 (baseline)";
    ASSERT_EQ(sof0->body.size(), 6u + 3 * 3);
    EXPECT_EQ(sof0->body[0], 8) << "precision";
    EXPECT_EQ(sof0->body[1] << 8 | sof0->body[2], 32) << "height";
    EXPECT_EQ(sof0->body[3] << 8 | sof0->body[4], 64) << "width";
    EXPECT_EQ(sof0->body[6 + 1], 0x22) << "luminance sampling";
    EXPECT_EQ(sof0->body[9 + 1], 0x11) << "Cb sampling";
    EXPECT_EQ(sof0->body[12 + 1], 0x11) << "Cr sampling";
}

TEST_F(JpegFileTest, QuantisationTablesAreTheStandardTablesScaledForQuality90)
{
    // The example tables of the JPEG standard, natural order.
    const int luminance[64] = {16,  11,  10,  16,  24, 40, 51,  61,  12,  12,  14,  19,  26,
                               58,  60,  55,  14,  13, 16, 24,  40,  57,  69,  56,  14,  17,
                               22,  29,  51,  87,  80, 62, 18,  22,  37,  56,  68,  109, 103,
                               77,  24,  35,  55,  64, 81, 104, 113, 92,  49,  64,  78,  87,
                               103, 121, 120, 101, 72, 92, 95,  98,  112, 100, 103, 99};
    const int chrominance[64] = {17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
                                 24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
                                 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
                                 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};
    // Natural position of the k-th entry as stored (zigzag).
    const int zigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                            12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                            35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                            58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

    const Bytes file = kv::imaging::EncodeJpeg(BlockImage(16, 16, 24), 90);
    std::map<int, std::vector<int>> tables; // natural order, by table number
    for (const Segment &s : HeaderSegments(file)) {
        for (std::size_t at = 0; s.marker == 0xDB && at + 65 <= s.body.size(); at += 65) {
            ASSERT_EQ(s.body[at] >> 4, 0) << "8-bit entries";
            std::vector<int> &table = tables[s.body[at] & 15];
            table.resize(64);
            for (int k = 0; k < 64; ++k) {
                table[std::size_t(zigzag[k])] = s.body[at + 1 + std::size_t(k)];
            }
        }
    }
    ASSERT_EQ(tables.size(), 2u);
    EXPECT_EQ(tables[0][0], 3) << "first luminance entry";
    for (int table = 0; table < 2; ++table) {
        for (int i = 0; i < 64; ++i) {
            const int base = table == 0 ? luminance[i] : chrominance[i];
            EXPECT_EQ(tables[table][std::size_t(i)], std::max(1, (base * 20 + 50) / 100))
                << "table " << table << " entry " << i << " (row " << i / 8 << ", column " << i % 8
                << ")";
        }
    }
}

TEST_F(JpegFileTest, EmptyImageGivesZeroByteFileOfSizeZeroThatDoesNotLoad)
{
    EXPECT_TRUE(kv::imaging::EncodeJpeg(WorkingBitmap(0, 5, 24), 90).empty());
    WriteJpegFile(WorkingBitmap(), file_, 90);
    ASSERT_TRUE(std::filesystem::exists(file_));
    EXPECT_EQ(std::filesystem::file_size(file_), 0u);
    const kv::imaging::ImageSize size = ReadJpegSize(file_);
    EXPECT_EQ(size.width, 0);
    EXPECT_EQ(size.height, 0);
    ExpectJpegError([&] { LoadJpegFile(file_); }, JERR_INPUT_EMPTY);
}

TEST_F(JpegFileTest, NotAJpegFailsWithJpegErrorForSizeAndLoad)
{
    Bytes bitmap = {'B', 'M'};
    bitmap.resize(200, 0x11);
    kv::test::WriteBytes(file_, bitmap);
    ExpectJpegError([&] { ReadJpegSize(file_); }, JERR_NO_SOI);
    ExpectJpegError([&] { LoadJpegFile(file_); }, JERR_NO_SOI);
}

TEST_F(JpegFileTest, GreyscaleLoadsAsEightBitsWith236GreyLevels)
{
    const auto grey = [](int x, int y) {
        const int level = BlockIndex(x, y) * 36;
        return Rgb(level, level, level);
    };
    const WorkingBitmap image = LoadBytes(EncodeWithLibjpeg(
        64, 32, JCS_GRAYSCALE, 1, [&](int x, int y, int) { return grey(x, y).red; }, false));

    ASSERT_EQ(image.BitsPerPixel(), 8);
    ASSERT_EQ(image.Palette().size(), 236u);
    EXPECT_EQ(image.Palette().front(), Rgb(0, 0, 0));
    EXPECT_EQ(image.Palette().back(), Rgb(255, 255, 255));
    for (std::size_t i = 1; i < 236; ++i) {
        const PaletteEntry &e = image.Palette()[i];
        EXPECT_TRUE(e.red == e.green && e.green == e.blue) << "entry " << i << " is not grey";
        EXPECT_GT(e.red, image.Palette()[i - 1].red) << "entry " << i;
    }
    ExpectBlocks(image, 32, 3, grey);
}

class JpegCmyk : public JpegFileTest, public ::testing::WithParamInterface<bool>
{
};

TEST_P(JpegCmyk, InkConvertsToRgbWithAdobeFilesInverted)
{
    const bool adobe = GetParam();
    // The ink giving each block's colour: black (K) for the darkness, C, M, Y for the hue.
    const auto ink = [](int x, int y, int channel) {
        const PaletteEntry c = BlockColour(x, y);
        const int light[3] = {c.red, c.green, c.blue};
        const int brightest = std::max({c.red, c.green, c.blue});
        if (channel == 3) {
            return 255 - brightest;
        }
        return brightest == 0 ? 0 : 255 - light[channel] * 255 / brightest;
    };
    const WorkingBitmap image = LoadBytes(EncodeWithLibjpeg(
        64, 32, JCS_CMYK, 4,
        [&](int x, int y, int channel) {
            return adobe ? 255 - ink(x, y, channel) : ink(x, y, channel);
        },
        false, adobe));

    ASSERT_EQ(image.BitsPerPixel(), 24);
    ASSERT_EQ(image.Width(), 64);
    ExpectBlocks(image, 32, 4);
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutAdobeMarker, JpegCmyk, ::testing::Bool());

TEST_F(JpegFileTest, ProgressiveDecodesLikeBaseline)
{
    const auto rgb = [](int x, int y, int channel) {
        const PaletteEntry c = BlockColour(x, y);
        return channel == 0 ? c.red : channel == 1 ? c.green : c.blue;
    };
    const WorkingBitmap image = LoadBytes(EncodeWithLibjpeg(64, 32, JCS_RGB, 3, rgb, true));
    ASSERT_EQ(image.BitsPerPixel(), 24);
    ASSERT_EQ(image.Width(), 64);
    ASSERT_EQ(image.Height(), 32);
    ExpectBlocks(image, 32, 8);
}

TEST_F(JpegFileTest, FileCutInsideItsDataLoadsAtFullSizeWithTheTopIntact)
{
    const Bytes whole = kv::imaging::EncodeJpeg(BlockImage(64, 64, 24), 90);
    const std::size_t scan = ScanDataStart(whole);
    ASSERT_GT(scan, 0u);

    const WorkingBitmap half =
        LoadBytes(Bytes(whole.begin(), whole.begin() + std::ptrdiff_t((scan + whole.size()) / 2)));
    ASSERT_EQ(half.Width(), 64);
    ASSERT_EQ(half.Height(), 64);
    ExpectBlocks(half, 16, 4);

    for (std::size_t length = 0; length < whole.size(); ++length) {
        // A new file each time: replacing one by truncation is slow on some file systems.
        const std::string path = dir_.File("cut" + std::to_string(length) + ".jpg");
        kv::test::WriteBytes(path, Bytes(whole.begin(), whole.begin() + std::ptrdiff_t(length)));
        try {
            const WorkingBitmap image = LoadJpegFile(path);
            EXPECT_EQ(image.Width(), 64) << "cut at " << length;
            EXPECT_EQ(image.Height(), 64) << "cut at " << length;
        } catch (const ImageError &e) {
            EXPECT_LT(length, scan) << "cut at " << length << " inside the data: " << e.what();
        }
    }
}

class JpegThinImage : public JpegFileTest, public ::testing::WithParamInterface<std::pair<int, int>>
{
};

TEST_P(JpegThinImage, RoundTripKeepsSizeAndColour)
{
    const auto [width, height] = GetParam();
    const PaletteEntry colour = Rgb(200, 120, 40);
    const WorkingBitmap image =
        RoundTrip(kv::test::MakeImage(width, height, 24, [&](int, int) { return colour; }));
    ASSERT_EQ(image.Width(), width);
    ASSERT_EQ(image.Height(), height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            EXPECT_TRUE(ColourNear(image.ColourAt(x, y), colour, 4)) << "at " << x << "," << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(OnePixelSides, JpegThinImage,
                         ::testing::Values(std::pair{1, 1}, std::pair{1, 37}, std::pair{37, 1}));

TEST_F(JpegFileTest, HeaderBeyondThePixelCeilingIsRefusedBeforeDecoding)
{
    Bytes file = kv::imaging::EncodeJpeg(BlockImage(16, 16, 24), 90);
    const std::vector<Segment> segments = HeaderSegments(file);
    const Segment *sof0 = FindSegment(segments, 0xC0);
    ASSERT_NE(sof0, nullptr);
    const std::size_t at = sof0->offset;
    file[at + 1] = 0xFD; // height and width 65000
    file[at + 2] = 0xE8;
    file[at + 3] = 0xFD;
    file[at + 4] = 0xE8;
    kv::test::WriteBytes(file_, file);

    const kv::imaging::ImageSize size = ReadJpegSize(file_);
    EXPECT_EQ(size.width, 65000);
    EXPECT_EQ(size.height, 65000);
    try {
        LoadJpegFile(file_);
        ADD_FAILURE() << "65000 x 65000 loaded";
    } catch (const ImageError &e) {
        EXPECT_EQ(e.what(), texts::ImageTooLarge(65000, 65000));
    }
}

TEST_F(JpegFileTest, PixelCeilingPassesAtTheLimitAndRefusesOneMore)
{
    static_assert(16384 * 8192 == kv::imaging::kMaxPixels);
    const Bytes small = kv::imaging::EncodeJpeg(BlockImage(16, 16, 24), 90);
    const std::vector<Segment> segments = HeaderSegments(small);
    const Segment *sof0 = FindSegment(segments, 0xC0);
    ASSERT_NE(sof0, nullptr);
    const std::size_t at = sof0->offset;
    // The frame header claims width x height; the scan holds 16 x 16, so the crop at the top
    // left decodes (the library pads the rest) without the whole picture being allocated.
    const auto claim = [&](int width, int height) {
        Bytes file = small;
        file[at + 1] = std::uint8_t(height >> 8);
        file[at + 2] = std::uint8_t(height);
        file[at + 3] = std::uint8_t(width >> 8);
        file[at + 4] = std::uint8_t(width);
        kv::test::WriteBytes(file_, file);
    };
    // Every pixel the ceiling allows, once in the squarest and once in the widest frame.
    for (const auto &[width, height] : {std::pair{16384, 8192}, std::pair{65500, 2049}}) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        claim(width, height);
        EXPECT_EQ(ReadJpegSize(file_).width, width);
        const WorkingBitmap crop = kv::imaging::LoadJpegFileCropped(file_, 0, 0, 16, 16);
        EXPECT_EQ(crop.Width(), 16);
        EXPECT_EQ(crop.Height(), 16);

        claim(width, height + 1);
        for (const auto &load :
             {std::function<void()>([&] { LoadJpegFile(file_); }), std::function<void()>([&] {
                  kv::imaging::LoadJpegFileCropped(file_, 0, 0, 16, 16);
              })}) {
            try {
                load();
                ADD_FAILURE() << "one row above the ceiling loaded";
            } catch (const ImageError &e) {
                EXPECT_EQ(e.what(), texts::ImageTooLarge(width, height + 1));
            }
        }
    }
}

TEST_F(JpegFileTest, MissingFileNamesPathAndReason)
{
    const std::string path = dir_.File("missing.jpg");
    const std::string expected = "Cannot open file \"" + path + "\". No such file or directory";
    for (const auto &read : {std::function<void()>([&] { LoadJpegFile(path); }),
                             std::function<void()>([&] { ReadJpegSize(path); })}) {
        try {
            read();
            ADD_FAILURE() << "no error";
        } catch (const ImageError &e) {
            EXPECT_EQ(e.what(), expected);
        }
    }
}

TEST_F(JpegFileTest, WriteIntoMissingFolderFailsAndCreatesNothing)
{
    const std::string path = dir_.File("no-such-folder/out.jpg");
    try {
        WriteJpegFile(BlockImage(16, 16, 24), path, 90);
        ADD_FAILURE() << "no error";
    } catch (const ImageError &e) {
        EXPECT_EQ(e.what(), "Cannot create file \"" + path + "\". No such file or directory");
    }
    EXPECT_FALSE(std::filesystem::exists(dir_.File("no-such-folder")));
}

#ifndef _WIN32
TEST_F(JpegFileTest, WriteFailingPartWayRemovesThePartialFile)
{
    // Files may grow to 100 bytes only; past that, writes fail with EFBIG instead of a signal.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 100;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string message = "no error";
    try {
        WriteJpegFile(BlockImage(64, 32, 24), file_, 90);
    } catch (const ImageError &e) {
        message = e.what();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(message, texts::CannotCreateFile(file_, std::strerror(EFBIG)));
    EXPECT_FALSE(std::filesystem::exists(file_));
}
#endif

TEST_F(JpegFileTest, FailedEncodingLeavesAnExistingFileUntouched)
{
    kv::test::WriteBytes(file_, {'o', 'l', 'd'});
    // Wider than the library's 65500-pixel limit.
    EXPECT_THROW(WriteJpegFile(WorkingBitmap(65501, 1, 24), file_, 90), EJPEG);
    EXPECT_EQ(kv::test::ReadBytes(file_), (Bytes{'o', 'l', 'd'}));
}

TEST(JpegTestData, EveryFileLoadsOrFailsWithImageError)
{
    const std::filesystem::path dir = kv::test::TestDataDir();
    // What the library and the CMYK conversion make of some of the files; see its README.md.
    struct Expected
    {
        int width, height, bitsPerPixel;
    };
    const std::map<std::string, Expected> known = {
        {"jpg-gray.jpg", {32, 32, 8}},           {"jpg-cmyk-1.jpg", {32, 32, 24}},
        {"pil_sample_cmyk.jpg", {100, 100, 24}}, {"truncated_jpeg.jpg", {100, 100, 24}},
        {"jpg-progressive.jpg", {32, 32, 24}},   {"orientation_rectangle.jpg", {2, 1, 24}}};
    const std::vector<std::string> failing = {
        "monkey12.jpg",    "derive-huffman-codes-overflow.jpg",
        "missing-sos.jpg", "max_size.jpg",
        "null_height.jpg", "invalid-dimensions.jpg",
        "empty.jpg"};
    int files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir / "jpeg")) {
        if (entry.path().extension() != ".jpg") {
            continue;
        }
        ++files;
        const std::string name = entry.path().filename().string();
        const bool mustFail = std::ranges::find(failing, name) != failing.end();
        try {
            const WorkingBitmap image = LoadJpegFile(entry.path().string());
            EXPECT_FALSE(mustFail) << name << " loaded";
            const kv::imaging::ImageSize size = ReadJpegSize(entry.path().string());
            EXPECT_EQ(image.Width(), size.width) << name;
            EXPECT_EQ(image.Height(), size.height) << name;
            if (const auto it = known.find(name); it != known.end()) {
                EXPECT_EQ(image.Width(), it->second.width) << name;
                EXPECT_EQ(image.Height(), it->second.height) << name;
                EXPECT_EQ(image.BitsPerPixel(), it->second.bitsPerPixel) << name;
            }
        } catch (const ImageError &e) {
            EXPECT_TRUE(mustFail) << name << ": " << e.what();
        } catch (const std::exception &e) {
            ADD_FAILURE() << name << ": not an ImageError: " << e.what();
        }
    }
    EXPECT_GT(files, 0) << "no .jpg files in " << (dir / "jpeg");
}

namespace {

// Kinds of file the cropped load must decode exactly like a whole load.
enum class JpegKind
{
    Baseline420,
    Sampled444,
    Sampled422,
    Sampled440,
    RestartMarkers,
    Progressive,
    ProgressiveCutShort, // later scans missing: block smoothing fills in the AC coefficients
    NonInterleaved,
};

// Detail in every channel and at every scale, so that upsampling and smoothing show.
int Detail(int x, int y, int channel)
{
    const int wave = (x * (3 + channel) + y * (5 - channel)) % 256;
    const int bars = ((x / 7 + y / 5 + channel) % 3) * 60;
    return (wave + bars + ((x * y) % 17) * 4) % 256;
}

Bytes EncodeKind(JpegKind kind, int width, int height)
{
    const auto configure = [kind](jpeg_compress_struct &info) {
        jpeg_set_quality(&info, 85, TRUE);
        const auto sampling = [&](int h, int v) {
            info.comp_info[0].h_samp_factor = h;
            info.comp_info[0].v_samp_factor = v;
        };
        switch (kind) {
        case JpegKind::Sampled444:
            sampling(1, 1);
            break;
        case JpegKind::Sampled422:
            sampling(2, 1);
            break;
        case JpegKind::Sampled440:
            sampling(1, 2);
            break;
        case JpegKind::RestartMarkers:
            info.restart_interval = 3;
            break;
        case JpegKind::Progressive:
        case JpegKind::ProgressiveCutShort:
            jpeg_simple_progression(&info);
            break;
        case JpegKind::NonInterleaved: {
            static jpeg_scan_info scans[3];
            for (int c = 0; c < 3; ++c) {
                scans[c] = jpeg_scan_info{1, {c, 0, 0, 0}, 0, 63, 0, 0};
            }
            info.scan_info = scans;
            info.num_scans = 3;
            break;
        }
        case JpegKind::Baseline420:
            break;
        }
    };
    Bytes bytes = EncodeWithLibjpeg(width, height, JCS_RGB, 3, Detail, false, true, configure);
    if (kind == JpegKind::ProgressiveCutShort) {
        bytes.resize(bytes.size() * 2 / 5);
    }
    return bytes;
}

struct Rectangle
{
    int x, y, width, height;
};

// Rectangles at and away from every edge, at block-aligned and odd places, one pixel thin, the
// whole image, and partly outside it (which takes the whole decode).
std::vector<Rectangle> RectanglesIn(int width, int height)
{
    return {{0, 0, width, height},           {1, 1, width - 2, height - 2},
            {17, 33, width / 2, height / 3}, {width / 3, height / 2, width / 3, height / 2 - 1},
            {width / 2 - 3, 97, 130, 40},    {128, 128, width - 128, height - 128},
            {width - 1, height - 1, 1, 1},   {0, height / 2, width, 1},
            {100, 7, 1, height - 8},         {width - 10, height - 10, 20, 20}};
}

// Where the cropped load and the whole load with Crop differ: the first differing byte, or
// different failures.
::testing::AssertionResult CropsLikeAWholeLoad(const std::string &path, const Rectangle &r)
{
    std::string wholeError;
    std::string croppedError;
    WorkingBitmap whole;
    WorkingBitmap cropped;
    try {
        whole = LoadJpegFile(path);
        whole.Crop(r.x, r.y, r.width, r.height);
    } catch (const std::exception &e) {
        wholeError = e.what();
    }
    try {
        cropped = kv::imaging::LoadJpegFileCropped(path, r.x, r.y, r.width, r.height);
    } catch (const std::exception &e) {
        croppedError = e.what();
    }
    ::testing::AssertionResult failure = ::testing::AssertionFailure();
    failure << "rectangle " << r.width << "x" << r.height << " at (" << r.x << ", " << r.y << "): ";
    if (wholeError != croppedError) {
        return failure << "whole load says \"" << wholeError << "\", cropped load \""
                       << croppedError << "\"";
    }
    if (cropped.Width() != whole.Width() || cropped.Height() != whole.Height() ||
        cropped.BitsPerPixel() != whole.BitsPerPixel() || cropped.Palette() != whole.Palette()) {
        return failure << "cropped " << cropped.Width() << "x" << cropped.Height() << "x"
                       << cropped.BitsPerPixel() << ", expected " << whole.Width() << "x"
                       << whole.Height() << "x" << whole.BitsPerPixel();
    }
    for (int y = 0; y < whole.Height(); ++y) {
        for (std::size_t i = 0; i < whole.RowBytes(); ++i) {
            if (whole.Row(y)[i] != cropped.Row(y)[i]) {
                return failure << "byte " << i << " of row " << y << ": expected "
                               << int(whole.Row(y)[i]) << ", actual " << int(cropped.Row(y)[i]);
            }
        }
    }
    return ::testing::AssertionSuccess();
}

class JpegCropped : public JpegFileTest, public ::testing::WithParamInterface<JpegKind>
{
};

} // namespace

TEST_P(JpegCropped, DecodesTheRectangleExactlyAsAWholeLoadCropsIt)
{
    for (const auto &[width, height] : {std::pair{400, 300}, std::pair{333, 251}}) {
        kv::test::WriteBytes(file_, EncodeKind(GetParam(), width, height));
        for (const Rectangle &r : RectanglesIn(width, height)) {
            EXPECT_TRUE(CropsLikeAWholeLoad(file_, r)) << width << "x" << height << " file";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryKind, JpegCropped,
                         ::testing::Values(JpegKind::Baseline420, JpegKind::Sampled444,
                                           JpegKind::Sampled422, JpegKind::Sampled440,
                                           JpegKind::RestartMarkers, JpegKind::Progressive,
                                           JpegKind::ProgressiveCutShort,
                                           JpegKind::NonInterleaved));

TEST_F(JpegFileTest, CroppedGreyscaleLoadKeepsTheQuantisedPaletteOfTheWholeImage)
{
    const auto grey = [](int x, int y, int) { return Detail(x, y, 0); };
    kv::test::WriteBytes(file_, EncodeWithLibjpeg(200, 150, JCS_GRAYSCALE, 1, grey, false));
    for (const Rectangle &r : RectanglesIn(200, 150)) {
        EXPECT_TRUE(CropsLikeAWholeLoad(file_, r));
    }
}

TEST(JpegTestData, EveryFileCropsLikeAWholeLoad)
{
    const std::filesystem::path dir = kv::test::TestDataDir();
    for (const auto &entry : std::filesystem::directory_iterator(dir / "jpeg")) {
        if (entry.path().extension() != ".jpg") {
            continue;
        }
        const std::string path = entry.path().string();
        kv::imaging::ImageSize size;
        try {
            size = ReadJpegSize(path);
        } catch (const std::exception &) {
            size = {8, 8}; // unreadable: both loads must fail alike
        }
        for (const Rectangle &r : RectanglesIn(std::max(size.width, 2), std::max(size.height, 2))) {
            if (r.width > 0 && r.height > 0) {
                EXPECT_TRUE(CropsLikeAWholeLoad(path, r)) << entry.path().filename();
            }
        }
    }
}
