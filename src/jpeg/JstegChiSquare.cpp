#include "jpeg/JstegChiSquare.h"

#include "jpeg/JpegScanOrder.h"

#include <boost/math/special_functions/gamma.hpp>

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

// counts[v + kValueOffset] of the usable values seen so far, and their range.
struct ValueCounts {
    std::vector<std::uint64_t> counts = std::vector<std::uint64_t>(65536);
    int low = std::numeric_limits<int>::max();
    int high = std::numeric_limits<int>::min();

    void add(int value) {
        ++counts[static_cast<std::size_t>(value + kValueOffset)];
        low = std::min(low, value);
        high = std::max(high, value);
    }
    std::uint64_t at(int value) const {
        return value < -kValueOffset || value >= kValueOffset
                   ? 0
                   : counts[static_cast<std::size_t>(value + kValueOffset)];
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
    if (seen.low > seen.high) {
        return std::numeric_limits<double>::quiet_NaN();
    }
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

} // namespace

JstegChiSquare JstegChiSquareAttack(const JpegCoefficients& jpeg, JstegPairing pairing,
                                    JstegScope scope) {
    JstegChiSquare result;
    ForEachUsable(jpeg, pairing, scope, [&](int) { ++result.usable; });
    std::array<std::uint64_t, kJstegCurvePoints> ends{};
    for (int i = 0; i < kJstegCurvePoints; ++i) {
        ends[static_cast<std::size_t>(i)] =
            result.usable * static_cast<std::uint64_t>(i + 1) / kJstegCurvePoints;
    }
    ValueCounts seen;
    std::size_t next = 0;
    std::uint64_t count = 0;
    const auto closePoints = [&] {
        while (next < ends.size() && ends[next] == count) {
            result.curve[next++] = PValue(seen, pairing);
        }
    };
    closePoints();
    ForEachUsable(jpeg, pairing, scope, [&](int value) {
        seen.add(value);
        ++count;
        closePoints();
    });
    result.pWhole = result.curve.back();
    for (int i = kJstegCurvePoints; i >= 1; --i) {
        const double p = result.curve[static_cast<std::size_t>(i - 1)];
        if (!std::isnan(p) && p > 0.5) {
            result.fraction = i / static_cast<double>(kJstegCurvePoints);
            break;
        }
    }
    return result;
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
