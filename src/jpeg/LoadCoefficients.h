#pragma once
// The caller's way to a JPEG's coefficients: read in a decoder process, checked on arrival.
#include "image/ImageLoading.h"
#include "image/Result.h"
#include "jpeg/JpegCoefficients.h"

#include <string>

namespace vantrel {

// A file is taken for a JPEG by its signature alone (FF D8 FF, whatever its name says), read
// here without parsing anything: what decides whether its coefficients are worth asking for.
bool HasJpegSignature(const std::string& path);

Result<JpegCoefficients> LoadJpegCoefficients(const std::string& path,
                                              const DecodeLimits& limits = {});

} // namespace vantrel
