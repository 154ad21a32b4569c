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
    // A length prefix: the chance, over the whole walk, that the cover alone starts this low.
    double chance = 0;
};

// A length prefix is found only where the walk's chance of reading one as low is below this.
inline constexpr double kLengthChanceBound = 1e-3;
// ... or where its block's bits differ from the cover's by this many bits a bit (BlockSurprise),
// and by this many in all: a likelihood ratio no clean stream's own bits come near.
inline constexpr double kBlockSurpriseBound = 0.02;
inline constexpr double kBlockSurpriseBits = 64;

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

// A stream's bits a length prefix is weighed with: the stream as read so far (from its start, the
// block included), and a sample of its cover's bits from `firstBit` (a pixel boundary) for
// `bits`; `period` bits a pixel (1 to 32), `lowFirst` when a byte's first bit is its bit 0.
struct CoverSample {
    std::span<const std::uint8_t> stream;
    std::uint64_t firstBit = 0;
    std::uint64_t bits = 0;
    int period = 1;
    bool lowFirst = false;
};

// How often the cover's own bits would start a stream with a 32-bit big-endian length no larger
// than `length`. The bits of decoded JPEG pixels or of quantized coefficients are neither even nor
// independent, so the chance is the larger of a Markov chain over pixels (whose state is whether
// the pixel's bits are all zero) and the share of the sample's pixels where such a length starts.
double CoverLengthChance(const CoverSample& cover, std::uint32_t length);

// Bits per bit by which fair coins explain the stream's bits [from, from + count) better than the
// cover's own statistics (each bit given the same bit of the pixel before). Around zero or below
// where those bits are the cover's; high where a payload's random bits replaced structured ones.
double BlockSurprise(const CoverSample& cover, std::uint64_t from, std::uint64_t count);

// A found length prefix (the stream's first four bytes) stays found where bits like its block's
// and the cover's past it would rarely start as low over the walk's `layouts` (the block's own bits
// speak for the place it starts: a dark corner, an even stretch of coefficients), or, the cover
// alone starting that low often enough, where the block plainly is not the cover's bits.
// Otherwise it is kept as weak and its payload dropped. `stream` runs from the stream's start to
// kCoverSampleBits past the block, or to its end.
inline constexpr std::uint64_t kCoverSampleBits = 1 << 18;
void WeighAgainstCover(Finding& finding, std::span<const std::uint8_t> stream, int period,
                       bool lowFirst, std::size_t layouts);

// Prose rather than merely printable bytes: letters, spaces and word shapes of a language.
bool ReadsLikeProse(std::span<const std::uint8_t> text);

// A one-line description of a carved payload ("text", "PNG image", ...) for tool messages.
std::string DescribePayload(std::span<const std::uint8_t> payload, bool* recognised = nullptr);

} // namespace vantrel::extract
