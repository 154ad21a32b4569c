// The memory one analysis window's run adds at its peak on a 24-megapixel image pair: its 45
// pictures, the thumbnails, and one viewer hand-over at the end. Each window kind runs in a
// process of its own, so that getrusage's peak belongs to that run alone.
// Usage: multiwindow_peak_memory [planes|comparison|direction]
#include "BenchSupport.h"
#include "GridRun.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

using namespace vantrel;

long PeakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int Measure(PlaneKind kind, const char* name) {
    const bench::ImagePair images = bench::MakeImagePair(bench::kWidth, bench::kHeight);
    const long before = bench::ResidentKilobytes();
    AnalysisBitmaps bitmaps;
    bench::RunWindow(bitmaps, kind, images, true);
    {
        // A thumbnail click: the 32-bit hand-over and the viewer's clone of it.
        const BitmapHandle handOver = bitmaps.fullBitmap(44);
        const BitmapHandle viewerCopy = CloneBitmap(handOver.get());
        std::printf("%-11s pictures %7.1f MB", name, static_cast<double>(bitmaps.bytes()) / 1e6);
    }
    const long peak = PeakKilobytes();
    std::printf("   images %6.1f MB   run adds at its peak %7.1f MB (budget 1500 MB)\n",
                before / 1024.0, (peak - before) / 1024.0);
    return peak - before <= 1500L * 1024 ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[]) {
    const struct {
        const char* name;
        PlaneKind kind;
    } kinds[] = {{"planes", PlaneKind::Planes},
                 {"comparison", PlaneKind::Comparison},
                 {"direction", PlaneKind::Direction}};
    if (argc > 1) {
        for (const auto& kind : kinds) {
            if (std::strcmp(argv[1], kind.name) == 0) {
                return Measure(kind.kind, kind.name);
            }
        }
        std::fprintf(stderr, "usage: %s [planes|comparison|direction]\n", argv[0]);
        return 2;
    }
    int failures = 0;
    for (const auto& kind : kinds) {
        const pid_t child = fork();
        if (child == 0) {
            execl("/proc/self/exe", argv[0], kind.name, static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        waitpid(child, &status, 0);
        failures += !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    return failures == 0 ? 0 : 1;
}
