#include "multiwindow/BoxTaps.h"

namespace vantrel {

std::vector<BoxTaps> BoxReductionTaps(int outputSize, int inputSize) {
    if (outputSize <= 0 || outputSize >= inputSize) {
        return {};
    }
    // FreeImage's weights table for a reduction: the box (half-width 0.5 in output pixels)
    // widened by the scale, each tap weighing the scale, then normalised by the taps' total.
    const double scale = static_cast<double>(outputSize) / static_cast<double>(inputSize);
    const double halfWidth = 0.5 / scale;
    const double offset = 0.5 / scale;
    std::vector<BoxTaps> taps(static_cast<std::size_t>(outputSize));
    for (int u = 0; u < outputSize; ++u) {
        const double center = static_cast<double>(u) / scale + offset;
        const int left = std::max(0, static_cast<int>(center - halfWidth + 0.5));
        const int right = std::min(static_cast<int>(center + halfWidth + 0.5), inputSize);
        BoxTaps& tap = taps[static_cast<std::size_t>(u)];
        tap.first = right;
        tap.end = left;
        double total = 0;
        for (int i = left; i < right; ++i) {
            const bool inside = std::fabs(scale * (static_cast<double>(i) + 0.5 - center)) <= 0.5;
            const double weight = inside ? scale : 0.0;
            if (inside) {
                tap.first = std::min(tap.first, i);
                tap.end = i + 1;
            }
            total += weight;
        }
        if (tap.first >= tap.end) {
            tap = {left, left, 0.0};
            continue;
        }
        tap.weight = total > 0 && total != 1 ? scale / total : scale;
    }
    return taps;
}

int MostTaps(const std::vector<BoxTaps>& taps) {
    int most = 0;
    for (const BoxTaps& tap : taps) {
        most = std::max(most, tap.end - tap.first);
    }
    return most;
}

// One vectorised loop for a whole row of values, where rounding them one by one was most of a
// thumbnail's work.
VANTREL_WIDE_VECTORS int RoundEstimates(const double* weights, const int* sums, std::size_t count,
                                        double slack, std::uint8_t* out, std::uint8_t* undecided) {
    int undecidedCount = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double shifted = weights[i] * static_cast<double>(sums[i]) + 0.5;
        // Sums and weights are never negative, so truncation is the floor (std::floor would
        // keep the loop from vectorising), and the value at most 255.5 or so fits an int.
        const int truncated = static_cast<int>(shifted);
        const double fraction = shifted - static_cast<double>(truncated);
        out[i] = static_cast<std::uint8_t>(std::min(std::max(truncated, 0), 255));
        // Without a branch, so that the loop vectorises.
        undecided[i] = static_cast<std::uint8_t>((fraction <= slack) | (fraction >= 1.0 - slack));
        undecidedCount += undecided[i];
    }
    return undecidedCount;
}

} // namespace vantrel
