#pragma once
// The batch scan of a tree: the breadth-first walk over every file the decoder knows by name,
// or a list of files, optionally one shard of it, every file's verdict reached through the
// isolated decoder pool, several at a time, with the rows handed back in list order.
#include "verdict/Verdict.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

struct ScanFile {
    std::string path;     // as the file system is given it
    std::string relative; // below the scanned directory (or as listed); what the shard hashes
};

// FNV-1a, 64 bits, over the bytes of the relative path: stable across machines and runs, so
// every host of a cluster agrees which shard a file is in.
std::uint64_t ShardHash(std::string_view relative);
// Shard K of N (K = 1..N) holds the paths whose hash is K − 1 modulo N.
bool InShard(std::string_view relative, int shardIndex, int shardCount);

struct ScanSelection {
    // Wildcard(s) for the file name, ";"-separated, narrowing what the scan takes; empty keeps
    // every file.
    std::string pattern;
    int shardIndex = 1; // 1..shardCount
    int shardCount = 1;
};

// The files under the directory whose names the decoder knows (in any letter case), in walk order
// (unreadable directories reported and passed over), those the selection keeps.
std::vector<ScanFile> FilesUnder(const std::string& directory, const ScanSelection& selection,
                                 const std::function<void(const std::string&)>& problem = {});
// The listed paths, those the selection keeps; blank lines are skipped.
std::vector<ScanFile> FilesListed(const std::vector<std::string>& paths,
                                  const ScanSelection& selection);

struct ScanOptions {
    int jobs = 1; // files at a time
    // Cores the scan may use, shared out among the jobs (each file's own parallel work gets its
    // job's share); 0: every core. `--jobs N` gives N, one a job, as make -jN does, so that a scan
    // on one job leaves the other cores to whatever else runs.
    int cores = 0;
    // One password a line, held in memory for the whole scan; none: no password tool runs.
    std::optional<std::string> words;
    int thumbnailSide = 0;     // see verdict::Options
    std::string saveDirectory; // see verdict::Options
};

// The cores each of `jobs` jobs keeps to, out of the `allowed` ones, when the scan may use
// `cores` of them: an equal share each, in order; empty where the jobs are not pinned.
std::vector<std::vector<int>> JobCores(int jobs, int cores, const std::vector<int>& allowed);

// Analyses the files (verdict::AnalyseFile) on `jobs` threads. `row` is called on the calling
// thread once a file, in list order; when it returns false the scan stops after the files being
// analysed. Returns the number of rows delivered.
std::size_t ScanFiles(const std::vector<ScanFile>& files, const ScanOptions& options,
                      const std::function<bool(const verdict::FileRecord&)>& row);

} // namespace vantrel
