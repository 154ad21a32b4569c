#include "jpeg/LoadCoefficients.h"

#include "jpeg/CoefficientsWire.h"

namespace vantrel {

Result<JpegCoefficients> LoadJpegCoefficients(const std::string& path, const DecodeLimits& limits) {
    const Result<std::vector<std::uint8_t>> bytes =
        AnalyseInDecoder(path, kJpegCoefficientsAnalysis, limits);
    if (!bytes) {
        return Failure(bytes.error());
    }
    return DecodeJpegCoefficients(*bytes);
}

} // namespace vantrel
