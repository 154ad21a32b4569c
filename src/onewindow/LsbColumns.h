#pragma once
// The LSB statistics of a picture column by column, the curves that the plot shows of them, and
// the chi-squared test of the test picture's columns against the original picture's.
#include "image/ColorModel.h"
#include "image/PixelView.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vantrel {

// Per column x: how many rows have the red, green, blue LSB set, and how often an LSB changes
// from one row to the next (all three channels together).
struct LsbColumnCounts {
    int height = 0;
    std::vector<std::int32_t> red;
    std::vector<std::int32_t> green;
    std::vector<std::int32_t> blue;
    std::vector<std::int32_t> changes; // empty unless asked for

    int width() const { return static_cast<int>(red.size()); }
    int setCount(int x) const;
};

enum class WithChanges { No, Yes };
LsbColumnCounts CountLsbColumns(const PixelView& picture, WithChanges withChanges);

// Plot rows run from 0 (top, 100 %) to 100 (bottom, 0 %).
inline constexpr int kPlotBottom = 100;
inline constexpr RgbColor kGreenCurve = MakeRgb(0, 255, 0);
inline constexpr RgbColor kYellowCurve = MakeRgb(255, 255, 0);
inline constexpr RgbColor kRedCurve = MakeRgb(255, 0, 0);

// The row of the average-LSB point of a column with `setCount` LSBs set among 3·height.
int GreenPointY(int setCount, int height);
// The row of the LSB-change point; none for a picture one row high, which has no pairs of rows.
std::optional<int> YellowPointY(int changes, int height);
// The row of a chi-squared probability.
int RedPointY(double probability);

struct ColumnCurve {
    int setCount = 0; // S(x)
    int changes = 0;  // D(x)
    int greenY = 0;
    std::optional<int> yellowY;
};
// Needs counts gathered WithChanges::Yes.
std::vector<ColumnCurve> LsbCurves(const LsbColumnCounts& test);

// The cumulative probability, to the nearest tenth, of a chi-squared statistic X with two
// degrees of freedom, by the table of bounds.
double ChiSquaredTableProbability(double x);

// The chi-squared statistic of `observed` against `expected` (n categories each) mapped to the
// cumulative probability of the distribution with two degrees of freedom, to the nearest tenth.
double ChiSquaredProbability(int n, std::span<const double> observed,
                             std::span<const double> expected);

struct ChiSquaredColumns {
    std::vector<double> probability; // p(x)
    std::optional<double> average;   // none for a picture without columns
};
// Column by column of two pictures of the same size: the test picture's LSB counts against the
// original picture's.
ChiSquaredColumns ChiSquaredByColumn(const LsbColumnCounts& test, const LsbColumnCounts& original);

// "0.000%": the average times 100 with three decimals and a percent sign.
std::string FormatChiSquaredAverage(double average);

// Plot points, drawn over what the plot already shows and clipped to it: for each column its
// green then its yellow point; the red points of the chi-squared test.
void PlotLsbCurves(const std::vector<ColumnCurve>& curves, const MutablePixelView& plot);
void PlotChiSquared(const ChiSquaredColumns& chiSquared, const MutablePixelView& plot);

} // namespace vantrel
