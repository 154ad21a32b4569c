#pragma once
// The one place where the extraction front ends (window and command line) decode an image file.
#include "image/Bitmap.h"

#include <string>

namespace vantrel::extract {

// Decodes the file for extraction; null with a one-line `error` when it cannot be decoded.
// Palette files should arrive with their indices: switch this call to the palette-keeping
// decode when the decoder offers it.
BitmapHandle LoadImageForExtraction(const std::string& path, std::string* error);

} // namespace vantrel::extract
