// The file verdict against the decode it stands on: a 24-megapixel PNG and a quality-90 JPEG,
// each analysed whole (one decoder request, every analysis that applies) beside the plain decode
// of the same file; and the scan of a tree of small pictures on one job and on two.
#include "BenchSupport.h"

#include "image/ImageLoading.h"
#include "verdict/FileInputs.h"
#include "verdict/Scan.h"

#include <FreeImage.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>
#include <utility>

namespace vantrel::bench {
namespace {

const std::filesystem::path& Folder() {
    static const std::filesystem::path root = [] {
        std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("vantrel-verdict-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(path);
        std::atexit([] { std::filesystem::remove_all(Folder()); });
        return path;
    }();
    return root;
}

// Noise: the codecs' worst case, so the decode the verdict is measured against is no easy one.
std::string LargeFile(FREE_IMAGE_FORMAT format, int flags, const char* name) {
    const std::string path = (Folder() / name).string();
    if (!std::filesystem::exists(path)) {
        const BitmapHandle image = SyntheticBitmap(24, 7);
        FreeImage_Save(format, image.get(), path.c_str(), flags);
    }
    return path;
}

void RegisterFile(const char* name, FREE_IMAGE_FORMAT format, int flags, const char* file) {
    using Step = void (*)(const std::string& path);
    // The plain decode; what the decoder process sends for a verdict (coefficients, pixels,
    // structure), the part of the analysis that is not the attacks' own work; the whole analysis.
    const std::pair<const char*, Step> steps[] = {
        {"decode", [](const std::string& path) { benchmark::DoNotOptimize(LoadImageFile(path)); }},
        {"inputs",
         [](const std::string& path) { benchmark::DoNotOptimize(verdict::LoadFileInputs(path)); }},
        {"analyse",
         [](const std::string& path) { benchmark::DoNotOptimize(verdict::AnalyseFile(path)); }}};
    for (const auto& [step, run] : steps) {
        benchmark::RegisterBenchmark((std::string(name) + "/" + step).c_str(),
                                     [=, run = run](benchmark::State& state) {
                                         const std::string path = LargeFile(format, flags, file);
                                         for (auto _ : state) {
                                             run(path);
                                         }
                                     })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
}

const std::vector<ScanFile>& SmallImages() {
    static const std::vector<ScanFile> files = [] {
        const std::filesystem::path root = Folder() / "small";
        std::filesystem::create_directories(root);
        for (int i = 0; i < 300; ++i) {
            const BitmapHandle image = SyntheticBitmap(24, unsigned(i), 320, 240);
            const std::string path = (root / ("image-" + std::to_string(i) + ".png")).string();
            FreeImage_Save(FIF_PNG, image.get(), path.c_str(), PNG_Z_BEST_SPEED);
        }
        return FilesUnder(root.string(), {});
    }();
    return files;
}

// `jobs` as --jobs gives it (that many files at a time, a core each); 0 as the scan runs without
// it (a file a decoder process, every core shared among them).
void RegisterScan(int jobs) {
    const std::string name =
        "ScanOf300SmallImages/" + (jobs > 0 ? "jobs:" + std::to_string(jobs) : "default");
    benchmark::RegisterBenchmark(
        name.c_str(),
        [jobs](benchmark::State& state) {
            const std::vector<ScanFile>& files = SmallImages();
            ScanOptions options;
            options.jobs = jobs > 0 ? jobs : DecoderPoolCapacity();
            options.cores = jobs;
            for (auto _ : state) {
                ScanFiles(files, options, [](const verdict::FileRecord&) { return true; });
            }
            state.counters["files_per_s"] = benchmark::Counter(
                double(files.size()), benchmark::Counter::kIsIterationInvariantRate);
        })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
}

const bool registered = [] {
    RegisterFile("Png24Mp", FIF_PNG, PNG_Z_BEST_SPEED, "large.png");
    RegisterFile("Jpeg24MpQ90", FIF_JPEG, 90, "large.jpg");
    RegisterScan(1);
    RegisterScan(2);
    RegisterScan(0);
    return true;
}();

} // namespace
} // namespace vantrel::bench

BENCHMARK_MAIN();
