#pragma once

#include <cstdint>
#include <string>

#include "LoadReport.h"
#include "WorkingBitmap.h"

namespace kv::imaging {

class RowFeed;

// Reads a Windows BMP file (core, 40-, 52-, 56-, 108- and 124-byte headers; 1 to 32 bits;
// bit fields; RLE4 and RLE8; bottom-up or top-down) at its own depth. A 0-byte file gives an
// empty image. The headers are checked before the pixel data is read. Fills report when given.
// Throws ImageError with the exact user texts of ImagingTexts.h.
WorkingBitmap LoadBitmapFile(const std::string &path, LoadReport *report = nullptr);

// The width x height rectangle at (x, y) of a BMP file: the same image and report as
// LoadBitmapFile followed by Crop(x, y, width, height), reading only the rows it needs where that
// gives the same pixels. With a feed, a rectangle read from its rows is handed to it as they come
// (see LoadJpegFile); its size is reported before. Throws as LoadBitmapFile.
WorkingBitmap LoadBitmapFileCropped(const std::string &path, std::int32_t x, std::int32_t y,
                                    std::int32_t width, std::int32_t height,
                                    LoadReport *report = nullptr, RowFeed *feed = nullptr);

// The size LoadBitmapFile would give, or its error: an uncompressed file is measured from its
// headers and length alone; a run-length-compressed one is loaded. A 0-byte file gives 0 x 0.
ImageSize MeasureBitmapFile(const std::string &path);

// Writes an uncompressed bottom-up BMP with a 40-byte header at 24 or 32 bits (other depths
// are written as 24 bits). For tools and tests. Throws ImageError when the file cannot be made.
void WriteBitmapFile(const WorkingBitmap &image, const std::string &path);

} // namespace kv::imaging
