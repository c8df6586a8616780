#pragma once

#include <cstdint>
#include <string>

#include "ConversionRun.h"
#include "WorkingBitmap.h"

namespace kv::bench {

// A screenshot-like picture: gradients, a fine checker and a little noise, so that neither the
// resampler nor the JPEG encoder meets an unusually easy image.
inline imaging::WorkingBitmap Screenshot(int width, int height)
{
    imaging::WorkingBitmap image(width, height, 24);
    std::uint32_t state = 99;
    for (int y = 0; y < height; ++y) {
        std::uint8_t *row = image.Row(y);
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const std::uint8_t noise = std::uint8_t(state >> 28);
            row[3 * x] = std::uint8_t((x * 255) / width + noise);
            row[3 * x + 1] = std::uint8_t(((x / 4 + y / 6) % 2) ? 210 : 40);
            row[3 * x + 2] = std::uint8_t((y * 255) / height);
        }
    }
    return image;
}

// Takes a run's reports and shows none; remembers the last file written.
class QuietObserver : public converter::ConversionObserver
{
public:
    void ShowProgressBar(bool) override {}
    void SetProgress(int) override {}
    void ShowMessage(const std::string &) override {}
    void AddResultRow(const converter::ResultRow &row) override { written = row.path; }
    std::string written;
};

} // namespace kv::bench
