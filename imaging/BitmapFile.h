#pragma once

#include <string>

#include "LoadReport.h"
#include "WorkingBitmap.h"

namespace kv::imaging {

// Reads a Windows BMP file (core, 40-, 52-, 56-, 108- and 124-byte headers; 1 to 32 bits;
// bit fields; RLE4 and RLE8; bottom-up or top-down) at its own depth. A 0-byte file gives an
// empty image. The headers are checked before the pixel data is read. Fills report when given.
// Throws ImageError with the exact user texts of ImagingTexts.h.
WorkingBitmap LoadBitmapFile(const std::string &path, LoadReport *report = nullptr);

// Writes an uncompressed bottom-up BMP with a 40-byte header at 24 or 32 bits (other depths
// are written as 24 bits). For tools and tests. Throws ImageError when the file cannot be made.
void WriteBitmapFile(const WorkingBitmap &image, const std::string &path);

} // namespace kv::imaging
