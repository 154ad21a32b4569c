#pragma once
// The chi-square sum over a histogram's LSB pairs and its p, shared by the whole-channel attack
// and the block map.
#include <array>
#include <cstdint>

namespace vantrel {

using Histogram = std::array<std::uint64_t, 256>;

// The upper regularised gamma Q(a, x), clamped to [0, 1]; 0 where it has no finite value.
double UpperGammaQ(double a, double x);

struct ChiSquareSum {
    double chi2 = 0;
    int degreesOfFreedom = 0;
};

// Over the pairs {2k, 2k + 1}, or with `shift` 1 the pairs {2k − 1, 2k} but those next to the
// saturated values the attacks set aside (1, 2 and 253, 254: half of each pair is never counted).
ChiSquareSum ChiSquareSumOf(const Histogram& histogram, int shift = 0);

} // namespace vantrel
