#include "search/SimilarSearch.h"

#include "image/Bitmap.h"
#include "image/ImageFormats.h"
#include "image/ImageLoading.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

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

namespace {

// Tests candidate files on a few threads of its own while the walk hands them out, and gives
// the results back in the order they were handed out. Decoding happens in the decoder helpers,
// so these threads mostly wait on them: plain threads, not the shared pool the pixel kernels
// use, which must never be blocked by waiting.
class CandidateTesters {
public:
    CandidateTesters(const SearchReference& reference, int threads) : reference_(reference) {
        for (int i = 0; i < threads; ++i) {
            threads_.emplace_back([this](std::stop_token stop) { work(stop); });
        }
    }

    ~CandidateTesters() {
        for (std::jthread& thread : threads_) {
            thread.request_stop();
        }
        jobReady_.notify_all();
    }

    CandidateTesters(const CandidateTesters&) = delete;
    CandidateTesters& operator=(const CandidateTesters&) = delete;

    std::size_t inFlight() const { return order_.size(); }

    void submit(std::string path, int matchPercent) {
        auto job = std::make_shared<Job>();
        job->path = std::move(path);
        job->matchPercent = matchPercent;
        {
            const std::lock_guard lock(mutex_);
            waiting_.push_back(job);
        }
        order_.push_back(std::move(job));
        jobReady_.notify_one();
    }

    // Waits for the oldest file handed out, and returns its result.
    CandidateResult takeOldest() {
        std::shared_ptr<Job> job = std::move(order_.front());
        order_.pop_front();
        std::unique_lock lock(mutex_);
        resultReady_.wait(lock, [&] { return job->done; });
        if (job->failure) {
            std::rethrow_exception(job->failure);
        }
        return std::move(job->result);
    }

private:
    struct Job {
        std::string path;
        int matchPercent = kDefaultMatchPercent;
        CandidateResult result;
        std::exception_ptr failure;
        bool done = false;
    };

    void work(const std::stop_token& stop) {
        while (true) {
            std::shared_ptr<Job> job;
            {
                std::unique_lock lock(mutex_);
                jobReady_.wait(lock, stop, [&] { return !waiting_.empty(); });
                if (stop.stop_requested() || waiting_.empty()) {
                    return;
                }
                job = std::move(waiting_.front());
                waiting_.pop_front();
            }
            CandidateResult result;
            std::exception_ptr failure;
            try {
                result = TestCandidateFile(reference_, job->path, job->matchPercent);
            } catch (...) {
                failure = std::current_exception();
            }
            {
                const std::lock_guard lock(mutex_);
                job->result = std::move(result);
                job->failure = failure;
                job->done = true;
            }
            resultReady_.notify_all();
        }
    }

    const SearchReference& reference_;
    std::mutex mutex_;
    std::condition_variable_any jobReady_;
    std::condition_variable resultReady_;
    std::deque<std::shared_ptr<Job>> waiting_;
    std::deque<std::shared_ptr<Job>> order_; // handed out, oldest first; the walk's thread only
    std::vector<std::jthread> threads_;
};

constexpr int kLookAheadPerThread = 4;

// Four files a decoder helper (the pool has 2-4): much of a test is waiting (for a helper's
// answer, a header read, a file's identity), so more threads than helpers keep them all busy.
int CandidateThreads() {
    return 4 * std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 2, 4);
}

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
    // Files are tested a few at a time, and reported in walk order as each oldest one is done.
    const int threads = CandidateThreads();
    CandidateTesters testers(reference, threads);
    // Files handed out ahead of the one reported next: while one thread decodes a large
    // candidate, the others go on through the small ones behind it.
    const auto lookAhead = static_cast<std::size_t>(threads) * kLookAheadPerThread;
    struct Pending {
        std::string path;
        std::size_t directoriesLeft = 0;
    };
    std::deque<Pending> pending;
    const auto reportOldest = [&] {
        const CandidateResult result = testers.takeOldest();
        const Pending file = std::move(pending.front());
        pending.pop_front();
        ++summary.filesTested;
        if (result.verdict == CandidateVerdict::Unreadable) {
            problem(result.error.empty() ? "Could not read " + file.path : result.error);
        } else if (result.verdict == CandidateVerdict::Match) {
            ++summary.hits;
            if (events.hit) {
                events.hit(file.path, result.similarityText);
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
            // A stop lets the files in flight finish and be reported; no more are handed out.
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
            if (testers.inFlight() >= lookAhead) {
                reportOldest();
            }
            testers.submit(path, matchPercent);
            pending.push_back({std::move(path), walk.directoriesLeft()});
        }
    }
    while (!pending.empty()) {
        reportOldest();
    }
    return summary;
}

} // namespace vantrel
