#include "JpegFile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>

#include <jerror.h>
#include <jpeglib.h>

#include "FilePath.h"
#include "ImageError.h"
#include "ImagingTexts.h"
#include "RowFeed.h"

namespace kv::imaging {

namespace {

// The library reads and writes compressed data in blocks of this many bytes.
constexpr std::size_t kBlockSize = 4096;
// Greyscale files decode to this many evenly spaced grey levels.
constexpr int kGreyLevels = 236;

// The library reaches this through cinfo->err, which points at pub.
struct ErrorManager
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    bool dataLost; // a warning said that compressed data was missing or damaged
};

// Fatal errors print nothing: they jump back to the guarded step that called the library, which
// reports failure; the message code stays in pub.msg_code.
[[noreturn]] void ErrorExit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager *>(cinfo->err)->jump, 1);
}

// Warnings never stop decoding. Those that say compressed data was missing or damaged (the
// picture then holds filler there) are noted; other warnings and trace messages are ignored.
void EmitMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0) {
        return;
    }
    auto *errors = reinterpret_cast<ErrorManager *>(cinfo->err);
    switch (errors->pub.msg_code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_MUST_RESYNC:
        errors->dataLost = true;
        break;
    default:
        break;
    }
}
void OutputMessage(j_common_ptr) {}

jpeg_error_mgr *InitErrorManager(ErrorManager &errors)
{
    jpeg_std_error(&errors.pub);
    errors.pub.error_exit = ErrorExit;
    errors.pub.emit_message = EmitMessage;
    errors.pub.output_message = OutputMessage;
    return &errors.pub;
}

// Reads the file kBlockSize bytes at a time: only the blocks the library asks for are read (a
// header takes a block or two, a partial decode stops early) and no copy of the file is kept.
struct FileSource
{
    jpeg_source_mgr pub;
    std::FILE *file;
    bool readAny;    // some block held data
    bool readFailed; // the system failed a read; the caller throws ImageError
    bool ranOut;     // the file ended before the library was done with it
    JOCTET block[kBlockSize];
};

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr cinfo)
{
    static const JOCTET kFakeEoi[2] = {0xFF, JPEG_EOI};
    auto *source = reinterpret_cast<FileSource *>(cinfo->src);
    const std::size_t got = std::fread(source->block, 1, kBlockSize, source->file);
    if (got > 0) {
        source->readAny = true;
        source->pub.next_input_byte = source->block;
        source->pub.bytes_in_buffer = got;
        return TRUE;
    }
    if (std::ferror(source->file)) {
        source->readFailed = true;
        ERREXIT(cinfo, JERR_FILE_READ);
    }
    if (!source->readAny) {
        ERREXIT(cinfo, JERR_INPUT_EMPTY);
    }
    // A file cut short ends here as if complete, so it decodes at its full size with the
    // missing part left grey. Fed again for as long as the library asks.
    source->ranOut = true;
    source->pub.next_input_byte = kFakeEoi;
    source->pub.bytes_in_buffer = sizeof kFakeEoi;
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long numBytes)
{
    auto *source = reinterpret_cast<FileSource *>(cinfo->src);
    if (numBytes <= 0) {
        return;
    }
    const std::size_t skip = std::size_t(numBytes);
    if (skip <= source->pub.bytes_in_buffer) {
        source->pub.next_input_byte += skip;
        source->pub.bytes_in_buffer -= skip;
        return;
    }
    // Beyond the block handed out: move on in the file; past its end the next read finds
    // nothing, as for a file cut short.
    long beyond = long(skip - source->pub.bytes_in_buffer);
    source->pub.bytes_in_buffer = 0;
    if (std::fseek(source->file, beyond, SEEK_CUR) == 0) {
        return;
    }
    // A file that cannot seek is read through instead.
    while (beyond > 0) {
        const std::size_t want = std::min(kBlockSize, std::size_t(beyond));
        const std::size_t got = std::fread(source->block, 1, want, source->file);
        if (got == 0) {
            return;
        }
        beyond -= long(got);
    }
}

// Collects the compressed bytes in a buffer owned by the caller, one block at a time.
struct MemoryDestination
{
    jpeg_destination_mgr pub;
    std::vector<std::uint8_t> *bytes;
    bool outOfMemory; // set when the buffer could not grow; the caller throws std::bad_alloc
};

