#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "LoadReport.h"
#include "WorkingBitmap.h"

namespace kv::imaging {

class RowFeed;

// Decodes a JPEG file into a 24-bit image (greyscale: an 8-bit image with a 236-level grey
// palette). A file cut short decodes to its full size; report, when given, says so: its size is
// set before the image's rows are decoded, whether it came whole once they are. With a feed, the
// rows are handed to it as they are decoded (the caller ends the feed). Throws ImageError / EJPEG.
WorkingBitmap LoadJpegFile(const std::string &path, LoadReport *report = nullptr,
                           RowFeed *feed = nullptr);

// The width x height rectangle at (x, y) of a JPEG file: the same image as LoadJpegFile followed
// by Crop(x, y, width, height), with only the rows and columns it needs decoded where that
// gives the same pixels. With a report, a file that does not end in the end-of-image marker is
// decoded whole, so that a cut anywhere shows in it. Report and feed as for LoadJpegFile, except
// that rows decoded whole and then cut are not handed to the feed. Throws as LoadJpegFile.
WorkingBitmap LoadJpegFileCropped(const std::string &path, std::int32_t x, std::int32_t y,
                                  std::int32_t width, std::int32_t height,
                                  LoadReport *report = nullptr, RowFeed *feed = nullptr);

// The size from the JPEG header without decoding; a 0-byte file gives 0 x 0.
ImageSize ReadJpegSize(const std::string &path);

// Encodes image (any depth) as a baseline JFIF file of the given quality (1..100) with the
// float DCT and returns its bytes; empty for an empty image. Throws EJPEG.
std::vector<std::uint8_t> EncodeJpeg(const WorkingBitmap &image, int quality);

// Encodes an image handed over a row at a time from the top, to the bytes EncodeJpeg gives for
// the image those rows make up.
class JpegEncoder
{
public:
    // Rows of width pixels of pixelBytes bytes: 3 (blue, green, red) or 4 (the same and a byte
    // that is not read). Throws EJPEG, as for a width or height the format cannot hold.
    JpegEncoder(std::int32_t width, std::int32_t height, int pixelBytes, int quality);
    ~JpegEncoder();
    JpegEncoder(const JpegEncoder &) = delete;
    JpegEncoder &operator=(const JpegEncoder &) = delete;

    void WriteRow(const std::uint8_t *row);
    // The file's bytes, once every row is written.
    std::vector<std::uint8_t> Finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Creates or replaces path with EncodeJpeg's bytes in one write (an empty image: a 0-byte file).
// Encoding comes first, so when it fails (EJPEG) no file is made; a file that cannot be created
// or fully written throws ImageError and is removed.
void WriteJpegFile(const WorkingBitmap &image, const std::string &path, int quality);

} // namespace kv::imaging
