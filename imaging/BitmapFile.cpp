#include "BitmapFile.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "FilePath.h"
#include "ImageError.h"
#include "ImagingTexts.h"
#include "RowFeed.h"

namespace kv::imaging {

namespace {

constexpr std::uint32_t kCompressionNone = 0;
constexpr std::uint32_t kCompressionRle8 = 1;
constexpr std::uint32_t kCompressionRle4 = 2;
constexpr std::uint32_t kCompressionBitFields = 3;
constexpr std::uint32_t kCompressionAlphaBitFields = 6;

constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::size_t kCoreHeaderBytes = 12;
constexpr std::size_t kInfoHeaderBytes = 40;

constexpr std::array<std::uint32_t, 3> kDefaultMasks16{0x7C00, 0x03E0, 0x001F};
constexpr std::array<std::uint32_t, 3> kDefaultMasks32{0x00FF0000, 0x0000FF00, 0x000000FF};

[[noreturn]] void ThrowNotValid()
{
    throw ImageError(texts::kBitmapNotValid);
}

[[noreturn]] void ThrowTruncated()
{
    throw ImageError(texts::kStreamReadError);
}

// The file header, the longest info header, the colour masks after a 40-byte one and the largest
// palette (256 entries) all lie within this many bytes of the file's start.
constexpr std::size_t kHeadersMaxBytes = kFileHeaderBytes + 124 + 16 + 256 * 4;

bool SeekTo(std::FILE *file, std::uint64_t offset)
{
#ifdef _WIN32
    return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

// Reads count bytes from offset into to. The caller has checked them against the file's size, so
// a file that holds fewer now was cut while it was read.
void ReadInto(std::FILE *file, const std::string &path, std::uint64_t offset, std::uint8_t *to,
              std::size_t count)
{
    if (!SeekTo(file, offset)) {
        ThrowTruncated();
    }
    const std::size_t got = std::fread(to, 1, count, file);
    if (std::ferror(file)) {
        throw ImageError(texts::CannotOpenFile(path, std::strerror(errno)));
    }
    if (got < count) {
        ThrowTruncated();
    }
}

// Reads count bytes from offset, as ReadInto does.
ByteBuffer ReadAt(std::FILE *file, const std::string &path, std::uint64_t offset, std::size_t count)
{
    if (!SeekTo(file, offset)) {
        ThrowTruncated();
    }
    ByteBuffer bytes;
    // One allocation, instead of growing by copies; in blocks, so no byte is cleared first.
    bytes.reserve(count);
    std::array<std::uint8_t, 65536> chunk;
    while (bytes.size() < count) {
        const std::size_t want = std::min(chunk.size(), count - bytes.size());
        const std::size_t got = std::fread(chunk.data(), 1, want, file);
        if (got == 0) {
            break;
        }
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + std::ptrdiff_t(got));
    }
    if (std::ferror(file)) {
        throw ImageError(texts::CannotOpenFile(path, std::strerror(errno)));
    }
    if (bytes.size() < count) {
        ThrowTruncated();
    }
    return bytes;
}

// Little-endian fields of the first bytes of a file of fileSize bytes, held in memory; a field past
// the file's end means the file was cut.
class ByteReader
{
public:
    ByteReader(std::span<const std::uint8_t> bytes, std::uint64_t fileSize)
        : bytes_(bytes), fileSize_(fileSize)
    {}

