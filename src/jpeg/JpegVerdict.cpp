#include "jpeg/JpegVerdict.h"

#include <algorithm>
#include <cstdio>

namespace vantrel {

JpegAnalysis AnalyzeJpeg(const JpegCoefficients& jpeg) {
    JpegAnalysis analysis;
    analysis.quality = EstimateQuality(jpeg);
    analysis.jsteg = JstegChiSquareEverywhere(jpeg);
    analysis.f5 = F5CalibratedBeta(jpeg);
    if (analysis.f5.valid) {
        analysis.doubleCompression = DetectDoubleCompression(analysis.f5.components[0]);
    }
    return analysis;
}

JpegVerdict JudgeJpeg(const JpegAnalysis& analysis) {
    JpegVerdict verdict;
    double jstegFraction = 0;
    for (const auto& pairing : analysis.jsteg) {
        for (const JstegChiSquare& attack : pairing) {
            jstegFraction = std::max(jstegFraction, attack.fraction);
        }
    }
    verdict.jstegSuspicious = jstegFraction > kJstegSuspiciousFraction;
    if (analysis.doubleCompression.detected) {
        verdict.f5Unreliable = true;
    } else {
        verdict.f5Suspicious = analysis.f5.valid && analysis.f5.beta > kF5SuspiciousBeta;
    }
    verdict.suspicious = verdict.jstegSuspicious || verdict.f5Suspicious;
    char line[256];
    std::snprintf(line, sizeof line, "%s: JSteg fraction %.2f%s, F5 beta %.3f%s",
                  verdict.suspicious ? "suspicious" : "clean", jstegFraction,
                  verdict.jstegSuspicious ? " (suspicious)" : "", analysis.f5.beta,
                  verdict.f5Unreliable   ? " (unreliable: compressed twice)"
                  : verdict.f5Suspicious ? " (suspicious)"
                  : !analysis.f5.valid   ? " (picture too small)"
                                         : "");
    verdict.text = line;
    return verdict;
}

} // namespace vantrel
