// kvsample: writes a synthetic game screenshot (BMP or JPEG by extension) for demos and
// benchmarks: a dark scene with a bright, text-like scoreboard grid, so that crops and scaling
// have edges and detail to work on.
//   kvsample OUT WIDTH HEIGHT [SEED]
#include <cstdint>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "ToolSupport.h"

using namespace kv::imaging;

int main(int argc, char **argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() < 3 || args.size() > 4) {
        std::cerr << "usage: kvsample OUT WIDTH HEIGHT [SEED]\n";
        return 2;
    }
    const auto width = kv::tools::ParseNumber(args[1]);
    const auto height = kv::tools::ParseNumber(args[2]);
    const auto seed = args.size() == 4 ? kv::tools::ParseNumber(args[3]) : std::optional<long>(1);
    if (!width || !height || !seed || *width <= 0 || *height <= 0 ||
        !WithinPixelCeiling(*width, *height)) {
        std::cerr << "kvsample: WIDTH and HEIGHT must be positive whole numbers\n";
        return 2;
    }
    try {
        WorkingBitmap image(std::int32_t(*width), std::int32_t(*height), 24);
        std::uint32_t state = std::uint32_t(*seed) * 2654435761u + 1;
        for (std::int32_t y = 0; y < image.Height(); ++y) {
            std::uint8_t *row = image.Row(y);
            for (std::int32_t x = 0; x < image.Width(); ++x) {
                state = state * 1664525u + 1013904223u;
                const std::uint8_t noise = std::uint8_t(state >> 27);
                const bool board = x > image.Width() / 10 && x < image.Width() * 9 / 10 &&
                                   y > image.Height() / 10 && y < image.Height() / 2;
                const bool glyph = board && ((x / 3) * 7 + (y / 5) * 3) % 11 < 4 && (y % 36) > 8;
                row[3 * x] = std::uint8_t(glyph ? 230 : 40 + (x * 60) / image.Width() + noise);
                row[3 * x + 1] = std::uint8_t(glyph ? 220 : 50 + (y * 90) / image.Height() + noise);
                row[3 * x + 2] = std::uint8_t(glyph ? 120 : 30 + noise);
            }
        }
        if (kv::converter::IsBitmapFileName(args[0])) {
            WriteBitmapFile(image, args[0]);
        } else {
            WriteJpegFile(image, args[0], 92);
        }
    } catch (const std::exception &e) {
        std::cerr << e.what() << '\n';
        return 1;
    }
    return 0;
}
