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

// |coef| = d counts of the crop's magnitudes at one mode quantized with `first`, dequantized and
// quantized with `second`, halves away from zero as libjpeg's quantizer rounds them. The second
// rounding is of integers: k first steps land on floor((2 k first + second) / (2 second)), looked
// up for the k that land below kCalibratedBins.
ModeHistogram TwiceQuantized(const std::vector<float>& magnitudes, int first, int second) {
    std::vector<std::uint8_t> bins;
    for (long k = 0;; ++k) {
        const long d = (2 * k * first + second) / (2L * second);
        if (d >= kCalibratedBins) {
            break;
        }
        bins.push_back(static_cast<std::uint8_t>(d));
    }
    const float inverse = 1.0f / static_cast<float>(first);
    std::array<std::uint64_t, kCalibratedBins> counts{};
    for (const float magnitude : magnitudes) {
        // Magnitudes of DCTs of 8-bit pixels stay below 1,100: the index cannot overflow.
        const auto k = static_cast<std::size_t>(magnitude * inverse + 0.5f);
        if (k < bins.size()) {
            ++counts[bins[k]];
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
    std::array<std::vector<float>, 5> magnitudes;
    tbb::parallel_for(std::size_t{0}, std::size_t{5}, [&](std::size_t m) {
        magnitudes[m].reserve(values.size());
        for (const std::array<float, 5>& f : values) {
            magnitudes[m].push_back(std::fabs(f[m]));
        }
    });
    std::vector<std::pair<std::size_t, int>> runs; // (mode, first step)
    for (std::size_t m = 0; m < steps.size(); ++m) {
        for (const int first : steps[m]) {
            runs.emplace_back(m, first);
        }
    }
    std::vector<ModeHistogram> found(runs.size());
    tbb::parallel_for(std::size_t{0}, runs.size(), [&](std::size_t i) {
        const auto [m, first] = runs[i];
        found[i] = TwiceQuantized(magnitudes[m], first, own[m]);
        for (double& count : found[i]) {
            count *= scale;
        }
    });
    std::array<std::map<int, ModeHistogram>, 5> histograms;
    std::array<std::map<int, double>, 5> misfits;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const auto [m, first] = runs[i];
        misfits[m][first] = ShrinkageMisfit(luminance.fileHistograms[m], found[i]);
        histograms[m][first] = found[i];
    }
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
