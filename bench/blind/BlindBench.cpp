// The blind attacks on a synthetic 24-megapixel RGB image: each attack alone on the three
// channels beside its formulas read one FreeImage_GetPixelColor call a pixel, and all four in
// the one fused pass, with a memcpy of the image's bytes for scale.
#include "BenchSupport.h"
#include "NaiveBlind.h"

#include "blind/BlindAttacks.h"
#include "blind/BlindScan.h"

#include <FreeImage.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

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
    benchmark::RegisterBenchmark((name + "/naive").c_str(), [attack](benchmark::State& state) {
        for (auto _ : state) {
            for (int channel = 0; channel < 3; ++channel) {
                auto result = attack(naive::ReadChannel(Image(), channel));
                benchmark::DoNotOptimize(result);
            }
        }
    })->Unit(benchmark::kMillisecond);
}

// A tree of small pictures, made once: the scan's speed with one and two jobs.
const std::vector<ScanFile>& SmallImages() {
    static const std::vector<ScanFile> files = [] {
        static const std::filesystem::path root =
            std::filesystem::temp_directory_path() /
            ("vantrel-scan-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(root);
        std::atexit([] { std::filesystem::remove_all(root); });
        for (int i = 0; i < 300; ++i) {
            const BitmapHandle image = SyntheticBitmap(24, unsigned(i), 320, 240);
            const std::string path = (root / ("image-" + std::to_string(i) + ".png")).string();
            FreeImage_Save(FIF_PNG, image.get(), path.c_str(), PNG_Z_BEST_SPEED);
        }
        return FilesUnder(root.string(), {});
    }();
    return files;
}

void RegisterScan(int jobs) {
    const std::string name = "ScanOf300SmallImages/jobs:" + std::to_string(jobs);
    benchmark::RegisterBenchmark(
        name.c_str(),
        [jobs](benchmark::State& state) {
            const std::vector<ScanFile>& files = SmallImages();
            for (auto _ : state) {
                ScanFiles(files, jobs, [](const ScanRow&) { return true; });
            }
            state.counters["files_per_s"] = benchmark::Counter(
                double(files.size()), benchmark::Counter::kIsIterationInvariantRate);
        })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
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
    // One thread's time for the same work: the cost behind the two-core figure, less at the
    // mercy of whatever else the machine runs.
    benchmark::RegisterBenchmark("AllFourAttacks/one_thread", [](benchmark::State& state) {
        BlindOptions options;
        options.parallel = false;
        for (auto _ : state) {
            BlindResult result = AnalyseBitmap(Image(), options);
            benchmark::DoNotOptimize(result);
        }
    })->Unit(benchmark::kMillisecond);
    RegisterScan(1);
    RegisterScan(2);
    return true;
}();

} // namespace
} // namespace vantrel::bench

BENCHMARK_MAIN();
