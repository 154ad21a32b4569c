#include "onewindow/LsbColumns.h"

#include "image/Parallel.h"
#include "onewindow/PixelWords.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace vantrel {
namespace {

using onewindow::kLsbBits;
using onewindow::Word;

// Rows are added up in one word per column, one byte a channel: the bytes never carry into each
// other as long as no more than 255 rows are added between two flushes.
constexpr int kRowsPerFlush = 255;

int Lane(Word lanes, int shift) {
    return static_cast<int>(lanes >> shift & 0xFF);
}

int RoundToInt(double value) {
    return static_cast<int>(std::lrint(value));
}

void DrawPoint(const MutablePixelView& plot, int x, int y, RgbColor colour) {
    if (x < 0 || y < 0 || x >= plot.width || y >= plot.height || plot.empty()) {
        return;
    }
    std::uint8_t* pixel = plot.row(y) + static_cast<std::ptrdiff_t>(x) * plot.bytesPerPixel;
    pixel[kRed] = static_cast<std::uint8_t>(RedOf(colour));
    pixel[kGreen] = static_cast<std::uint8_t>(GreenOf(colour));
    pixel[kBlue] = static_cast<std::uint8_t>(BlueOf(colour));
    if (plot.bytesPerPixel == 4) {
        pixel[kAlpha] = 0xFF;
    }
}

} // namespace

int LsbColumnCounts::setCount(int x) const {
    const auto column = static_cast<std::size_t>(x);
    return red[column] + green[column] + blue[column];
}

namespace {

// The counts of rows [firstRow, endRow); the changes are those from each row's predecessor, so
// a piece that starts below the first row looks at the row above it.
LsbColumnCounts CountRows(const PixelView& picture, bool countChanges, int firstRow, int endRow) {
    LsbColumnCounts counts;
    const auto width = static_cast<std::size_t>(picture.width);
    counts.height = picture.height;
    counts.red.assign(width, 0);
    counts.green.assign(width, 0);
    counts.blue.assign(width, 0);
    if (countChanges) {
        counts.changes.assign(width, 0);
    }
    std::vector<Word> setLanes(width, 0);
    std::vector<Word> changeLanes(countChanges ? width : 0, 0);
    std::vector<Word> previous(countChanges ? width : 0, 0);
    onewindow::WordRows rows(picture);
    if (countChanges) {
        // The first row has no row above it: it changes nothing.
        const Word* above = rows.row(std::max(firstRow - 1, 0));
        for (std::size_t x = 0; x < width; ++x) {
            previous[x] = above[x] & kLsbBits;
        }
    }
    int pending = 0;
    for (int y = firstRow; y < endRow; ++y) {
        const Word* row = rows.row(y);
        if (countChanges) {
            for (std::size_t x = 0; x < width; ++x) {
                const Word bits = row[x] & kLsbBits;
                setLanes[x] += bits;
                changeLanes[x] += bits ^ previous[x];
                previous[x] = bits;
            }
        } else {
            for (std::size_t x = 0; x < width; ++x) {
                setLanes[x] += row[x] & kLsbBits;
            }
        }
        if (++pending < kRowsPerFlush && y + 1 < endRow) {
            continue;
        }
        pending = 0;
        for (std::size_t x = 0; x < width; ++x) {
            counts.red[x] += Lane(setLanes[x], 16);
            counts.green[x] += Lane(setLanes[x], 8);
            counts.blue[x] += Lane(setLanes[x], 0);
            setLanes[x] = 0;
        }
        for (std::size_t x = 0; x < changeLanes.size(); ++x) {
            const Word lanes = changeLanes[x];
            counts.changes[x] += Lane(lanes, 16) + Lane(lanes, 8) + Lane(lanes, 0);
            changeLanes[x] = 0;
        }
    }
    return counts;
}

void AddColumns(std::vector<std::int32_t>& total, const std::vector<std::int32_t>& part) {
    for (std::size_t x = 0; x < total.size(); ++x) {
        total[x] += part[x];
    }
}

} // namespace

LsbColumnCounts CountLsbColumns(const PixelView& picture, WithChanges withChanges) {
    if (picture.empty()) {
        return {};
    }
    const bool countChanges = withChanges == WithChanges::Yes;
    // Pieces of one flush's worth of rows on every core; the column counts are whole numbers,
    // added in piece order.
    std::vector<LsbColumnCounts> pieces =
        MapRowPieces<LsbColumnCounts>(picture.height, kRowsPerFlush, [&](int firstRow, int endRow) {
            return CountRows(picture, countChanges, firstRow, endRow);
        });
    LsbColumnCounts counts = std::move(pieces.front());
    for (std::size_t piece = 1; piece < pieces.size(); ++piece) {
        AddColumns(counts.red, pieces[piece].red);
        AddColumns(counts.green, pieces[piece].green);
        AddColumns(counts.blue, pieces[piece].blue);
        AddColumns(counts.changes, pieces[piece].changes);
    }
    return counts;
}

