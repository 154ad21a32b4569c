// A whole 45-picture run of each analysis window on 24 megapixels: the kernels, the kernels with
// the thumbnails, the naive per-pixel version of both, and memcpy of the bytes a run reads.
#include "BenchSupport.h"
#include "GridRun.h"
#include "reference/NaivePlanes.h"

#include "image/ImageLoading.h"

#include <FreeImage.h>
#include <sys/resource.h>

namespace vantrel::bench {
namespace {

const ImagePair& Images() {
    static const ImagePair pair = MakeImagePair(kWidth, kHeight);
    return pair;
}

// CPU time of every thread of the process, in seconds.
double ProcessSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void KernelRun(benchmark::State& state, PlaneKind kind, bool thumbnails) {
    const ImagePair& images = Images();
    const double cpuBefore = ProcessSeconds();
    for (auto _ : state) {
        AnalysisBitmaps bitmaps;
        benchmark::DoNotOptimize(RunWindow(bitmaps, kind, images, thumbnails));
        state.counters["picture_MB"] = static_cast<double>(bitmaps.bytes()) / 1e6;
    }
    // The CPU a run takes on all threads, kernel included: steadier than the elapsed time on a
    // shared machine, where other work takes cores away.
    state.counters["cpu_ms_all_threads"] =
        (ProcessSeconds() - cpuBefore) * 1e3 / static_cast<double>(state.iterations());
}

// 45 pictures with one FreeImage_GetPixelColor per image and one FreeImage_SetPixelColor per
// pixel, each into a freshly allocated 32-bit analysis bitmap; with thumbnails also the
// thumbnail of each.
void NaiveRun(benchmark::State& state, PlaneKind kind, bool thumbnails) {
    const ImagePair& images = Images();
    std::vector<std::uint8_t> screen(100 * 100 * 4);
    for (auto _ : state) {
        std::int64_t total = 0;
        for (const int index : PictureOrder()) {
            const BitmapHandle out = AllocateZeroedBitmap(kWidth, kHeight, 32);
            total += naive::NaivePicture(kind, index, images.first.get(), images.second.get(),
                                         out.get());
            if (thumbnails) {
                const BitmapHandle thumbnail = FitLongSide(out.get(), 100);
                CopyBitmapToBgrx(thumbnail.get(), screen.data(), BitmapWidth(thumbnail.get()) * 4);
            }
        }
        benchmark::DoNotOptimize(total);
    }
}

// A run reads its source images once per picture: memcpy of that many bytes.
void MemcpyRun(benchmark::State& state, int sources) {
    const std::size_t bytes = static_cast<std::size_t>(kWidth) * kHeight * 4;
    std::vector<std::uint8_t> source(bytes, 1);
    std::vector<std::uint8_t> target(bytes);
    for (auto _ : state) {
        for (int pass = 0; pass < kPictureCount * sources; ++pass) {
            std::memcpy(target.data(), source.data(), bytes);
            benchmark::DoNotOptimize(target.data());
            benchmark::ClobberMemory();
        }
    }
}

// The bytes a run writes: its compact pictures and, for the thumbnails, their screen pictures.
std::size_t BytesWritten(PlaneKind kind) {
    std::size_t bytes = 0;
    for (int index = 0; index < kPictureCount; ++index) {
        const std::size_t bits = static_cast<std::size_t>(FormatOf(kind, index).bitsPerPixel);
        bytes += (static_cast<std::size_t>(kWidth) * bits + 31) / 32 * 4 * kHeight;
    }
    return bytes + kPictureCount * 100 * 100 * 4;
}

const bool registered = [] {
    const struct {
        const char* name;
        PlaneKind kind;
        int sources;
    } windows[] = {{"PlanesRun", PlaneKind::Planes, 1},
                   {"ComparisonRun", PlaneKind::Comparison, 2},
                   {"DirectionRun", PlaneKind::Direction, 2}};
    for (const auto& window : windows) {
        for (const bool thumbnails : {false, true}) {
            const std::string name =
                std::string(window.name) + (thumbnails ? "WithThumbnails" : "");
            const PlaneKind kind = window.kind;
            benchmark::RegisterBenchmark((name + "/kernel").c_str(), [kind, thumbnails](
                                                                         benchmark::State& state) {
                KernelRun(state, kind, thumbnails);
            })->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark((name + "/naive").c_str(), [kind, thumbnails](
                                                                        benchmark::State& state) {
                NaiveRun(state, kind, thumbnails);
            })->Unit(benchmark::kMillisecond); // a run takes minutes: one iteration
            const int sources = window.sources;
            benchmark::RegisterBenchmark((name + "/memcpy").c_str(), [sources](
                                                                         benchmark::State& state) {
                MemcpyRun(state, sources);
            })->Unit(benchmark::kMillisecond);
            if (thumbnails) {
                // Beside the bytes read (above, as always): a memcpy of the bytes written.
                RegisterMemcpy(name + "Written", BytesWritten(kind));
            }
        }
    }
    return true;
}();

} // namespace
} // namespace vantrel::bench

BENCHMARK_MAIN();
