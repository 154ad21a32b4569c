// Whether bytes look like a cipher's output, and how likely a cover's own bits are to pass for
// a length prefix: the statistics a length-prefixed finding is weighed with.
#include "bytes/ByteOrder.h"
#include "extract/PayloadChecks.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>

namespace vantrel::extract {

bool LooksRandom(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 2) {
        return false;
    }
    std::array<int, 256> counts{};
    double sum = 0, sumSquares = 0, sumProducts = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        ++counts[bytes[i]];
        sum += bytes[i];
        sumSquares += double(bytes[i]) * bytes[i];
        if (i + 1 < bytes.size()) {
            sumProducts += double(bytes[i]) * bytes[i + 1];
        }
    }
    const double n = double(bytes.size()), mean = sum / n;
    const double variance = sumSquares / n - mean * mean;
    const double correlation =
        variance > 0 ? (sumProducts / (n - 1) - mean * mean) / variance : 1.0;
    const int distinct =
        static_cast<int>(std::count_if(counts.begin(), counts.end(), [](int c) { return c > 0; }));
    const double expectedDistinct = 256.0 * (1.0 - std::exp(-n / 256.0));
    // Neighbour correlation of noise has a standard error of 1/sqrt(n): short blocks get four
    // of them, so a genuine 32-byte block is not refused one time in six.
    return distinct >= 0.85 * expectedDistinct &&
           std::abs(correlation) <= std::max(0.25, 4.0 / std::sqrt(n)) &&
           std::abs(mean - 127.5) <= 40;
}

namespace {

std::uint64_t SampleBits(const CoverSample& cover) {
    const std::uint64_t held = cover.stream.size() * 8;
    return held > cover.firstBit ? std::min(cover.bits, held - cover.firstBit) : 0;
}

int BitAt(const CoverSample& cover, std::uint64_t k) {
    const int within = static_cast<int>(k % 8);
    return (cover.stream[k / 8] >> (cover.lowFirst ? within : 7 - within)) & 1;
}

} // namespace

double CoverLengthChance(const CoverSample& cover, std::uint32_t length) {
    const int period = std::clamp(cover.period, 1, 32);
    const bool lowFirst = cover.lowFirst;
    // The length's high bits must be zero; its low `free` bits may be anything up to `length`.
    const int free = std::bit_width(length);
    std::vector<std::uint32_t> masks((32 + period - 1) / period, 0);
    for (int i = free; i < 32; ++i) {
        const int within = i % 8, at = (3 - i / 8) * 8 + (lowFirst ? within : 7 - within);
        masks[at / period] |= 1u << (at % period);
    }
    while (!masks.empty() && masks.back() == 0) {
        masks.pop_back();
    }
    const double lowPart = (double(length) + 1) / std::ldexp(1.0, free);
    const std::uint64_t pixels = SampleBits(cover) / std::uint64_t(period);
    if (masks.empty()) {
        return lowPart;
    }
    if (pixels < masks.size() + 64) {
        return 1.0; // too few bits to judge the cover by
    }
    std::vector<std::uint32_t> values(pixels, 0);
    for (std::uint64_t p = 0, k = cover.firstBit; p < pixels; ++p) {
        for (int b = 0; b < period; ++b, ++k) {
            values[p] |= std::uint32_t(BitAt(cover, k)) << b;
        }
    }
    // Counts after a zero pixel [0] or another [1], and over all pixels [2]: pixels, zero pixels,
    // and those meeting each pixel's mask. A share never seen is not taken for impossible, and
    // a rare state's shares lean on the overall ones rather than on a guess.
    const std::size_t n = masks.size();
    std::array<double, 3> seen{}, zero{};
    std::vector<std::array<double, 3>> meets(n, {0.0, 0.0, 0.0});
    std::uint64_t hits = 0;
    for (std::uint64_t p = 0; p < pixels; ++p) {
        for (const int state : {p == 0 ? -1 : values[p - 1] == 0 ? 0 : 1, 2}) {
            if (state < 0) {
                continue;
            }
            seen[state] += 1;
            zero[state] += values[p] == 0;
            for (std::size_t j = 0; j < n; ++j) {
                meets[j][state] += (values[p] & masks[j]) == 0;
            }
        }
    }
    auto share = [&](double count, int state, double overall) {
        return (count + 2 * overall) / (seen[state] + 2);
    };
    // Shares too rare for the sample to show lean on the bits' own zero shares taken apart.
    std::vector<double> bitZero(std::size_t(period), 0.5);
    for (int b = 0; b < period; ++b) {
        const auto zeros = std::count_if(values.begin(), values.end(),
                                         [b](std::uint32_t v) { return ((v >> b) & 1) == 0; });
        bitZero[std::size_t(b)] = (double(zeros) + 0.5) / (double(pixels) + 1);
    }
    auto apart = [&](std::uint32_t mask) {
        double product = 1;
        for (int b = 0; b < period; ++b) {
            product *= (mask >> b) & 1 ? bitZero[std::size_t(b)] : 1.0;
        }
        return product;
    };
    const std::uint32_t all = period == 32 ? ~0u : (1u << period) - 1;
    const double zeroShare = (zero[2] + apart(all)) / (seen[2] + 1);
    std::array<double, 2> weight{};
    for (std::size_t j = 0; j < n; ++j) {
        const double meetShare = (meets[j][2] + apart(masks[j])) / (seen[2] + 1);
        std::array<double, 2> next{};
        if (j == 0) {
            next = {zeroShare, std::max(0.0, meetShare - zeroShare)};
        }
        for (int s = 0; s < 2 && j > 0; ++s) {
            const double meet = share(meets[j][s], s, meetShare);
            const double allZero = std::min(meet, share(zero[s], s, zeroShare));
            next[0] += weight[s] * allZero;
            next[1] += weight[s] * (meet - allZero);
        }
        weight = next;
    }
    for (std::uint64_t t = 0; t + n <= pixels; ++t) {
        std::size_t j = 0;
        while (j < n && (values[t + j] & masks[j]) == 0) {
            ++j;
        }
        hits += j == n;
    }
    const double runs = double(hits) / double(pixels - n + 1);
    return std::min(1.0, std::max(weight[0] + weight[1], runs) * lowPart);
}