int GreenPointY(int setCount, int height) {
    return RoundToInt(kPlotBottom - (setCount / (3.0 * height)) * 100);
}

std::optional<int> YellowPointY(int changes, int height) {
    if (height <= 1) {
        return std::nullopt;
    }
    return RoundToInt(kPlotBottom - (changes / (3.0 * height - 3)) * 100);
}

int RedPointY(double probability) {
    return RoundToInt(kPlotBottom - probability * 100);
}

std::vector<ColumnCurve> LsbCurves(const LsbColumnCounts& test) {
    std::vector<ColumnCurve> curves(static_cast<std::size_t>(test.width()));
    for (int x = 0; x < test.width(); ++x) {
        ColumnCurve& curve = curves[static_cast<std::size_t>(x)];
        curve.setCount = test.setCount(x);
        curve.changes = test.changes.empty() ? 0 : test.changes[static_cast<std::size_t>(x)];
        curve.greenY = GreenPointY(curve.setCount, test.height);
        curve.yellowY = YellowPointY(curve.changes, test.height);
    }
    return curves;
}

double ChiSquaredTableProbability(double x) {
    // Quantiles of the chi-squared distribution with two degrees of freedom at 0.15, 0.25, ...,
    // 0.95, to four decimals; below the 0.05 quantile the probability is 0.
    struct Bound {
        double atMost;
        double probability;
    };
    static constexpr Bound kBounds[] = {
        {0.325, 0.1},  {0.5754, 0.2}, {0.8616, 0.3}, {1.1957, 0.4}, {1.597, 0.5},
        {2.0996, 0.6}, {2.7726, 0.7}, {3.7942, 0.8}, {5.9915, 0.9},
    };
    if (x < 0.1026) {
        return 0.0;
    }
    for (const Bound& bound : kBounds) {
        if (x <= bound.atMost) {
            return bound.probability;
        }
    }
    return 1.0;
}

double ChiSquaredProbability(int n, std::span<const double> observed,
                             std::span<const double> expected) {
    const std::size_t categories =
        std::min({static_cast<std::size_t>(std::max(n, 0)), observed.size(), expected.size()});
    double x = 0;
    for (std::size_t i = 0; i < categories; ++i) {
        // An empty category would divide by zero: it counts as nearly empty instead.
        const double e = expected[i] == 0 ? 0.00001 : expected[i];
        x += (observed[i] - e) * (observed[i] - e) / e;
    }
    return ChiSquaredTableProbability(x);
}

ChiSquaredColumns ChiSquaredByColumn(const LsbColumnCounts& test, const LsbColumnCounts& original) {
    ChiSquaredColumns result;
    if (test.width() != original.width() || test.height != original.height || test.width() == 0) {
        return result;
    }
    result.probability.reserve(static_cast<std::size_t>(test.width()));
    double sum = 0;
    for (std::size_t x = 0; x < test.red.size(); ++x) {
        const double observed[] = {double(test.red[x]), double(test.green[x]),
                                   double(test.blue[x])};
        const double expected[] = {double(original.red[x]), double(original.green[x]),
                                   double(original.blue[x])};
        const double p = ChiSquaredProbability(3, observed, expected);
        result.probability.push_back(p);
        sum += p;
    }
    result.average = sum / test.width();
    return result;
}

std::string FormatChiSquaredAverage(double average) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f%%", average * 100);
    return text;
}

void PlotLsbCurves(const std::vector<ColumnCurve>& curves, const MutablePixelView& plot) {
    for (std::size_t x = 0; x < curves.size(); ++x) {
        const int column = static_cast<int>(x);
        DrawPoint(plot, column, curves[x].greenY, kGreenCurve);
        if (curves[x].yellowY) {
            DrawPoint(plot, column, *curves[x].yellowY, kYellowCurve);
        }
    }
}

void PlotChiSquared(const ChiSquaredColumns& chiSquared, const MutablePixelView& plot) {
    for (std::size_t x = 0; x < chiSquared.probability.size(); ++x) {
        DrawPoint(plot, static_cast<int>(x), RedPointY(chiSquared.probability[x]), kRedCurve);
    }
}

} // namespace vantrel
