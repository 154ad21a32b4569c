#pragma once
// The JSteg layouts of a JPEG: the embedding LSBs of its usable coefficients in scan order, eight
// a byte with the first in the high bit, as JSteg writes its message. Pixel layouts cannot see
// them (a coefficient's LSB is spread over a whole block of pixels).
#include "extract/PayloadScan.h"
#include "jpeg/JpegCoefficients.h"
#include "jpeg/JstegChiSquare.h"

#include <optional>
#include <string>

namespace vantrel::extract {

struct JstegLayout {
    const char* name;
    JstegPairing pairing;
};
inline constexpr JstegLayout kJstegLayouts[] = {{"jsteg-twos", JstegPairing::Twos},
                                                {"jsteg-magnitude", JstegPairing::Magnitude}};

std::optional<JstegPairing> JstegLayoutNamed(const std::string& text);

std::vector<std::uint8_t> JstegStream(const JpegCoefficients& jpeg, JstegPairing pairing);

// Checks both JSteg layouts' streams and merges their findings into a pixel scan's, ranked with
// them; the verdict follows.
void AddJstegFindings(ScanResult& result, const JpegCoefficients& jpeg,
                      const ScanOptions& options = {});

// Every layout of the file's samples and, when the file is a JPEG, its JSteg layouts, ranked
// together. A JPEG whose coefficients cannot be read keeps its pixel findings; a cancelled scan
// stops before the coefficients.
ScanResult ScanImageFile(const std::string& path, const SampleImage& samples,
                         const ScanOptions& options = {});

} // namespace vantrel::extract
