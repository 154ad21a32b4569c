#pragma once
// The JPEG attacks put together into one verdict. The pixel LSB attacks say nothing about a JPEG
// and take no part.
#include "jpeg/DoubleCompression.h"
#include "jpeg/F5Calibration.h"
#include "jpeg/JpegQuality.h"
#include "jpeg/JstegChiSquare.h"

#include <array>
#include <string>

namespace vantrel {

inline constexpr double kJstegSuspiciousFraction = 0.03;
inline constexpr double kF5SuspiciousBeta = 0.11;

struct JpegAnalysis {
    JpegQuality quality;
    // [pairing][scope], pairing Twos/Magnitude, scope Luminance/AllComponents.
    std::array<std::array<JstegChiSquare, 2>, 2> jsteg{};
    F5Estimate f5;
    DoubleCompression doubleCompression;
};

struct JpegVerdict {
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
