#include "search/SimilarSearch.h"

#include "image/Bitmap.h"
#include "image/ImageFormats.h"
#include "image/ImageLoading.h"

namespace vantrel {
namespace {

// Decoders end some messages with a line break; a status line has room for one line.
std::string OneLine(std::string message) {
    for (char& c : message) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    message.erase(message.find_last_not_of(' ') + 1);
    return message;
}

} // namespace

SearchReference SearchReference::Of(const FIBITMAP* bitmap, const std::string& path) {
    SearchReference reference;
    reference.bitmap = bitmap;
    reference.path = path;
    reference.width = BitmapWidth(bitmap);
    reference.height = BitmapHeight(bitmap);
    reference.identity = IdentityOf(path);
    return reference;
}

bool SearchReference::isFile(const std::string& candidatePath) const {
    if (candidatePath == path || NormalPath(candidatePath) == NormalPath(path)) {
        return true;
    }
    // Another path to the same file: through a linked directory, or a hard link.
    return identity && IdentityOf(candidatePath) == identity;
}

CandidateResult TestCandidateFile(const SearchReference& reference, const std::string& path,
                                  int matchPercent, MsbStop stop) {
    CandidateResult result;
    if (reference.isFile(path)) {
        result.verdict = CandidateVerdict::Reference;
        return result;
    }
    const Size wanted{reference.width, reference.height};
    if (SizeComesFromHeader(ImageFormatFor(path))) {
        const Size header = ReadImageSize(path, &result.error);
        if (header == Size{}) {
            result.verdict = CandidateVerdict::Unreadable;
            return result;
        }
        if (header != wanted) {
            result.verdict = CandidateVerdict::SizeDiffers;
            return result;
        }
    }
    const BitmapHandle candidate = LoadImageFile(path, &result.error);
    if (!candidate) {
        result.verdict = CandidateVerdict::Unreadable;
        return result;
    }
    result.error.clear();
    if (Size{BitmapWidth(candidate.get()), BitmapHeight(candidate.get())} != wanted) {
        result.verdict = CandidateVerdict::SizeDiffers;
        return result;
    }
    const bool match = CompareMsbPlanes(reference.bitmap, candidate.get(), matchPercent,
                                        result.similarityText, stop);
    result.verdict = match ? CandidateVerdict::Match : CandidateVerdict::NoMatch;
    return result;
}

bool TestCandidate(const SearchReference& reference, const std::string& path, int matchPercent,
                   std::string& similarityText) {
    CandidateResult result = TestCandidateFile(reference, path, matchPercent);
    if (!result.similarityText.empty()) {
        similarityText = std::move(result.similarityText);
    }
    return result.verdict == CandidateVerdict::Match;
}

SearchSummary SearchTree(const SearchReference& reference, const std::string& start,
                         const SearchControl& control, const SearchEvents& events) {
    SearchSummary summary;
    const auto problem = [&](const std::string& message) {
        ++summary.problems;
        if (events.problem) {
            events.problem(OneLine(message));
        }
    };
    BreadthFirstWalk walk(start, problem);
    while (std::optional<WalkStep> step = walk.next()) {
        if (events.directoryReached) {
            events.directoryReached(*step, walk.directoriesLeft());
        }
        for (std::size_t index = 0; index < step->files.size(); ++index) {
            if (control.stopRequested && control.stopRequested()) {
                summary.stopped = true;
                return summary;
            }
            const std::string path = JoinPath(step->directory, step->files[index]);
            if (events.testing) {
                events.testing(path, index);
            }
            const int matchPercent =
                control.matchPercent ? control.matchPercent() : kDefaultMatchPercent;
            const CandidateResult result = TestCandidateFile(reference, path, matchPercent);
            ++summary.filesTested;
            if (result.verdict == CandidateVerdict::Unreadable) {
                problem(result.error.empty() ? "Could not read " + path : result.error);
            } else if (result.verdict == CandidateVerdict::Match) {
                ++summary.hits;
                if (events.hit) {
                    events.hit(path, result.similarityText);
                }
            }
            if (events.progress) {
                events.progress(summary.filesTested, walk.directoriesLeft());
            }
        }
    }
    return summary;
}

} // namespace vantrel
