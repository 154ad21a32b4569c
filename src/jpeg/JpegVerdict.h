#pragma once
// The JPEG attacks put together into one verdict. The pixel LSB attacks say nothing about a JPEG
// and take no part. Each attack first says whether it can judge the file at all.
#include "image/DetectorState.h"
#include "jpeg/DoubleCompression.h"
#include "jpeg/F5Calibration.h"
#include "jpeg/JpegQuality.h"
#include "jpeg/JstegChiSquare.h"

#include <array>
#include <cstdint>
#include <string>

namespace vantrel {

// The share of the usable coefficients over which the pairs stay equal (p > 0.5). On the clean
// calibration corpus's JPEGs the largest of the four attacks passes it on FIXME.
inline constexpr double kJstegSuspiciousFraction = 0.03;
// Provos's bound for the pairs test: 400 coefficients for each 7 % step of the curve. Below it a
// few hundred coefficients leave p above 0.5 by chance alone (thumbnails read up to 0.11).
inline constexpr std::uint64_t kJstegMinimumUsable = 5715;
// Calibrated beta of the luminance. On the clean corpus's JPEGs where calibration applies it
// passes FIXME.
inline constexpr double kF5SuspiciousBeta = 0.11;
// Calibrated luminance blocks. The three modes' counts of ones are a few hundred below this and
// beta's own noise reaches the threshold (150 x 91 previews read 0.135).
inline constexpr std::uint64_t kF5MinimumBlocks = 1024;
// From this IJG quality up the quantization is finer than the rounding of the decompressed
// pixels, so the re-compressed crop no longer stands for the cover: clean files read beta from
// 0.3 to 0.7.
inline constexpr int kF5HighestQuality = 97;

struct JpegAnalysis {
    JpegQuality quality;
    // [pairing][scope], pairing Twos/Magnitude, scope Luminance/AllComponents.
    std::array<std::array<JstegChiSquare, 2>, 2> jsteg{};
    F5Estimate f5;
    DoubleCompression doubleCompression;
};

struct JpegVerdict {
    DetectorState jstegState;
    DetectorState f5State;
    // The largest fraction of the pairings and scopes whose shifted pairing does not fit as well.
    double jstegFraction = 0;
    bool jstegSuspicious = false;
    bool f5Suspicious = false;
    // Set instead of an F5 flag: the file was compressed twice, so calibration cannot hold.
    bool f5Unreliable = false;
    bool suspicious = false;
    std::string text; // one line
};

// Every attack, on all cores where they run long.
JpegAnalysis AnalyzeJpeg(const JpegCoefficients& jpeg);
JpegVerdict JudgeJpeg(const JpegAnalysis& analysis);

} // namespace vantrel
