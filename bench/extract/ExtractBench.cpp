// Payload extraction on a 24-megapixel noise image. "ExtractWalk": the full 640-layout walk
// reading 256 bytes a layout, the checks and the tools' decoders included; its naive version
// reads the same prefixes with one FreeImage_GetPixelColor a pixel (no checks). "WholeStream":
// the whole b1,rgb,lsb,xy stream by the row kernel, by GetPixelColor, and a memcpy of the rows.
#include "BenchSupport.h"

#include "extract/PayloadScan.h"

#include <FreeImage.h>

#include <cstdlib>

namespace vantrel::bench {
namespace {

using namespace vantrel::extract;

const FIBITMAP* Noise() {
    static const BitmapHandle bitmap = SyntheticBitmap(24, 12);
    return bitmap.get();
}

// The layout's first `count` bytes, one library call a pixel, bit by bit as the rules read.
std::vector<std::uint8_t> NaivePrefix(FIBITMAP* bitmap, const Layout& layout, std::size_t count) {
    const int width = static_cast<int>(FreeImage_GetWidth(bitmap));
    const int height = static_cast<int>(FreeImage_GetHeight(bitmap));
    std::vector<std::uint8_t> bytes;
    int bits = 0, value = 0;
    const std::uint64_t pixels = std::uint64_t(width) * height;
    for (std::uint64_t k = 0; k < pixels && bytes.size() < count; ++k) {
        const PixelAt at = PixelInOrder(layout.order, width, height, k);
        RGBQUAD colour{};
        FreeImage_GetPixelColor(bitmap, at.x, height - 1 - at.y, &colour);
        for (const Channel channel : layout.channels) {
            const int sample = channel == Channel::Red     ? colour.rgbRed
                               : channel == Channel::Green ? colour.rgbGreen
                               : channel == Channel::Blue  ? colour.rgbBlue
                                                           : 255;
            for (int bit = 7; bit >= 0; --bit) {
                if (!((layout.mask >> bit) & 1)) {
                    continue;
                }
                const int b = (sample >> bit) & 1;
                value = layout.msbFirstBitLow ? value | (b << bits) : (value << 1) | b;
                if (++bits == 8) {
                    bytes.push_back(static_cast<std::uint8_t>(value));
                    bits = value = 0;
                }
            }
        }
    }
    bytes.resize(std::min(bytes.size(), count));
    return bytes;
}

void WalkKernel(benchmark::State& state) {
    const auto image = SampleImage::Of(Noise());
    for (auto _ : state) {
        const ScanResult result = ScanImage(*image);
        if (result.walk.size() != 640 || result.verdict == Verdict::Found) {
            std::abort(); // noise holds no payload
        }
        benchmark::DoNotOptimize(result.findings.data());
    }
}

void WalkNaive(benchmark::State& state) {
    auto* bitmap = const_cast<FIBITMAP*>(Noise());
    const auto walk = WalkLayouts({}, true, false);
    const auto image = SampleImage::Of(bitmap);
    // The naive prefixes must be the kernel's, checked once outside the timing.
    for (const Layout& layout : {walk[0], walk[333], walk[639]}) {
        if (NaivePrefix(bitmap, layout, 256) != ExtractBytes(*image, layout, 256)) {
            std::abort();
        }
    }
    for (auto _ : state) {
        std::size_t total = 0;
        for (const Layout& layout : walk) {
            total += NaivePrefix(bitmap, layout, 256).size();
        }
        benchmark::DoNotOptimize(total);
    }
}

void StreamKernel(benchmark::State& state) {
    const auto image = SampleImage::Of(Noise());
    for (auto _ : state) {
        const auto bytes = ExtractWholeStream(*image, Layout{});
        benchmark::DoNotOptimize(bytes.data());
    }
}

void StreamNaive(benchmark::State& state) {
    auto* bitmap = const_cast<FIBITMAP*>(Noise());
    const auto image = SampleImage::Of(bitmap);
    if (NaivePrefix(bitmap, Layout{}, 1 << 16) != ExtractBytes(*image, Layout{}, 1 << 16)) {
        std::abort();
    }
    for (auto _ : state) {
        const auto bytes = NaivePrefix(bitmap, Layout{}, std::size_t(kWidth) * kHeight);
        benchmark::DoNotOptimize(bytes.data());
    }
}

const bool registered = [] {
    benchmark::RegisterBenchmark("ExtractWalk/kernel", WalkKernel)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("ExtractWalk/naive", WalkNaive)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("WholeStream/kernel", StreamKernel)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("WholeStream/naive", StreamNaive)->Unit(benchmark::kMillisecond);
    RegisterMemcpy("WholeStream", std::size_t(kWidth) * kHeight * 3);
    return true;
}();

} // namespace
} // namespace vantrel::bench

BENCHMARK_MAIN();
