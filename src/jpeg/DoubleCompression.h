#pragma once
// Whether a JPEG was compressed twice with different tables, which breaks calibration (a clean
// photo saved at 80 and again at 95 reads beta near 1.5). A first, coarser quantization leaves
// the file's low-mode histograms with periodic peaks and gaps; the calibrated histograms, taken
// on a grid the first quantization never saw, stay smooth. What F5 does to a histogram is a
// shrinkage, H(d) = (1 - b) h(d) + b h(d + 1), so the test is the share of the file's histograms
// that no such shrinkage of the calibrated ones explains.
#include "jpeg/F5Calibration.h"

namespace vantrel {

struct DoubleCompression {
    // The L1 residual of the best shrinkage fit over |coef| = 1..kCalibratedBins-2, summed over the
    // low luminance modes with enough coefficients, over their summed counts.
    double residual = 0;
    int modesJudged = 0;
    bool detected = false;
};

inline constexpr double kDoubleCompressionResidual = 0.25;

DoubleCompression DetectDoubleCompression(const F5ComponentEstimate& luminance);

} // namespace vantrel
