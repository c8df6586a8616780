// How long the launcher takes to find (or not find) the base-directory line in a 100 MB log,
// read from the page cache. The goal is well under a second for each shape of log.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "BaseDirectoryLine.h"

namespace {

constexpr std::size_t kLogSize = std::size_t(100) << 20;

enum LogShape
{
    kOrdinaryLines,
    kOnlyLineFeeds,
    kNoLineEnds,
    kBinaryNoise,
    kEveryLineMatches,
};

std::string Text(LogShape shape)
{
    std::string text;
    text.reserve(kLogSize + 64);
    switch (shape) {
    case kOrdinaryLines:
        while (text.size() < kLogSize) {
            text += "Log: Bound to Engine.so, an ordinary line of the game's log\n";
        }
        break;
    case kOnlyLineFeeds:
        text.assign(kLogSize, '\n');
        break;
    case kNoLineEnds:
        text.assign(kLogSize, 'x');
        break;
    case kBinaryNoise: {
        text.resize(kLogSize);
        std::uint32_t state = 12345;
        for (char &byte : text) {
            state = state * 1664525u + 1013904223u;
            byte = static_cast<char>(state >> 24);
        }
        break;
    }
    case kEveryLineMatches:
        while (text.size() < kLogSize) {
            text += "Init: Base directory: /Games/Game.app/System/\n";
        }
        break;
    }
    return text;
}

const char *Name(LogShape shape)
{
    const char *const names[] = {"ordinary lines", "only LFs", "no line ends", "binary noise",
                                 "every line matches"};
    return names[shape];
}

void BM_ReadBaseDirectoryLine(benchmark::State &state)
{
    const auto shape = static_cast<LogShape>(state.range(0));
    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("kv-log-bench-" + std::to_string(::getpid()) + ".log");
    {
        const std::string text = Text(shape);
        std::ofstream(path, std::ios::binary).write(text.data(), std::streamsize(text.size()));
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(kv::game::ReadBaseDirectoryLine(path.string()));
    }
    std::filesystem::remove(path);
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kLogSize));
    state.SetLabel(Name(shape));
}

} // namespace

BENCHMARK(BM_ReadBaseDirectoryLine)
    ->DenseRange(kOrdinaryLines, kEveryLineMatches)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5);
