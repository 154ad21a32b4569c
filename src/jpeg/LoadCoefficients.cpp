#include "jpeg/LoadCoefficients.h"

#include "jpeg/CoefficientsWire.h"

namespace vantrel {

Result<JpegCoefficients> LoadJpegCoefficients(const std::string& path, const DecodeLimits& limits) {
    return AnalyseInDecoder<JpegCoefficients>(path, kJpegCoefficientsAnalysis,
                                              DecodeJpegCoefficients, limits);
}

} // namespace vantrel
