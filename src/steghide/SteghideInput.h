#pragma once
// A steghide cover from a file: a JPEG's coefficients or a BMP's stored pixels, both read in the
// decoder process, told apart by the file's first bytes as steghide tells them (whatever the
// name says).
#include "image/Bitmap.h"
#include "image/Result.h"
#include "steghide/SteghideCover.h"

#include <string>

namespace vantrel {

// The pixel bytes of a decoded BMP as steghide reads them: palette indices of 1-, 4- and 8-bit
// files, B G R of 24-bit ones, rows bottom first. FreeImage keeps the file's row order and
// padding, so its bits are the file's.
Result<BmpPixelData> SteghideBmpPixels(const FIBITMAP* bitmap);

Result<SteghideCover> LoadSteghideCover(const std::string& path);

} // namespace vantrel
