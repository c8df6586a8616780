#include "BitmapFile.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ImageError.h"
#include "ImagingTexts.h"
#include "TestSupport.h"

using kv::imaging::ImageError;
using kv::imaging::LoadBitmapFile;
using kv::imaging::PaletteEntry;
using kv::imaging::WorkingBitmap;
using kv::imaging::WriteBitmapFile;
namespace texts = kv::imaging::texts;

namespace {

using Bytes = std::vector<unsigned char>;

void Put(Bytes &out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
    }
}

// A hand-made BMP file; every field can be set wrong on purpose.
struct BmpFile
{
    std::int32_t width = 3;
    std::int32_t height = 2; // negative: rows stored top-down
    std::uint32_t bitsPerPixel = 24;
    std::uint32_t compression = 0;
    std::uint32_t headerSize = 40; // 12: core header with 16-bit sizes and 3-byte palette entries
    std::uint32_t planes = 1;
    std::vector<PaletteEntry> palette;
    std::optional<std::uint32_t> coloursUsed; // default: the palette's size
    std::vector<std::uint32_t> masks;         // after a 40-byte header, inside longer ones
    std::optional<std::uint32_t> pixelOffset; // default: right after the palette
    Bytes pixels = Bytes(16, 0x40);           // as stored, rows padded to 4 bytes

    Bytes Build() const
    {
        Bytes info;
        Put(info, headerSize, 4);
        if (headerSize == 12) {
            Put(info, std::uint32_t(width), 2);
            Put(info, std::uint32_t(height), 2);
        } else {
            Put(info, std::uint32_t(width), 4);
            Put(info, std::uint32_t(height), 4);
        }
        Put(info, planes, 2);
        Put(info, bitsPerPixel, 2);
        if (headerSize != 12) {
            Put(info, compression, 4);
            Put(info, pixels.size(), 4);
            Put(info, 2835, 4);
            Put(info, 2835, 4);
            Put(info, coloursUsed.value_or(std::uint32_t(palette.size())), 4);
            Put(info, 0, 4);
            for (std::uint32_t mask : masks) {
                Put(info, mask, 4);
            }
            if (headerSize != 40) {
                info.resize(headerSize, 0);
            }
        }
        for (const PaletteEntry &c : palette) {
            info.insert(info.end(), {c.blue, c.green, c.red});
            if (headerSize != 12) {
                info.push_back(0);
            }
        }
        const std::uint32_t offset = pixelOffset.value_or(std::uint32_t(14 + info.size()));
        Bytes file{'B', 'M'};
        Put(file, 14 + info.size() + pixels.size(), 4);
        Put(file, 0, 4);
        Put(file, offset, 4);
        file.insert(file.end(), info.begin(), info.end());
        if (offset > file.size()) {
            file.resize(offset, 0xEE);
        }
        file.insert(file.end(), pixels.begin(), pixels.end());
        return file;
    }
};

// Rows as a file stores them, for pixel values value(x, y) with y counted from the top.
Bytes StoredRows(int width, int height, int bitsPerPixel, bool topDown,
                 const std::function<std::uint32_t(int, int)> &value)
{
    const std::size_t stride = (std::size_t(width) * bitsPerPixel + 31) / 32 * 4;
    Bytes rows(stride * height, 0);
    for (int r = 0; r < height; ++r) {
        unsigned char *row = rows.data() + stride * r;
        const int y = topDown ? r : height - 1 - r;
        for (int x = 0; x < width; ++x) {
            const std::uint32_t v = value(x, y);
            const int bit = x * bitsPerPixel;
            if (bitsPerPixel < 8) {
                row[bit / 8] |= static_cast<unsigned char>(v << (8 - bitsPerPixel - bit % 8));
            }
            for (int b = 0; bitsPerPixel >= 8 && b < bitsPerPixel / 8; ++b) {
                row[bit / 8 + b] = static_cast<unsigned char>(v >> (8 * b));
            }
        }
    }
    return rows;
}

