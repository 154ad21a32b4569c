#include "steghide/SteghideAttack.h"

#include "steghide/SteghideCrypto.h"
#include "steghide/WordListBatches.h"

#include <openssl/evp.h>
#include <tbb/enumerable_thread_specific.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <chrono>
#include <istream>
#include <memory>
#include <mutex>

namespace vantrel {

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool Cancelled(const std::atomic<bool>* cancel) {
    return cancel && cancel->load(std::memory_order_relaxed);
}

// Progress at most every quarter second, from whichever thread gets there.
class ProgressThrottle {
public:
    ProgressThrottle(const SteghideProgressCallback& callback, std::uint64_t total)
        : callback_(callback), total_(total) {}
    Clock::time_point start() const { return start_; }
    void Report(std::uint64_t done, bool final = false) {
        if (!callback_) {
            return;
        }
        const std::unique_lock lock(mutex_, std::try_to_lock);
        if (!lock.owns_lock() && !final) {
            return;
        }
        const Clock::time_point now = Clock::now();
        if (!final && now - last_ < std::chrono::milliseconds(250)) {
            return;
        }
        last_ = now;
        const double seconds = std::chrono::duration<double>(now - start_).count();
        callback_({done, total_, seconds, seconds > 0 ? static_cast<double>(done) / seconds : 0});
    }

private:
    const SteghideProgressCallback& callback_;
    std::uint64_t total_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point last_ = start_;
    std::mutex mutex_;
};

// One MD5 context a thread, made once: fetching and allocating per passphrase would cost more
// than the check itself.
class Md5Seeds {
public:
    Md5Seeds() : md5_(EVP_MD_fetch(nullptr, "MD5", nullptr), &EVP_MD_free) {}
    std::uint32_t Seed(std::string_view passphrase) {
        EVP_MD_CTX* context = contexts_.local().get();
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (!context || EVP_DigestInit_ex2(context, md5_.get(), nullptr) != 1 ||
            EVP_DigestUpdate(context, passphrase.data(), passphrase.size()) != 1 ||
            EVP_DigestFinal_ex(context, digest, &length) != 1) {
            return SteghideSeed(passphrase);
        }
        std::uint32_t seed = 0;
        for (int i = 0; i < 16; ++i) {
            seed ^= static_cast<std::uint32_t>(digest[i]) << (8 * (i & 3));
        }
        return seed;
    }

private:
    using Context = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;
    std::unique_ptr<EVP_MD, decltype(&EVP_MD_free)> md5_;
    tbb::enumerable_thread_specific<Context> contexts_{
        [] { return Context(EVP_MD_CTX_new(), &EVP_MD_CTX_free); }};
};

// The rare passphrase whose magic matched: a hit only if the rest of it holds up.
std::optional<SteghidePassphraseHit>
ConfirmPassphrase(const SteghideCover& cover, std::string_view passphrase, std::uint32_t seed) {
    const std::optional<SteghideHeader> header = SteghideHeaderAt(cover, seed);
    if (!header) {
        return std::nullopt;
    }
    SteghidePassphraseHit hit;
    hit.passphrase = std::string(passphrase);
    hit.seed = seed;
    hit.header = *header;
    if (!SteghideCanDecrypt(header->algorithm, header->mode)) {
        hit.unreadable = "steghide's " + std::string(SteghideAlgorithmName(header->algorithm)) +
                         " cipher is not read here";
        return hit;
    }
    Result<SteghidePayload> payload = SteghideExtractAt(cover, seed, passphrase);
    if (!payload || !payload->checksumOk) {
        return std::nullopt;
    }
    hit.payload = std::move(payload).value();
    return hit;
}

// A run of whole lines of the list, split on the worker that checks them: the reading thread
// only copies bytes, so it keeps up with every core.
struct WordBatch {
    std::vector<std::string> extra; // the passphrases tried before the list
    std::string text;
    std::uint64_t tried = 0;
    std::vector<SteghidePassphraseHit> hits;
};

} // namespace

