#pragma once

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <gtest/gtest.h>

#include "FilePath.h"
#include "WorkingBitmap.h"

namespace kv::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir
{
public:
    TempDir()
    {
        std::random_device seed;
        std::mt19937_64 random(seed());
        do {
            path_ = std::filesystem::temp_directory_path() / ("kvtest-" + std::to_string(random()));
        } while (!std::filesystem::create_directory(path_));
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &Path() const { return path_; }
    // The UTF-8 path of name in the folder.
    std::string File(const std::string &name) const
    {
        return imaging::Utf8FromPath(
            path_ / std::filesystem::path(std::u8string(name.begin(), name.end())));
    }

private:
    std::filesystem::path path_;
};

// Sets an environment variable for the lifetime of the object and puts the old value back.
class ScopedEnv
{
public:
    ScopedEnv(const char *name, const std::string &value) : name_(name)
    {
        if (const char *old = std::getenv(name)) {
            old_ = old;
        }
        Set(name, value.c_str());
    }
    ~ScopedEnv() { Set(name_, old_ ? old_->c_str() : nullptr); }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    static void Set(const char *name, const char *value)
    {
#ifdef _WIN32
        _putenv_s(name, value ? value : "");
#else
        value ? setenv(name, value, 1) : unsetenv(name);
#endif
    }

    const char *name_;
    std::optional<std::string> old_;
};

// The test pictures of tests/data (BMP suite, unusual JPEGs).
inline std::filesystem::path TestDataDir()
{
    const std::filesystem::path dir = KV_TESTDATA_DIR;
    EXPECT_TRUE(std::filesystem::is_directory(dir)) << dir << " is missing";
    return dir;
}

inline void WriteBytes(const std::string &path, const std::vector<unsigned char> &bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

inline std::vector<unsigned char> ReadBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A 24-bit test picture whose colour at (x, y) is colour(x, y).
template <class ColourOf>
imaging::WorkingBitmap MakeImage(int width, int height, int bitsPerPixel, ColourOf colour)
{
    imaging::WorkingBitmap image(width, height, bitsPerPixel);
    const int bytes = bitsPerPixel / 8;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const imaging::PaletteEntry c = colour(x, y);
            unsigned char *p = image.Row(y) + x * bytes;
            p[0] = c.blue;
            p[1] = c.green;
            p[2] = c.red;
        }
    }
    return image;
}

#ifndef _WIN32
// Lowers the soft file-size limit of this process and ignores SIGXFSZ, so that writes past it
// fail with EFBIG; both come back when it goes.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit saved_{};
    void (*oldHandler_)(int) = nullptr;
};
#endif

} // namespace kv::test

namespace kv::imaging {
inline void PrintTo(const PaletteEntry &c, std::ostream *os)
{
    *os << "(r" << int(c.red) << " g" << int(c.green) << " b" << int(c.blue) << ")";
}
} // namespace kv::imaging
