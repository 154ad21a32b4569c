// The blind attacks on a synthetic 24-megapixel RGB image: each attack alone on the three
// channels beside its formulas read one FreeImage_GetPixelColor call a pixel, and all four in
// the one fused pass, with a memcpy of the image's bytes for scale.
#include "BenchSupport.h"
#include "NaiveBlind.h"

#include "blind/BlindAttacks.h"

namespace vantrel::bench {
namespace {

const FIBITMAP* Image() {
    static const BitmapHandle image = SyntheticBitmap(24, 5);
    return image.get();
}

constexpr std::size_t kImageBytes = std::size_t(kWidth) * kHeight * 3;

void RegisterKernel(const std::string& name, unsigned attacks) {
    benchmark::RegisterBenchmark((name + "/kernel").c_str(), [attacks](benchmark::State& state) {
        BlindOptions options;
        options.attacks = attacks;
        for (auto _ : state) {
            BlindResult result = AnalyseBitmap(Image(), options);
            benchmark::DoNotOptimize(result);
        }
    })->Unit(benchmark::kMillisecond);
}

template <typename Attack> void RegisterNaive(const std::string& name, Attack attack) {
    benchmark::RegisterBenchmark((name + "/naive").c_str(),
                                 [attack](benchmark::State& state) {
                                     for (auto _ : state) {
                                         for (int channel = 0; channel < 3; ++channel) {
                                             auto result =
                                                 attack(naive::ReadChannel(Image(), channel));
                                             benchmark::DoNotOptimize(result);
                                         }
                                     }
                                 })
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
}

const bool registered = [] {
    RegisterKernel("ChiSquareAttack", kChiSquare);
    RegisterNaive("ChiSquareAttack", naive::ChiSquare);
    RegisterMemcpy("ChiSquareAttack", kImageBytes);
    RegisterKernel("RsAnalysis", kRs);
    RegisterNaive("RsAnalysis", naive::Rs);
    RegisterMemcpy("RsAnalysis", kImageBytes);
    RegisterKernel("SamplePairAnalysis", kSpa);
    RegisterNaive("SamplePairAnalysis", naive::Spa);
    RegisterMemcpy("SamplePairAnalysis", kImageBytes);
    RegisterKernel("WeightedStego", kWs);
    RegisterNaive("WeightedStego", naive::Ws);
    RegisterMemcpy("WeightedStego", kImageBytes);
    RegisterKernel("AllFourAttacks", kAllAttacks);
    RegisterNaive("AllFourAttacks", [](const naive::Samples& samples) {
        return naive::ChiSquare(samples).p + naive::Rs(samples).rate + naive::Spa(samples).rate +
               naive::Ws(samples).rate;
    });
    RegisterMemcpy("AllFourAttacks", kImageBytes);
    return true;
}();

} // namespace
} // namespace vantrel::bench

BENCHMARK_MAIN();
