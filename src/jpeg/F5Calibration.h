#pragma once
// Fridrich, Goljan and Hogea's calibrated estimate of the share of nonzero AC coefficients F5
// changed (Information Hiding 2002, LNCS 2578): the file's low-mode histograms against those of
// the same picture decompressed, cropped by 4 x 4 and compressed again with the file's own table.
#include "jpeg/JpegCoefficients.h"

#include <array>
#include <cstdint>
#include <vector>

namespace vantrel {

// The calibrated histograms cover the five lowest AC modes (zigzag 1..5: (0,1), (1,0), (2,0),
// (1,1), (0,2) as (row frequency, column frequency)) for |coef| = 0..kCalibratedBins-1: beta needs
// three of them up to 2, the double-compression test the shapes further out.
inline constexpr std::array<int, 5> kCalibratedModes = {1, 8, 16, 9, 2}; // natural indices
inline constexpr int kCalibratedBins = 16;
// Where (0,1), (1,0), (1,1), the modes beta averages over, sit in kCalibratedModes.
inline constexpr std::array<int, 3> kF5ModeSlots = {0, 1, 3};

using ModeHistogram = std::array<double, kCalibratedBins>;

struct F5ModeEstimate {
    std::array<double, 3> file{};       // H(0), H(1), H(2): counts of |coef| = d at the mode
    std::array<double, 3> calibrated{}; // h(0), h(1), h(2), scaled to the file's block count
    double beta = 0;
};

struct F5ComponentEstimate {
    std::array<F5ModeEstimate, 3> modes{};
    double beta = 0; // mean over the modes
    std::uint64_t blocks = 0;
    std::uint64_t calibratedBlocks = 0; // 0 when the plane is too small to crop and re-block
    // Per kCalibratedModes entry: the file's counts of |coef| = d, and the calibrated ones scaled
    // to the file's block count.
    std::array<ModeHistogram, 5> fileHistograms{};
    std::array<ModeHistogram, 5> calibratedHistograms{};
    // Calibrated through an estimated first table (a file compressed twice): the low bins of h
    // may be empty (a first step twice the file's leaves only even |coef|), so each beta is the
    // least-squares fit of the shrinkage over every bin, not over the first three.
    bool twice = false;
};

struct F5Estimate {
    std::vector<F5ComponentEstimate> components;
    double beta = 0; // the luminance (first) component's
    bool valid = false;
};

// beta_kl from the six counts.
double F5Beta(const std::array<double, 3>& file, const std::array<double, 3>& calibrated);
// The least-squares beta of H(0) = h(0) + beta h(1), H(d) = (1 - beta) h(d) + beta h(d + 1) over
// |coef| = 0..kCalibratedBins-2: F5Beta's fit carried over every bin.
double F5BetaAllBins(const ModeHistogram& file, const ModeHistogram& calibrated);
// A mode's beta as `estimate` defines it (F5Beta, or F5BetaAllBins when `twice`).
double F5ModeBeta(const F5ComponentEstimate& estimate, std::size_t mode);

// The betas of `estimate`'s modes and their mean, from its histograms.
void F5BetasFromHistograms(F5ComponentEstimate& estimate);

// The five low modes (kCalibratedModes order) of every block of the calibration's crop,
// unquantized, block rows top first: what calibrating with another table needs. Empty when the
// plane is too small to crop.
std::vector<std::array<float, 5>> CalibratedModeValues(const JpegComponent& component,
                                                       const std::array<std::uint16_t, 64>& table);

// Every component on all cores.
F5Estimate F5CalibratedBeta(const JpegCoefficients& jpeg);

// The component's plane decompressed as the estimate does it (dequantized, orthonormal float
// IDCT, +128, rounded to nearest, clipped to 0..255), width x height, top row first.
std::vector<std::uint8_t> DecompressPlane(const JpegComponent& component,
                                          const std::array<std::uint16_t, 64>& table);

} // namespace vantrel
