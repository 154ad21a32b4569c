// stegosuite's JPEG embedding read back: F5 over every coefficient, walked by the password's sum.
#include "passwords/F5stegoFormat.h"
#include "passwords/StegosuiteFormat.h"

#include <algorithm>
#include <mutex>
#include <numeric>
#include <unordered_map>

namespace vantrel::passwords {

struct StegosuiteJpegCover::Seeds {
    std::mutex mutex;
    // Per sum: the embedded bytes its walk reads, empty where its header does not fit.
    std::unordered_map<std::uint64_t, std::vector<std::uint8_t>> read;
};

namespace {

constexpr std::uint32_t kShortestEmbedding = 3 + 16 + 8; // length, salt, an empty zlib stream
constexpr std::uint32_t kMaxF5Length = 0x7fffff;

// The stream F5 draws from: a java.util.Random's nextInt() a byte, its lowest, signed.
class F5Stream {
public:
    explicit F5Stream(std::uint64_t seed) : random_(seed) {}
    std::int8_t Next() { return static_cast<std::int8_t>(random_.Next32() & 0xff); }
    std::uint8_t Byte() { return static_cast<std::uint8_t>(Next()); }
    // F5's draw below `bound`: four sign-extended bytes ORed together, then Java's remainder
    // made positive.
    std::uint32_t Below(std::uint32_t bound) {
        std::uint32_t value = static_cast<std::uint32_t>(std::int32_t{Next()});
        value |= static_cast<std::uint32_t>(std::int32_t{Next()}) << 8;
        value |= static_cast<std::uint32_t>(std::int32_t{Next()}) << 16;
        value |= static_cast<std::uint32_t>(std::int32_t{Next()}) << 24;
        const std::int64_t rest = std::int64_t{static_cast<std::int32_t>(value)} % bound;
        return static_cast<std::uint32_t>(rest < 0 ? rest + bound : rest);
    }

private:
    StegosuiteJavaRandom random_;
};

// The seed: the sum of the password's UTF-16 code units as Java sees the string (a byte that is
// not UTF-8 decodes as U+FFFD).
std::uint64_t SeedOf(std::string_view password) {
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < password.size();) {
        const auto lead = static_cast<std::uint8_t>(password[i]);
        const int extra = lead < 0x80    ? 0
                          : lead >= 0xF0 ? 3
                          : lead >= 0xE0 ? 2
                          : lead >= 0xC0 ? 1
                                         : -1;
        std::uint32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
        bool valid = extra >= 0 && i + static_cast<std::size_t>(extra) < password.size();
        for (int k = 1; valid && k <= extra; ++k) {
            const auto next = static_cast<std::uint8_t>(password[i + static_cast<std::size_t>(k)]);
            valid = (next & 0xC0) == 0x80;
            code = code << 6 | (next & 0x3F);
        }
        if (!valid) {
            sum += 0xFFFD;
            ++i;
            continue;
        }
        // Beyond the basic plane: a surrogate pair.
        sum += code < 0x10000 ? code : 0xD800 + ((code - 0x10000) >> 10) + 0xDC00 + (code & 0x3FF);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return sum;
}

// The bytes the walk of `seed` reads: nothing unless the F5 length fits and the embedded length
// repeats it.
std::vector<std::uint8_t> EmbeddedOf(const StegosuiteJpegCover& cover, std::uint64_t seed) {
    const std::size_t count = cover.coefficients.size();
    F5Stream stream(seed);
    // Every draw is made before the header is read: its masks come after them in the stream.
    std::vector<std::uint32_t> order(count);
    std::iota(order.begin(), order.end(), 0u);
    for (auto left = static_cast<std::uint32_t>(count); left > 0; --left) {
        std::swap(order[stream.Below(left)], order[left - 1]);
    }
    F5MatrixReader<F5Stream> reader(cover.coefficients, order, stream, false);
    std::uint32_t header = 0;
    for (int n = 0; n < 32; ++n) {
        const std::optional<unsigned> bit = reader.NextBit();
        if (!bit) {
            return {};
        }
        header |= std::uint32_t{*bit} << n;
    }
    // The masks are sign-extended bytes: a negative one flips the bits above its own too.
    for (int n = 0; n < 4; ++n) {
        header ^= static_cast<std::uint32_t>(std::int32_t{stream.Next()}) << (8 * n);
    }
    const std::int32_t k = (static_cast<std::int32_t>(header) >> 24) % 32;
    const std::uint32_t length = header & kMaxF5Length;
    // k 0 is F5's plain code, a bit a coefficient, which the (1, 1) matrix code reads alike; a
    // negative k writes no bits at all.
    if (k < 0 || length < kShortestEmbedding || length > cover.nonZero / 8) {
        return {};
    }
    reader.SetCode(std::max(k, 1));
    std::vector<std::uint8_t> embedded;
    reader.ReadTo(embedded, 3);
    if (embedded.size() < 3 || (std::uint32_t{embedded[0]} << 16 | std::uint32_t{embedded[1]} << 8 |
                                embedded[2]) != length) {
        return {};
    }
    reader.ReadTo(embedded, length);
    if (embedded.size() < length) {
        return {};
    }
    return embedded;
}

} // namespace

Result<StegosuiteJpegCover> StegosuiteJpegCoverOf(const JpegCoefficients& padded) {
    // Its decoder reads one scan as baseline: the components of a colour file interleaved MCU by
    // MCU, a grey one's blocks row by row.
    if (padded.progressive || (padded.components.size() != 1 && padded.components.size() != 3)) {
        return Failure("not the baseline grey or three-component JPEG stegosuite's F5 reads");
    }
    const auto ceilDiv = [](int a, int b) { return (a + b - 1) / b; };
    StegosuiteJpegCover cover;
    cover.seeds = std::make_shared<StegosuiteJpegCover::Seeds>();
    const auto append = [&cover](std::span<const std::int16_t> block) {
        cover.coefficients.push_back(0);
        for (std::size_t i = 1; i < 64; ++i) {
            cover.coefficients.push_back(block[i]);
            cover.nonZero += block[i] != 0;
        }
    };
    if (padded.components.size() == 1) {
        const JpegComponent& grey = padded.components.front();
        const int columns = ceilDiv(padded.width, 8);
        const int rows = ceilDiv(padded.height, 8);
        if (columns > grey.widthInBlocks || rows > grey.heightInBlocks) {
            return Failure("the blocks do not match the frame");
        }
        for (int row = 0; row < rows; ++row) {
            for (int column = 0; column < columns; ++column) {
                append(grey.block(row, column));
            }
        }
        return cover;
    }
    const int mcuColumns = ceilDiv(padded.width, 8 * padded.maxHSampling);
    const int mcuRows = ceilDiv(padded.height, 8 * padded.maxVSampling);
    for (const JpegComponent& component : padded.components) {
        if (mcuColumns * component.hSampling > component.widthInBlocks ||
            mcuRows * component.vSampling > component.heightInBlocks) {
            return Failure("the blocks do not fill the MCUs the frame needs");
        }
    }
    cover.coefficients.reserve(static_cast<std::size_t>(mcuColumns) *
                               static_cast<std::size_t>(mcuRows) * 64 * 6);
    for (int mcuRow = 0; mcuRow < mcuRows; ++mcuRow) {
        for (int mcuColumn = 0; mcuColumn < mcuColumns; ++mcuColumn) {
            for (const JpegComponent& component : padded.components) {
                for (int v = 0; v < component.vSampling; ++v) {
                    for (int h = 0; h < component.hSampling; ++h) {
                        append(component.block(mcuRow * component.vSampling + v,
                                               mcuColumn * component.hSampling + h));
                    }
                }
            }
        }
    }
    return cover;
}

std::optional<StegosuitePayload> StegosuiteRead(const StegosuiteJpegCover& cover,
                                                std::string_view password) {
    if (cover.coefficients.empty() || cover.coefficients.size() > INT32_MAX || !cover.seeds) {
        return std::nullopt;
    }
    const std::uint64_t seed = SeedOf(password);
    StegosuiteJpegCover::Seeds& seeds = *cover.seeds;
    std::vector<std::uint8_t> embedded;
    bool known = false;
    {
        const std::lock_guard lock(seeds.mutex);
        const auto found = seeds.read.find(seed);
        if (found != seeds.read.end()) {
            embedded = found->second;
            known = true;
        }
    }
    if (!known) {
        // Two threads on one new sum both walk it; the second's store changes nothing.
        embedded = EmbeddedOf(cover, seed);
        const std::lock_guard lock(seeds.mutex);
        seeds.read.emplace(seed, embedded);
    }
    if (embedded.empty()) {
        return std::nullopt;
    }
    return StegosuiteOpen(embedded, password);
}

} // namespace vantrel::passwords
