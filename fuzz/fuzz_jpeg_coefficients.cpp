// The coefficient reader on arbitrary bytes, then every JPEG statistic on what it accepts: the
// reader runs in the decoder process on untrusted files, and the statistics trust its layout.
#include "jpeg/JpegVerdict.h"
#include "jpeg/ReadCoefficients.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vantrel::JpegReadLimits limits;
    // Small frames keep an iteration short; the caps themselves are what is under test.
    limits.maxPixels = std::uint64_t{1} << 22;
    limits.maxCoefficientBytes = std::uint64_t{1} << 24;
    limits.maxScans = 100;
    const vantrel::Result<vantrel::JpegCoefficients> jpeg =
        vantrel::ReadJpegCoefficients(std::span<const std::uint8_t>(data, size), limits);
    if (!jpeg) {
        if (jpeg.error().empty() || jpeg.error().find('\n') != std::string::npos) {
            std::abort();
        }
        return 0;
    }
    for (const vantrel::JpegComponent& c : jpeg->components) {
        if (c.coefficients.size() != static_cast<std::size_t>(c.widthInBlocks) *
                                         static_cast<std::size_t>(c.heightInBlocks) * 64) {
            std::abort();
        }
    }
    const vantrel::JpegVerdict verdict = vantrel::JudgeJpeg(vantrel::AnalyzeJpeg(*jpeg));
    return verdict.text.empty() ? 1 : 0;
}
