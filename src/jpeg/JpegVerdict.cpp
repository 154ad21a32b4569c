#include "jpeg/JpegVerdict.h"

#include <algorithm>
#include <cstdio>

namespace vantrel {

namespace {

// Provos's self-check: an attack whose shifted pairing fits past the threshold, or at least as
// far along the coefficients as its own, says nothing about embedding, only that the histogram
// is smooth (texture at quality 99 and up reads 0.17 with the shifted pairing at 0.12).
void JudgeJsteg(const JpegAnalysis& analysis, JpegVerdict& verdict) {
    bool anyCounted = false;
    bool anyDismissed = false;
    for (const auto& pairing : analysis.jsteg) {
        for (const JstegChiSquare& attack : pairing) {
            if (attack.usable < kJstegMinimumUsable) {
                continue;
            }
            anyCounted = true;
            if (attack.wrongFraction > kJstegShiftedFit ||
                (attack.fraction > 0 && attack.wrongFraction >= attack.fraction)) {
                anyDismissed = anyDismissed || attack.fraction > kJstegSuspiciousFraction;
                continue;
            }
            verdict.jstegFraction = std::max(verdict.jstegFraction, attack.fraction);
        }
    }
    if (!anyCounted) {
        verdict.jstegState = DetectorState::NotApplicable("too few coefficients to pair");
    } else if (anyDismissed && verdict.jstegFraction <= kJstegSuspiciousFraction) {
        verdict.jstegState =
            DetectorState::NotApplicable("a shifted pairing fits too (false positive likely)");
    }
    verdict.jstegSuspicious =
        verdict.jstegState.ok() && verdict.jstegFraction > kJstegSuspiciousFraction;
}

void JudgeF5(const JpegAnalysis& analysis, JpegVerdict& verdict) {
    if (!analysis.f5.valid || analysis.f5.components[0].calibratedBlocks < kF5MinimumBlocks) {
        verdict.f5State = DetectorState::NotApplicable("too small to calibrate");
    } else if (analysis.quality.quality > kF5HighestQuality) {
        // Steps finer than the decompressed pixels' rounding: the crop no longer stands for the
        // cover.
        verdict.f5State = DetectorState::NotApplicable(
            "quality " + std::to_string(analysis.quality.quality) + " is too fine to calibrate");
    } else if (analysis.doubleCompression.detected && !analysis.primary.confident) {
        verdict.f5Unreliable = true;
        verdict.f5State = DetectorState::NotApplicable("compressed twice");
    } else if (F5Nonzero(analysis.f5) < kF5MinimumNonzero) {
        verdict.f5State = DetectorState::NotApplicable("too flat to calibrate");
    }
    const std::array<double, 5> betas = F5ModeBetas(analysis.f5);
    verdict.f5LeastModeBeta = *std::min_element(betas.begin(), betas.end());
    const double most = *std::max_element(betas.begin(), betas.end());
    verdict.f5Suspicious =
        verdict.f5State.ok() && verdict.f5LeastModeBeta > kF5SuspiciousBeta &&
        (!analysis.primary.confident || most <= kF5ModeSpread * verdict.f5LeastModeBeta);
}

} // namespace

double F5Nonzero(const F5Estimate& f5) {
    double nonzero = 0;
    if (!f5.components.empty()) {
        const F5ComponentEstimate& luminance = f5.components[0];
        for (const F5ModeEstimate& mode : luminance.modes) {
            nonzero += static_cast<double>(luminance.blocks) - mode.file[0];
        }
    }
    return nonzero;
}

std::array<double, 5> F5ModeBetas(const F5Estimate& f5) {
    std::array<double, 5> betas{};
    if (!f5.components.empty()) {
        for (std::size_t m = 0; m < betas.size(); ++m) {
            betas[m] = F5ModeBeta(f5.components[0], m);
        }
    }
    return betas;
}

JpegAnalysis AnalyseJpeg(const JpegCoefficients& jpeg) {
    JpegAnalysis analysis;
    analysis.quality = EstimateQuality(jpeg);
    analysis.jsteg = JstegChiSquareEverywhere(jpeg);
    analysis.f5 = F5CalibratedBeta(jpeg);
    if (analysis.f5.valid) {
        analysis.doubleCompression = DetectDoubleCompression(analysis.f5.components[0]);
    }
    if (analysis.doubleCompression.detected) {
        const JpegComponent& luminance = jpeg.components[0];
        analysis.primary = CalibrateWithPrimaryTable(
            luminance, jpeg.quantTables[static_cast<std::size_t>(luminance.quantTableIndex) & 3],
            analysis.f5.components[0]);
        analysis.f5.beta = analysis.f5.components[0].beta;
    }
    return analysis;
}

JpegVerdict JudgeJpeg(const JpegAnalysis& analysis) {
    JpegVerdict verdict;
    JudgeJsteg(analysis, verdict);
    JudgeF5(analysis, verdict);
    verdict.suspicious = verdict.jstegSuspicious || verdict.f5Suspicious;
    char first[48] = "";
    if (analysis.primary.confident) {
        std::snprintf(first, sizeof first, " (compressed twice, first at quality %d)",
                      analysis.primary.quality);
    }
    char line[320];
    std::snprintf(line, sizeof line, "%s: JSteg fraction %.2f%s, F5 beta %.3f%s%s",
                  verdict.suspicious ? "suspicious" : "clean", verdict.jstegFraction,
                  !verdict.jstegState.ok()  ? " (not applicable)"
                  : verdict.jstegSuspicious ? " (suspicious)"
                                            : "",
                  analysis.f5.beta,
                  verdict.f5Unreliable    ? " (unreliable: compressed twice)"
                  : !verdict.f5State.ok() ? " (not applicable)"
                  : verdict.f5Suspicious  ? " (suspicious)"
                                          : "",
                  first);
    verdict.text = line;
    return verdict;
}

} // namespace vantrel
