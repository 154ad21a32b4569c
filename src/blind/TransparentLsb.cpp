#include "blind/TransparentLsb.h"

#include <tbb/blocked_range.h>
#include <tbb/parallel_reduce.h>

#include <algorithm>

namespace vantrel {
namespace {

TransparentLsbCounts operator+(TransparentLsbCounts a, const TransparentLsbCounts& b) {
    a.pairs += b.pairs;
    for (int c = 0; c < 3; ++c) {
        a.sameUpperBits[c] += b.sameUpperBits[c];
        a.lsbChanges[c] += b.lsbChanges[c];
    }
    return a;
}

TransparentLsbCounts CountRows(const PixelView& view, int y0, int y1) {
    TransparentLsbCounts counts;
    for (int y = y0; y < y1; ++y) {
        const std::uint8_t* pixel = view.row(y);
        for (int x = 1; x < view.width; ++x, pixel += 4) {
            const std::uint8_t* next = pixel + 4;
            if ((pixel[kAlpha] | next[kAlpha]) != 0) {
                continue;
            }
            ++counts.pairs;
            for (int c = 0; c < 3; ++c) {
                const int difference = pixel[c] ^ next[c];
                const bool same = (difference >> 1) == 0;
                counts.sameUpperBits[c] += same;
                counts.lsbChanges[c] += same & difference;
            }
        }
    }
    return counts;
}

} // namespace

TransparentLsbCounts CountTransparentLsbs(const PixelView& view) {
    if (view.empty() || view.bytesPerPixel != 4) {
        return {};
    }
    return tbb::parallel_reduce(
        tbb::blocked_range<int>(0, view.height, 64), TransparentLsbCounts{},
        [&](const tbb::blocked_range<int>& rows, TransparentLsbCounts counts) {
            return counts + CountRows(view, rows.begin(), rows.end());
        },
        [](const TransparentLsbCounts& a, const TransparentLsbCounts& b) { return a + b; });
}

TransparentLsbResult JudgeTransparentLsbs(const TransparentLsbCounts& counts) {
    TransparentLsbResult result;
    result.counts = counts;
    result.judgement.threshold = kTransparentLsbThreshold;
    if (counts.pairs < kMinTransparentPairs) {
        result.judgement.state =
            DetectorState::NotApplicable("fewer than 4096 neighbouring transparent pixels");
        return result;
    }
    result.changes = 1;
    for (int c = 0; c < 3; ++c) {
        const double same = static_cast<double>(counts.sameUpperBits[c]);
        if (same < kMinSameUpperBitsShare * static_cast<double>(counts.pairs)) {
            result.changes = 0;
            result.judgement.state = DetectorState::NotApplicable(
                "the colours under the transparent pixels vary: a picture, not one stored colour");
            return result;
        }
        result.changes = std::min(result.changes, static_cast<double>(counts.lsbChanges[c]) / same);
    }
    result.judgement.state = DetectorState::Ok();
    result.judgement.flagged = result.changes >= kTransparentLsbThreshold;
    return result;
}

} // namespace vantrel