SteghideWordListResult SteghideWordListAttack(const SteghideCover& cover, std::istream* words,
                                              const SteghideWordListOptions& options) {
    SteghideWordListResult result;
    ProgressThrottle progress(options.progress, 0);
    Md5Seeds seeds;
    const SteghideMagicCheck magic(cover);
    std::atomic<bool> found{false};

    std::vector<std::string> first{""};
    if (!options.fileName.empty()) {
        const std::size_t slash = options.fileName.find_last_of("/\\");
        const std::string base =
            slash == std::string::npos ? options.fileName : options.fileName.substr(slash + 1);
        first.push_back(base);
        const std::size_t dot = base.rfind('.');
        if (dot != std::string::npos && dot > 0) {
            first.push_back(base.substr(0, dot));
        }
    }
    bool firstDone = false;
    wordlist::LineBlocks blocks(words);

    const auto stop = [&] {
        return Cancelled(options.cancel) || (!options.keepGoing && found.load());
    };
    const auto check = [&](WordBatch& batch, std::string_view word) {
        // Batches in flight when the first hit lands stop where they are.
        if (!options.keepGoing && found.load(std::memory_order_relaxed)) {
            return;
        }
        ++batch.tried;
        const std::uint32_t seed = seeds.Seed(word);
        if (!magic(seed)) {
            return;
        }
        if (auto hit = ConfirmPassphrase(cover, word, seed)) {
            batch.hits.push_back(std::move(*hit));
            found = true;
        }
    };
    wordlist::RunBatches<WordBatch>(
        [&]() -> std::shared_ptr<WordBatch> {
            if (stop()) {
                return nullptr;
            }
            auto batch = std::make_shared<WordBatch>();
            if (!firstDone) {
                batch->extra = first;
                firstDone = true;
            }
            batch->text = blocks.Next();
            if (batch->extra.empty() && batch->text.empty() && blocks.ended()) {
                return nullptr;
            }
            return batch;
        },
        [&](WordBatch& batch) {
            for (const std::string& word : batch.extra) {
                check(batch, word);
            }
            wordlist::ForEachLine(batch.text, [&](std::string_view word) { check(batch, word); });
        },
        [&](WordBatch& batch) {
            result.tried += batch.tried;
            for (SteghidePassphraseHit& hit : batch.hits) {
                result.hits.push_back(std::move(hit));
            }
            progress.Report(result.tried);
        });
    result.cancelled = Cancelled(options.cancel);
    result.seconds = SecondsSince(progress.start());
    progress.Report(result.tried, true);
    return result;
}

SteghideSeedSearchResult SteghideSeedSearch(const SteghideCover& cover,
                                            const SteghideSeedSearchOptions& options) {
    SteghideSeedSearchResult result;
    const std::uint64_t first = std::min<std::uint64_t>(options.first, std::uint64_t{1} << 32);
    const std::uint64_t end = std::clamp<std::uint64_t>(options.end, first, std::uint64_t{1} << 32);
    ProgressThrottle progress(options.progress, end - first);
    // Pieces small enough that Stop answers within a fraction of a second.
    constexpr std::uint64_t kSeedsPerPiece = std::uint64_t{1} << 18;
    const std::uint64_t pieces = (end - first + kSeedsPerPiece - 1) / kSeedsPerPiece;
    std::atomic<std::uint64_t> searched{0};
    std::mutex hitsMutex;
    const SteghideMagicCheck magic(cover);

    tbb::parallel_for(std::uint64_t{0}, pieces, [&](std::uint64_t piece) {
        if (Cancelled(options.cancel)) {
            return;
        }
        const std::uint64_t from = first + piece * kSeedsPerPiece;
        const std::uint64_t to = std::min(end, from + kSeedsPerPiece);
        std::vector<std::uint32_t> passing;
        magic.Scan(from, to, passing);
        for (const std::uint32_t seed : passing) {
            const std::optional<SteghideHeader> header = SteghideHeaderAt(cover, seed);
            if (!header) {
                continue;
            }
            SteghideSeedHit hit;
            hit.seed = seed;
            hit.header = *header;
            if (header->algorithm == 0) {
                Result<SteghidePayload> payload = SteghideExtractAt(cover, seed, {});
                if (!payload || !payload->checksumOk) {
                    continue;
                }
                hit.payload = std::move(payload).value();
                hit.rank = 0;
            } else if (header->algorithm == kSteghideRijndael128 &&
                       header->mode == kSteghideModeCbc) {
                hit.rank = 1;
            } else {
                hit.rank = SteghideOfferedByDebian(header->algorithm) ? 2 : 3;
            }
            const std::lock_guard lock(hitsMutex);
            result.hits.push_back(std::move(hit));
        }
        progress.Report(searched += to - from);
    });
    std::sort(result.hits.begin(), result.hits.end(), [](const auto& a, const auto& b) {
        return a.rank != b.rank ? a.rank < b.rank : a.seed < b.seed;
    });
    result.searched = searched.load();
    result.cancelled = Cancelled(options.cancel);
    result.seconds = SecondsSince(progress.start());
    progress.Report(result.searched, true);
    return result;
}

} // namespace vantrel
