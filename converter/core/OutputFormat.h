#pragma once

#include "Resample.h"

// How the converter makes every file it writes: the imaging library takes these as parameters.
namespace kv::converter {

// Screenshots are scaled with Lanczos-3 at the kernel's own radius (0 asks for it).
inline constexpr imaging::FilterKernel kScaleKernel = imaging::fkLanczos3;
inline constexpr float kScaleRadius = 0.0f;

// The quality of every JPEG file the converter writes.
inline constexpr int kJpegQuality = 90;

} // namespace kv::converter
