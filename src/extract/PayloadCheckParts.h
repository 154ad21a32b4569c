#pragma once
// What the payload checks' files share: the makings of a finding, the table of signatures whose
// checks live in PayloadFormats.cpp, and the text checks of PayloadText.cpp.
#include "extract/PayloadChecks.h"

#include <string>

namespace vantrel::extract::detail {

inline Finding MakeFinding(const char* kind, Tier tier, Strength strength, std::uint64_t offset,
                           std::uint64_t length, std::string what) {
    Finding finding;
    finding.kind = kind;
    finding.tier = tier;
    finding.strength = strength;
    finding.offset = offset;
    finding.length = length;
    finding.what = std::move(what);
    return finding;
}

inline std::string Bytes(std::uint64_t count) {
    return std::to_string(count) + " bytes";
}

inline bool Printable(std::uint8_t byte) {
    return (byte >= 0x20 && byte < 0x7F) || byte == '\t' || byte == '\n' || byte == '\r';
}

struct Inflated {
    bool ended = false;
    std::uint64_t consumed = 0;
    std::uint64_t produced = 0;
    std::uint32_t crc = 0;
};

// Inflates from `start` until the stream ends, the data is wrong, input runs out or more than
// `outputCap` bytes are made. zlib checks a zlib stream's Adler-32 itself.
Inflated InflateFrom(StreamBytes& stream, std::uint64_t start, int windowBits,
                     std::uint64_t outputCap);

struct Signature {
    const char* bytes;
    std::size_t size;
    bool anywhere; // long enough to be searched for at every offset of the prefix
    bool (*check)(StreamBytes&, std::uint64_t, const CheckLimits&, Finding&);
};

// The formats told by their first bytes, each with the check that follows it.
std::span<const Signature> Signatures();
// A zlib stream has no signature to speak of: it is tried at a stream's start only.
bool CheckZlib(StreamBytes& s, std::uint64_t at, const CheckLimits& limits, Finding& out);

void CheckText(StreamBytes& s, std::size_t prefix, const CheckLimits& limits,
               std::vector<Finding>& findings);
void CheckLengthPrefixed(StreamBytes& s, const CheckLimits& limits, std::vector<Finding>& findings);
bool LooksLikeNoise(std::span<const std::uint8_t> bytes);
// libmagic's name for the bytes, or empty where it has none but "data".
std::string MagicName(std::span<const std::uint8_t> bytes);

} // namespace vantrel::extract::detail