double BlockSurprise(const CoverSample& cover, std::uint64_t from, std::uint64_t count) {
    const auto period = std::uint64_t(std::clamp(cover.period, 1, 32));
    const std::uint64_t sampleEnd = cover.firstBit + SampleBits(cover);
    count = std::min(count, cover.stream.size() * 8 > from ? cover.stream.size() * 8 - from : 0);
    if (count < 8 * period || sampleEnd < cover.firstBit + 8 * period) {
        return 0;
    }
    // Ones after a zero [0] or a one [1] in the same place of the pixel before, place by place.
    std::vector<std::array<std::array<double, 2>, 2>> counts(period, {{{1, 1}, {1, 1}}});
    for (std::uint64_t k = cover.firstBit + period; k < sampleEnd; ++k) {
        counts[(k - cover.firstBit) % period][BitAt(cover, k - period)][BitAt(cover, k)] += 1;
    }
    double surprise = 0;
    for (std::uint64_t k = from + period; k < from + count; ++k) {
        const auto& given =
            counts[(k + period - cover.firstBit % period) % period][BitAt(cover, k - period)];
        surprise += -1 - std::log2(given[BitAt(cover, k)] / (given[0] + given[1]));
    }
    return surprise / double(count - period);
}

void WeighAgainstCover(Finding& finding, std::span<const std::uint8_t> stream, int period,
                       bool lowFirst, std::size_t layouts) {
    constexpr double kFairTolerance = 8;
    if (finding.kind != "length-prefixed" || finding.offset != 0 || stream.size() < 4) {
        return;
    }
    const std::uint32_t length = bytes::Be32(stream.data());
    const auto step = std::uint64_t(std::clamp(period, 1, 32));
    const std::uint64_t held = stream.size() * 8, blockEnd = 8 * finding.length;
    // Whole pixels past the prefix, and past the block.
    const std::uint64_t pastPrefix = (32 + step - 1) / step * step;
    const std::uint64_t pastBlock = std::min(held, (blockEnd + step - 1) / step * step);
    const std::uint64_t end = std::min(held, pastBlock + kCoverSampleBits);
    // The block's own bits, where there are enough of them, and the cover's past it.
    const std::uint64_t blockBits = std::min(pastBlock, kCoverSampleBits * 8);
    const CoverSample block{stream, pastPrefix, blockBits - std::min(blockBits, pastPrefix), period,
                            lowFirst};
    const CoverSample beyond{stream, pastBlock, end - pastBlock, period, lowFirst};
    // A measured chance within a few times the fair coins' is estimation noise, not structure.
    const double fair = (double(length) + 1) / 4294967296.0;
    auto measured = [&](const CoverSample& sample) {
        const double chance = sample.bits >= 64 * step ? CoverLengthChance(sample, length) : 0;
        return chance > kFairTolerance * fair ? chance : std::min(chance, fair);
    };
    const double blockChance = measured(block), beyondChance = measured(beyond);
    const double walk = double(std::max<std::size_t>(layouts, 1));
    // Random bytes where the cover's bits are structured (high bits, a clipped channel) tell a
    // payload apart whatever its prefix: a clean stream's own bits score about zero or below.
    const double surprise = BlockSurprise(beyond, 32, blockEnd - 32);
    const bool unlikeCover = beyondChance * walk > kLengthChanceBound &&
                             surprise >= kBlockSurpriseBound &&
                             surprise * double(blockEnd - 32) >= kBlockSurpriseBits;
    const double coverChance = unlikeCover ? blockChance : std::max(blockChance, beyondChance);
    finding.chance = std::max(finding.chance, std::min(1.0, coverChance * walk));
    if (finding.tier != Tier::Found || coverChance * walk <= kLengthChanceBound) {
        return;
    }
    finding.tier = Tier::Weak;
    finding.what += ", but this layout's own bits start as low one time in " +
                    std::to_string(std::llrint(1.0 / std::max(coverChance, 1e-18)));
    finding.payload.clear();
}

} // namespace vantrel::extract
