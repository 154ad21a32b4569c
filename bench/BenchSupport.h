#pragma once
// What every benchmark shares: a synthetic 24-megapixel image and the memcpy baseline. A kernel
// K is registered as "K/kernel", its naive per-pixel version as "K/naive" and a memcpy of the
// bytes it reads as "K/memcpy"; bench/run turns them into one table.
#include "image/Bitmap.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace vantrel::bench {

inline constexpr int kWidth = 6000;
inline constexpr int kHeight = 4000; // 24 megapixels

// A bitmap of noise (bits per pixel 24 or 32), the same for the same seed.
inline BitmapHandle SyntheticBitmap(int bitsPerPixel, unsigned seed, int width = kWidth,
                                    int height = kHeight);

// Registers "name/memcpy": a copy of `bytes` bytes each iteration.
inline void RegisterMemcpy(const std::string& name, std::size_t bytes) {
    benchmark::RegisterBenchmark((name + "/memcpy").c_str(), [bytes](benchmark::State& state) {
        std::vector<std::uint8_t> source(bytes, 1), target(bytes);
        for (auto _ : state) {
            std::memcpy(target.data(), source.data(), bytes);
            benchmark::DoNotOptimize(target.data());
            benchmark::ClobberMemory();
        }
        state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                                static_cast<std::int64_t>(bytes));
    })->Unit(benchmark::kMillisecond);
}

// This process's resident memory now, from /proc/self/status.
inline long ResidentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return 0;
}

} // namespace vantrel::bench

#include "BenchSupport.inl"
