#include "search/SimilarSearch.h"

#include "files/OrderedPool.h"
#include "image/Bitmap.h"
#include "image/ImageFormats.h"
#include "image/ImageLoading.h"

#include <deque>
#include <utility>

namespace vantrel {

SearchReference SearchReference::Of(SharedImage image) {
    SearchReference reference;
    reference.identity = IdentityOf(image->path());
    reference.image = std::move(image);
    return reference;
}

bool SearchReference::isFile(const std::string& candidatePath) const {
    const std::string& path = image->path();
    if (candidatePath == path || NormalPath(candidatePath) == NormalPath(path)) {
        return true;
    }
    // Another path to the same file: through a linked directory, or a hard link.
    return identity && IdentityOf(candidatePath) == identity;
}

namespace {

CandidateResult Verdict(CandidateVerdict verdict) {
    return {verdict, {}};
}

} // namespace

Result<CandidateResult> TestCandidateFile(const SearchReference& reference, const std::string& path,
                                          int matchPercent, MsbStop stop) {
    if (reference.isFile(path)) {
        return Verdict(CandidateVerdict::Reference);
    }
    const Size wanted = reference.image->size();
    if (SizeComesFromHeader(ImageFormatFor(path))) {
        const Result<Size> header = ReadImageSize(path);
        if (!header) {
            return Failure(header.error());
        }
        if (*header != wanted) {
            return Verdict(CandidateVerdict::SizeDiffers);
        }
    }
    const Result<BitmapHandle> loaded = LoadImageFile(path);
    if (!loaded) {
        return Failure(loaded.error());
    }
    const FIBITMAP* candidate = loaded->get();
    if (Size{BitmapWidth(candidate), BitmapHeight(candidate)} != wanted) {
        return Verdict(CandidateVerdict::SizeDiffers);
    }
    CandidateResult result;
    const bool match = CompareMsbPlanes(reference.image->pixels(), ViewOfBitmap(candidate),
                                        matchPercent, result.similarityText, stop);
    result.verdict = match ? CandidateVerdict::Match : CandidateVerdict::NoMatch;
    return result;
}

namespace {

// Four testing threads a decoder helper: much of a test is waiting (for a helper's answer, a
// header read, a file's identity), so more threads than helpers keep them all busy.
constexpr int kThreadsPerDecoder = 4;
// Files handed out a thread ahead of the one reported next: while one thread decodes a large
// candidate, the others go on through the small ones behind it.
constexpr std::size_t kLookAheadPerThread = 4;

} // namespace

SearchSummary SearchTree(const SearchReference& reference, const std::string& start,
                         const SearchControl& control, const SearchEvents& events) {
    SearchSummary summary;
    const auto problem = [&](const std::string& message) {
        ++summary.problems;
        if (events.problem) {
            events.problem(OneLine(message));
        }
    };
    const CandidateTester test =
        control.testCandidate ? control.testCandidate
                              : [](const SearchReference& ref, const std::string& path,
                                   int percent) { return TestCandidateFile(ref, path, percent); };
    const int threads = kThreadsPerDecoder * DecoderPoolCapacity();
    OrderedPool<CandidateResult> testers(threads,
                                         static_cast<std::size_t>(threads) * kLookAheadPerThread);
    struct Pending {
        std::string path;
        std::size_t directoriesLeft = 0;
    };
    std::deque<Pending> pending; // beside the pool's own order
    const auto reportOldest = [&] {
        const Result<CandidateResult> result = testers.takeOldest();
        const Pending file = std::move(pending.front());
        pending.pop_front();
        ++summary.filesTested;
        if (!result) {
            problem(result.error());
        } else if (result->verdict == CandidateVerdict::Match) {
            ++summary.hits;
            if (events.hit) {
                events.hit(file.path, result->similarityText);
            }
        }
        if (events.progress) {
            events.progress(summary.filesTested, file.directoriesLeft);
        }
    };
    BreadthFirstWalk walk(start, problem);
    while (!summary.stopped) {
        std::optional<WalkStep> step = walk.next();
        if (!step) {
            break;
        }
        if (events.directoryReached) {
            events.directoryReached(*step, walk.directoriesLeft());
        }
        for (std::size_t index = 0; index < step->files.size(); ++index) {
            // A stop lets the files handed out finish and be reported; no more are handed out.
            if (control.stopRequested && control.stopRequested()) {
                summary.stopped = true;
                break;
            }
            std::string path = JoinPath(step->directory, step->files[index]);
            if (events.testing) {
                events.testing(path, index);
            }
            const int matchPercent =
                control.matchPercent ? control.matchPercent() : kDefaultMatchPercent;
            if (testers.full()) {
                reportOldest();
            }
            testers.submit(path, [&reference, &test, path, matchPercent] {
                return test(reference, path, matchPercent);
            });
            pending.push_back({std::move(path), walk.directoriesLeft()});
        }
    }
    while (!pending.empty()) {
        reportOldest();
    }
    return summary;
}

} // namespace vantrel
