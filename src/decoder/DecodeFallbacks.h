#pragma once
// Decoders for what this FreeImage build cannot read: BMPs with v4/v5 headers or RLE through Qt's
// image reader, and JPEG XR through libjxr. They live in the decoder process only, so the caller
// links neither library. Both return the standard 24/32-bit bitmap any other load gives.
#include "image/Bitmap.h"

#include <cstdint>
#include <string>

namespace vantrel {

// The FallbackDecoder the decoder process registers: picks a reader by the file's signature,
// then by the suggested FreeImage format.
BitmapHandle DecodeWithFallbacks(const std::string& path, int format, std::int64_t maxPixels,
                                 std::string* error);

BitmapHandle DecodeBmpWithQt(const std::string& path, std::int64_t maxPixels, std::string* error);
BitmapHandle DecodeJpegXr(const std::string& path, std::int64_t maxPixels, std::string* error);

} // namespace vantrel
