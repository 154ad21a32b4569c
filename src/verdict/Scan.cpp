#include "verdict/Scan.h"

#include "files/DirectoryWalk.h"
#include "files/FileNames.h"
#include "files/OrderedPool.h"

#include <algorithm>
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

// Pins each worker (and so the decoder process it waits on, which follows its caller's cores)
// to its job's cores.
std::function<void(int job)> CorePinning(int jobs, int cores) {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    std::vector<int> usable;
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (CPU_ISSET(cpu, &allowed)) {
                usable.push_back(cpu);
            }
        }
    }
    const std::vector<std::vector<int>> each = JobCores(jobs, cores, usable);
    if (each.empty()) {
        return {};
    }
    return [each](int job) {
        cpu_set_t mine;
        CPU_ZERO(&mine);
        for (const int cpu : each[static_cast<std::size_t>(job)]) {
            CPU_SET(cpu, &mine);
        }
        sched_setaffinity(0, sizeof mine, &mine);
    };
}

} // namespace

std::vector<std::vector<int>> JobCores(int jobs, int cores, const std::vector<int>& allowed) {
    const int available = static_cast<int>(allowed.size());
    const int share = std::max(1, std::min(cores, available) / std::max(1, jobs));
    // A decode is never queued behind another job's analysis while a core stands idle, and a scan
    // given fewer cores than the machine has stays on them; jobs that outnumber the cores, or one
    // job on every core, are left to the scheduler.
    if (jobs < 1 || jobs * share > available || (jobs == 1 && share >= available)) {
        return {};
    }
    std::vector<std::vector<int>> each(static_cast<std::size_t>(jobs));
    for (int i = 0; i < jobs * share; ++i) {
        each[static_cast<std::size_t>(i / share)].push_back(allowed[static_cast<std::size_t>(i)]);
    }
    return each;
}

std::size_t ScanFiles(const std::vector<ScanFile>& files, const ScanOptions& options,
                      const std::function<bool(const verdict::FileRecord&)>& row) {
    const int jobs = std::max(1, options.jobs);
    // The files are the parallelism; each file's own parallel work (a word list, the attacks of
    // a large picture) gets its job's share of the cores, so a short tree of large files still
    // keeps every core busy without each job claiming them all.
    const int cores = options.cores > 0
                          ? options.cores
                          : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const int share = std::max(1, cores / jobs);
    verdict::Options each;
    each.words = options.words ? &*options.words : nullptr;
    each.threads = share;
    each.thumbnailSide = options.thumbnailSide;
    each.saveDirectory = options.saveDirectory;
    // Workers run ahead of the writer by at most this many files, so a slow file holds back
    // only a bounded number of finished rows.
    OrderedPool<verdict::FileRecord> pool(jobs, static_cast<std::size_t>(4 * jobs + 8),
                                          CorePinning(jobs, cores));
    std::size_t handedOut = 0;
    std::size_t delivered = 0;
    while (delivered < files.size()) {
        while (handedOut < files.size() && !pool.full()) {
            const std::string& path = files[handedOut++].path;
            pool.submit(path, [&path, &each]() -> Result<verdict::FileRecord> {
                return verdict::AnalyseFile(path, each);
            });
        }
        Result<verdict::FileRecord> next = pool.takeOldest();
        verdict::FileRecord failed;
        if (!next) {
            failed.file = files[delivered].path;
            failed.error = next.error();
        }
        ++delivered;
        if (!row(next ? *next : failed)) {
            break;
        }
    }
    return delivered;
}

} // namespace vantrel
