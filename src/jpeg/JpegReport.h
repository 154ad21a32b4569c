#pragma once
// The words of a JPEG analysis: the JSON object `vantrel-cli jpeg --json` prints and the JPEG
// window saves, and the readable report both show.
#include "jpeg/JpegVerdict.h"

#include <string>

namespace vantrel {

// The verdict's object: {"suspicious", "jsteg", "f5", "f5_unreliable", "text"}.
std::string JpegVerdictJson(const JpegVerdict& verdict);
// The largest JSteg fraction over both pairings and scopes, whether or not its shifted pairing
// fits as well.
double JstegFractionJudged(const JpegAnalysis& analysis);
// The F5 detector's object: {"beta_per_component", "beta", "double_compressed", "state",
// ["reason",] "flagged", "threshold"}.
std::string JpegF5Json(const JpegAnalysis& analysis, const JpegVerdict& verdict);
// The JSteg detector's summary: {"twos": {"luminance", "all"}, "magnitude": {...}, "fraction",
// "state", ["reason",] "flagged", "threshold"}, the fractions without their curves.
std::string JpegJstegFractionJson(const JpegAnalysis& analysis, const JpegVerdict& verdict);

std::string JpegReportJson(const std::string& path, const JpegCoefficients& jpeg,
                           const JpegAnalysis& analysis, const JpegVerdict& verdict);
// Size, quality and sampling, the JSteg fractions, F5's beta and the verdict, one figure a line.
std::string JpegReportText(const std::string& path, const JpegCoefficients& jpeg,
                           const JpegAnalysis& analysis, const JpegVerdict& verdict);
// "120 bytes after EOI at offset 9000, 2 comments" or "nothing after EOI, 0 comments".
std::string JpegTrailerText(const JpegCoefficients& jpeg);
// "Y 2x2 (table 0), Cb 1x1 (table 1), ..." for the components of the frame.
std::string JpegSamplingText(const JpegCoefficients& jpeg);

} // namespace vantrel
