#pragma once
// Whether a JPEG was compressed twice with different tables, which breaks calibration with the
// file's own table (a clean photo saved at 80 and again at 95 reads beta near 1.5). A first,
// coarser quantization leaves the file's low-mode histograms with periodic peaks and gaps; the
// calibrated histograms, taken on a grid the first quantization never saw, stay smooth. What F5
// does to a histogram is a shrinkage, H(d) = (1 - b) h(d) + b h(d + 1), so the test is the share of
// the file's histograms that no such shrinkage of the calibrated ones explains.
#include "jpeg/F5Calibration.h"
#include "jpeg/JpegQuality.h"

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

// Fridrich, Goljan and Hogea's calibration of a file compressed twice: the crop's low modes are
// quantized with a candidate first table and then with the file's own, and the candidate whose
// histograms the F5 shrinkage explains best is taken for the first. The candidates are the IJG
// qualities' luminance tables, what nearly every encoder writes.
struct PrimaryTable {
    int quality = 0; // of the table taken for the first compression; 0 when none was tried
    bool confident = false;
    // The least squared misfit of the shrinkage model over |coef| = 0..kCalibratedBins-2 at the
    // five modes, for the chosen table and for the file's own (a single compression).
    double misfit = 0;
    double singleMisfit = 0;
    double residual = 0; // DetectDoubleCompression's residual against the chosen calibration
};

// The chosen table must cut the single compression's misfit to this share at most, and leave
// the residual below kDoubleCompressionResidual: the file's peaks and gaps explained.
inline constexpr double kPrimaryMisfitShare = 0.25;
// Primary qualities tried; coarser first tables than this are rare, and their steps at the low
// modes leave few nonzero bins to fit.
inline constexpr int kLowestPrimaryQuality = 30;

// When the estimate is confident, `luminance`'s calibrated histograms and betas become those of
// the chosen first table.
PrimaryTable CalibrateWithPrimaryTable(const JpegComponent& component, const QuantTable& table,
                                       F5ComponentEstimate& luminance);

} // namespace vantrel
