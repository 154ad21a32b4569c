#include "cli/Cli.h"

#include "image/ImageLoading.h"
#include "search/SimilarSearch.h"

#include <cstdio>
#include <iostream>

#include <unistd.h>

namespace vantrel::cli {
namespace {

struct ThresholdArguments {
    std::vector<std::string> positional;
    int matchPercent = kDefaultMatchPercent;
};

ThresholdArguments SplitThreshold(const Arguments& args) {
    ThresholdArguments split;
    split.positional =
        TakeOptions(args,
                    {Valued(
                        "--threshold",
                        [&](const std::string& value) {
                            split.matchPercent = ParseInt(value, "the threshold");
                            if (split.matchPercent < 0 || split.matchPercent > 100) {
                                throw UsageError("the threshold must lie between 0 and 100");
                            }
                        },
                        "--threshold needs a percentage")},
                    Unlisted::Operands);
    return split;
}

int RunSimilarity(const Arguments& args) {
    const ThresholdArguments split = SplitThreshold(args);
    if (split.positional.size() != 2) {
        throw UsageError("similarity takes REF CANDIDATE");
    }
    // A file compared with itself is a fair question here: only the search skips its reference,
    // so the image carries no path.
    const SearchReference reference =
        SearchReference::Of(ShareImage(LoadOrThrow(split.positional[0])));
    const Result<CandidateResult> result =
        TestCandidateFile(reference, split.positional[1], split.matchPercent, MsbStop::Never);
    if (!result) {
        throw InputError(result.error());
    }
    if (result->verdict == CandidateVerdict::SizeDiffers) {
        std::cout << "size differs\n";
        return 0;
    }
    std::cout << result->similarityText << '\t'
              << (result->verdict == CandidateVerdict::Match ? "match" : "no match") << '\n';
    return 0;
}

int RunSearch(const Arguments& args) {
    const ThresholdArguments split = SplitThreshold(args);
    if (split.positional.size() != 2) {
        throw UsageError("search takes REF DIR");
    }
    const std::string& referencePath = split.positional[0];
    const std::string& start = split.positional[1];
    const SearchReference reference =
        SearchReference::Of(ShareImage(LoadOrThrow(referencePath), referencePath));
    // Below the start, unreadable directories are passed over; the start itself must be read.
    if (const DirectoryListing top = ListDirectory(start); !top.readable) {
        throw InputError("Cannot read directory " + start + ": " + top.error);
    }
    const bool showProgress = isatty(STDERR_FILENO) != 0;
    // On a terminal the progress line is rewritten in place; other lines first clear it.
    const char* clearLine = showProgress ? "\r\033[K" : "";
    SearchEvents events;
    events.hit = [](const std::string& path, const std::string& text) {
        std::cout << path << '\t' << text << std::endl;
    };
    events.problem = [clearLine](const std::string& message) {
        std::cerr << clearLine << message << '\n';
    };
    if (showProgress) {
        events.progress = [](std::uint64_t tested, std::size_t left) {
            std::cerr << "\r\033[K" << tested << " files tested, " << left << " directories left"
                      << std::flush;
        };
    }
    SearchControl control;
    control.matchPercent = [&split] { return split.matchPercent; };
    const SearchSummary summary = SearchTree(reference, start, control, events);
    if (showProgress) {
        std::cerr << "\r\033[K" << summary.filesTested << " files tested, " << summary.hits
                  << " hits\n";
    }
    return 0;
}

} // namespace

std::vector<Command> SearchCommands() {
    return {
        {"similarity", "REF CANDIDATE [--threshold N]",
         "the MSB-plane similarity of two images of one size and whether it reaches N % (85)",
         RunSimilarity},
        {"search", "REF DIR [--threshold N]",
         "every image under DIR whose MSB plane agrees with REF by N % (85), in walk order",
         RunSearch},
    };
}

} // namespace vantrel::cli
