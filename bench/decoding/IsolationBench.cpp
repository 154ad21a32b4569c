// What decoding in a separate process costs: a 12-megapixel PNG loaded through LoadImageFile
// (decoder process, pixels back through shared memory) against the same decode in this process.
// Both run in the same iteration, one after the other, so machine noise hits both alike; the
// counter "overhead_pct" is the isolated time over the in-process time, minus 100 %.
#include "BenchSupport.h"

#include "decoder/DecodeFallbacks.h"
#include "decoder/Decoding.h"

#include <FreeImage.h>

#include <chrono>
#include <filesystem>

namespace vantrel::bench {
namespace {

constexpr int kPhotoWidth = 4000;
constexpr int kPhotoHeight = 3000;

// Smooth gradients with a little noise: compresses about as well as a photo does.
const std::string& PhotoPng() {
    static const std::string path = [] {
        const std::string file =
            (std::filesystem::temp_directory_path() / "vantrel-bench-12mp.png").string();
        BitmapHandle photo = SyntheticBitmap(24, 5, kPhotoWidth, kPhotoHeight);
        const MutablePixelView view = MutableViewOfBitmap(photo.get());
        for (int y = 0; y < view.height; ++y) {
            std::uint8_t* row = view.row(y);
            for (int x = 0; x < view.width; ++x) {
                row[3 * x + 0] = static_cast<std::uint8_t>(x / 16 + (row[3 * x + 0] & 7));
                row[3 * x + 1] = static_cast<std::uint8_t>(y / 12 + (row[3 * x + 1] & 7));
                row[3 * x + 2] = static_cast<std::uint8_t>((x + y) / 28 + (row[3 * x + 2] & 7));
            }
        }
        FreeImage_Save(FIF_PNG, photo.get(), file.c_str(), PNG_DEFAULT);
        return file;
    }();
    return path;
}

BitmapHandle Isolated(const std::string& path) {
    Result<BitmapHandle> bitmap = LoadImageFile(path);
    return bitmap ? std::move(bitmap).value() : BitmapHandle{};
}

BitmapHandle InProcess(const std::string& path) {
    return DecodeImageInProcess(path, nullptr, {}, DecodeWithFallbacks);
}

double SecondsOf(BitmapHandle (*load)(const std::string&)) {
    const auto start = std::chrono::steady_clock::now();
    const BitmapHandle bitmap = load(PhotoPng());
    benchmark::DoNotOptimize(bitmap.get());
    if (BitmapWidth(bitmap.get()) != kPhotoWidth) {
        std::abort();
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void LoadPng12MegapixelsSideBySide(benchmark::State& state) {
    SecondsOf(Isolated); // a warm decoder process, as in a session
    double isolated = 0;
    double inProcess = 0;
    for (auto _ : state) {
        isolated += SecondsOf(Isolated);
        inProcess += SecondsOf(InProcess);
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["isolated_ms"] = 1e3 * isolated / runs;
    state.counters["in_process_ms"] = 1e3 * inProcess / runs;
    state.counters["overhead_pct"] = 100.0 * (isolated / inProcess - 1.0);
}
BENCHMARK(LoadPng12MegapixelsSideBySide)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void LoadPng12Megapixels(benchmark::State& state, bool isolate) {
    SecondsOf(Isolated);
    for (auto _ : state) {
        SecondsOf(isolate ? Isolated : InProcess);
    }
}
BENCHMARK_CAPTURE(LoadPng12Megapixels, isolated, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LoadPng12Megapixels, in_process, false)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace vantrel::bench

BENCHMARK_MAIN();