// Appends an empty block and hands it to the library. No exception may pass through the
// library's C frames, so a failed allocation ends as a library error instead.
void NextBlockOrFail(j_compress_ptr cinfo)
{
    auto *destination = reinterpret_cast<MemoryDestination *>(cinfo->dest);
    const std::size_t used = destination->bytes->size();
    try {
        destination->bytes->resize(used + kBlockSize);
    } catch (const std::bad_alloc &) {
        destination->outOfMemory = true;
    }
    if (destination->outOfMemory) {
        ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
    }
    destination->pub.next_output_byte = destination->bytes->data() + used;
    destination->pub.free_in_buffer = kBlockSize;
}

void InitDestination(j_compress_ptr cinfo)
{
    reinterpret_cast<MemoryDestination *>(cinfo->dest)->bytes->clear();
    NextBlockOrFail(cinfo);
}

// Called when the whole block handed out is full.
boolean EmptyOutputBuffer(j_compress_ptr cinfo)
{
    NextBlockOrFail(cinfo);
    return TRUE;
}

// Drops the unused tail of the last block.
void TermDestination(j_compress_ptr cinfo)
{
    auto *destination = reinterpret_cast<MemoryDestination *>(cinfo->dest);
    destination->bytes->resize(destination->bytes->size() - destination->pub.free_in_buffer);
}

// One decompression of an open file. It lives in the C++ caller, outside every guarded
// step, and frees the library's memory however decoding ends.
struct Reader
{
    explicit Reader(std::FILE *file)
    {
        info.err = InitErrorManager(errors);
        source.pub.init_source = InitSource;
        source.pub.fill_input_buffer = FillInputBuffer;
        source.pub.skip_input_data = SkipInputData;
        source.pub.resync_to_restart = jpeg_resync_to_restart;
        source.pub.term_source = TermSource;
        source.file = file;
    }
    ~Reader() { jpeg_destroy_decompress(&info); }
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;

    ErrorManager errors{};
    FileSource source{};
    jpeg_decompress_struct info{};
};

// One compression into bytes, which the caller owns; see Reader.
struct Writer
{
    explicit Writer(std::vector<std::uint8_t> &bytes)
    {
        info.err = InitErrorManager(errors);
        destination.pub.init_destination = InitDestination;
        destination.pub.empty_output_buffer = EmptyOutputBuffer;
        destination.pub.term_destination = TermDestination;
        destination.bytes = &bytes;
    }
    ~Writer() { jpeg_destroy_compress(&info); }
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    ErrorManager errors{};
    MemoryDestination destination{};
    jpeg_compress_struct info{};
};

// Guarded steps: every library call that can fail is made from one of these. Each sets the jump
// buffer itself and holds nothing that needs a destructor, so a fatal error's longjmp skips no
// C++ object. Each returns false after such an error.

bool CreateAndReadHeader(Reader *reader)
{
    if (setjmp(reader->errors.jump) != 0) {
        return false;
    }
    jpeg_create_decompress(&reader->info); // keeps info.err
    reader->info.src = &reader->source.pub;
    jpeg_read_header(&reader->info, TRUE);
    return true;
}

bool CalcOutputDimensions(Reader *reader)
{
    if (setjmp(reader->errors.jump) != 0) {
        return false;
    }
    jpeg_calc_output_dimensions(&reader->info);
    return true;
}

bool StartDecompress(Reader *reader)
{
    if (setjmp(reader->errors.jump) != 0) {
        return false;
    }
    jpeg_start_decompress(&reader->info);
    return true;
}

// Reads the next row; the source never suspends, so the library always delivers one.
bool ReadScanline(Reader *reader, JSAMPROW row)
{
    if (setjmp(reader->errors.jump) != 0) {
        return false;
    }
    jpeg_read_scanlines(&reader->info, &row, 1);
    return true;
}

#ifdef LIBJPEG_TURBO_VERSION
bool CropScanline(Reader *reader, JDIMENSION *xOffset, JDIMENSION *width)
{
    if (setjmp(reader->errors.jump) != 0) {
        return false;
    }
    jpeg_crop_scanline(&reader->info, xOffset, width);
    return true;
}

bool SkipScanlines(Reader *reader, JDIMENSION lines)
{
    if (setjmp(reader->errors.jump) != 0) {
        return false;
    }
    jpeg_skip_scanlines(&reader->info, lines);
    return true;
}
#endif

bool FinishDecompress(Reader *reader)
{
    if (setjmp(reader->errors.jump) != 0) {
        return false;
    }
    jpeg_finish_decompress(&reader->info);
    return true;
}

