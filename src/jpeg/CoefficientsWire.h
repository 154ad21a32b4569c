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
// The encoding appended to `out`, and its exact size, so that a larger message holding it is sized
// once: the arrays are a 24-megapixel file's largest part, and every regrowth or copy of them
// costs fresh pages.
void AppendJpegCoefficients(const JpegCoefficients& jpeg, std::vector<std::uint8_t>& out);
std::size_t EncodedJpegCoefficientsSize(const JpegCoefficients& jpeg);
Result<JpegCoefficients> DecodeJpegCoefficients(std::span<const std::uint8_t> bytes);

} // namespace vantrel
