#pragma once
// Test-side readers standing in for the decoder process: a JPEG's coefficients through the
// decoder's own reader, a BMP's pixel bytes through FreeImage.
#include "image/Result.h"
#include "steghide/SteghideCover.h"

#include <string>

namespace vantrel::test {

Result<JpegCoefficients> ReadJpegCoefficients(const std::string& path);
Result<BmpPixelData> ReadBmpPixels(const std::string& path);
// Either, by extension.
Result<SteghideCover> ReadSteghideCover(const std::string& path);

} // namespace vantrel::test
