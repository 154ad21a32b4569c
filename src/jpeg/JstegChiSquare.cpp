#include "jpeg/JstegChiSquare.h"

#include "jpeg/JpegScanOrder.h"

#include <boost/math/special_functions/gamma.hpp>
#include <tbb/blocked_range.h>
#include <tbb/parallel_invoke.h>
#include <tbb/parallel_reduce.h>

#if defined(__SSE2__) && !defined(VANTREL_BASELINE_ONLY)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace vantrel {

namespace {

constexpr int kValueOffset = 32768;

bool Usable(int value, JstegPairing pairing) {
    return pairing == JstegPairing::Twos ? (value != 0 && value != 1) : std::abs(value) >= 2;
}

int EmbeddingBit(int value, JstegPairing pairing) {
    return pairing == JstegPairing::Twos ? (value & 1) : (std::abs(value) & 1);
}

// Calls visit(value) for each usable AC coefficient in scan order.
template <typename Visit>
void ForEachUsable(const JpegCoefficients& jpeg, JstegPairing pairing, JstegScope scope,
                   Visit&& visit) {
    ForEachBlockInScanOrder(jpeg, scope == JstegScope::Luminance, [&](const std::int16_t* block) {
        for (int z = 1; z < 64; ++z) {
            const int value = block[kZigzagToNatural[z]];
            if (Usable(value, pairing)) {
                visit(value);
            }
        }
    });
}

// counts[v + kValueOffset] of the AC values seen so far. One histogram serves both pairings, which
// read only their usable values from it; the counts of 0 and 1 are never read, so a walk may add
// them or not. Four interleaved copies break the chain of increments to one count that a single
// copy would make.
struct ValueCounts {
    std::vector<std::uint32_t> counts = std::vector<std::uint32_t>(4 * 65536);
    int low = 0; // the range of values in the scope, known from the counting pass
    int high = 0;

    void add(int value, int copy) {
        ++counts[static_cast<std::size_t>(copy) * 65536 +
                 static_cast<std::size_t>(value + kValueOffset)];
    }
    std::uint64_t at(int value) const {
        if (value < -kValueOffset || value >= kValueOffset) {
            return 0;
        }
        const std::size_t i = static_cast<std::size_t>(value + kValueOffset);
        return std::uint64_t{counts[i]} + counts[i + 65536] + counts[i + 2 * 65536] +
               counts[i + 3 * 65536];
    }
};

// Each pair is named by its even member: 2k for `Twos`; ±2k for `Magnitude`, whose negative
// pairs are (-2k, -2k-1). The `wrong` pairing is the one shifted by a value, (2k-1, 2k), which
// no embedding equalizes: (-1, 0) and (1, 2) are left out for `Twos`, as 0 and 1 carry nothing,
// and (|1|, |2|) for `Magnitude`.
double PValue(const ValueCounts& seen, JstegPairing pairing, bool wrong = false) {
    double chiSquare = 0;
    int pairs = 0;
    const auto addPair = [&](std::uint64_t even, std::uint64_t odd) {
        const double expected = (static_cast<double>(even) + static_cast<double>(odd)) / 2;
        if (expected >= 5) {
            const double deviation = static_cast<double>(even) - expected;
            chiSquare += deviation * deviation / expected;
            ++pairs;
        }
    };
    const int firstEven = seen.low - (((seen.low % 2) + 2) % 2);
    for (int even = firstEven; even <= seen.high + 1 && wrong; even += 2) {
        if (pairing == JstegPairing::Twos) {
            if (even != 0 && even != 2) {
                addPair(seen.at(even), seen.at(even - 1));
            }
        } else if (even >= 4) {
            addPair(seen.at(even), seen.at(even - 1));
        } else if (even <= -4) {
            addPair(seen.at(even), seen.at(even + 1));
        }
    }
    for (int even = firstEven; even <= seen.high && !wrong; even += 2) {
        if (pairing == JstegPairing::Twos) {
            if (even != 0) {
                addPair(seen.at(even), seen.at(even + 1));
            }
        } else if (even >= 2) {
            addPair(seen.at(even), seen.at(even + 1));
        } else if (even <= -2) {
            addPair(seen.at(even), seen.at(even - 1));
        }
    }
    const int df = pairs - 1;
    if (df < 1) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return boost::math::gamma_q(df / 2.0, chiSquare / 2);
}

// One pairing's running state: where its next curve points fall.
struct Curve {
    JstegPairing pairing;
    JstegChiSquare& result;
    std::array<std::uint64_t, kJstegCurvePoints> ends{};
    std::size_t next = 0;
    std::uint64_t seen = 0;

