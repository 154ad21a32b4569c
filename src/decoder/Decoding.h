#pragma once
// The decoder process's side of the open-image flow: decoding inside this process, under limits
// the caller passes. Only the decoder process (and tests and fuzzers of it) link this.
#include "image/ImageLoading.h"

#include <cstdint>
#include <string>

namespace vantrel {

// The one-line refusal of an image whose claimed size passes the pixel limit; "" when it fits.
std::string RefusalOfSize(std::int64_t width, std::int64_t height, const std::string& path,
                          std::int64_t maxPixels);

// A decoder that steps in where FreeImage fails (`format` is the FreeImage format the name or
// content suggests, -1 for none). It returns null when it cannot decode the file either; when
// it had a reader for the file, it then sets `error` to a one-line reason naming the file.
using FallbackDecoder = BitmapHandle (*)(const std::string& path, int format,
                                         std::int64_t maxPixels, std::string* error);

// LoadImageFile's decode, in this process, with the fallback (if any) after FreeImage.
BitmapHandle DecodeImageInProcess(const std::string& path, std::string* error,
                                  const DecodeOptions& options = {},
                                  FallbackDecoder fallback = nullptr);

// ReadImageSize's answer, in this process.
Size ReadImageSizeInProcess(const std::string& path, std::string* error,
                            const DecodeLimits& limits = {}, FallbackDecoder fallback = nullptr);

} // namespace vantrel
