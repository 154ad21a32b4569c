// The blind attacks on a synthetic 24-megapixel RGB image: each attack alone on the three
// channels beside its formulas read one FreeImage_GetPixelColor call a pixel, and all four in
// the one fused pass, with a memcpy of the image's bytes for scale.
#include "BenchSupport.h"
#include "reference/NaiveBlind.h"

#include "blind/BlindAttacks.h"

#include <FreeImage.h>

namespace vantrel::bench {
namespace {

const FIBITMAP* Image() {
    static const BitmapHandle image = SyntheticBitmap(24, 5);
    return image.get();
}

constexpr std::size_t kImageBytes = std::size_t(kWidth) * kHeight * 3;

void RegisterKernel(const std::string& name, unsigned attacks, bool parallel = true) {
    benchmark::RegisterBenchmark(name.c_str(), [attacks, parallel](benchmark::State& state) {
        BlindOptions options;
        options.attacks = attacks;
        options.parallel = parallel;
        for (auto _ : state) {
            Result<BlindResult> result = AnalyseBitmap(ViewOfBitmap(Image()), options);
            benchmark::DoNotOptimize(result);
        }
    })->Unit(benchmark::kMillisecond);
}

template <typename Attack> void RegisterNaive(const std::string& name, Attack attack) {
    benchmark::RegisterBenchmark((name + "/naive").c_str(), [attack](benchmark::State& state) {
        for (auto _ : state) {
            for (int channel = 0; channel < 3; ++channel) {
                auto result = attack(naive::ReadChannel(Image(), channel));
                benchmark::DoNotOptimize(result);
            }
        }
    })->Unit(benchmark::kMillisecond);
}

using NaiveAttack = double (*)(const naive::Samples&);

const struct {
    const char* name;
    unsigned attacks;
    NaiveAttack naive;
} kAttacks[] = {
    {"ChiSquareAttack", kChiSquare, [](const naive::Samples& s) { return naive::ChiSquare(s).p; }},
    {"RsAnalysis", kRs, [](const naive::Samples& s) { return naive::Rs(s).rate; }},
    {"SamplePairAnalysis", kSpa, [](const naive::Samples& s) { return naive::Spa(s).rate; }},
    {"WeightedStego", kWs, [](const naive::Samples& s) { return naive::Ws(s).rate; }},
    {"AllFourAttacks", kAllAttacks,
     [](const naive::Samples& s) {
         return naive::ChiSquare(s).p + naive::Rs(s).rate + naive::Spa(s).rate + naive::Ws(s).rate;
     }},
};

const bool registered = [] {
    for (const auto& attack : kAttacks) {
        RegisterKernel(std::string(attack.name) + "/kernel", attack.attacks);
        RegisterNaive(attack.name, attack.naive);
        RegisterMemcpy(attack.name, kImageBytes);
    }
    // One thread's time for the same work: the cost behind the two-core figure, less at the
    // mercy of whatever else the machine runs.
    RegisterKernel("AllFourAttacks/one_thread", kAllAttacks, false);
    return true;
}();

} // namespace
} // namespace vantrel::bench

BENCHMARK_MAIN();
