#include "blind/BlindScan.h"

#include "files/DirectoryWalk.h"
#include "files/OrderedPool.h"
#include "image/ImageLoading.h"
#include "jpeg/LoadCoefficients.h"
#include "steghide/SteghideInput.h"
#include "structure/LoadStructure.h"

#include <tbb/task_arena.h>

#include <algorithm>
#include <fstream>
#include <streambuf>
#include <thread>

#include <sched.h>

namespace vantrel {
namespace {

bool Selected(const std::string& name, const std::string& relative,
              const ScanSelection& selection) {
    return (selection.pattern.empty() || MatchesFilePattern(name, selection.pattern)) &&
           InShard(relative, selection.shardIndex, selection.shardCount);
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::uint64_t ShardHash(std::string_view relative) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : relative) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

bool InShard(std::string_view relative, int shardIndex, int shardCount) {
    if (shardCount <= 1) {
        return true;
    }
    return ShardHash(relative) % static_cast<std::uint64_t>(shardCount) ==
           static_cast<std::uint64_t>(shardIndex - 1);
}

std::vector<ScanFile> FilesUnder(const std::string& directory, const ScanSelection& selection,
                                 const std::function<void(const std::string&)>& problem) {
    std::vector<ScanFile> files;
    BreadthFirstWalk walk(directory, problem, DecoderKnowsName);
    const std::string start = NormalPath(directory);
    const std::size_t prefix = JoinPath(start, "").size();
    while (std::optional<WalkStep> step = walk.next()) {
        for (const std::string& name : step->files) {
            std::string path = JoinPath(step->directory, name);
            std::string relative = path.substr(std::min(prefix, path.size()));
            if (Selected(name, relative, selection)) {
                files.push_back({std::move(path), std::move(relative)});
            }
        }
    }
    return files;
}

std::vector<ScanFile> FilesListed(const std::vector<std::string>& paths,
                                  const ScanSelection& selection) {
    std::vector<ScanFile> files;
    for (const std::string& path : paths) {
        if (!path.empty() && Selected(BaseName(path), path, selection)) {
            files.push_back({path, path});
        }
    }
    return files;
}

namespace {

Result<BlindResult> AnalyseJpeg(const Result<JpegCoefficients>& coefficients) {
    if (!coefficients) {
        return Failure(coefficients.error());
    }
    auto jpeg = std::make_shared<JpegBlindResult>();
    jpeg->analysis = AnalyzeJpeg(*coefficients);
    jpeg->verdict = JudgeJpeg(jpeg->analysis);
    BlindResult result;
    result.width = coefficients->width;
    result.height = coefficients->height;
    result.suspicious = jpeg->verdict.suspicious;
    result.jpeg = std::move(jpeg);
    return result;
}

// A file that is not a JPEG: the pixel attacks on its decoded samples.
Result<BlindResult> AnalysePixelFile(const std::string& path, const BlindOptions& options) {
    const Result<BitmapHandle> bitmap = LoadImageFile(path);
    if (!bitmap) {
        return Failure(bitmap.error());
    }
    Result<BlindResult> result = AnalyseBitmap(ViewOfBitmap(bitmap->get()), options);
    return result ? std::move(result) : Failure(path + ": " + result.error());
}

} // namespace

Result<BlindResult> AnalyseJpegFile(const std::string& path) {
    return AnalyseJpeg(LoadJpegCoefficients(path));
}

Result<BlindResult> AnalyseFile(const std::string& path, const BlindOptions& options) {
    return HasJpegSignature(path) ? AnalyseJpegFile(path) : AnalysePixelFile(path, options);
}

namespace {

// A job is one core: with no more jobs than cores, each worker (and the decoder process it
// waits on, which follows its caller's cores) keeps to a core of its own, so a decode is never
// queued behind the other job's analysis while a core stands idle. Nothing when the jobs
// outnumber the cores.
std::function<void(int job)> CorePinning(int jobs) {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0 || jobs <= 1 ||
        jobs > CPU_COUNT(&allowed)) {
        return {};
    }
    return [allowed](int job) {
        for (int cpu = 0, seen = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (CPU_ISSET(cpu, &allowed) && seen++ == job) {
                cpu_set_t one;
                CPU_ZERO(&one);
                CPU_SET(cpu, &one);
                sched_setaffinity(0, sizeof one, &one);
                return;
            }
        }
    };
}

// steghide takes a JPEG or a BMP, told by the first bytes, whatever the name says.
bool HasBmpSignature(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char start[2] = {};
    in.read(start, sizeof start);
    return in.gcount() == 2 && start[0] == 'B' && start[1] == 'M';
}

// The word list read in place: every file's attack streams the one copy the scan holds.
struct HeldWords : std::streambuf {
    explicit HeldWords(const std::string& words) {
        char* start = const_cast<char*>(words.data()); // only ever read
        setg(start, start, start + words.size());
    }
};

ScanSteghide SteghideOf(const std::string& path, const Result<SteghideCover>& cover,
                        const std::string& words, int threads) {
    ScanSteghide out;
    out.applies = true;
    if (!cover) {
        out.error = cover.error();
        return out;
    }
    HeldWords held(words);
    std::istream list(&held);
    SteghideWordListOptions options;
    options.fileName = path;
    SteghideWordListResult result;
    tbb::task_arena(threads).execute(
        [&] { result = SteghideWordListAttack(*cover, &list, options); });
    if (!result.hits.empty()) {
        out.hit = std::move(result.hits.front());
    }
    return out;
}

ScanRow ScanOne(const std::string& path, const ScanOptions& options, int steghideThreads) {
    BlindOptions blind;
    blind.parallel = false; // the jobs are the parallelism
    ScanRow row{path, Failure("not analysed"), structure::LoadFileStructure(path), std::nullopt};
    const std::string* words = options.steghideWords ? &*options.steghideWords : nullptr;
    if (HasJpegSignature(path)) {
        // One read of the coefficients serves the JPEG attacks and steghide's cover.
        const Result<JpegCoefficients> jpeg = LoadJpegCoefficients(path);
        row.result = AnalyseJpeg(jpeg);
        if (words) {
            const Result<SteghideCover> cover =
                jpeg ? SteghideJpegCover(*jpeg) : Result<SteghideCover>(Failure(jpeg.error()));
            row.steghide = SteghideOf(path, cover, *words, steghideThreads);
        }
    } else {
        row.result = AnalysePixelFile(path, blind);
        if (words) {
            row.steghide = HasBmpSignature(path)
                               ? SteghideOf(path, LoadSteghideCover(path), *words, steghideThreads)
                               : ScanSteghide{};
        }
    }
    if (row.result) {
        row.result->suspicious = row.result->suspicious ||
                                 (row.structure && !row.structure->anomalies.empty()) ||
                                 (row.steghide && row.steghide->hit);
    }
    return row;
}

} // namespace

std::size_t ScanFiles(const std::vector<ScanFile>& files, const ScanOptions& options,
                      const std::function<bool(const ScanRow&)>& row) {
    const int jobs = std::max(1, options.jobs);
    // The files are the parallelism; a word list gets the cores the jobs leave over, so a short
    // tree of large covers still keeps every core busy without each job claiming them all.
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const int steghideThreads = std::max(1, cores / jobs);
    // Workers run ahead of the writer by at most this many files, so a slow file holds back
    // only a bounded number of finished rows.
    OrderedPool<ScanRow> pool(jobs, static_cast<std::size_t>(4 * jobs + 8), CorePinning(jobs));
    std::size_t handedOut = 0;
    std::size_t delivered = 0;
    while (delivered < files.size()) {
        while (handedOut < files.size() && !pool.full()) {
            const std::string& path = files[handedOut++].path;
            pool.submit(path, [&path, &options, steghideThreads]() -> Result<ScanRow> {
                return ScanOne(path, options, steghideThreads);
            });
        }
        Result<ScanRow> next = pool.takeOldest();
        const std::string& path = files[delivered++].path;
        if (!row(next
                     ? *next
                     : ScanRow{path, Failure(next.error()), Failure("not walked"), std::nullopt})) {
            break;
        }
    }
    return delivered;
}

} // namespace vantrel