    std::uint64_t Size() const { return fileSize_; }
    bool Holds(std::uint64_t offset, std::uint64_t count) const
    {
        return offset <= fileSize_ && count <= fileSize_ - offset;
    }
    void Require(std::uint64_t offset, std::uint64_t count) const
    {
        if (!Holds(offset, count)) {
            ThrowTruncated();
        }
    }
    std::span<const std::uint8_t> Span(std::uint64_t offset, std::uint64_t count) const
    {
        Require(offset, count);
        // Never taken: every field read lies within the bytes held (kHeadersMaxBytes).
        if (offset + count > bytes_.size()) {
            ThrowNotValid();
        }
        return bytes_.subspan(std::size_t(offset), std::size_t(count));
    }
    std::uint16_t U16(std::uint64_t offset) const
    {
        const auto b = Span(offset, 2);
        return std::uint16_t(b[0] | b[1] << 8);
    }
    std::uint32_t U32(std::uint64_t offset) const
    {
        const auto b = Span(offset, 4);
        return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
               std::uint32_t(b[3]) << 24;
    }
    std::int32_t I32(std::uint64_t offset) const { return std::int32_t(U32(offset)); }

private:
    std::span<const std::uint8_t> bytes_;
    std::uint64_t fileSize_;
};

// What the headers say, checked and with defaults filled in.
struct BitmapLayout
{
    std::int64_t width = 0;
    std::int64_t height = 0;
    bool topDown = false;
    int bitsPerPixel = 0;
    std::uint32_t compression = kCompressionNone;
    std::uint32_t imageBytes = 0; // 0 = not given
    std::array<std::uint32_t, 3> masks{};
    std::vector<PaletteEntry> palette; // at most 2^bitsPerPixel entries
    std::uint64_t pixelOffset = 0;
};

bool IsWindowsHeaderSize(std::uint32_t size)
{
    return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

// 16 to 64 bytes: an OS/2 2.x header, cut after any field; its missing fields count as 0.
bool IsOs2HeaderSize(std::uint32_t size)
{
    return size >= 16 && size <= 64 && !IsWindowsHeaderSize(size);
}

bool IsKnownBitCount(int bitsPerPixel)
{
    switch (bitsPerPixel) {
    case 1:
    case 2: // Windows CE; widened to 8-bit indices
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
        return true;
    default:
        return false;
    }
}

bool CompressionFits(std::uint32_t compression, int bitsPerPixel, bool os2)
{
    switch (compression) {
    case kCompressionNone:
        return true;
    case kCompressionRle8:
        return bitsPerPixel == 8;
    case kCompressionRle4:
        return bitsPerPixel == 4;
    case kCompressionBitFields:
    case kCompressionAlphaBitFields:
        // In OS/2 headers 3 means Huffman coding, which is not supported.
        return !os2 && (bitsPerPixel == 16 || bitsPerPixel == 32);
    default:
        return false; // JPEG, PNG, OS/2 RLE24 and unknown codes
    }
}

BitmapLayout ReadLayout(const ByteReader &file)
{
    // Too short for the signature counts as cut, not as another format.
    if (file.Size() >= 2 && file.U16(0) != ('B' | 'M' << 8)) {
        ThrowNotValid();
    }
    const std::uint32_t dataOffset = file.U32(10);
    const std::uint32_t headerSize = file.U32(kFileHeaderBytes);
    const bool core = headerSize == kCoreHeaderBytes;
    const bool os2 = IsOs2HeaderSize(headerSize);
    if (!core && !os2 && !IsWindowsHeaderSize(headerSize)) {
        ThrowNotValid();
    }
    file.Require(kFileHeaderBytes, headerSize);
    const std::uint64_t header = kFileHeaderBytes;
    // A field the (possibly short OS/2) header does not reach reads as 0.
    const auto field = [&](std::uint32_t at) {
        return at + 4 <= headerSize ? file.U32(header + at) : 0u;
    };

    BitmapLayout layout;
    int planes = 0;
    if (core) {
        layout.width = file.U16(header + 4);
        layout.height = file.U16(header + 6);
        planes = file.U16(header + 8);
        layout.bitsPerPixel = file.U16(header + 10);
    } else {
        layout.width = file.I32(header + 4);
        const std::int64_t height = file.I32(header + 8);
        layout.topDown = height < 0;
        layout.height = height < 0 ? -height : height;
        planes = file.U16(header + 12);
        layout.bitsPerPixel = file.U16(header + 14);
        layout.compression = field(16);
        layout.imageBytes = field(20);
    }
    if (planes != 1 || !IsKnownBitCount(layout.bitsPerPixel) ||
        !CompressionFits(layout.compression, layout.bitsPerPixel, os2) || layout.width <= 0 ||
        layout.height <= 0) {
        ThrowNotValid();
    }
    if (!WithinPixelCeiling(layout.width, layout.height)) {
        throw ImageError(texts::ImageTooLarge(layout.width, layout.height));
    }

    // Colour masks sit inside 52-byte and longer headers, or follow a 40-byte one.
    std::uint64_t paletteOffset = header + headerSize;
    layout.masks = layout.bitsPerPixel == 16 ? kDefaultMasks16 : kDefaultMasks32;
    const bool bitFields = layout.compression == kCompressionBitFields ||
                           layout.compression == kCompressionAlphaBitFields;
    if (bitFields) {
        const std::uint64_t masksAt = header + kInfoHeaderBytes;
        layout.masks = {file.U32(masksAt), file.U32(masksAt + 4), file.U32(masksAt + 8)};
        if (headerSize == kInfoHeaderBytes) {
            paletteOffset += layout.compression == kCompressionAlphaBitFields ? 16 : 12;
        }
    }
    if (layout.bitsPerPixel == 16) {
        for (std::uint32_t &mask : layout.masks) {
            mask &= 0xFFFF;
        }
    }

    // The palette may be shorter than declared when the pixel offset leaves less room for it
    // (OS/2 files in the wild). An offset inside the headers or past the end is ignored.
    const std::uint64_t entryBytes = core ? 3 : 4;
    const std::uint32_t coloursUsed = core ? 0 : field(32);
    std::uint64_t declared = coloursUsed;
    if (declared == 0 && layout.bitsPerPixel <= 8) {
        declared = std::uint64_t{1} << layout.bitsPerPixel;
    }
    std::uint64_t entries = declared;
    if (dataOffset >= paletteOffset && dataOffset <= file.Size()) {
        entries = std::min(entries, (dataOffset - paletteOffset) / entryBytes);
        layout.pixelOffset = dataOffset;
    } else {
        layout.pixelOffset = paletteOffset + declared * entryBytes;
    }
    if (layout.bitsPerPixel <= 8) {
        const std::uint64_t kept = std::min(entries, std::uint64_t{1} << layout.bitsPerPixel);
        const auto bytes = file.Span(paletteOffset, kept * entryBytes);
        layout.palette.resize(std::size_t(kept));
        for (std::size_t i = 0; i < layout.palette.size(); ++i) {
            const std::size_t at = i * std::size_t(entryBytes);
            layout.palette[i] = {bytes[at], bytes[at + 1], bytes[at + 2]};
        }
    }
    return layout;
}

// Copies one stored row (already checked to be long enough) into the image's packed row.
void CopyRow(const std::uint8_t *in, const BitmapLayout &layout, WorkingBitmap &image,
             std::int32_t y)
{
    std::uint8_t *out = image.Row(y);
    const std::int32_t width = image.Width();
    if (layout.bitsPerPixel == 2) {
        for (std::int32_t x = 0; x < width; ++x) {
            const std::size_t ux = std::size_t(x);
            out[ux] = std::uint8_t((in[ux >> 2] >> (6 - 2 * (ux & 3))) & 3u);
        }
        return;
    }
    if (layout.bitsPerPixel == 32 && layout.masks != kDefaultMasks32) {
        for (std::size_t x = 0; x < std::size_t(width); ++x) {
            const std::uint8_t *p = in + 4 * x;
            const std::uint32_t value = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 |
                                        std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
            out[4 * x] = ExpandMaskedChannel(value, layout.masks[2]);
            out[4 * x + 1] = ExpandMaskedChannel(value, layout.masks[1]);
            out[4 * x + 2] = ExpandMaskedChannel(value, layout.masks[0]);
            out[4 * x + 3] = 0;
        }
        return;
    }
    std::memcpy(out, in, image.RowBytes());
    // Clear the bits past the last pixel so equal pictures have equal rows.
    const int usedBits = int((std::size_t(width) * std::size_t(layout.bitsPerPixel)) % 8);
    if (usedBits != 0) {
        out[image.RowBytes() - 1] &= std::uint8_t(0xFF00u >> usedBits);
    }
}

void SetIndex(std::uint8_t *row, std::int64_t x, std::uint8_t index, bool fourBit)
{
    const std::size_t ux = std::size_t(x);
    if (!fourBit) {
        row[ux] = index;
    } else if (ux & 1) {
        row[ux >> 1] = std::uint8_t((row[ux >> 1] & 0xF0u) | index);
    } else {
        row[ux >> 1] = std::uint8_t((row[ux >> 1] & 0x0Fu) | index << 4);
    }
}

// Expands RLE8 or RLE4 codes into the image's indices, which start at 0. Pixels past the right
// edge are dropped and codes past the last row ignored; data that ends early leaves the rest 0.
// Returns false when it did: the picture did not come whole from the file.
bool ExpandRle(std::span<const std::uint8_t> data, bool fourBit, bool topDown, WorkingBitmap &image)
{
    const std::int64_t width = image.Width();
    const std::int64_t height = image.Height();
    std::int64_t x = 0;
    std::int64_t y = 0; // stored rows, counted from the first one in the file
    const auto put = [&](std::uint8_t index) {
        if (x < width) {
            SetIndex(image.Row(std::int32_t(topDown ? y : height - 1 - y)), x, index, fourBit);
        }
        ++x;
    };
    std::size_t pos = 0;
    while (y < height && data.size() - pos >= 2) {
        const std::uint8_t count = data[pos];
        const std::uint8_t code = data[pos + 1];
        pos += 2;
        if (count > 0) {
            // An encoded run repeats one byte: one index, or two alternating nibbles.
            for (int i = 0; i < count; ++i) {
                put(fourBit ? std::uint8_t((i & 1) ? code & 0x0F : code >> 4) : code);
            }
        } else if (code == 0) {
            x = 0;
            ++y;
        } else if (code == 1) {
            return true;
        } else if (code == 2) {
            if (data.size() - pos < 2) {
                return false;
            }
            x += data[pos];
            y += data[pos + 1];
            pos += 2;
        } else {
            // An absolute run of `code` pixels, padded to a 16-bit boundary.
            const std::size_t bytes = fourBit ? (std::size_t(code) + 1) / 2 : code;
            if (data.size() - pos < bytes) {
                return false;
            }
            for (std::size_t i = 0; i < code; ++i) {
                const std::uint8_t b = data[pos + (fourBit ? i / 2 : i)];
                put(fourBit ? std::uint8_t((i & 1) ? b & 0x0F : b >> 4) : b);
            }
            pos += std::min(bytes + (bytes & 1), data.size() - pos);
        }
    }
    // Without an end code the last row may simply be full.
    return y >= height || (y == height - 1 && x >= width);
}

// At most this many bytes of run-length data are read: an encoder needs no more than 2 bytes a
// pixel (runs of one), 2 a row for its end and 2 for the end of the bitmap, so a header that
// gives no size, or a huge one, cannot make the whole file be read.
std::uint64_t RleDataLimit(std::int64_t width, std::int64_t height)
{
    return std::uint64_t(height) * (2 * std::uint64_t(width) + 4) + 16;
}

void PutU16(std::uint8_t *at, std::uint32_t value)
{
    at[0] = std::uint8_t(value);
    at[1] = std::uint8_t(value >> 8);
}

void PutU32(std::uint8_t *at, std::uint32_t value)
{
    PutU16(at, value);
    PutU16(at + 2, value >> 16);
}

} // namespace

namespace {

// A file opened with its headers read and checked, and the length of its pixel data known.
struct OpenedBitmap
{
    OpenedFile opened;
    BitmapLayout layout;
    std::uint64_t stride = 0;    // bytes of a stored row, uncompressed
    std::uint64_t available = 0; // bytes from the pixel data's start to the file's end
    bool rle = false;
};

// Nothing for a 0-byte file. The headers are read and checked first, and the pixel data only once
// the file is known to be long enough for it: a large file that is no bitmap is refused after a
// few bytes. Throws as LoadBitmapFile.
std::optional<OpenedBitmap> OpenBitmap(const std::string &path)
{
    OpenedBitmap bitmap{OpenFileForReading(path), {}, 0, 0, false};
    const std::uint64_t size = bitmap.opened.size;
    if (size == 0) {
        return std::nullopt;
    }
    const ByteBuffer headers = ReadAt(bitmap.opened.file.get(), path, 0,
                                      std::size_t(std::min<std::uint64_t>(size, kHeadersMaxBytes)));
    bitmap.layout = ReadLayout(ByteReader(headers, size));
    const BitmapLayout &layout = bitmap.layout;
    // Widths and heights are within the pixel ceiling, so these products fit easily.
    bitmap.stride =
        (std::uint64_t(layout.width) * std::uint64_t(layout.bitsPerPixel) + 31) / 32 * 4;
    bitmap.available = layout.pixelOffset < size ? size - layout.pixelOffset : 0;
    bitmap.rle = layout.compression == kCompressionRle8 || layout.compression == kCompressionRle4;
    if (!bitmap.rle && bitmap.stride * std::uint64_t(layout.height) > bitmap.available) {
        ThrowTruncated(); // before allocating for what the file cannot hold
    }
    return bitmap;
}

// Every loader writes each byte of the image's rows, so they are not filled first.
WorkingBitmap ImageFor(const BitmapLayout &layout, std::int32_t height, std::int32_t width = -1)
{
    WorkingBitmap image =
        WorkingBitmap::Unfilled(width < 0 ? std::int32_t(layout.width) : width, height,
                                layout.bitsPerPixel == 2 ? 8 : layout.bitsPerPixel);
    image.SetPalette(layout.palette);
    if (layout.bitsPerPixel == 16) {
        image.SetColourMasks(layout.masks);
    }
    return image;
}

// The image rows first .. first + count - 1 of an uncompressed bitmap, as an image of that many
// rows.
WorkingBitmap ReadRows(const std::string &path, const OpenedBitmap &bitmap, std::int32_t first,
                       std::int32_t count)
{
    const BitmapLayout &layout = bitmap.layout;
    // Bottom-up files store the image's last row first.
    const std::int64_t firstStored = layout.topDown ? first : layout.height - first - count;
    const ByteBuffer data = ReadAt(bitmap.opened.file.get(), path,
                                   layout.pixelOffset + std::uint64_t(firstStored) * bitmap.stride,
                                   std::size_t(bitmap.stride * std::uint64_t(count)));
    const ByteReader pixels(data, data.size());
    WorkingBitmap image = ImageFor(layout, count);
    for (std::int32_t stored = 0; stored < count; ++stored) {
        const std::int32_t y = layout.topDown ? stored : count - 1 - stored;
        CopyRow(pixels.Span(std::uint64_t(stored) * bitmap.stride, bitmap.stride).data(), layout,
                image, y);
    }
    return image;
}

// The width x height rectangle at (x, y), inside the picture, of an uncompressed bitmap whose
// stored rows are its pixels byte for byte. The stored rows it crosses are read many at a time
// (a call into the system for each row would cost more than copying the row's part out of a
// chunk), from the picture's top down, so that a feed gets them in its order.
WorkingBitmap ReadRectangle(const std::string &path, const OpenedBitmap &bitmap, std::int32_t x,
                            std::int32_t y, std::int32_t width, std::int32_t height, RowFeed *feed)
{
    constexpr std::size_t kChunkBytes = std::size_t{96} << 10;
    const BitmapLayout &layout = bitmap.layout;
    WorkingBitmap rectangle = ImageFor(layout, height, width);
    WorkingBitmap &image = feed ? feed->Begin(std::move(rectangle)) : rectangle;
    const std::size_t left = std::size_t(x) * std::size_t(layout.bitsPerPixel / 8);
    const std::size_t stride = std::size_t(bitmap.stride);
    const std::int32_t rowsPerChunk = std::int32_t(std::max<std::size_t>(1, kChunkBytes / stride));
    std::vector<std::uint8_t> chunk(std::size_t(std::min(rowsPerChunk, height)) * stride);
    for (std::int32_t first = 0; first < height; first += rowsPerChunk) {
        const std::int32_t rows = std::min(rowsPerChunk, height - first);
        // Rows first .. first + rows - 1 of the rectangle, stored in order or in reverse.
        const std::int64_t firstStored =
            layout.topDown ? std::int64_t(y) + first : layout.height - y - first - rows;
        ReadInto(bitmap.opened.file.get(), path,
                 layout.pixelOffset + std::uint64_t(firstStored) * bitmap.stride, chunk.data(),
                 std::size_t(rows) * stride);
        for (std::int32_t i = 0; i < rows; ++i) {
            const std::int32_t stored = layout.topDown ? i : rows - 1 - i;
            std::memcpy(image.Row(first + i), chunk.data() + std::size_t(stored) * stride + left,
                        image.RowBytes());
        }
        if (feed) {
            feed->Publish(first + rows);
        }
    }
    return std::move(image);
}

WorkingBitmap LoadOpened(const std::string &path, const OpenedBitmap &bitmap, LoadReport *report)
{
    const BitmapLayout &layout = bitmap.layout;
    if (!bitmap.rle) {
        return ReadRows(path, bitmap, 0, std::int32_t(layout.height));
    }
    std::uint64_t dataBytes = layout.imageBytes != 0
                                  ? std::min<std::uint64_t>(layout.imageBytes, bitmap.available)
                                  : bitmap.available;
    dataBytes = std::min(dataBytes, RleDataLimit(layout.width, layout.height));
    const ByteBuffer data =
        ReadAt(bitmap.opened.file.get(), path, layout.pixelOffset, std::size_t(dataBytes));
    WorkingBitmap image = ImageFor(layout, std::int32_t(layout.height));
    for (std::int32_t y = 0; y < image.Height(); ++y) {
        std::memset(image.Row(y), 0, image.RowBytes());
    }
    const bool whole = ExpandRle(std::span<const std::uint8_t>(data.data(), data.size()),
                                 layout.compression == kCompressionRle4, layout.topDown, image);
    if (report) {
        report->whole = whole;
    }
    return image;
}

void Report(const BitmapLayout &layout, LoadReport *report)
{
    if (report) {
        report->width = std::int32_t(layout.width);
        report->height = std::int32_t(layout.height);
    }
}

} // namespace

WorkingBitmap LoadBitmapFile(const std::string &path, LoadReport *report)
{
    if (report) {
        *report = LoadReport{};
    }
    const std::optional<OpenedBitmap> bitmap = OpenBitmap(path);
    if (!bitmap) {
        return {};
    }
    Report(bitmap->layout, report);
    return LoadOpened(path, *bitmap, report);
}

WorkingBitmap LoadBitmapFileCropped(const std::string &path, std::int32_t x, std::int32_t y,
                                    std::int32_t width, std::int32_t height, LoadReport *report,
                                    RowFeed *feed)
{
    if (report) {
        *report = LoadReport{};
    }
    const std::optional<OpenedBitmap> bitmap = OpenBitmap(path);
    WorkingBitmap image;
    if (!bitmap) {
        image.Crop(x, y, width, height);
        return image;
    }
    const BitmapLayout &layout = bitmap->layout;
    Report(layout, report);
    // Only a rectangle inside the picture, of whole bytes a pixel, is cut the same from its own
    // rows: elsewhere Crop's result depends on pixels outside it.
    const bool inside = x >= 0 && y >= 0 && width >= 0 && height > 0 &&
                        std::int64_t(x) + width <= layout.width &&
                        std::int64_t(y) + height <= layout.height;
    if (!bitmap->rle && inside && layout.bitsPerPixel >= 8) {
        // Rows that are their pixels byte for byte (no masks to apply) are read in part.
        if (layout.bitsPerPixel != 32 || layout.masks == kDefaultMasks32) {
            return ReadRectangle(path, *bitmap, x, y, width, height, feed);
        }
        image = ReadRows(path, *bitmap, y, height);
        image.Crop(x, 0, width, height);
        return image;
    }
    image = LoadOpened(path, *bitmap, report);
    image.Crop(x, y, width, height);
    return image;
}

ImageSize MeasureBitmapFile(const std::string &path)
{
    const std::optional<OpenedBitmap> bitmap = OpenBitmap(path);
    if (!bitmap) {
        return {};
    }
    // Past its headers and length, an uncompressed file cannot fail to load; run-length data can.
    if (bitmap->rle) {
        LoadOpened(path, *bitmap, nullptr);
    }
    return {std::int32_t(bitmap->layout.width), std::int32_t(bitmap->layout.height)};
}

void WriteBitmapFile(const WorkingBitmap &image, const std::string &path)
{
    // Within the ceiling every size field below fits in 32 bits.
    if (!WithinPixelCeiling(image.Width(), image.Height())) {
        throw ImageError(texts::ImageTooLarge(image.Width(), image.Height()));
    }
    FilePtr file = OpenFile(path, "wb");
    if (!file) {
        throw ImageError(texts::CannotCreateFile(path, std::strerror(errno)));
    }
    const auto failed = [&path] {
        return ImageError(texts::CannotCreateFile(path, std::strerror(errno)));
    };
    // An empty image becomes a 0-byte file, which LoadBitmapFile reads back as empty.
    if (!image.Empty()) {
        WorkingBitmap converted;
        const WorkingBitmap *source = &image;
        if (image.BitsPerPixel() != 24 && image.BitsPerPixel() != 32) {
            converted = image;
            converted.ConvertTo(24);
            source = &converted;
        }
        const std::uint32_t bitsPerPixel = std::uint32_t(source->BitsPerPixel());
        // At most kMaxDimension * 4 bytes a row and kMaxPixels * 4 in all.
        const std::uint32_t stride = (std::uint32_t(source->Width()) * bitsPerPixel + 31) / 32 * 4;
        const std::uint32_t pixelBytes = stride * std::uint32_t(source->Height());
        const std::uint32_t headersBytes = kFileHeaderBytes + kInfoHeaderBytes;

        std::array<std::uint8_t, kFileHeaderBytes + kInfoHeaderBytes> headers{};
        headers[0] = 'B';
        headers[1] = 'M';
        PutU32(&headers[2], headersBytes + pixelBytes);
        PutU32(&headers[10], headersBytes);
        std::uint8_t *info = &headers[kFileHeaderBytes];
        PutU32(info, kInfoHeaderBytes);
        PutU32(info + 4, std::uint32_t(source->Width()));
        PutU32(info + 8, std::uint32_t(source->Height())); // positive: bottom-up
        PutU16(info + 12, 1);
        PutU16(info + 14, bitsPerPixel);
        PutU32(info + 20, pixelBytes); // compression, resolution and palette stay 0
        if (std::fwrite(headers.data(), 1, headers.size(), file.get()) != headers.size()) {
            throw failed();
        }

        std::vector<std::uint8_t> row(stride, 0);
        for (std::int32_t y = source->Height() - 1; y >= 0; --y) {
            std::memcpy(row.data(), source->Row(y), source->RowBytes());
            if (bitsPerPixel == 32) {
                // All-zero fourth bytes tell readers that guess alpha that there is none.
                for (std::size_t x = 3; x < source->RowBytes(); x += 4) {
                    row[x] = 0;
                }
            }
            if (std::fwrite(row.data(), 1, row.size(), file.get()) != row.size()) {
                throw failed();
            }
        }
    }
    if (std::fclose(file.release()) != 0) {
        throw failed();
    }
}

} // namespace kv::imaging
