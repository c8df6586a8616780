#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

// The loaders read files: each input is written to one scratch file per process, in memory
// where the system offers a RAM-backed folder.
namespace kv::fuzz {

// Inputs whose header claims more pixels are skipped: large pictures decode by the same code,
// just slower. The ceilings themselves are tested at the limit in the test suite.
inline constexpr std::int64_t kMaxFuzzPixels = std::int64_t{1} << 18;
// JPEG decoding costs more a pixel (and decodes twice here), so its inputs stay smaller still;
// every decoding path (sampling, progressive, restarts) is reached at this size.
inline constexpr std::int64_t kMaxFuzzJpegPixels = std::int64_t{1} << 14;

inline const std::string &ScratchFile(const char *suffix)
{
    static const std::string path = [suffix] {
        const char *dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        return std::string(dir) + "/kvfuzz-" + std::to_string(getpid()) + suffix;
    }();
    return path;
}

inline const std::string &WriteScratch(const std::uint8_t *data, std::size_t size,
                                       const char *suffix)
{
    const std::string &path = ScratchFile(suffix);
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (file) {
        if (size > 0) {
            std::fwrite(data, 1, size, file);
        }
        std::fclose(file);
    }
    return path;
}

} // namespace kv::fuzz