    Curve(JstegPairing p, JstegChiSquare& r) : pairing(p), result(r) {
        for (std::size_t i = 0; i < ends.size(); ++i) {
            ends[i] = result.usable * (i + 1) / kJstegCurvePoints;
        }
    }
    std::uint64_t nextEnd() const {
        return next < ends.size() ? ends[next] : std::numeric_limits<std::uint64_t>::max();
    }
    void close(const ValueCounts& counts) {
        while (next < ends.size() && ends[next] == seen) {
            result.wrongCurve[next] = PValue(counts, pairing, true);
            result.curve[next++] = PValue(counts, pairing);
        }
    }
};

// The last point with p > 0.5 and df >= 1, over 100.
double LastFit(const std::array<double, kJstegCurvePoints>& curve) {
    for (int i = kJstegCurvePoints; i >= 1; --i) {
        const double p = curve[static_cast<std::size_t>(i - 1)];
        if (!std::isnan(p) && p > 0.5) {
            return i / static_cast<double>(kJstegCurvePoints);
        }
    }
    return 0;
}

void Finish(JstegChiSquare& result) {
    result.pWhole = result.curve.back();
    result.fraction = LastFit(result.curve);
    result.wrongFraction = LastFit(result.wrongCurve);
}

} // namespace

namespace {

// What the counting pass learns of a component: usable coefficients per pairing and the range of
// AC values, which bounds the pairs each curve point sums over.
struct UsableTotals {
    std::uint64_t twos = 0;
    std::uint64_t magnitude = 0;
    int low = 0;
    int high = 0;

    void add(const UsableTotals& other) {
        twos += other.twos;
        magnitude += other.magnitude;
        low = std::min(low, other.low);
        high = std::max(high, other.high);
    }
};

// Each stored block's AC positions (natural order) holding a value other than 0 and 1, and its
// usable count for each pairing. Both pairings read no count but of such values, so the walks add
// only these: most coefficients are 0, and their increments were one long dependency chain.
struct BlockUsable {
    std::uint64_t mask = 0;
    std::array<std::uint8_t, 2> usable{}; // [twos, magnitude], at most 63 each
};

struct ComponentCounts {
    std::vector<UsableTotals> totals;
    std::vector<std::vector<BlockUsable>> perBlock;
};

std::size_t StoredBlocks(const JpegComponent& component) {
    return std::min(component.coefficients.size() / 64,
                    static_cast<std::size_t>(std::max(component.widthInBlocks, 0)) *
                        static_cast<std::size_t>(std::max(component.heightInBlocks, 0)));
}

struct BlockFacts {
    std::uint64_t mask; // AC positions holding neither 0 nor 1
    std::uint32_t twos;
    std::uint32_t magnitude;
    int low; // range of the AC values, 0 included
    int high;
};

#if defined(__SSE2__) && !defined(VANTREL_BASELINE_ONLY)
// Eight coefficients a step: the positions from two compares' packed sign bytes, the counts by
// popcount (the Magnitude pairing's usable values are the Twos' ones less the -1s).
BlockFacts ReadBlock(const std::int16_t* block) {
    const __m128i evenMask = _mm_set1_epi16(static_cast<std::int16_t>(~1));
    const __m128i minusOne = _mm_set1_epi16(-1);
    __m128i low = _mm_setzero_si128();
    __m128i high = _mm_setzero_si128();
    std::uint64_t zeroOrOne = 0;
    std::uint64_t minusOnes = 0;
    for (int k = 0; k < 64; k += 16) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + k));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + k + 8));
        if (k == 0) {
            a = _mm_insert_epi16(a, 0, 0); // the DC coefficient is no AC value
        }
        low = _mm_min_epi16(low, _mm_min_epi16(a, b));
        high = _mm_max_epi16(high, _mm_max_epi16(a, b));
        const __m128i zeroA = _mm_cmpeq_epi16(_mm_and_si128(a, evenMask), _mm_setzero_si128());
        const __m128i zeroB = _mm_cmpeq_epi16(_mm_and_si128(b, evenMask), _mm_setzero_si128());
        zeroOrOne |= std::uint64_t{static_cast<std::uint16_t>(
                         _mm_movemask_epi8(_mm_packs_epi16(zeroA, zeroB)))}
                     << k;
        const __m128i onesA = _mm_cmpeq_epi16(a, minusOne);
        const __m128i onesB = _mm_cmpeq_epi16(b, minusOne);
        minusOnes |= std::uint64_t{static_cast<std::uint16_t>(
                         _mm_movemask_epi8(_mm_packs_epi16(onesA, onesB)))}
                     << k;
    }
    alignas(16) std::int16_t lows[8], highs[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(lows), low);
    _mm_store_si128(reinterpret_cast<__m128i*>(highs), high);
    const std::uint64_t mask = ~zeroOrOne & ~std::uint64_t{1};
    const auto twos = static_cast<std::uint32_t>(std::popcount(mask));
    return {mask, twos, twos - static_cast<std::uint32_t>(std::popcount(minusOnes & mask)),
            *std::min_element(lows, lows + 8), *std::max_element(highs, highs + 8)};
}
#else
BlockFacts ReadBlock(const std::int16_t* block) {
    BlockFacts facts{0, 0, 0, 0, 0};
    for (int k = 1; k < 64; ++k) {
        const int v = block[k];
        facts.mask |= std::uint64_t{(v & ~1) != 0} << k;
        facts.magnitude += static_cast<std::uint32_t>(v >= 2 || v <= -2);
        facts.low = std::min(facts.low, v);
        facts.high = std::max(facts.high, v);
    }
    facts.twos = static_cast<std::uint32_t>(std::popcount(facts.mask));
    return facts;
}
#endif

