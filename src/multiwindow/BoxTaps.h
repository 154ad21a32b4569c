#pragma once
// The box filter's taps as FreeImage computes them for a reduction, and its rounding: which
// sums of those taps the integer sum decides, and which must be added tap by tap to round as
// FreeImage's do. Built with -ffp-contract=off, like every file of the thumbnail arithmetic: a
// multiply and an add must stay two roundings where the x86-64-v3 build could fuse them.
#include "image/WideVectors.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantrel {

// The source pixels [first, end) that one output pixel averages, each with the same weight.
struct BoxTaps {
    int first = 0;
    int end = 0;
    double weight = 0;
    friend bool operator==(const BoxTaps&, const BoxTaps&) = default;
};

// One entry per output pixel; empty unless 0 < outputSize < inputSize.
std::vector<BoxTaps> BoxReductionTaps(int outputSize, int inputSize);

// The longest box of `taps`.
int MostTaps(const std::vector<BoxTaps>& taps);

// FreeImage rounds a filtered value by truncating value + 0.5, clamped to a byte.
VANTREL_INLINE_LOOP int ToByte(double value) {
    return std::clamp(static_cast<int>(value + 0.5), 0, 255);
}

// FreeImage adds the weighted taps one at a time; that sum differs from weight times the
// (exact, integer) sum of the taps by far less than `slack`. Only when the product lies that
// close to a rounding boundary does the tap-by-tap sum have to be formed to know the byte.
class Rounding {
public:
    explicit Rounding(int taps) : slack_((taps + 4.0) * 512.0 * DBL_EPSILON) {}

    bool decides(double estimate) const {
        const double shifted = estimate + 0.5;
        const double fraction = shifted - std::floor(shifted);
        return fraction > slack_ && fraction < 1.0 - slack_;
    }

    double slack() const { return slack_; }

private:
    double slack_;
};

// Bytes of weights[i] x sums[i] as FreeImage rounds them, where Rounding decides them
// from the integer sum; undecided[i] is 1 where it does not, and their number is returned.
int RoundEstimates(const double* weights, const int* sums, std::size_t count, double slack,
                   std::uint8_t* out, std::uint8_t* undecided);

} // namespace vantrel