class BitmapFileTest : public ::testing::Test
{
protected:
    WorkingBitmap Load(const Bytes &bytes)
    {
        kv::test::WriteBytes(path_, bytes);
        return LoadBitmapFile(path_);
    }
    // The text of the ImageError that loading throws; empty when it loads.
    std::string LoadError(const Bytes &bytes)
    {
        try {
            Load(bytes);
        } catch (const ImageError &e) {
            return e.what();
        }
        return {};
    }

    kv::test::TempDir dir_;
    std::string path_ = dir_.File("test.bmp");
};

// Reports the first pixel that differs, with position, expected and actual colour.
void ExpectPicture(const WorkingBitmap &image, int width, int height,
                   const std::function<PaletteEntry(int, int)> &colour)
{
    ASSERT_EQ(image.Width(), width);
    ASSERT_EQ(image.Height(), height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (image.ColourAt(x, y) != colour(x, y)) {
                ADD_FAILURE() << "pixel " << x << "," << y << " expected "
                              << ::testing::PrintToString(colour(x, y)) << " actual "
                              << ::testing::PrintToString(image.ColourAt(x, y));
                return;
            }
        }
    }
}

PaletteEntry Gradient(int x, int y)
{
    return {std::uint8_t(x * 19 + y), std::uint8_t(200 - x * 7 - y * 11), std::uint8_t(y * 37)};
}

std::vector<PaletteEntry> DistinctPalette(int size)
{
    std::vector<PaletteEntry> palette;
    for (int i = 0; i < size; ++i) {
        palette.push_back({std::uint8_t(255 - i), std::uint8_t(i * 3), std::uint8_t(i)});
    }
    return palette;
}

} // namespace

struct IndexedCase
{
    std::uint32_t headerSize;
    int bitsPerPixel;
    bool topDown;
};

void PrintTo(const IndexedCase &c, std::ostream *os)
{
    *os << c.bitsPerPixel << " bits, " << c.headerSize << "-byte header"
        << (c.topDown ? ", top-down" : "");
}

class BitmapFileIndexed : public BitmapFileTest, public ::testing::WithParamInterface<IndexedCase>
{
};

TEST_P(BitmapFileIndexed, KeepsIndicesAndPaletteWhicheverHeaderAndRowOrder)
{
    const IndexedCase c = GetParam();
    const int colours = 1 << c.bitsPerPixel;
    const auto index = [colours](int x, int y) { return std::uint32_t(x * 5 + y * 3) % colours; };
    BmpFile bmp;
    bmp.width = 13; // odd widths leave padding bits and bytes in every row
    bmp.height = c.topDown ? -5 : 5;
    bmp.bitsPerPixel = std::uint32_t(c.bitsPerPixel);
    bmp.headerSize = c.headerSize;
    bmp.palette = DistinctPalette(colours);
    bmp.pixels = StoredRows(13, 5, c.bitsPerPixel, c.topDown, index);

    const WorkingBitmap image = Load(bmp.Build());
    EXPECT_EQ(image.BitsPerPixel(), c.bitsPerPixel == 2 ? 8 : c.bitsPerPixel);
    EXPECT_EQ(image.Palette(), bmp.palette);
    ExpectPicture(image, 13, 5, [&](int x, int y) { return bmp.palette[index(x, y)]; });
}

INSTANTIATE_TEST_SUITE_P(Headers, BitmapFileIndexed,
                         ::testing::Values(IndexedCase{40, 1, false}, IndexedCase{40, 4, false},
                                           IndexedCase{40, 8, false}, IndexedCase{40, 8, true},
                                           IndexedCase{40, 2, false}, IndexedCase{12, 1, false},
                                           IndexedCase{12, 8, false}, IndexedCase{16, 4, false},
                                           IndexedCase{64, 8, false}, IndexedCase{108, 4, true},
                                           IndexedCase{124, 8, false}),
                         [](const auto &info) {
                             return "Header" + std::to_string(info.param.headerSize) + "Bits" +
                                    std::to_string(info.param.bitsPerPixel) +
                                    (info.param.topDown ? "TopDown" : "");
                         });