// Counting needs no order: every stored block, straight through, split over the cores.
ComponentCounts CountComponents(const JpegCoefficients& jpeg) {
    ComponentCounts counts;
    counts.totals.resize(jpeg.components.size());
    counts.perBlock.resize(jpeg.components.size());
    for (std::size_t c = 0; c < jpeg.components.size(); ++c) {
        const JpegComponent& component = jpeg.components[c];
        std::vector<BlockUsable>& perBlock = counts.perBlock[c];
        perBlock.resize(StoredBlocks(component));
        counts.totals[c] = tbb::parallel_reduce(
            tbb::blocked_range<std::size_t>(0, perBlock.size(), 4096), UsableTotals{},
            [&](const tbb::blocked_range<std::size_t>& range, UsableTotals total) {
                for (std::size_t b = range.begin(); b < range.end(); ++b) {
                    const BlockFacts facts = ReadBlock(component.coefficients.data() + b * 64);
                    perBlock[b] = {facts.mask,
                                   {static_cast<std::uint8_t>(facts.twos),
                                    static_cast<std::uint8_t>(facts.magnitude)}};
                    total.add({facts.twos, facts.magnitude, facts.low, facts.high});
                }
                return total;
            },
            [](UsableTotals a, const UsableTotals& b) {
                a.add(b);
                return a;
            });
    }
    return counts;
}

UsableTotals InScope(const std::vector<UsableTotals>& components, JstegScope scope) {
    UsableTotals total;
    const std::size_t last = scope == JstegScope::Luminance
                                 ? std::min<std::size_t>(1, components.size())
                                 : components.size();
    for (std::size_t c = 0; c < last; ++c) {
        total.add(components[c]);
    }
    return total;
}

// The scan-order walk: the histogram at each curve point of both pairings.
std::array<JstegChiSquare, 2> WalkScope(const JpegCoefficients& jpeg, JstegScope scope,
                                        const ComponentCounts& counted) {
    const UsableTotals totals = InScope(counted.totals, scope);
    std::array<JstegChiSquare, 2> results{};
    const bool luminanceOnly = scope == JstegScope::Luminance;
    results[0].usable = totals.twos;
    results[1].usable = totals.magnitude;
    ValueCounts counts;
    counts.low = totals.low;
    counts.high = totals.high;
    Curve curves[2] = {{JstegPairing::Twos, results[0]}, {JstegPairing::Magnitude, results[1]}};
    for (Curve& curve : curves) {
        curve.close(counts);
    }
    ForEachBlockInScanOrder(jpeg, luminanceOnly, [&](const std::int16_t* block) {
        std::size_t c = 0;
        // The walk visits stored blocks only, so some component holds this one.
        while (c + 1 < jpeg.components.size() &&
               (block < jpeg.components[c].coefficients.data() ||
                block >= jpeg.components[c].coefficients.data() +
                             jpeg.components[c].coefficients.size())) {
            ++c;
        }
        const BlockUsable& stats = counted.perBlock[c][static_cast<std::size_t>(
            (block - jpeg.components[c].coefficients.data()) / 64)];
        const auto& usable = stats.usable;
        if (curves[0].seen + usable[0] < curves[0].nextEnd() &&
            curves[1].seen + usable[1] < curves[1].nextEnd()) {
            // No curve point inside this block: its values go in as a whole, in any order.
            for (std::uint64_t mask = stats.mask; mask != 0; mask &= mask - 1) {
                const int k = std::countr_zero(mask);
                counts.add(block[k], k & 3);
            }
            curves[0].seen += usable[0];
            curves[1].seen += usable[1];
            return;
        }
        for (int z = 1; z < 64; ++z) {
            const int v = block[kZigzagToNatural[z]];
            counts.add(v, 0);
            for (Curve& curve : curves) {
                if (Usable(v, curve.pairing)) {
                    ++curve.seen;
                    curve.close(counts);
                }
            }
        }
    });
    Finish(results[0]);
    Finish(results[1]);
    return results;
}

} // namespace

