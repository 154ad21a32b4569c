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
    JstegByteReader reader(jpeg, pairing, JstegScope::AllComponents);
    std::vector<std::uint8_t> bytes;
    std::size_t held = 0;
    do {
        bytes.resize(std::max<std::size_t>(held + 4096, 2 * held));
        held += reader.read(std::span<std::uint8_t>(bytes).subspan(held));
    } while (held == bytes.size());
    bytes.resize(held);
    return bytes;
}

void AddJstegFindings(ScanResult& result, const JpegCoefficients& jpeg,
                      const ScanOptions& options) {
    CheckLimits limits = options.limits;
    // The two streams join the walk: significance is judged over every layout tried.
    limits.walkLayouts = result.walk.size() + std::size(kJstegLayouts);
    for (std::size_t k = 0; k < std::size(kJstegLayouts); ++k) {
        // Read as far as the checks follow it: a clean file's streams end at their prefix.
        JstegByteReader reader(jpeg, kJstegLayouts[k].pairing, JstegScope::AllComponents);
        std::vector<std::uint8_t> prefix(
            static_cast<std::size_t>(std::min<std::uint64_t>(options.prefixBytes, limits.follow)));
        prefix.resize(reader.read(prefix));
        StreamBytes stream(
            std::move(prefix), [&reader](std::span<std::uint8_t> out) { return reader.read(out); },
            limits.follow);
        for (Finding& finding : CheckStream(stream, options.prefixBytes, limits)) {
            // Quantized coefficients' LSBs lean to even magnitudes and run in blocks.
            const std::uint64_t weighed = finding.length + kCoverSampleBits / 8 + 4;
            stream.has(std::min(weighed, limits.follow));
            WeighAgainstCover(
                finding,
                std::span<const std::uint8_t>(
                    stream.data(), static_cast<std::size_t>(std::min(stream.held(), weighed))),
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
