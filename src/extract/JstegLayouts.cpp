#include "extract/JstegLayouts.h"

#include "jpeg/LoadCoefficients.h"

#include <algorithm>

namespace vantrel::extract {

std::optional<JstegPairing> JstegLayoutNamed(const std::string& text) {
    for (const JstegLayout& layout : kJstegLayouts) {
        if (text == layout.name) {
            return layout.pairing;
        }
    }
    return std::nullopt;
}

std::vector<std::uint8_t> JstegStream(const JpegCoefficients& jpeg, JstegPairing pairing) {
    // JSteg writes through every component's blocks in the order the entropy coder meets them.
    return PackBits(JstegBits(jpeg, pairing, JstegScope::AllComponents), true);
}

void AddJstegFindings(ScanResult& result, const JpegCoefficients& jpeg,
                      const ScanOptions& options) {
    CheckLimits limits = options.limits;
    // The two streams join the walk: significance is judged over every layout tried.
    limits.walkLayouts = result.walk.size() + std::size(kJstegLayouts);
    for (std::size_t k = 0; k < std::size(kJstegLayouts); ++k) {
        std::vector<std::uint8_t> bytes = JstegStream(jpeg, kJstegLayouts[k].pairing);
        if (bytes.size() > limits.follow) {
            bytes.resize(static_cast<std::size_t>(limits.follow));
        }
        StreamBytes stream(bytes);
        for (Finding& finding : CheckStream(stream, options.prefixBytes, limits)) {
            // Quantized coefficients' LSBs lean to even magnitudes and run in blocks.
            WeighAgainstCover(finding,
                              std::span<const std::uint8_t>(bytes).first(std::min<std::size_t>(
                                  bytes.size(), finding.length + kCoverSampleBits / 8 + 4)),
                              1, false, limits.walkLayouts);
            finding.layout = kJstegLayouts[k].name;
            finding.walkIndex = result.walk.size() + k;
            result.findings.push_back(std::move(finding));
        }
    }
    std::stable_sort(result.findings.begin(), result.findings.end(), RanksBefore);
    result.verdict = VerdictOf(result.findings);
}

ScanResult ScanImageFile(const std::string& path, const SampleImage& samples,
                         const ScanOptions& options) {
    ScanResult result = ScanImage(samples, options);
    if (!result.cancelled && HasJpegSignature(path)) {
        if (const Result<JpegCoefficients> jpeg = LoadJpegCoefficients(path)) {
            AddJstegFindings(result, *jpeg, options);
        }
    }
    return result;
}

} // namespace vantrel::extract
