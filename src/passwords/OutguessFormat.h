#pragma once
// OutGuess 0.4's embedding read back: the usable bits of a cover, its two RC4 streams keyed by
// MD5("Seeding" + password) (the walk) and MD5("Encryption" + password) (the cipher), the 32-bit
// header (seed, length) and the payload the walk reaches after the seed is mixed in.
#include "image/Result.h"
#include "jpeg/JpegCoefficients.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::passwords {

// The bits OutGuess embeds in, in its order, packed 64 a word (bit i of the cover in word i / 64,
// bit i % 64).
struct OutguessCover {
    std::vector<std::uint64_t> words;
    std::uint32_t bits = 0;
    bool bit(std::uint32_t i) const { return (words[i >> 6] >> (i & 63)) & 1; }
};

// Every quantized coefficient other than 0 and 1 (DC included, negative ones too), block by block
// in the order the entropy decoder meets them, each block in natural order: its least significant
// bit. OutGuess writes baseline JPEGs only; a progressive file is refused.
Result<OutguessCover> OutguessJpegCover(const JpegCoefficients& jpeg);

// The samples of a PNM as OutGuess reads them (rows top first, R G B or grey, one byte a sample):
// each sample's least significant bit.
OutguessCover OutguessSampleCover(std::span<const std::uint8_t> samples);

struct OutguessHeader {
    std::uint16_t seed = 0;
    std::uint16_t length = 0; // payload bytes
};

// What one password reads: nothing when the header does not fit the cover (a zero or too long
// length, or a walk that leaves the cover), else the header and the first `bytes` payload bytes
// (all of them when `bytes` is at least the length).
struct OutguessRead {
    OutguessHeader header;
    std::vector<std::uint8_t> payload;
};
std::optional<OutguessRead> OutguessReadAt(const OutguessCover& cover, std::string_view password,
                                           std::size_t bytes);

} // namespace vantrel::passwords
