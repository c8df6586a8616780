#pragma once

#include <string>

// Every text the imaging library shows to users, shared by code and tests.
namespace kv::imaging::texts {

inline constexpr const char *kBitmapNotValid = "Bitmap image is not valid";
inline constexpr const char *kStreamReadError = "Stream read error";
// The reason in "Cannot open file ..." for a folder, a FIFO, a device or the empty path.
inline constexpr const char *kNotAFile = "Not a file";

// "Cannot open file "%s". %s": the full path and the system's text for the error.
std::string CannotOpenFile(const std::string &path, const std::string &reason);
// "Cannot create file "%s". %s".
std::string CannotCreateFile(const std::string &path, const std::string &reason);
// "JPEG error #%d" with libjpeg's message code.
std::string JpegError(int code);
// Files whose header claims more pixels than kMaxPixels (or a side above kMaxDimension).
std::string ImageTooLarge(long long width, long long height);

} // namespace kv::imaging::texts
