#include <benchmark/benchmark.h>

#include "Resample.h"

using namespace kv::imaging;

namespace {

WorkingBitmap Noise(int width, int height)
{
    WorkingBitmap image(width, height, 24);
    std::uint32_t state = 12345;
    for (int y = 0; y < height; ++y) {
        std::uint8_t *row = image.Row(y);
        for (std::size_t i = 0; i < image.RowBytes(); ++i) {
            state = state * 1664525u + 1013904223u;
            row[i] = std::uint8_t(state >> 24);
        }
    }
    return image;
}

using ResampleFunction = void (*)(std::int32_t, std::int32_t, FilterKernel, float,
                                  const WorkingBitmap &, WorkingBitmap &);

// args: source width, source height, percent
template <ResampleFunction resample> void BM_Resample(benchmark::State &state)
{
    const WorkingBitmap source = Noise(int(state.range(0)), int(state.range(1)));
    const int percent = int(state.range(2));
    WorkingBitmap target;
    for (auto _ : state) {
        resample(source.Width() * percent / 100, source.Height() * percent / 100, fkLanczos3, 0.0f,
                 source, target);
        benchmark::DoNotOptimize(target.Row(0));
    }
    state.SetLabel(std::to_string(source.Width()) + "x" + std::to_string(source.Height()) + " " +
                   std::to_string(percent) + "%");
}

// Resample takes the vector passes where the processor has them; ResampleReference is the
// plain per-pixel code they must match.
void BM_Resample(benchmark::State &state)
{
    BM_Resample<Resample>(state);
}

void BM_ResampleReference(benchmark::State &state)
{
    BM_Resample<ResampleReference>(state);
}

void Sizes(benchmark::internal::Benchmark *b)
{
    b->Args({1600, 1200, 50})->Args({1337, 486, 100})->Args({1337, 486, 75});
    b->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(BM_Resample)->Apply(Sizes);
BENCHMARK(BM_ResampleReference)->Apply(Sizes);
