#include "jpeg/DoubleCompression.h"

#include <algorithm>
#include <cmath>

namespace vantrel {

namespace {

// Below this many nonzero coefficients at a mode its histogram shape is noise.
constexpr double kMinimumCount = 200;

} // namespace

DoubleCompression DetectDoubleCompression(const F5ComponentEstimate& luminance) {
    DoubleCompression result;
    if (luminance.calibratedBlocks == 0) {
        return result;
    }
    double residual = 0;
    double mass = 0;
    constexpr int last = kCalibratedBins - 2; // d + 1 must be counted too
    for (std::size_t m = 0; m < kCalibratedModes.size(); ++m) {
        const ModeHistogram& H = luminance.fileHistograms[m];
        const ModeHistogram& h = luminance.calibratedHistograms[m];
        double modeMass = 0;
        double numerator = 0;
        double denominator = 0;
        for (int d = 1; d <= last; ++d) {
            const std::size_t i = static_cast<std::size_t>(d);
            const double slope = h[i + 1] - h[i];
            numerator += (H[i] - h[i]) * slope;
            denominator += slope * slope;
            modeMass += H[i];
        }
        if (modeMass < kMinimumCount) {
            continue;
        }
        const double shrinkage =
            denominator > 0 ? std::clamp(numerator / denominator, 0.0, 1.0) : 0;
        for (int d = 1; d <= last; ++d) {
            const std::size_t i = static_cast<std::size_t>(d);
            residual += std::abs(H[i] - (h[i] + shrinkage * (h[i + 1] - h[i])));
        }
        mass += modeMass;
        ++result.modesJudged;
    }
    if (mass > 0) {
        result.residual = residual / mass;
        result.detected = result.residual > kDoubleCompressionResidual;
    }
    return result;
}

} // namespace vantrel
