#include "FolderWatch.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "BitmapFile.h"
#include "JpegFile.h"
#include "TestSupport.h"

namespace kv::converter {
namespace {

// A file is complete when it holds what its headers promise; cut anywhere it is not.
TEST(LooksComplete, OnlyAWholeScreenshotIsComplete)
{
    test::TempDir dir;
    const imaging::WorkingBitmap picture(64, 48, 24);
    imaging::WriteBitmapFile(picture, dir.File("whole.bmp"));
    imaging::WriteJpegFile(picture, dir.File("whole.jpg"), 90);
    const std::vector<unsigned char> bmp = test::ReadBytes(dir.File("whole.bmp"));
    const std::vector<unsigned char> jpeg = test::ReadBytes(dir.File("whole.jpg"));
    const auto cut = [](std::vector<unsigned char> bytes, std::size_t size) {
        bytes.resize(size);
        return bytes;
    };
    std::vector<unsigned char> padded = jpeg;
    padded.insert(padded.end(), 16, 0);
    const struct
    {
        const char *name;
        std::vector<unsigned char> bytes;
        bool complete;
    } cases[] = {
        {"whole.bmp", bmp, true},
        {"one byte short.bmp", cut(bmp, bmp.size() - 1), false},
        {"headers only.bmp", cut(bmp, 54), false},
        {"half a header.bmp", cut(bmp, 20), false},
        {"whole.jpg", jpeg, true},
        {"padded after its end.jpg", padded, true},
        {"half.jpg", cut(jpeg, jpeg.size() / 2), false},
        {"without its end marker.jpg", cut(jpeg, jpeg.size() - 2), false},
        {"empty.bmp", {}, false},
        // Not a picture: the converter refuses it with its own message.
        {"text.jpg", {'h', 'e', 'l', 'l', 'o'}, true},
    };
    for (const auto &c : cases) {
        const std::string path = dir.File(std::string("case ") + c.name);
        test::WriteBytes(path, c.bytes);
        EXPECT_EQ(LooksComplete(path), c.complete) << c.name;
    }
    EXPECT_FALSE(LooksComplete(dir.File("missing.bmp")));
}

} // namespace
} // namespace kv::converter
