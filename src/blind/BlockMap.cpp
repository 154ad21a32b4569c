// The window's map of local chi-square p values.
#include "blind/BlindAttacks.h"
#include "blind/ChiSquareSum.h"

#include <tbb/parallel_for.h>

#include <algorithm>

namespace vantrel {

int BlockSideFor(int width, int height, int blocksOnLongSide) {
    const int longSide = std::max(width, height);
    const int perBlock = (longSide + blocksOnLongSide - 1) / std::max(blocksOnLongSide, 1);
    return std::max(32, perBlock); // smaller blocks hold too few samples for a test
}

BlockMap ChiSquareBlockMap(const ImageSamples& samples, int blockSide) {
    BlockMap map;
    if (samples.planes.empty() || blockSide <= 0) {
        return map;
    }
    map.blockSide = blockSide;
    map.columns = (samples.width + blockSide - 1) / blockSide;
    map.rows = (samples.height + blockSide - 1) / blockSide;
    map.p.assign(static_cast<std::size_t>(map.columns) * map.rows, -1.0);
    tbb::parallel_for(0, map.rows, [&](int blockRow) {
        const int y0 = blockRow * blockSide;
        const int y1 = std::min(samples.height, y0 + blockSide);
        std::vector<double> chi2(static_cast<std::size_t>(map.columns), 0.0);
        std::vector<int> df(static_cast<std::size_t>(map.columns), 0);
        std::vector<Histogram> histograms(static_cast<std::size_t>(map.columns));
        for (const ChannelPlane& plane : samples.planes) {
            std::fill(histograms.begin(), histograms.end(), Histogram{});
            for (int y = y0; y < y1; ++y) {
                for (int x = 0; x < samples.width; ++x) {
                    ++histograms[static_cast<std::size_t>(x / blockSide)][plane.at(x, y)];
                }
            }
            for (int column = 0; column < map.columns; ++column) {
                // Pooled over channels: the chi-square sums and their degrees of freedom add.
                const ChiSquareSum sum =
                    ChiSquareSumOf(histograms[static_cast<std::size_t>(column)]);
                if (sum.degreesOfFreedom >= 1) {
                    chi2[static_cast<std::size_t>(column)] += sum.chi2;
                    df[static_cast<std::size_t>(column)] += sum.degreesOfFreedom;
                }
            }
        }
        for (int column = 0; column < map.columns; ++column) {
            const std::size_t i = static_cast<std::size_t>(column);
            if (df[i] >= 1) {
                map.p[static_cast<std::size_t>(blockRow) * map.columns + i] =
                    UpperGammaQ(df[i] / 2.0, chi2[i] / 2);
            }
        }
    });
    return map;
}

} // namespace vantrel
