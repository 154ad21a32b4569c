#include "jpeg/LoadCoefficients.h"

#include "bytes/FormatSniff.h"
#include "image/DecodeProtocol.h"
#include "image/ImageLoading.h"
#include "jpeg/CoefficientsWire.h"

#include <filesystem>

namespace vantrel {

bool HasJpegSignature(const std::string& path) {
    return bytes::SniffFileFormat(path.c_str()) == bytes::FileFormat::Jpeg;
}

Result<JpegCoefficients> LoadJpegCoefficients(const std::string& path, const DecodeLimits& limits) {
    const Result<decoding::ReplyBytes> reply =
        AnalyseInDecoderInPlace(path, kJpegCoefficientsAnalysis, limits);
    if (!reply) {
        return Failure(reply.error());
    }
    Result<JpegCoefficients> jpeg = DecodeJpegCoefficients(reply->bytes());
    // The trailer must end where the file does; only its size is asked here, never its bytes.
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (jpeg && (error || jpeg->trailerOffset + jpeg->trailerLength != size)) {
        return Failure("the image decoder sent a trailer that does not end the file");
    }
    return jpeg;
}

} // namespace vantrel
