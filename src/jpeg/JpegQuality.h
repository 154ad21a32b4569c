#pragma once
// The IJG quality setting a file's quantization tables come from, found by scaling the example
// tables of ITU-T T.81 Annex K the way libjpeg's jpeg_quality_scaling does.
#include "jpeg/JpegCoefficients.h"

#include <array>
#include <cstdint>

namespace vantrel {

using QuantTable = std::array<std::uint16_t, 64>; // natural order

// Annex K tables K.1 (luminance) and K.2 (chrominance), natural order.
const QuantTable& AnnexKLuminance();
const QuantTable& AnnexKChrominance();

// libjpeg's quality to percentage scale, quality clamped to 1..100.
int IjgQualityScaling(int quality);
// `base` scaled by `quality` and clamped to 1..255 (`baseline`, what cjpeg -baseline and most
// encoders write) or to 1..32767 (cjpeg's default, 16-bit tables below quality 25 or so).
QuantTable ScaledTable(const QuantTable& base, int quality, bool baseline = true);

struct JpegQuality {
    int quality = 0;              // 1..100; 0 when the file has no table to judge
    bool exact = false;           // every judged table equals the scaled Annex K one
    bool baseline = true;         // the clamp that gave the answer
    std::uint64_t difference = 0; // summed absolute difference at `quality` (0 when exact)
};

// Judges the luminance table (the first component's) and, when the file has a second component
// on another table, the chrominance one; an inexact answer is the quality of least difference.
JpegQuality EstimateQuality(const JpegCoefficients& jpeg);

} // namespace vantrel
