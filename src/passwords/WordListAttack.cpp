#include "passwords/WordListAttack.h"

#include "steghide/WordListBatches.h"

#include <algorithm>
#include <chrono>
#include <istream>
#include <map>
#include <memory>

namespace vantrel::passwords {
namespace {

using Clock = std::chrono::steady_clock;

using wordlist::ForEachLine;
using wordlist::LineBlocks;

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

    wordlist::RunBatches<Batch>(
        [&]() -> std::shared_ptr<Batch> {
            if (finished() || (firstDone && blocks.ended())) {
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
        },
        [&](Batch& batch) {
            std::uint64_t index = batch.firstIndex;
            for (const std::string& word : batch.first) {
                tryWord(batch, word, index++);
            }
            ForEachLine(batch.text, [&](std::string_view word) {
                if (!finished()) {
                    tryWord(batch, word, index);
                }
                ++index;
            });
        },
        [&](Batch& batch) {
            result.tried += batch.tried;
            for (FoundHit& hit : batch.hits) {
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
                options.progress({result.tried, seconds,
                                  seconds > 0 ? static_cast<double>(result.tried) / seconds : 0});
            }
        });

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
