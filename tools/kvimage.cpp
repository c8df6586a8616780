// kvimage: the imaging library from a terminal, for benchmarks and acceptance checks.
//   kvimage info FILE
//   kvimage resample IN OUT.bmp WIDTH HEIGHT [--kernel 0..6] [--radius R]
//   kvimage jpeg IN OUT.jpg [--quality Q]
#include <charconv>
#include <cstdio>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "BitmapFile.h"
#include "JpegFile.h"
#include "OutputFormat.h"
#include "Resample.h"
#include "ToolSupport.h"

using namespace kv::imaging;

namespace {

constexpr const char *kUsage =
    "usage: kvimage info FILE\n"
    "       kvimage resample IN OUT.bmp WIDTH HEIGHT [--kernel 0..6] [--radius R]\n"
    "       kvimage jpeg IN OUT.jpg [--quality Q]\n";

int Usage()
{
    std::cerr << kUsage;
    return 2;
}

int Info(const std::string &path)
{
    if (kv::converter::IsBitmapFileName(path)) {
        const WorkingBitmap image = LoadBitmapFile(path);
        std::cout << image.Width() << ' ' << image.Height() << ' ' << image.BitsPerPixel() << '\n';
    } else {
        // A JPEG's depth is that of its decoded image.
        const WorkingBitmap image = LoadJpegFile(path);
        std::cout << image.Width() << ' ' << image.Height() << ' ' << image.BitsPerPixel() << '\n';
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() == 2 && args[0] == "info") {
            return Info(args[1]);
        }
        if (args.size() >= 5 && args[0] == "resample") {
            const std::optional<long> width = kv::tools::ParseNumber(args[3]);
            const std::optional<long> height = kv::tools::ParseNumber(args[4]);
            long kernel = kv::converter::kScaleKernel;
            float radius = kv::converter::kScaleRadius;
            for (std::size_t i = 5; i < args.size(); i += 2) {
                if (i + 1 >= args.size()) {
                    return Usage();
                }
                if (args[i] == "--kernel") {
                    const std::optional<long> k = kv::tools::ParseNumber(args[i + 1]);
                    if (!k || *k < 0 || *k > 6) {
                        return Usage();
                    }
                    kernel = *k;
                } else if (args[i] == "--radius") {
                    radius = std::stof(args[i + 1]);
                } else {
                    return Usage();
                }
            }
            if (!width || !height || *width < 0 || *height < 0 ||
                !WithinPixelCeiling(*width, *height)) {
                return Usage();
            }
            WorkingBitmap image = kv::tools::LoadByExtension(args[1]);
            Resample(std::int32_t(*width), std::int32_t(*height), FilterKernel(kernel), radius,
                     image);
            WriteBitmapFile(image, args[2]);
            return 0;
        }
        if (args.size() >= 3 && args[0] == "jpeg") {
            long quality = kv::converter::kJpegQuality;
            if (args.size() == 5 && args[3] == "--quality") {
                const std::optional<long> q = kv::tools::ParseNumber(args[4]);
                if (!q || *q < 1 || *q > 100) {
                    return Usage();
                }
                quality = *q;
            } else if (args.size() != 3) {
                return Usage();
            }
            WriteJpegFile(kv::tools::LoadByExtension(args[1]), args[2], int(quality));
            return 0;
        }
        return Usage();
    } catch (const std::exception &e) {
        std::cerr << e.what() << '\n';
        return 1;
    }
}
