#pragma once
// The similar image search without a window: the test of one candidate file against the
// reference, and the search over a directory tree that reports hits in walk order.
#include "files/DirectoryWalk.h"
#include "image/Image.h"
#include "image/Result.h"
#include "search/MsbSimilarity.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace vantrel {

// The image the search compares with, held for as long as the search runs.
struct SearchReference {
    SharedImage image;
    std::optional<FileIdentity> identity; // the reference file, so it is skipped under any path

    // The image's path names the file the search skips; an image without one skips nothing.
    static SearchReference Of(SharedImage image);
    // True when the path names the reference file itself.
    bool isFile(const std::string& candidatePath) const;
};

enum class CandidateVerdict { Reference, SizeDiffers, NoMatch, Match };

struct CandidateResult {
    CandidateVerdict verdict = CandidateVerdict::NoMatch;
    std::string similarityText; // set when a comparison ran to its end
};

// The candidate's size comes from its header where the format allows it, so that only files of
// the reference's size are decoded; a comparison stops as soon as the threshold is out of reach
// unless `stop` says otherwise. A file that cannot be read is a failure naming it.
Result<CandidateResult> TestCandidateFile(const SearchReference& reference, const std::string& path,
                                          int matchPercent, MsbStop stop = MsbStop::WhenHopeless);

using CandidateTester = std::function<Result<CandidateResult>(
    const SearchReference& reference, const std::string& path, int matchPercent)>;

// What a search tells its caller, all on the searching thread. Every member may be empty.
struct SearchEvents {
    // A directory is reached; its files are tested next, in this order.
    std::function<void(const WalkStep& step, std::size_t directoriesLeft)> directoryReached;
    // The file at this index of the directory's list is about to be tested.
    std::function<void(const std::string& path, std::size_t index)> testing;
    std::function<void(const std::string& path, const std::string& similarityText)> hit;
    // A directory or file that could not be read; the search goes on.
    std::function<void(const std::string& message)> problem;
    std::function<void(std::uint64_t filesTested, std::size_t directoriesLeft)> progress;
};

struct SearchControl {
    std::function<int()> matchPercent;   // read before every comparison; 85 when empty
    std::function<bool()> stopRequested; // asked before every file; the search ends when true
    // Tests one candidate, on one of the search's threads; TestCandidateFile when empty. An
    // exception it throws becomes that file's problem, and the search goes on.
    CandidateTester testCandidate;
};

struct SearchSummary {
    std::uint64_t filesTested = 0;
    std::uint64_t hits = 0;
    std::uint64_t problems = 0;
    bool stopped = false;
};

inline constexpr int kDefaultMatchPercent = 85;

// Walks the tree from `start` breadth first and tests every image file of every directory when
// the directory is reached, a few files at a time ahead of the one reported next.
SearchSummary SearchTree(const SearchReference& reference, const std::string& start,
                         const SearchControl& control, const SearchEvents& events);

} // namespace vantrel
