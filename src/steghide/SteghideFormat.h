#pragma once
// steghide 0.5.1's embedded data: 24 bits of magic ("shm"), the version (one 0 bit), 5 bits of
// encryption algorithm, 3 of mode, 32 of plain size in bits, then the plain data encrypted. The
// plain data: a compression bit (and the uncompressed size and a zlib stream), then a checksum
// bit and CRC-32, the file name up to a NUL, and the file's bytes. Every field lowest bit first.
#include "image/Result.h"
#include "steghide/SteghideCover.h"
#include "steghide/SteghideSelector.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// The magic and the version bit, as the first 25 bits read lowest first.
inline constexpr std::uint32_t kSteghideMagic = 0x073688D;
inline constexpr int kSteghideMagicBits = 25;
inline constexpr int kSteghideHeaderBits = 65;

// `count` bits read one at a time as one number, the first its lowest bit: how steghide's
// BitString packs a field, whether the bits come from the cover or from decrypted bytes.
template <typename Reader> std::uint32_t SteghideBitsLowFirst(Reader& reader, int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
        value |= static_cast<std::uint32_t>(reader.Bit()) << i;
    }
    return value;
}

// The embedded bits of a cover for one seed, in steghide's order.
template <typename Table> class SteghideBitReader {
public:
    SteghideBitReader(const SteghideCover& cover, std::uint32_t seed)
        : values_(cover.values.data()), samplesPerValue_(cover.samplesPerValue),
          valueMask_(static_cast<unsigned>(cover.modulus - 1)), bitsPerValue_(cover.bitsPerValue),
          permutation_(seed, static_cast<std::uint32_t>(cover.values.size())) {}

    // The caller makes sure the samples last (SteghideSamplesFor).
    unsigned Bit() {
        if (left_ == 0) {
            unsigned sum = 0;
            for (int s = 0; s < samplesPerValue_; ++s) {
                sum += values_[permutation_.Next()];
            }
            pending_ = sum & valueMask_;
            left_ = bitsPerValue_;
        }
        const unsigned bit = pending_ & 1;
        pending_ >>= 1;
        --left_;
        return bit;
    }

    std::uint32_t Bits(int count) { return SteghideBitsLowFirst(*this, count); }

private:
    const std::uint8_t* values_;
    int samplesPerValue_;
    unsigned valueMask_;
    int bitsPerValue_;
    unsigned pending_ = 0;
    int left_ = 0;
    SteghidePermutation<Table> permutation_;
};

// The samples steghide reads for the first `bits` embedded bits. steghide refuses a file unless
// this stays below the number of samples.
inline std::uint64_t SteghideSamplesFor(const SteghideCover& cover, std::uint64_t bits) {
    const auto perValue = static_cast<std::uint64_t>(cover.bitsPerValue);
    return static_cast<std::uint64_t>(cover.samplesPerValue) * ((bits + perValue - 1) / perValue);
}

// Whether the first 25 bits at a seed are the magic and version: the whole cost of rejecting a
// passphrase or a seed, so made as cheap as it goes. The sample values are packed into bits (a
// 640 x 427 JPEG's fit the first-level cache), the loop is built for each grouping of samples,
// and each value is compared as soon as it is read, so a wrong seed usually costs 3 or 6 draws.
class SteghideMagicCheck {
public:
    explicit SteghideMagicCheck(const SteghideCover& cover);

    bool operator()(std::uint32_t seed) const {
        return fits_ && check_(packed_.data(), samples_, seed);
    }

    // The seeds of [from, to) that pass, appended to `passing`.
    void Scan(std::uint64_t from, std::uint64_t to, std::vector<std::uint32_t>& passing) const {
        if (fits_) {
            scan_(packed_.data(), samples_, from, to, passing);
        }
    }

private:
    using Check = bool (*)(const std::uint64_t*, std::uint32_t, std::uint32_t);
    using ScanRange = void (*)(const std::uint64_t*, std::uint32_t, std::uint64_t, std::uint64_t,
                               std::vector<std::uint32_t>&);
    std::vector<std::uint64_t> packed_;
    std::uint32_t samples_ = 0;
    bool fits_ = false;
    Check check_ = nullptr;
    ScanRange scan_ = nullptr;
};

struct SteghideHeader {
    int algorithm = 0;
    int mode = 0;
    std::uint32_t plainBits = 0;
    std::uint64_t storedBits = 0;  // everything embedded, the header included
    std::uint64_t samplesUsed = 0; // of the cover's samples
};

// The header at `seed` when the magic, version and fields pass every check: an algorithm
// steghide knows, a mode it takes, plain data at least as long as its smallest (10 bits), and all
// of it within the cover.
std::optional<SteghideHeader> SteghideHeaderAt(const SteghideCover& cover, std::uint32_t seed);

struct SteghidePayload {
    SteghideHeader header;
    bool compressed = false;
    bool hasChecksum = false;
    std::uint32_t checksum = 0; // as stored: CRC-32 with libmhash's unreflected polynomial
    bool checksumOk = false;    // true also when none was stored
    std::string name;           // the embedded file's name, without folders
    std::vector<std::uint8_t> data;
};

// The payload at `seed`, decrypted with `passphrase` where it is encrypted.
Result<SteghidePayload> SteghideExtractAt(const SteghideCover& cover, std::uint32_t seed,
                                          std::string_view passphrase);

inline Result<SteghidePayload> SteghideExtract(const SteghideCover& cover,
                                               std::string_view passphrase) {
    return SteghideExtractAt(cover, SteghideSeed(passphrase), passphrase);
}

// libmhash's MHASH_CRC32 (polynomial 0x04C11DB7 unreflected, as in bzip2), which steghide stores.
std::uint32_t SteghideCrc32(const std::uint8_t* data, std::size_t size);

} // namespace vantrel
