// The displayed picture of a decoded bitmap (the conversion every Browse makes).
#include "BenchSupport.h"

#include "image/ImageLoading.h"

#include <FreeImage.h>

namespace vantrel::bench {
namespace {

void PictureKernel(benchmark::State& state) {
    const BitmapHandle bitmap = SyntheticBitmap(24, 1);
    std::vector<std::uint8_t> picture(static_cast<std::size_t>(kWidth) * kHeight * 4);
    for (auto _ : state) {
        CopyBitmapToBgrx(bitmap.get(), picture.data(), kWidth * 4);
        benchmark::DoNotOptimize(picture.data());
    }
}

// One FreeImage_GetPixelColor a pixel.
void PictureNaive(benchmark::State& state) {
    const BitmapHandle bitmap = SyntheticBitmap(24, 1);
    std::vector<std::uint32_t> picture(static_cast<std::size_t>(kWidth) * kHeight);
    for (auto _ : state) {
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                RGBQUAD quad;
                FreeImage_GetPixelColor(bitmap.get(), x, kHeight - 1 - y, &quad);
                picture[static_cast<std::size_t>(y) * kWidth + x] =
                    0xFF000000u | (quad.rgbRed << 16) | (quad.rgbGreen << 8) | quad.rgbBlue;
            }
        }
        benchmark::DoNotOptimize(picture.data());
    }
}

const bool registered = [] {
    benchmark::RegisterBenchmark("BitmapToPicture/kernel", PictureKernel)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BitmapToPicture/naive", PictureNaive)
        ->Unit(benchmark::kMillisecond);
    RegisterMemcpy("BitmapToPicture", static_cast<std::size_t>(kWidth) * kHeight * 3);
    return true;
}();

} // namespace
} // namespace vantrel::bench

BENCHMARK_MAIN();