bool StartCompress(Writer *writer, JDIMENSION width, JDIMENSION height, J_COLOR_SPACE space,
                   int components, int quality)
{
    if (setjmp(writer->errors.jump) != 0) {
        return false;
    }
    jpeg_compress_struct *info = &writer->info;
    jpeg_create_compress(info); // keeps info->err
    info->dest = &writer->destination.pub;
    info->image_width = width;
    info->image_height = height;
    info->input_components = components;
    info->in_color_space = space;
    jpeg_set_defaults(info);
    info->dct_method = JDCT_FLOAT;
    jpeg_set_quality(info, quality, TRUE);
    jpeg_start_compress(info, TRUE);
    return true;
}

bool WriteScanline(Writer *writer, JSAMPROW row)
{
    if (setjmp(writer->errors.jump) != 0) {
        return false;
    }
    jpeg_write_scanlines(&writer->info, &row, 1);
    return true;
}

bool FinishCompress(Writer *writer)
{
    if (setjmp(writer->errors.jump) != 0) {
        return false;
    }
    jpeg_finish_compress(&writer->info);
    return true;
}

void ThrowIfFailed(bool ok, const Reader &reader)
{
    if (!ok && reader.source.readFailed) {
        throw ImageError(texts::kStreamReadError);
    }
    if (!ok) {
        throw EJPEG(reader.errors.pub.msg_code);
    }
}

void ThrowIfFailed(bool ok, const Writer &writer)
{
    if (!ok && writer.destination.outOfMemory) {
        throw std::bad_alloc();
    }
    if (!ok) {
        throw EJPEG(writer.errors.pub.msg_code);
    }
}

// True when the file ends with the end-of-image marker. A prefix of a JPEG file cannot: inside
// compressed data a 0xFF byte is always followed by 0x00 or a restart marker. Leaves the file at
// its start.
bool EndsWithEndOfImage(std::FILE *file)
{
    std::array<std::uint8_t, 2> last{};
    const bool read = std::fseek(file, -2, SEEK_END) == 0 &&
                      std::fread(last.data(), 1, last.size(), file) == last.size();
    std::rewind(file);
    return read && last[0] == 0xFF && last[1] == JPEG_EOI;
}

// The picture's size, known from the header before any row is decoded.
void ReportSize(const Reader &reader, LoadReport *report)
{
    if (report) {
        report->width = std::int32_t(reader.info.image_width);
        report->height = std::int32_t(reader.info.image_height);
    }
}

// Whether the picture came whole from the file, known once its rows are decoded.
void ReportWhole(const Reader &reader, LoadReport *report)
{
    if (report) {
        report->whole = !reader.source.ranOut && !reader.errors.dataLost;
    }
}

// Colour rows in the image's own order, blue, green, red, where the library can deliver them so:
// the same values as its red, green, blue rows, only without turning every pixel round.
#ifdef JCS_EXTENSIONS
constexpr J_COLOR_SPACE kImageOrder = JCS_EXT_BGR;
#else
constexpr J_COLOR_SPACE kImageOrder = JCS_RGB;
#endif

// Copies count decoded colour pixels into an image row.
void StoreColourPixels(const std::uint8_t *samples, std::size_t count, std::uint8_t *row)
{
    if (kImageOrder != JCS_RGB) {
        std::memcpy(row, samples, 3 * count);
        return;
    }
    for (std::size_t x = 0; x < count; ++x) {
        row[3 * x] = samples[3 * x + 2];
        row[3 * x + 1] = samples[3 * x + 1];
        row[3 * x + 2] = samples[3 * x];
    }
}

// CMYK to one RGB channel. Files with an Adobe marker hold inverted CMYK (0 is full ink), as
// the programs writing that marker store it; others hold plain ink amounts.
std::uint8_t InkToLight(std::uint8_t ink, std::uint8_t black, bool inverted)
{
    const unsigned light = inverted ? ink : 255u - ink;
    const unsigned through = inverted ? black : 255u - black;
    return std::uint8_t((light * through + 127) / 255); // at most 255 * 255 + 127, fits
}

