#pragma once
// What the bytes of a stream are: each candidate is followed as far as its check needs, and a
// finding says how strong the check behind it was. Extracted bytes are untrusted: every parser
// here is bounded by the limits (bytes followed, inflated output, iterations).
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace vantrel::extract {

enum class Tier : std::uint8_t { Raw, Weak, Found };
enum class Strength : std::uint8_t { Signature, Statistics, Structure, Checksum };

const char* TierText(Tier tier);

struct Finding {
    std::string layout;        // the layout text the bytes come from
    std::size_t walkIndex = 0; // the layout's place in the walk
    std::string kind;          // png, zip, gzip, zlib, jpeg, gif, pdf, elf, 7z, bzip2, bmp, riff,
                               // tiff, text, length-prefixed, magic, steggy, stegano, stepic
    Tier tier = Tier::Raw;
    Strength strength = Strength::Signature;
    std::uint64_t offset = 0; // extent in the layout's stream
    std::uint64_t length = 0;
    std::string what;
    std::vector<std::string> sameAs;
    std::vector<std::uint8_t> payload; // the carved bytes of a found finding
    bool ownStream = false; // a tool's framing, not a plain extent of the layout's stream
};

struct CheckLimits {
    std::uint64_t follow = 64ull << 20;   // bytes of a stream a check may read
    std::uint64_t inflated = 64ull << 20; // output an inflate may produce
    std::size_t walkLayouts = 1;          // how many layouts the walk tries (for significance)
    bool magic = true;                    // ask libmagic where nothing else matched
};

// The bytes of one stream, read further only when a check needs them, never past the cap.
class StreamBytes {
public:
    using Source = std::function<std::size_t(std::span<std::uint8_t>)>;
    StreamBytes(std::vector<std::uint8_t> prefix, Source more, std::uint64_t cap);
    explicit StreamBytes(std::span<const std::uint8_t> whole);

    // Reads on until `end` bytes are held, the stream ends or the cap is reached.
    bool has(std::uint64_t end);
    std::uint64_t held() const { return bytes_.size(); }
    const std::uint8_t* data() const { return bytes_.data(); }
    std::uint8_t at(std::uint64_t i) const { return bytes_[i]; }
    std::uint32_t be32(std::uint64_t i) const;
    std::uint16_t le16(std::uint64_t i) const;
    std::uint32_t le32(std::uint64_t i) const;
    std::uint64_t le64(std::uint64_t i) const;

private:
    std::vector<std::uint8_t> bytes_;
    Source more_;
    std::uint64_t cap_;
    bool ended_ = false;
};

// Every finding in the stream: formats at its start (and strong signatures anywhere in the
// first `prefix` bytes), prose, a length-prefixed block, then libmagic when nothing else matched.
std::vector<Finding> CheckStream(StreamBytes& stream, std::size_t prefix,
                                 const CheckLimits& limits);

// Bytes as a cipher or a compressor leaves them: many distinct values, mean near the middle,
// neighbours uncorrelated.
bool LooksRandom(std::span<const std::uint8_t> bytes);

// Prose rather than merely printable bytes: letters, spaces and word shapes of a language.
bool ReadsLikeProse(std::span<const std::uint8_t> text);

// A one-line description of a carved payload ("text", "PNG image", ...) for tool messages.
std::string DescribePayload(std::span<const std::uint8_t> payload, bool* recognised = nullptr);

} // namespace vantrel::extract
