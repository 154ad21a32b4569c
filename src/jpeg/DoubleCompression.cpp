#include "jpeg/DoubleCompression.h"

#include <tbb/parallel_for.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

namespace vantrel {

namespace {

// Below this many nonzero coefficients at a mode its histogram shape is noise.
constexpr double kMinimumCount = 200;

using Steps = std::array<int, 5>; // at kCalibratedModes

// |coef| = d counts of the crop's values quantized with `first`, dequantized and quantized with
// `second`, halves away from zero as libjpeg's quantizer rounds them.
ModeHistogram TwiceQuantized(const std::vector<std::array<float, 5>>& values, std::size_t mode,
                             int first, int second) {
    std::array<std::uint64_t, kCalibratedBins> counts{};
    const double firstStep = first;
    const double secondStep = second;
    for (const std::array<float, 5>& f : values) {
        const double once = std::floor(std::fabs(f[mode]) / firstStep + 0.5) * firstStep;
        const double d = std::floor(once / secondStep + 0.5);
        if (d < kCalibratedBins) {
            ++counts[static_cast<std::size_t>(d)];
        }
    }
    ModeHistogram histogram{};
    std::copy(counts.begin(), counts.end(), histogram.begin());
    return histogram;
}

// The squared misfit of H against the best F5 shrinkage of h, beta held to 0..1 (a negative
// shrinkage is no embedding, only a wrong h).
double ShrinkageMisfit(const ModeHistogram& H, const ModeHistogram& h) {
    const double beta = std::clamp(F5BetaAllBins(H, h), 0.0, 1.0);
    double misfit = 0;
    for (std::size_t d = 0; d + 1 < kCalibratedBins; ++d) {
        const double model = d == 0 ? h[0] + beta * h[1] : (1 - beta) * h[d] + beta * h[d + 1];
        misfit += (H[d] - model) * (H[d] - model);
    }
    return misfit;
}

} // namespace

PrimaryTable CalibrateWithPrimaryTable(const JpegComponent& component, const QuantTable& table,
                                       F5ComponentEstimate& luminance) {
    PrimaryTable result;
    const std::vector<std::array<float, 5>> values = CalibratedModeValues(component, table);
    if (values.empty() || luminance.calibratedBlocks != values.size()) {
        return result;
    }
    Steps own{};
    for (std::size_t m = 0; m < own.size(); ++m) {
        own[m] = std::max<int>(table[static_cast<std::size_t>(kCalibratedModes[m])], 1);
    }
    // Qualities by their steps at the five modes, the highest quality kept for each.
    std::map<Steps, int> candidates;
    std::array<std::set<int>, 5> steps;
    for (int quality = kLowestPrimaryQuality; quality <= 100; ++quality) {
        const QuantTable primary = ScaledTable(AnnexKLuminance(), quality);
        Steps key{};
        for (std::size_t m = 0; m < key.size(); ++m) {
            key[m] = primary[static_cast<std::size_t>(kCalibratedModes[m])];
            steps[m].insert(key[m]);
        }
        candidates[key] = quality;
    }
    for (std::size_t m = 0; m < own.size(); ++m) {
        steps[m].insert(own[m]);
    }
    // Each mode's histogram and misfit depend on its own first step alone.
    const double scale =
        static_cast<double>(luminance.blocks) / static_cast<double>(luminance.calibratedBlocks);
    std::array<std::map<int, ModeHistogram>, 5> histograms;
    std::array<std::map<int, double>, 5> misfits;
    tbb::parallel_for(std::size_t{0}, std::size_t{5}, [&](std::size_t m) {
        for (const int first : steps[m]) {
            ModeHistogram h = TwiceQuantized(values, m, first, own[m]);
            for (double& count : h) {
                count *= scale;
            }
            misfits[m][first] = ShrinkageMisfit(luminance.fileHistograms[m], h);
            histograms[m][first] = h;
        }
    });
    const auto misfitOf = [&](const Steps& key) {
        double sum = 0;
        for (std::size_t m = 0; m < key.size(); ++m) {
            sum += misfits[m].at(key[m]);
        }
        return sum;
    };
    result.singleMisfit = misfitOf(own);
    const Steps* best = nullptr;
    // A first table finer than the file's at every mode leaves the histograms much as one
    // compression would: on such a file the best fit is a chance one (clean files chose it and
    // read beta 0.27 and 0.48). The gaps the estimate reads come from a coarser first step.
    for (const auto& [key, quality] : candidates) {
        bool coarser = false;
        for (std::size_t m = 0; m < key.size(); ++m) {
            coarser = coarser || key[m] > own[m];
        }
        const double misfit = misfitOf(key);
        if (coarser && (best == nullptr || misfit < result.misfit)) {
            best = &key;
            result.misfit = misfit;
            result.quality = quality;
        }
    }
    if (best == nullptr) {
        return result;
    }
    F5ComponentEstimate twice = luminance;
    twice.twice = true;
    for (std::size_t m = 0; m < best->size(); ++m) {
        twice.calibratedHistograms[m] = histograms[m].at((*best)[m]);
    }
    const DoubleCompression check = DetectDoubleCompression(twice);
    result.residual = check.residual;
    result.confident = result.misfit <= kPrimaryMisfitShare * result.singleMisfit &&
                       check.modesJudged > 0 && !check.detected;
    if (result.confident) {
        F5BetasFromHistograms(twice);
        luminance = twice;
    }
    return result;
}

DoubleCompression DetectDoubleCompression(const F5ComponentEstimate& luminance) {
    DoubleCompression result;
    if (luminance.calibratedBlocks == 0) {
        return result;
    }
    double residual = 0;
    double mass = 0;
    constexpr int last = kCalibratedBins - 2; // d + 1 must be counted too
    for (std::size_t m = 0; m < kCalibratedModes.size(); ++m) {
        const ModeHistogram& H = luminance.fileHistograms[m];
        const ModeHistogram& h = luminance.calibratedHistograms[m];
        double modeMass = 0;
        double numerator = 0;
        double denominator = 0;
        for (int d = 1; d <= last; ++d) {
            const std::size_t i = static_cast<std::size_t>(d);
            const double slope = h[i + 1] - h[i];
            numerator += (H[i] - h[i]) * slope;
            denominator += slope * slope;
            modeMass += H[i];
        }
        if (modeMass < kMinimumCount) {
            continue;
        }
        const double shrinkage =
            denominator > 0 ? std::clamp(numerator / denominator, 0.0, 1.0) : 0;
        for (int d = 1; d <= last; ++d) {
            const std::size_t i = static_cast<std::size_t>(d);
            residual += std::abs(H[i] - (h[i] + shrinkage * (h[i + 1] - h[i])));
        }
        mass += modeMass;
        ++result.modesJudged;
    }
    if (mass > 0) {
        result.residual = residual / mass;
        result.detected = result.residual > kDoubleCompressionResidual;
    }
    return result;
}

} // namespace vantrel