// Turns one decoded row (colour, grey palette indices or CMYK) into the image's row.
void StoreRow(const std::uint8_t *samples, const jpeg_decompress_struct &info, std::uint8_t *row)
{
    const std::size_t width = info.output_width;
    switch (info.output_components) {
    case 1:
        std::memcpy(row, samples, width);
        break;
    case 3:
        StoreColourPixels(samples, width, row);
        break;
    default: {
        const bool inverted = info.saw_Adobe_marker;
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint8_t *cmyk = samples + 4 * x;
            row[3 * x] = InkToLight(cmyk[2], cmyk[3], inverted);
            row[3 * x + 1] = InkToLight(cmyk[1], cmyk[3], inverted);
            row[3 * x + 2] = InkToLight(cmyk[0], cmyk[3], inverted);
        }
        break;
    }
    }
}

// The decoding settings every image is decoded with.
void ApplyDecodingSettings(jpeg_decompress_struct &info)
{
    info.scale_num = 1;
    info.scale_denom = 1;
    info.dct_method = JDCT_FLOAT;
    info.do_block_smoothing = TRUE;
    info.buffered_image = FALSE;
}

// Decodes a whole file from its start (see LoadJpegFile).
WorkingBitmap Decode(std::FILE *file, LoadReport *report, RowFeed *feed)
{
    Reader reader(file);
    jpeg_decompress_struct &info = reader.info;
    ThrowIfFailed(CreateAndReadHeader(&reader), reader);

    ApplyDecodingSettings(info);
    int components = 3;
    if (info.out_color_space == JCS_GRAYSCALE) {
        info.quantize_colors = TRUE;
        info.desired_number_of_colors = kGreyLevels;
        components = 1; // palette indices
    } else if (info.out_color_space == JCS_CMYK) {
        // CMYK and YCCK files: the library gives CMYK, converted to RGB here rather than refused.
        components = 4;
    } else {
        // Colour spaces the library cannot turn into RGB fail in jpeg_start_decompress.
        info.out_color_space = kImageOrder;
    }
    ThrowIfFailed(CalcOutputDimensions(&reader), reader);
    // Checked before jpeg_start_decompress, which already allocates per row (per image when
    // progressive).
    if (!WithinPixelCeiling(info.output_width, info.output_height)) {
        throw ImageError(texts::ImageTooLarge(info.output_width, info.output_height));
    }
    ThrowIfFailed(StartDecompress(&reader), reader);
    if (info.output_components != components) {
        throw EJPEG(JERR_CONVERSION_NOTIMPL); // never expected; keeps StoreRow within its rows
    }
    ReportSize(reader, report);

    // Every row is decoded into, so the image is not filled first.
    WorkingBitmap decoded =
        WorkingBitmap::Unfilled(std::int32_t(info.output_width), std::int32_t(info.output_height),
                                components == 1 ? 8 : 24);
    if (components == 1) {
        std::vector<PaletteEntry> palette;
        for (int i = 0; i < info.actual_number_of_colors; ++i) {
            const std::uint8_t level = info.colormap[0][i];
            palette.push_back({level, level, level});
        }
        decoded.SetPalette(std::move(palette));
    }
    WorkingBitmap &image = feed ? feed->Begin(std::move(decoded)) : decoded;
    // Rows the library delivers in the image's order go straight into it.
    const bool direct = (kImageOrder != JCS_RGB && components == 3) || components == 1;
    std::vector<std::uint8_t> samples;
    if (!direct) {
        samples.resize(std::size_t(info.output_width) * std::size_t(components));
    }
    while (info.output_scanline < info.output_height) {
        const std::int32_t y = std::int32_t(info.output_scanline);
        ThrowIfFailed(ReadScanline(&reader, direct ? image.Row(y) : samples.data()), reader);
        if (!direct) {
            StoreRow(samples.data(), info, image.Row(y));
        }
        if (feed) {
            feed->Publish(y + 1);
        }
    }
    ThrowIfFailed(FinishDecompress(&reader), reader);
    ReportWhole(reader, report);
    return std::move(image);
}

