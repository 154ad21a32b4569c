#include "jpeg/JstegChiSquare.h"

#include "jpeg/JpegScanOrder.h"

#include <boost/math/special_functions/gamma.hpp>
#include <tbb/parallel_invoke.h>

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

// counts[v + kValueOffset] of every AC value seen so far, zeros and unusable values included:
// the pairings read only their usable values from it, so one histogram serves both, and adding
// every value spares a branch per coefficient. Four interleaved copies break the chain of
// increments to the same count (runs of zeros) that one copy would make.
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
// pairs are (-2k, -2k-1).
double PValue(const ValueCounts& seen, JstegPairing pairing) {
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
    for (int even = firstEven; even <= seen.high; even += 2) {
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

// Usable AC coefficients of one block for both pairings; order within the block is irrelevant.
std::array<std::uint32_t, 2> UsableInBlock(const std::int16_t* block) {
    std::uint32_t twos = 0;
    std::uint32_t magnitude = 0;
    for (int k = 1; k < 64; ++k) {
        const int v = block[k];
        twos += static_cast<std::uint32_t>((v & ~1) != 0);
        magnitude += static_cast<std::uint32_t>(v >= 2 || v <= -2);
    }
    return {twos, magnitude};
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
            result.curve[next++] = PValue(counts, pairing);
        }
    }
};

void Finish(JstegChiSquare& result) {
    result.pWhole = result.curve.back();
    for (int i = kJstegCurvePoints; i >= 1; --i) {
        const double p = result.curve[static_cast<std::size_t>(i - 1)];
        if (!std::isnan(p) && p > 0.5) {
            result.fraction = i / static_cast<double>(kJstegCurvePoints);
            break;
        }
    }
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

// Counting needs no order: every stored block, straight through, one loop a block.
std::vector<UsableTotals> CountComponents(const JpegCoefficients& jpeg) {
    std::vector<UsableTotals> totals(jpeg.components.size());
    for (std::size_t c = 0; c < jpeg.components.size(); ++c) {
        const JpegComponent& component = jpeg.components[c];
        const std::size_t blocks =
            std::min(component.coefficients.size() / 64,
                     static_cast<std::size_t>(std::max(component.widthInBlocks, 0)) *
                         static_cast<std::size_t>(std::max(component.heightInBlocks, 0)));
        UsableTotals& total = totals[c];
        for (std::size_t b = 0; b < blocks; ++b) {
            const std::int16_t* block = component.coefficients.data() + b * 64;
            std::uint32_t twos = 0, magnitude = 0;
            int low = 0, high = 0;
            for (int k = 1; k < 64; ++k) {
                const int v = block[k];
                twos += static_cast<std::uint32_t>((v & ~1) != 0);
                magnitude += static_cast<std::uint32_t>(v >= 2 || v <= -2);
                low = std::min(low, v);
                high = std::max(high, v);
            }
            total.add({twos, magnitude, low, high});
        }
    }
    return totals;
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
                                        const UsableTotals& totals) {
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
        const auto usable = UsableInBlock(block);
        if (curves[0].seen + usable[0] < curves[0].nextEnd() &&
            curves[1].seen + usable[1] < curves[1].nextEnd()) {
            // No curve point inside this block: its values go in as a whole, in any order.
            for (int k = 1; k < 64; ++k) {
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
    return WalkScope(jpeg, scope, InScope(CountComponents(jpeg), scope));
}

std::array<std::array<JstegChiSquare, 2>, 2>
JstegChiSquareEverywhere(const JpegCoefficients& jpeg) {
    // One counting pass serves both scopes.
    const std::vector<UsableTotals> totals = CountComponents(jpeg);
    std::array<JstegChiSquare, 2> luminance, all;
    tbb::parallel_invoke(
        [&] {
            luminance =
                WalkScope(jpeg, JstegScope::Luminance, InScope(totals, JstegScope::Luminance));
        },
        [&] {
            all = WalkScope(jpeg, JstegScope::AllComponents,
                            InScope(totals, JstegScope::AllComponents));
        });
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

} // namespace vantrel
