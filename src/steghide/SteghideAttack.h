#pragma once
// Finding steghide data without knowing the passphrase: a word list (each passphrase costs an MD5
// and the few samples until its first wrong magic bit), or every one of the 2^32 seeds, which
// needs no passphrase at all and reads unencrypted payloads out.
#include "steghide/SteghideFormat.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace vantrel {

struct SteghideProgress {
    std::uint64_t done = 0;  // passphrases or seeds tried
    std::uint64_t total = 0; // 0 when unknown (a streamed word list)
    double seconds = 0;
    double perSecond = 0;
};
// Called on a worker thread, a few times a second at most.
using SteghideProgressCallback = std::function<void(const SteghideProgress&)>;

struct SteghidePassphraseHit {
    std::string passphrase;
    std::uint32_t seed = 0;
    SteghideHeader header;
    // The payload when it could be read; empty with the reason when its cipher is one we refuse.
    std::optional<SteghidePayload> payload;
    std::string unreadable;
};

struct SteghideWordListOptions {
    std::string fileName; // the cover's file name, tried (with and without extension) first
    bool keepGoing = false;
    const std::atomic<bool>* cancel = nullptr;
    SteghideProgressCallback progress;
};

struct SteghideWordListResult {
    std::vector<SteghidePassphraseHit> hits;
    std::uint64_t tried = 0;
    double seconds = 0;
    bool cancelled = false;
};

// The empty passphrase, the file's name, then `words` one a line (a final CR dropped), on every
// core. A passphrase is a hit when its header passes SteghideHeaderAt and its payload decrypts,
// inflates and matches its CRC (or its cipher is one we cannot run). `words` may be null.
SteghideWordListResult SteghideWordListAttack(const SteghideCover& cover, std::istream* words,
                                              const SteghideWordListOptions& options);

struct SteghideSeedHit {
    std::uint32_t seed = 0;
    SteghideHeader header;
    std::optional<SteghidePayload> payload; // read out where nothing was encrypted
    // 0: a payload read out with a good checksum; 1: steghide's default cipher; 2: a cipher
    // Debian's steghide offers; 3: the rest. Random magic matches land mostly in 2 and 3.
    int rank = 3;
};

struct SteghideSeedSearchOptions {
    std::uint64_t first = 0;
    std::uint64_t end = std::uint64_t{1} << 32;
    const std::atomic<bool>* cancel = nullptr;
    SteghideProgressCallback progress;
};

struct SteghideSeedSearchResult {
    std::vector<SteghideSeedHit> hits; // best rank first, then by seed
    std::uint64_t searched = 0;
    double seconds = 0;
    bool cancelled = false;
};

// Seeds [first, end) on every core. Hits with no encryption whose payload does not read out
// are dropped: a real embedding always reads.
SteghideSeedSearchResult SteghideSeedSearch(const SteghideCover& cover,
                                            const SteghideSeedSearchOptions& options);

} // namespace vantrel
