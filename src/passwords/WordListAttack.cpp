#include "passwords/WordListAttack.h"

#include <tbb/parallel_pipeline.h>
#include <tbb/task_arena.h>

#include <algorithm>
#include <chrono>
#include <istream>
#include <map>
#include <memory>

namespace vantrel::passwords {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kBytesPerBatch = std::size_t{1} << 16;
constexpr std::size_t kMaxLineBytes = std::size_t{1} << 20;

struct FoundHit {
    std::uint64_t index = 0; // the password's place in the order tried
    PasswordHit hit;
};

struct Batch {
    std::uint64_t firstIndex = 0;
    std::vector<std::string> first; // the passwords tried before the list
    std::string text;               // whole lines of the list
    std::uint64_t tried = 0;
    std::vector<FoundHit> hits;
};

std::vector<std::string> FirstPasswords(const std::string& fileName) {
    std::vector<std::string> first{""};
    const std::size_t slash = fileName.find_last_of('/');
    const std::string base = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
    if (!base.empty()) {
        first.push_back(base);
        const std::size_t dot = base.rfind('.');
        if (dot != std::string::npos && dot > 0) {
            first.push_back(base.substr(0, dot));
        }
    }
    return first;
}

// Reads whole lines a block at a time; the line a block cuts waits for the next.
class LineBlocks {
public:
    explicit LineBlocks(std::istream* in) : in_(in) {}
    std::string Next() {
        std::string text;
        text.swap(carry_);
        if (in_ && *in_) {
            const std::size_t kept = text.size();
            text.resize(kept + kBytesPerBatch);
            in_->read(text.data() + kept, static_cast<std::streamsize>(kBytesPerBatch));
            text.resize(kept + static_cast<std::size_t>(in_->gcount()));
            if (*in_) {
                const std::size_t end = text.rfind('\n');
                // A megabyte without a line end is no word list: it goes as one word rather than
                // being held whole.
                const std::size_t cut = end != std::string::npos      ? end + 1
                                        : text.size() > kMaxLineBytes ? text.size()
                                                                      : 0;
                carry_.assign(text, cut);
                text.resize(cut);
            }
        }
        return text;
    }
    bool ended() const { return carry_.empty() && (!in_ || !*in_); }

private:
    std::istream* in_;
    std::string carry_;
};

template <typename Visit> void ForEachLine(std::string_view text, const Visit& visit) {
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view word = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (!word.empty() && word.back() == '\r') {
            word.remove_suffix(1);
        }
        visit(word);
    }
}

} // namespace

PasswordAttackResult WordListAttack(std::span<const PasswordTool* const> tools, std::istream* words,
                                    const PasswordAttackOptions& options) {
    PasswordAttackResult result;
    const Clock::time_point start = Clock::now();
    // Tools with a verified hit, when one is all we want of each.
    std::vector<std::atomic<bool>> settled(tools.size());
    std::atomic<std::size_t> settledCount{0};
    const auto finished = [&] {
        return (options.cancel && options.cancel->load(std::memory_order_relaxed)) ||
               (!options.keepGoing && settledCount.load() == tools.size());
    };

    LineBlocks blocks(words);
    bool firstDone = false;
    std::uint64_t nextIndex = 0;
    std::vector<FoundHit> found;
    std::map<std::string, std::size_t> candidatesKept;
    Clock::time_point lastProgress = start;

    const auto tryWord = [&](Batch& batch, std::string_view word, std::uint64_t index) {
        ++batch.tried;
        for (std::size_t t = 0; t < tools.size(); ++t) {
            if (settled[t].load(std::memory_order_relaxed)) {
                continue;
            }
            std::optional<PasswordHit> hit = tools[t]->Try(word);
            if (!hit) {
                continue;
            }
            if (hit->verified && !options.keepGoing && !settled[t].exchange(true)) {
                ++settledCount;
            }
            batch.hits.push_back({index, std::move(*hit)});
        }
    };

    tbb::parallel_pipeline(
        static_cast<std::size_t>(2 * tbb::this_task_arena::max_concurrency()),
        tbb::make_filter<void, std::shared_ptr<Batch>>(
            tbb::filter_mode::serial_in_order,
            [&](tbb::flow_control& control) -> std::shared_ptr<Batch> {
                if (finished() || (firstDone && blocks.ended())) {
                    control.stop();
                    return nullptr;
                }
                auto batch = std::make_shared<Batch>();
                if (!firstDone) {
                    batch->first = FirstPasswords(options.fileName);
                    firstDone = true;
                }
                batch->text = blocks.Next();
                batch->firstIndex = nextIndex;
                nextIndex += batch->first.size() +
                             static_cast<std::uint64_t>(
                                 std::count(batch->text.begin(), batch->text.end(), '\n')) +
                             1;
                return batch;
            }) &
            tbb::make_filter<std::shared_ptr<Batch>, std::shared_ptr<Batch>>(
                tbb::filter_mode::parallel,
                [&](std::shared_ptr<Batch> batch) {
                    std::uint64_t index = batch->firstIndex;
                    for (const std::string& word : batch->first) {
                        tryWord(*batch, word, index++);
                    }
                    ForEachLine(batch->text, [&](std::string_view word) {
                        if (!finished()) {
                            tryWord(*batch, word, index);
                        }
                        ++index;
                    });
                    return batch;
                }) &
            tbb::make_filter<std::shared_ptr<Batch>, void>(
                tbb::filter_mode::serial_in_order, [&](std::shared_ptr<Batch> batch) {
                    result.tried += batch->tried;
                    for (FoundHit& hit : batch->hits) {
                        if (!hit.hit.verified) {
                            ++result.candidates;
                            if (candidatesKept[hit.hit.tool]++ >= kCandidatesKept) {
                                continue;
                            }
                        }
                        found.push_back(std::move(hit));
                    }
                    const Clock::time_point now = Clock::now();
                    if (options.progress && now - lastProgress > std::chrono::milliseconds(250)) {
                        lastProgress = now;
                        const double seconds = std::chrono::duration<double>(now - start).count();
                        options.progress(
                            {result.tried, seconds,
                             seconds > 0 ? static_cast<double>(result.tried) / seconds : 0});
                    }
                }));

    std::stable_sort(found.begin(), found.end(), [](const FoundHit& a, const FoundHit& b) {
        return a.hit.verified != b.hit.verified ? a.hit.verified : a.index < b.index;
    });
    for (FoundHit& hit : found) {
        result.hits.push_back(std::move(hit.hit));
    }
    result.cancelled = options.cancel && options.cancel->load();
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return result;
}

} // namespace vantrel::passwords