struct TrueColourCase
{
    const char *name;
    std::uint32_t headerSize;
    int bitsPerPixel;
    std::uint32_t compression;
    std::vector<std::uint32_t> masks; // red, green, blue[, alpha]; empty: the depth's default
    bool topDown = false;
};

void PrintTo(const TrueColourCase &c, std::ostream *os)
{
    *os << c.name;
}

class BitmapFileTrueColour : public BitmapFileTest,
                             public ::testing::WithParamInterface<TrueColourCase>
{
};

TEST_P(BitmapFileTrueColour, GivesTheStoredColoursAtTheFileDepth)
{
    const TrueColourCase &c = GetParam();
    const bool sixteen = c.bitsPerPixel == 16;
    std::vector<std::uint32_t> masks = c.masks;
    if (masks.empty()) {
        masks = sixteen ? std::vector<std::uint32_t>{0x7C00, 0x03E0, 0x001F}
                        : std::vector<std::uint32_t>{0xFF0000, 0x00FF00, 0x0000FF};
    }
    // Sixteen-bit channels hold 0 or 255 exactly; wider ones any byte value.
    const auto colour = [sixteen](int x, int y) {
        if (!sixteen) {
            return Gradient(x, y);
        }
        const int n = (x + 3 * y) % 8;
        return PaletteEntry{std::uint8_t(n & 1 ? 255 : 0), std::uint8_t(n & 2 ? 255 : 0),
                            std::uint8_t(n & 4 ? 255 : 0)};
    };
    const auto encode = [&](std::uint32_t value, std::uint32_t mask) {
        const std::uint64_t max = mask >> std::countr_zero(mask);
        return std::uint32_t(value * max / 255) << std::countr_zero(mask);
    };
    BmpFile bmp;
    bmp.width = 7;
    bmp.height = c.topDown ? -4 : 4;
    bmp.bitsPerPixel = std::uint32_t(c.bitsPerPixel);
    bmp.headerSize = c.headerSize;
    bmp.compression = c.compression;
    bmp.masks = c.masks;
    bmp.pixels = StoredRows(7, 4, c.bitsPerPixel, c.topDown, [&](int x, int y) {
        const PaletteEntry p = colour(x, y);
        // An alpha mask or unused bits get a pattern the loader must ignore.
        const std::uint32_t rest = ~(masks[0] | masks[1] | masks[2]) & 0xA5A5A5A5u;
        return encode(p.red, masks[0]) | encode(p.green, masks[1]) | encode(p.blue, masks[2]) |
               rest;
    });

    const WorkingBitmap image = Load(bmp.Build());
    EXPECT_EQ(image.BitsPerPixel(), c.bitsPerPixel);
    if (sixteen) {
        EXPECT_EQ(image.ColourMasks()[0], masks[0]);
        EXPECT_EQ(image.ColourMasks()[2], masks[2]);
    }
    ExpectPicture(image, 7, 4, colour);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, BitmapFileTrueColour,
    ::testing::Values(
        TrueColourCase{"Rgb24", 40, 24, 0, {}}, TrueColourCase{"Rgb24TopDown", 40, 24, 0, {}, true},
        TrueColourCase{"Rgb32", 40, 32, 0, {}},
        TrueColourCase{"Rgb32ChannelsInOtherOrder", 40, 32, 3, {0xFF00, 0xFF0000, 0xFF000000}},
        TrueColourCase{
            "Rgb32TenBitChannelsInV5Header", 124, 32, 3, {0x3FF00000, 0x000FFC00, 0x000003FF, 0}},
        TrueColourCase{"Rgba32AlphaBitFields", 40, 32, 6, {0xFF00, 0xFF0000, 0xFF000000, 0xFF}},
        TrueColourCase{"Rgb32MasksInside52ByteHeader", 52, 32, 3, {0xFF, 0xFF00, 0xFF0000}},
        TrueColourCase{"Rgb16Default555", 40, 16, 0, {}},
        TrueColourCase{"Rgb16BitFields565", 40, 16, 3, {0xF800, 0x07E0, 0x001F}},
        TrueColourCase{"Rgb16MasksInV4Header", 108, 16, 3, {0x001F, 0x07E0, 0xF800, 0}, true}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(BitmapFileTest, Rle8ExpandsRunsAbsoluteRunsDeltasAndEndOfLineClippingAtTheEdge)
{
    BmpFile bmp;
    bmp.width = 6;
    bmp.height = 4;
    bmp.bitsPerPixel = 8;
    bmp.compression = 1;
    bmp.palette = DistinctPalette(16);
    bmp.pixels = {3, 5, 0, 3, 7, 8, 9, 0, 0, 0, // bottom row: run, padded absolute run, end of line
                  0, 2, 2, 1,                   // delta: skip a row, start at x = 2
                  8, 4, 0, 0,                   // run of 8 cut at the right edge
                  2, 1, 0, 1,                   // top row, then end of bitmap
                  4, 9};                        // after the end: ignored
    const int expected[4][6] = {
        {1, 1, 0, 0, 0, 0}, {0, 0, 4, 4, 4, 4}, {0, 0, 0, 0, 0, 0}, {5, 5, 5, 7, 8, 9}};
    const WorkingBitmap image = Load(bmp.Build());
    EXPECT_EQ(image.BitsPerPixel(), 8);
    ExpectPicture(image, 6, 4, [&](int x, int y) { return bmp.palette[expected[y][x]]; });
}

TEST_F(BitmapFileTest, Rle4ExpandsNibblesAndLeavesPixelsAfterEarlyEndOfDataAtIndexZero)
{
    BmpFile bmp;
    bmp.width = 7;
    bmp.height = 3;
    bmp.bitsPerPixel = 4;
    bmp.compression = 2;
    bmp.palette = DistinctPalette(16);
    bmp.pixels = {
        5, 0x12, 0,    3,    0x34, 0x50, 0, 0, // alternating run; absolute run cut at the edge
        0, 2,    3,    0,                      // delta to x = 3 on the same row
        0, 5,    0x67, 0x89, 0xA0, 0,    0, 0, // odd absolute run with its padding byte
        2, 0xFF};                              // data ends without end of bitmap
    const int expected[3][7] = {
        {15, 15, 0, 0, 0, 0, 0}, {0, 0, 0, 6, 7, 8, 9}, {1, 2, 1, 2, 1, 3, 4}};
    const WorkingBitmap image = Load(bmp.Build());
    EXPECT_EQ(image.BitsPerPixel(), 4);
    ExpectPicture(image, 7, 3, [&](int x, int y) { return bmp.palette[expected[y][x]]; });
}

struct RefusedCase
{
    const char *name;
    std::function<void(BmpFile &)> change;
    std::size_t keepBytes; // 0: the whole file
    std::string text;
};

void PrintTo(const RefusedCase &c, std::ostream *os)
{
    *os << c.name;
}

class BitmapFileRefused : public BitmapFileTest, public ::testing::WithParamInterface<RefusedCase>
{
};

TEST_P(BitmapFileRefused, ThrowsTheUserText)
{
    BmpFile bmp;
    bmp.bitsPerPixel = 8;
    bmp.palette = DistinctPalette(4);
    bmp.pixels = Bytes(8, 1);
    GetParam().change(bmp);
    Bytes bytes = bmp.Build();
    if (GetParam().keepBytes != 0) {
        bytes.resize(GetParam().keepBytes);
    }
    EXPECT_EQ(LoadError(bytes), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    BadFiles, BitmapFileRefused,
    ::testing::Values(
        RefusedCase{"PlanesNotOne", [](BmpFile &b) { b.planes = 2; }, 0, texts::kBitmapNotValid},
        RefusedCase{"AbsurdBitCount", [](BmpFile &b) { b.bitsPerPixel = 30000; }, 0,
                    texts::kBitmapNotValid},
        RefusedCase{"SixtyFourBits", [](BmpFile &b) { b.bitsPerPixel = 64; }, 0,
                    texts::kBitmapNotValid},
        RefusedCase{"EmbeddedJpeg", [](BmpFile &b) { b.compression = 4; }, 0,
                    texts::kBitmapNotValid},
        RefusedCase{"EmbeddedPng", [](BmpFile &b) { b.compression = 5; }, 0,
                    texts::kBitmapNotValid},
        RefusedCase{"Rle8AtFourBits", [](BmpFile &b) { b.compression = 1, b.bitsPerPixel = 4; }, 0,
                    texts::kBitmapNotValid},
        RefusedCase{"BitFieldsAtEightBits", [](BmpFile &b) { b.compression = 3; }, 0,
                    texts::kBitmapNotValid},
        RefusedCase{"ZeroWidth", [](BmpFile &b) { b.width = 0; }, 0, texts::kBitmapNotValid},
        RefusedCase{"NegativeWidth", [](BmpFile &b) { b.width = -3; }, 0, texts::kBitmapNotValid},
        RefusedCase{"ZeroHeight", [](BmpFile &b) { b.height = 0; }, 0, texts::kBitmapNotValid},
        RefusedCase{"UnknownHeaderSize", [](BmpFile &b) { b.headerSize = 66; }, 0,
                    texts::kBitmapNotValid},
        RefusedCase{"FileHeaderCut", [](BmpFile &) {}, 10, texts::kStreamReadError},
        RefusedCase{"InfoHeaderCut", [](BmpFile &) {}, 40, texts::kStreamReadError},
        RefusedCase{"PaletteCut", [](BmpFile &) {}, 14 + 40 + 10, texts::kStreamReadError},
        RefusedCase{"PixelsCut", [](BmpFile &) {}, 14 + 40 + 16 + 7, texts::kStreamReadError},
        RefusedCase{"BitFieldMasksCut",
                    [](BmpFile &b) {
                        b.bitsPerPixel = 16, b.compression = 3, b.palette.clear();
                        b.masks = {0xF800, 0x07E0, 0x001F};
                    },
                    14 + 40 + 6, texts::kStreamReadError},
        RefusedCase{"HugeColourCountWithoutUsableOffset",
                    [](BmpFile &b) { b.coloursUsed = 305402420, b.pixelOffset = 3; }, 0,
                    texts::kStreamReadError},
        RefusedCase{"ClaimsMorePixelsThanTheFileHolds",
                    [](BmpFile &b) { b.width = 16384, b.height = 8192, b.bitsPerPixel = 32; }, 0,
                    texts::kStreamReadError}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(BitmapFileTest, FileWithoutBmSignatureIsNotValid)
{
    Bytes bytes = BmpFile{}.Build();
    bytes[1] = 'A'; // an OS/2 bitmap array starts "BA"
    EXPECT_EQ(LoadError(bytes), "Bitmap image is not valid");
}

TEST_F(BitmapFileTest, ZeroByteFileGivesAnEmptyImage)
{
    EXPECT_TRUE(Load({}).Empty());
}

TEST_F(BitmapFileTest, MissingFileNamesThePathAndTheSystemReason)
{
    const std::string missing = dir_.File("missing.bmp");
    try {
        LoadBitmapFile(missing);
        FAIL() << "loaded a file that does not exist";
    } catch (const ImageError &e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file \"" + missing + "\". No such file or directory");
    }
}

TEST_F(BitmapFileTest, PaletteStopsAtThePixelOffsetAndAtTheDepthsColourCount)
{
    BmpFile bmp;
    bmp.bitsPerPixel = 8;
    bmp.palette = DistinctPalette(300);
    bmp.pixels = Bytes(8, 255);
    EXPECT_EQ(Load(bmp.Build()).Palette().size(), 256u) << "300 colours at 8 bits";

    bmp.headerSize = 12; // a core header with fewer entries than 2^8 before the pixels
    bmp.palette = DistinctPalette(252);
    EXPECT_EQ(Load(bmp.Build()).Palette(), bmp.palette);

    bmp.headerSize = 40; // an absurd count is cut where the pixels begin
    bmp.palette = DistinctPalette(4);
    bmp.coloursUsed = 305402420;
    bmp.pixels = {0, 1, 2, 3, 3, 2, 1, 0};
    const WorkingBitmap image = Load(bmp.Build());
    EXPECT_EQ(image.Palette(), bmp.palette);
    EXPECT_EQ(image.ColourAt(0, 0), bmp.palette[3]);
}

TEST_F(BitmapFileTest, PixelCeilingPassesAtTheLimitAndRefusesOneMore)
{
    using kv::imaging::kMaxDimension;
    using kv::imaging::kMaxPixels;
    // 1-bit files with no pixel data: at the limit only the missing data is reported.
    BmpFile bmp;
    bmp.bitsPerPixel = 1;
    bmp.palette = DistinctPalette(2);
    bmp.width = std::int32_t(kMaxDimension);
    bmp.height = std::int32_t(kMaxPixels / kMaxDimension);
    EXPECT_EQ(LoadError(bmp.Build()), texts::kStreamReadError);
    bmp.height = -bmp.height;
    EXPECT_EQ(LoadError(bmp.Build()), texts::kStreamReadError);

    bmp.height = std::int32_t(kMaxPixels / kMaxDimension + 1);
    EXPECT_EQ(LoadError(bmp.Build()), texts::ImageTooLarge(kMaxDimension, bmp.height));
    bmp.width = std::int32_t(kMaxDimension + 1);
    bmp.height = 1;
    EXPECT_EQ(LoadError(bmp.Build()), texts::ImageTooLarge(kMaxDimension + 1, 1));
    bmp.width = 3000000; // b/reallybig.bmp
    bmp.height = 2000000;
    EXPECT_EQ(LoadError(bmp.Build()), texts::ImageTooLarge(3000000, 2000000));
}

class BitmapFileRoundTrip : public BitmapFileTest, public ::testing::WithParamInterface<int>
{
};

TEST_P(BitmapFileRoundTrip, WrittenFileLoadsBackWithTheSamePixels)
{
    const WorkingBitmap original = kv::test::MakeImage(5, 3, GetParam(), Gradient);
    WriteBitmapFile(original, path_);
    // 54 header bytes, then rows padded to 16 (24 bits) or 20 (32 bits) bytes.
    EXPECT_EQ(kv::test::ReadBytes(path_).size(), GetParam() == 24 ? 54u + 48u : 54u + 60u);
    const WorkingBitmap loaded = LoadBitmapFile(path_);
    EXPECT_EQ(loaded.BitsPerPixel(), GetParam());
    ExpectPicture(loaded, 5, 3, Gradient);
}

INSTANTIATE_TEST_SUITE_P(Depths, BitmapFileRoundTrip, ::testing::Values(24, 32));

TEST_F(BitmapFileTest, PaletteImageIsWrittenAsTwentyFourBits)
{
    WorkingBitmap image(9, 2, 4);
    image.SetPalette(DistinctPalette(16));
    image.Row(1)[4] = 0xC0; // pixel (8, 1) has index 12
    WriteBitmapFile(image, path_);
    const WorkingBitmap loaded = LoadBitmapFile(path_);
    EXPECT_EQ(loaded.BitsPerPixel(), 24);
    ExpectPicture(loaded, 9, 2, [&](int x, int y) { return image.ColourAt(x, y); });
}

TEST_F(BitmapFileTest, EmptyImageIsWrittenAsAZeroByteFile)
{
    WriteBitmapFile(WorkingBitmap(0, 4, 24), path_);
    EXPECT_TRUE(kv::test::ReadBytes(path_).empty());
    EXPECT_TRUE(LoadBitmapFile(path_).Empty());
}

TEST_F(BitmapFileTest, WritingIntoAMissingFolderNamesThePathAndTheSystemReason)
{
    const std::string target = dir_.File("no-such-folder/out.bmp");
    try {
        WriteBitmapFile(WorkingBitmap(1, 1, 24), target);
        FAIL() << "wrote into a folder that does not exist";
    } catch (const ImageError &e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot create file \"" + target + "\". No such file or directory");
    }
}

namespace {

// What loading a file gives: its size, or the text it was refused with.
template <class Load> std::string Verdict(Load load)
{
    try {
        const kv::imaging::ImageSize size = load();
        return std::to_string(size.width) + "x" + std::to_string(size.height);
    } catch (const ImageError &e) {
        return e.what();
    }
}

bool SameImage(const WorkingBitmap &a, const WorkingBitmap &b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height() ||
        a.BitsPerPixel() != b.BitsPerPixel() || a.Palette() != b.Palette() ||
        a.ColourMasks() != b.ColourMasks()) {
        return false;
    }
    for (int y = 0; y < a.Height(); ++y) {
        if (std::memcmp(a.Row(y), b.Row(y), a.RowBytes()) != 0) {
            return false;
        }
    }
    return true;
}

} // namespace

// Measuring from the headers gives the full load's verdict, and a crop read from the rows it
// needs gives the full load's pixels, for every file of the suite, whole and cut short.
TEST(BitmapFile, MeasuringAndCroppingAgreeWithTheFullLoad)
{
    struct Rectangle
    {
        std::int32_t x, y, width, height;
    };
    const Rectangle rectangles[] = {{0, 0, 1, 1},    {3, 5, 20, 17}, {10, 20, 30, 40},
                                    {0, 0, 127, 64}, {-2, 3, 9, 9},  {100, 60, 40, 30}};
    kv::test::TempDir dir;
    int files = 0;
    for (const std::string folder : {"g", "q", "b"}) {
        for (const auto &entry :
             std::filesystem::directory_iterator(kv::test::TestDataDir() / "bmpsuite" / folder)) {
            const std::string file = entry.path().filename().string();
            const std::vector<unsigned char> bytes = kv::test::ReadBytes(entry.path().string());
            for (const std::size_t cut : {bytes.size(), bytes.size() - bytes.size() / 3}) {
                SCOPED_TRACE(file + " cut to " + std::to_string(cut));
                const std::string path = dir.File("shot.bmp");
                kv::test::WriteBytes(path, {bytes.begin(), bytes.begin() + std::ptrdiff_t(cut)});
                ++files;
                EXPECT_EQ(Verdict([&] { return kv::imaging::MeasureBitmapFile(path); }),
                          Verdict([&] {
                              const WorkingBitmap image = LoadBitmapFile(path);
                              return kv::imaging::ImageSize{image.Width(), image.Height()};
                          }));
                for (const Rectangle &r : rectangles) {
                    std::string expected, got;
                    WorkingBitmap whole, cropped;
                    kv::imaging::LoadReport wholeReport, croppedReport;
                    try {
                        whole = LoadBitmapFile(path, &wholeReport);
                        whole.Crop(r.x, r.y, r.width, r.height);
                    } catch (const ImageError &e) {
                        expected = e.what();
                    }
                    try {
                        cropped = kv::imaging::LoadBitmapFileCropped(path, r.x, r.y, r.width,
                                                                     r.height, &croppedReport);
                    } catch (const ImageError &e) {
                        got = e.what();
                    }
                    EXPECT_EQ(got, expected);
                    EXPECT_TRUE(SameImage(cropped, whole)) << r.x << "," << r.y;
                    EXPECT_EQ(croppedReport.width, wholeReport.width);
                    EXPECT_EQ(croppedReport.height, wholeReport.height);
                    EXPECT_EQ(croppedReport.whole, wholeReport.whole);
                }
            }
        }
    }
    EXPECT_GT(files, 100);
}
