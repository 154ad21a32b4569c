#pragma once
// The coefficients as the decoder process sends them back, and read back on the caller's side
// with every field checked: a reply is never trusted.
#include "image/Result.h"
#include "jpeg/JpegCoefficients.h"

#include <cstdint>
#include <span>
#include <vector>

namespace vantrel {

inline constexpr const char* kJpegCoefficientsAnalysis = "jpeg-coefficients";

std::vector<std::uint8_t> EncodeJpegCoefficients(const JpegCoefficients& jpeg);
Result<JpegCoefficients> DecodeJpegCoefficients(std::span<const std::uint8_t> bytes);

} // namespace vantrel