std::array<JstegChiSquare, 2> JstegChiSquareBothPairings(const JpegCoefficients& jpeg,
                                                         JstegScope scope) {
    return WalkScope(jpeg, scope, CountComponents(jpeg));
}

std::array<std::array<JstegChiSquare, 2>, 2>
JstegChiSquareEverywhere(const JpegCoefficients& jpeg) {
    // One counting pass serves both scopes.
    const ComponentCounts counted = CountComponents(jpeg);
    std::array<JstegChiSquare, 2> luminance, all;
    tbb::parallel_invoke([&] { luminance = WalkScope(jpeg, JstegScope::Luminance, counted); },
                         [&] { all = WalkScope(jpeg, JstegScope::AllComponents, counted); });
    return {{{luminance[0], all[0]}, {luminance[1], all[1]}}};
}

JstegChiSquare JstegChiSquareAttack(const JpegCoefficients& jpeg, JstegPairing pairing,
                                    JstegScope scope) {
    return JstegChiSquareBothPairings(jpeg, scope)[pairing == JstegPairing::Twos ? 0 : 1];
}

std::vector<std::uint8_t> JstegBits(const JpegCoefficients& jpeg, JstegPairing pairing,
                                    JstegScope scope) {
    std::vector<std::uint8_t> bits;
    ForEachUsable(jpeg, pairing, scope, [&](int value) {
        bits.push_back(static_cast<std::uint8_t>(EmbeddingBit(value, pairing)));
    });
    return bits;
}

std::vector<std::uint8_t> PackBits(const std::vector<std::uint8_t>& bits, bool msbFirst) {
    std::vector<std::uint8_t> bytes(bits.size() / 8);
    for (std::size_t i = 0; i < bytes.size() * 8; ++i) {
        const int shift = msbFirst ? 7 - static_cast<int>(i % 8) : static_cast<int>(i % 8);
        bytes[i / 8] = static_cast<std::uint8_t>(bytes[i / 8] | ((bits[i] & 1) << shift));
    }
    return bytes;
}

JstegByteReader::JstegByteReader(const JpegCoefficients& jpeg, JstegPairing pairing,
                                 JstegScope scope)
    : pairing_(pairing) {
    ForEachBlockInScanOrder(jpeg, scope == JstegScope::Luminance,
                            [&](const std::int16_t* block) { blocks_.push_back(block); });
}

std::size_t JstegByteReader::read(std::span<std::uint8_t> out) {
    std::size_t filled = 0;
    for (; block_ < blocks_.size() && filled < out.size(); ++block_, zigzag_ = 1) {
        const std::int16_t* block = blocks_[block_];
        for (; zigzag_ < 64 && filled < out.size(); ++zigzag_) {
            const int value = block[kZigzagToNatural[static_cast<std::size_t>(zigzag_)]];
            if (!Usable(value, pairing_)) {
                continue;
            }
            pending_ = (pending_ << 1) | static_cast<unsigned>(EmbeddingBit(value, pairing_));
            if (++pendingBits_ == 8) {
                out[filled++] = static_cast<std::uint8_t>(pending_);
                pending_ = 0;
                pendingBits_ = 0;
            }
        }
        if (zigzag_ < 64) {
            break; // `out` is full inside this block: the next read resumes here
        }
    }
    return filled;
}

} // namespace vantrel
