#include "blind/BlindScan.h"

#include "files/DirectoryWalk.h"
#include "image/ImageLoading.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
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
    BreadthFirstWalk walk(directory, problem);
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

ScanRow AnalyseFile(const std::string& path, const BlindOptions& options) {
    ScanRow row;
    row.path = path;
    const BitmapHandle bitmap = LoadImageFile(path, &row.error);
    if (!bitmap) {
        if (row.error.empty()) {
            row.error = "Could not decode " + path;
        }
        return row;
    }
    row.error.clear();
    row.result = AnalyseBitmap(bitmap.get(), options);
    if (!row.result.error.empty()) {
        row.error = path + ": " + row.result.error;
    }
    return row;
}

std::size_t ScanFiles(const std::vector<ScanFile>& files, int jobs,
                      const std::function<bool(const ScanRow&)>& row) {
    jobs = std::max(1, jobs);
    // Workers run ahead of the writer by at most this many files, so a slow file holds back
    // only a bounded number of finished rows.
    const std::size_t window = static_cast<std::size_t>(4 * jobs + 8);
    std::mutex mutex;
    std::condition_variable changed;
    std::map<std::size_t, ScanRow> finished;
    std::size_t nextToTake = 0;
    std::size_t nextToWrite = 0;
    bool stopping = false;

    // A job is one core: with no more jobs than cores, each worker (and the decoder process it
    // waits on, which follows its caller's cores) keeps to a core of its own, so a decode is
    // never queued behind the other job's analysis while a core stands idle.
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    const bool pinJobs = sched_getaffinity(0, sizeof allowed, &allowed) == 0 && jobs > 1 &&
                         jobs <= CPU_COUNT(&allowed);
    const auto pinToCore = [&](int job) {
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
    const auto work = [&](int job) {
        if (pinJobs) {
            pinToCore(job);
        }
        BlindOptions options;
        options.parallel = false; // the jobs are the parallelism
        while (true) {
            std::size_t index = 0;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] {
                    return stopping || nextToTake >= files.size() ||
                           nextToTake < nextToWrite + window;
                });
                if (stopping || nextToTake >= files.size()) {
                    return;
                }
                index = nextToTake++;
            }
            ScanRow done;
            try {
                done = AnalyseFile(files[index].path, options);
            } catch (const std::exception& error) { // memory refused for a huge picture
                done.path = files[index].path;
                done.error = files[index].path + ": " + error.what();
            }
            {
                const std::lock_guard lock(mutex);
                finished.emplace(index, std::move(done));
            }
            changed.notify_all();
        }
    };
    std::vector<std::jthread> workers;
    for (int i = 0; i < jobs; ++i) {
        workers.emplace_back(work, i);
    }
    std::size_t delivered = 0;
    while (delivered < files.size()) {
        ScanRow next;
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return finished.contains(nextToWrite); });
            next = std::move(finished.at(nextToWrite));
            finished.erase(nextToWrite);
            ++nextToWrite;
        }
        changed.notify_all();
        ++delivered;
        if (!row(next)) {
            break;
        }
    }
    {
        const std::lock_guard lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    return delivered;
}

} // namespace vantrel
