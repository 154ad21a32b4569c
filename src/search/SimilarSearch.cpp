#include "search/SimilarSearch.h"

#include "image/Bitmap.h"
#include "image/ImageLoading.h"
#include "search/ImageHeaders.h"

#include <FreeImage.h>

namespace vantrel {
namespace {

// Formats whose header tells the size without decoding the pixels. Camera-raw files are left
// out: their header size need not be the size of the developed picture.
bool SizeFromHeader(const FormatChoice& format) {
    return format.fromTable && format.format != FIF_RAW &&
           FreeImage_FIFSupportsNoPixels(static_cast<FREE_IMAGE_FORMAT>(format.format));
}

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
    const FormatChoice format = ImageFormatFor(path);
    if (SizeFromHeader(format)) {
        const Size header = ReadImageSize(path, &result.error);
        if (header == Size{}) {
            result.verdict = CandidateVerdict::Unreadable;
            return result;
        }
        if (header != wanted) {
            result.verdict = CandidateVerdict::SizeDiffers;
            return result;
        }
    } else if (format.format == FIF_GIF || format.format == FIF_JP2 || format.format == FIF_J2K) {
        // FreeImage decodes these whole to tell their size; their headers say as much. A file
        // whose header cannot be read goes on to the decoder, which knows what to make of it.
        const std::optional<Size> header = HeaderImageSize(path);
        if (header && *header != wanted) {
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