// Decodes only the rectangle (x, y, width, height) of a colour file, or gives
// nothing where that might not give the pixels of a whole decode: greyscale files (quantising
// looks at the whole image), CMYK files, a library without partial decoding, and a rectangle
// not inside the image. Rows above the rectangle are skipped and rows below never decoded;
// columns outside it are left out. Both stop a margin away from the rectangle, because
// upsampling and block smoothing near a skipped edge see that edge instead of the pixels
// beyond it: 2 lines of upsampling, and 2 blocks of smoothing either side of an upsampled
// 16-pixel block, stay well inside these margins.
std::optional<WorkingBitmap> DecodeRegion(std::FILE *file, std::int32_t x, std::int32_t y,
                                          std::int32_t width, std::int32_t height,
                                          LoadReport *report, RowFeed *feed)
{
#ifdef LIBJPEG_TURBO_VERSION
    constexpr JDIMENSION kMarginColumns = 64;
    constexpr JDIMENSION kMarginRows = 32;

    if (x < 0 || y < 0 || width <= 0 || height <= 0) {
        return std::nullopt;
    }
    Reader reader(file);
    jpeg_decompress_struct &info = reader.info;
    ThrowIfFailed(CreateAndReadHeader(&reader), reader);
    if (info.out_color_space != JCS_RGB || info.num_components != 3) {
        return std::nullopt;
    }
    ApplyDecodingSettings(info);
    info.out_color_space = kImageOrder;
    ThrowIfFailed(CalcOutputDimensions(&reader), reader);
    if (!WithinPixelCeiling(info.output_width, info.output_height)) {
        throw ImageError(texts::ImageTooLarge(info.output_width, info.output_height));
    }
    const JDIMENSION left = JDIMENSION(x);
    const JDIMENSION top = JDIMENSION(y);
    const JDIMENSION right = left + JDIMENSION(width); // both within 2 x 65535
    const JDIMENSION bottom = top + JDIMENSION(height);
    if (right > info.output_width || bottom > info.output_height) {
        return std::nullopt;
    }
    ThrowIfFailed(StartDecompress(&reader), reader);
    if (info.output_components != 3) {
        return std::nullopt;
    }
    ReportSize(reader, report);

    // The library moves the first column down to a block boundary and says where.
    JDIMENSION firstColumn = left > kMarginColumns ? left - kMarginColumns : 0;
    JDIMENSION columns = std::min(info.output_width, right + kMarginColumns) - firstColumn;
    ThrowIfFailed(CropScanline(&reader, &firstColumn, &columns), reader);
    if (top > kMarginRows) {
        ThrowIfFailed(SkipScanlines(&reader, top - kMarginRows), reader);
    }

    WorkingBitmap region = WorkingBitmap::Unfilled(width, height, 24);
    WorkingBitmap &image = feed ? feed->Begin(std::move(region)) : region;
    std::vector<std::uint8_t> samples(std::size_t(columns) * 3);
    const std::size_t skipBytes = std::size_t(left - firstColumn) * 3;
    while (info.output_scanline < bottom) {
        const JDIMENSION line = info.output_scanline;
        ThrowIfFailed(ReadScanline(&reader, samples.data()), reader);
        if (line < top) {
            continue;
        }
        const std::int32_t row = std::int32_t(line - top);
        StoreColourPixels(samples.data() + skipBytes, std::size_t(width), image.Row(row));
        if (feed) {
            feed->Publish(row + 1);
        }
    }
    // The rest of the file is not read; the reader's destructor ends the decompression.
    ReportWhole(reader, report);
    return std::move(image);
#else
    (void)file, (void)x, (void)y, (void)width, (void)height, (void)report, (void)feed;
    return std::nullopt;
#endif
}

} // namespace

WorkingBitmap LoadJpegFile(const std::string &path, LoadReport *report, RowFeed *feed)
{
    const OpenedFile opened = OpenFileForReading(path);
    return Decode(opened.file.get(), report, feed);
}

WorkingBitmap LoadJpegFileCropped(const std::string &path, std::int32_t x, std::int32_t y,
                                  std::int32_t width, std::int32_t height, LoadReport *report,
                                  RowFeed *feed)
{
    const OpenedFile opened = OpenFileForReading(path);
    std::FILE *file = opened.file.get();
    // Whether a file is cut short below the rectangle shows only at its end, which a partial
    // decode never reaches; a file that does not end as a whole one does is decoded whole.
    if (!report || EndsWithEndOfImage(file)) {
        if (std::optional<WorkingBitmap> region =
                DecodeRegion(file, x, y, width, height, report, feed)) {
            return std::move(*region);
        }
    }
    std::rewind(file);
    WorkingBitmap image = Decode(file, report, nullptr);
    image.Crop(x, y, width, height);
    return image;
}

ImageSize ReadJpegSize(const std::string &path)
{
    const OpenedFile opened = OpenFileForReading(path);
    const FilePtr &file = opened.file;
    const int first = std::fgetc(file.get());
    if (first == EOF) {
        if (std::ferror(file.get())) {
            throw ImageError(texts::kStreamReadError);
        }
        return {};
    }
    std::ungetc(first, file.get());
    Reader reader(file.get());
    ThrowIfFailed(CreateAndReadHeader(&reader), reader);
    // The library refuses sides above 65500, so both fit.
    return {std::int32_t(reader.info.image_width), std::int32_t(reader.info.image_height)};
}

