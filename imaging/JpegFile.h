#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "LoadReport.h"
#include "WorkingBitmap.h"

namespace kv::imaging {

// Decodes a JPEG file into a 24-bit image (greyscale: an 8-bit image with a 236-level grey
// palette). A file cut short decodes to its full size; report, when given, says so. Throws
// ImageError / EJPEG.
WorkingBitmap LoadJpegFile(const std::string &path, LoadReport *report = nullptr);

// The width x height rectangle at (x, y) of a JPEG file: the same image as LoadJpegFile followed
// by Crop(x, y, width, height), with only the rows and columns it needs decoded where that
// gives the same pixels. With a report, a file that does not end in the end-of-image marker is
// decoded whole, so that a cut anywhere shows in it. Throws as LoadJpegFile.
WorkingBitmap LoadJpegFileCropped(const std::string &path, std::int32_t x, std::int32_t y,
                                  std::int32_t width, std::int32_t height,
                                  LoadReport *report = nullptr);

// The size from the JPEG header without decoding; a 0-byte file gives 0 x 0.
ImageSize ReadJpegSize(const std::string &path);

// Encodes image (any depth) as a baseline JFIF file of the given quality (1..100) with the
// float DCT and returns its bytes; empty for an empty image. Throws EJPEG.
std::vector<std::uint8_t> EncodeJpeg(const WorkingBitmap &image, int quality);

// Creates or replaces path with EncodeJpeg's bytes in one write (an empty image: a 0-byte file).
// Encoding comes first, so when it fails (EJPEG) no file is made; a file that cannot be created
// or fully written throws ImageError and is removed.
void WriteJpegFile(const WorkingBitmap &image, const std::string &path, int quality);

} // namespace kv::imaging
