#include <filesystem>

#include <benchmark/benchmark.h>

#include "BenchSupport.h"
#include "BitmapFile.h"
#include "ConversionRun.h"
#include "ConverterTexts.h"
#include "JpegFile.h"
#include "ScreenshotFiles.h"
#include "ScreenshotRow.h"

using namespace kv::converter;

namespace {

// One Ravelock 1680 x 1050 screenshot, "10 on 10" as a spectator (a 1337 x 486 crop).
// args: 0 = JPEG input, 1 = BMP input; percent; 1 = scoreboard only, 0 = whole picture
void BM_ConvertOneScreenshot(benchmark::State &state)
{
    const bool bmp = state.range(0) == 1;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("kv-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string input = (dir / (bmp ? "shot.bmp" : "shot.jpg")).string();
    if (bmp) {
        kv::imaging::WriteBitmapFile(kv::bench::Screenshot(1680, 1050), input);
    } else {
        kv::imaging::WriteJpegFile(kv::bench::Screenshot(1680, 1050), input, 92);
    }
    const std::vector<ScreenshotRow> rows = {MeasureScreenshot(input, texts::kRavelock)};
    ConversionSettingTexts settings;
    settings.edition = texts::kRavelock;
    settings.teamSize = "10 on 10";
    settings.spectator = true;
    settings.scoreboardOnly = state.range(2) == 1;
    settings.sizePercent = std::to_string(state.range(1));
    settings.saveFolder = (dir / "out").string() + "/";
    kv::bench::QuietObserver observer;
    for (auto _ : state) {
        ConversionRun run(rows, ReadConversionSettings(settings), observer);
        run.Run();
        state.PauseTiming();
        std::filesystem::remove(observer.written);
        state.ResumeTiming();
    }
    std::filesystem::remove_all(dir);
}

} // namespace

BENCHMARK(BM_ConvertOneScreenshot)->Args({0, 100, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertOneScreenshot)->Args({0, 50, 0})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertOneScreenshot)->Args({1, 75, 1})->Unit(benchmark::kMillisecond);