struct JpegEncoder::State
{
    State() : writer(bytes) {}

    std::vector<std::uint8_t> bytes;
    Writer writer; // after bytes, which it fills
    int pixelBytes = 3;
    std::vector<std::uint8_t> rgb; // a row turned round, for a library that takes RGB only
};

JpegEncoder::JpegEncoder(std::int32_t width, std::int32_t height, int pixelBytes, int quality)
    : state_(std::make_unique<State>())
{
    state_->pixelBytes = pixelBytes == 4 ? 4 : 3;
    // Room for a byte a pixel, more than a screenshot at this quality needs: growing block by
    // block would copy the bytes again and again.
    state_->bytes.reserve(std::size_t(std::max(width, 0)) * std::size_t(std::max(height, 0)) +
                          kBlockSize);
#ifdef JCS_EXTENSIONS
    // The library reads the image's own order, and its colour conversion gives the values of
    // red, green, blue rows.
    const J_COLOR_SPACE space = state_->pixelBytes == 4 ? JCS_EXT_BGRX : JCS_EXT_BGR;
    const int components = state_->pixelBytes;
#else
    const J_COLOR_SPACE space = JCS_RGB;
    const int components = 3;
    state_->rgb.resize(std::size_t(std::max(width, 0)) * 3);
#endif
    ThrowIfFailed(StartCompress(&state_->writer, JDIMENSION(std::max(width, 0)),
                                JDIMENSION(std::max(height, 0)), space, components, quality),
                  state_->writer);
}

JpegEncoder::~JpegEncoder() = default;

void JpegEncoder::WriteRow(const std::uint8_t *row)
{
    if (!state_->rgb.empty()) {
        const std::size_t pixelBytes = std::size_t(state_->pixelBytes);
        std::uint8_t *rgb = state_->rgb.data();
        for (std::size_t x = 0; x < state_->rgb.size() / 3; ++x) {
            rgb[3 * x] = row[pixelBytes * x + 2];
            rgb[3 * x + 1] = row[pixelBytes * x + 1];
            rgb[3 * x + 2] = row[pixelBytes * x];
        }
        row = rgb;
    }
    // The library reads the row and never writes it.
    ThrowIfFailed(WriteScanline(&state_->writer, const_cast<JSAMPROW>(row)), state_->writer);
}

std::vector<std::uint8_t> JpegEncoder::Finish()
{
    ThrowIfFailed(FinishCompress(&state_->writer), state_->writer);
    return std::move(state_->bytes);
}

std::vector<std::uint8_t> EncodeJpeg(const WorkingBitmap &image, int quality)
{
    if (image.Empty()) {
        return {};
    }
    // 24- and 32-bit rows go to the encoder as they are; only other depths need a converted copy
    // of the whole image.
    WorkingBitmap converted;
    const WorkingBitmap *bgr = &image;
    if (image.BitsPerPixel() != 24 && image.BitsPerPixel() != 32) {
        converted = image;
        converted.ConvertTo(24);
        bgr = &converted;
    }
    JpegEncoder encoder(bgr->Width(), bgr->Height(), bgr->BitsPerPixel() / 8, quality);
    for (std::int32_t y = 0; y < bgr->Height(); ++y) {
        encoder.WriteRow(bgr->Row(y));
    }
    return encoder.Finish();
}

void WriteJpegFile(const WorkingBitmap &image, const std::string &path, int quality)
{
    const std::vector<std::uint8_t> bytes = EncodeJpeg(image, quality);
    FilePtr file = OpenFile(path, "wb");
    if (!file) {
        throw ImageError(texts::CannotCreateFile(path, std::strerror(errno)));
    }
    // The first failure's errno is the reason given; EIO if the C library left none.
    int error = 0;
    const auto lastError = [] { return errno != 0 ? errno : EIO; };
    errno = 0;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
        error = lastError();
    }
    if (error == 0 && std::fflush(file.get()) != 0) {
        error = lastError();
    }
    if (std::fclose(file.release()) != 0 && error == 0) {
        error = lastError();
    }
    if (error != 0) {
        std::error_code ignored;
        std::filesystem::remove(PathFromUtf8(path), ignored);
        throw ImageError(texts::CannotCreateFile(path, std::strerror(error)));
    }
}

} // namespace kv::imaging
