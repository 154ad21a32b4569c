#pragma once
// The caller's way to a JPEG's coefficients: read in a decoder process, checked on arrival.
#include "image/ImageLoading.h"
#include "image/Result.h"
#include "jpeg/JpegCoefficients.h"

#include <string>

namespace vantrel {

Result<JpegCoefficients> LoadJpegCoefficients(const std::string& path,
                                              const DecodeLimits& limits = {});

} // namespace vantrel
