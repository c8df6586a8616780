#include "ImagingTexts.h"

#include "ImageError.h"
#include "WorkingBitmap.h"

namespace kv::imaging {

namespace texts {

std::string CannotOpenFile(const std::string &path, const std::string &reason)
{
    return "Cannot open file \"" + path + "\". " + reason;
}

std::string CannotCreateFile(const std::string &path, const std::string &reason)
{
    return "Cannot create file \"" + path + "\". " + reason;
}

std::string JpegError(int code)
{
    return "JPEG error #" + std::to_string(code);
}

std::string ImageTooLarge(long long width, long long height)
{
    return "Image is too large (" + std::to_string(width) + " x " + std::to_string(height) +
           " pixels; at most " + std::to_string(kMaxDimension) + " pixels a side and " +
           std::to_string(kMaxPixels) + " pixels in all)";
}

} // namespace texts

EJPEG::EJPEG(int code) : ImageError(texts::JpegError(code)), code_(code) {}

} // namespace kv::imaging
