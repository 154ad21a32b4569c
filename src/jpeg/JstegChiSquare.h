#pragma once
// Westfeld and Pfitzmann's chi-square attack on sequential LSB embedding in the quantized AC
// coefficients (JSteg and its variants), and the bit layout such a tool writes.
#include "jpeg/JpegCoefficients.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vantrel {

enum class JstegPairing {
    // Pairs (2k, 2k+1) of the two's-complement value, k != 0: 0 and 1 carry nothing and -1 pairs
    // with -2 (Upham's JSteg).
    Twos,
    // Pairs (2k, 2k+1) of |v| with the sign kept, |v| >= 2 (variants replacing the magnitude's
    // LSB).
    Magnitude,
};

enum class JstegScope { Luminance, AllComponents };

inline constexpr int kJstegCurvePoints = 100;

struct JstegChiSquare {
    // p after the first i/100 of the usable coefficients (i = 1..100); NaN where df < 1.
    std::array<double, kJstegCurvePoints> curve{};
    double pWhole = 0;        // p over all usable coefficients (= curve[99])
    double fraction = 0;      // the last point with p > 0.5 and df >= 1, over 100
    std::uint64_t usable = 0; // coefficients the pairing can carry a bit in
    // The same test on the pairing shifted by one value, which no embedding equalizes. Where it
    // fits as well the histogram is too smooth for pairs to tell anything (a false positive is
    // likely), as Provos's detector checks before it reports JSteg.
    std::array<double, kJstegCurvePoints> wrongCurve{};
    double wrongFraction = 0;
};

JstegChiSquare JstegChiSquareAttack(const JpegCoefficients& jpeg, JstegPairing pairing,
                                    JstegScope scope);

// Both pairings in one walk of the blocks: [Twos, Magnitude].
std::array<JstegChiSquare, 2> JstegChiSquareBothPairings(const JpegCoefficients& jpeg,
                                                         JstegScope scope);

// [pairing][scope] as a verdict wants them, the two scopes on two cores.
std::array<std::array<JstegChiSquare, 2>, 2> JstegChiSquareEverywhere(const JpegCoefficients& jpeg);

// The embedding LSB of each usable AC coefficient in scan order (zigzag order within a block),
// one bit a byte (0 or 1).
std::vector<std::uint8_t> JstegBits(const JpegCoefficients& jpeg, JstegPairing pairing,
                                    JstegScope scope);

// Eight bits a byte, the first bit in the high bit when `msbFirst`; a partial last byte is
// dropped.
std::vector<std::uint8_t> PackBits(const std::vector<std::uint8_t>& bits, bool msbFirst);

// PackBits(JstegBits(...), true) read on demand: a check that wants a header, then a length, then
// the bytes it names reads only those coefficients, not the whole image's.
class JstegByteReader {
public:
    JstegByteReader(const JpegCoefficients& jpeg, JstegPairing pairing, JstegScope scope);
    // Fills `out` with the next bytes; fewer at the end of the stream.
    std::size_t read(std::span<std::uint8_t> out);

private:
    std::vector<const std::int16_t*> blocks_; // in scan order
    JstegPairing pairing_;
    std::size_t block_ = 0;
    int zigzag_ = 1; // the next coefficient of blocks_[block_]
    unsigned pending_ = 0;
    int pendingBits_ = 0;
};

} // namespace vantrel
