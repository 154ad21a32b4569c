#pragma once
// The blind analysis of one file, as the blind command and the Blind Analysis window run it: the
// JPEG attacks on a JPEG's coefficients, the pixel attacks on anything else.
#include "blind/BlindAttacks.h"
#include "image/Result.h"
#include "jpeg/JpegCoefficients.h"
#include "jpeg/JpegVerdict.h"

#include <string>

namespace vantrel {

// A JPEG stores DCT coefficients, not the pixels the LSB attacks model: it gets the coefficient
// attacks instead.
struct JpegBlindResult {
    JpegAnalysis analysis;
    JpegVerdict verdict;
};

// What the pixel attacks read on a JPEG.
inline constexpr const char* kNotApplicableToJpeg = "not applicable to JPEG data";

// The JPEG attacks on read coefficients, as a BlindResult with `jpeg` set.
Result<BlindResult> AnalyseJpegCoefficients(const Result<JpegCoefficients>& coefficients);

// A file with a JPEG signature (`HasJpegSignature`) gets the coefficient attacks; a JPEG whose
// coefficients cannot be read is a failure rather than a picture for the pixel attacks.
Result<BlindResult> AnalyseJpegFile(const std::string& path);

// The analysis of one file: the JPEG attacks for a JPEG, the pixel attacks otherwise.
Result<BlindResult> AnalyseFile(const std::string& path, const BlindOptions& options = {});

} // namespace vantrel
