#include "onewindow/LsbColumns.h"
#include "Grid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace vantrel {
namespace {

using testing::Grid;

// Green: 87.5, 62.5, nothing set (bottom), all set (top), 66.67; yellow: 62.5 among others.
TEST(PlotPoints, RoundHalvesToEven) {
    const struct {
        bool yellow;
        int count, height, y;
    } cases[] = {{false, 3, 8, 88}, {false, 9, 8, 62}, {false, 0, 5, 100},
                 {false, 15, 5, 0}, {false, 1, 1, 67}, {true, 0, 5, 100},
                 {true, 12, 5, 0},  {true, 9, 9, 62},  {true, 3, 3, 50}};
    for (const auto& c : cases) {
        EXPECT_EQ(c.yellow ? YellowPointY(c.count, c.height) : GreenPointY(c.count, c.height), c.y)
            << c.count << "/" << c.height;
    }
    // One row has no pairs of rows: the divisor would be zero.
    EXPECT_EQ(YellowPointY(0, 1), std::nullopt);

    EXPECT_EQ(RedPointY(1.0), 0);
    EXPECT_EQ(RedPointY(0.0), 100);
    EXPECT_EQ(RedPointY(0.3), 70);
    EXPECT_EQ(RedPointY(0.7), 30);
}

// A value equal to a bound takes that bound's probability; the first bound alone is strict.
TEST(ChiSquaredTableProbability, BoundsAndTheirSides) {
    EXPECT_EQ(ChiSquaredTableProbability(std::nextafter(0.1026, 0.0)), 0.0);
    EXPECT_EQ(ChiSquaredTableProbability(0.1026), 0.1);
    EXPECT_EQ(ChiSquaredTableProbability(0.325), 0.1);
    EXPECT_EQ(ChiSquaredTableProbability(std::nextafter(0.325, 1.0)), 0.2);
    EXPECT_EQ(ChiSquaredTableProbability(2.0996), 0.6);
    EXPECT_EQ(ChiSquaredTableProbability(std::nextafter(2.0996, 3.0)), 0.7);
    EXPECT_EQ(ChiSquaredTableProbability(5.9915), 0.9);
    EXPECT_EQ(ChiSquaredTableProbability(std::nextafter(5.9915, 6.0)), 1.0);
}

TEST(ChiSquaredProbability, SumsTheTermsOfEachCategory) {
    struct Case {
        const char* name;
        std::vector<double> observed;
        std::vector<double> expected;
        double p;
    };
    const Case cases[] = {
        {"equal counts", {4, 5, 6}, {4, 5, 6}, 0.0},
        // Empty in both: each term is 0.00001, far below the first bound.
        {"all empty", {0, 0, 0}, {0, 0, 0}, 0.0},
        // (1 - 0.00001)² / 0.00001 is huge.
        {"one where none was expected", {1, 0, 0}, {0, 0, 0}, 1.0},
        {"k where none was expected", {0, 7, 3}, {0, 7, 0}, 1.0},
        // (4 - 2)² / 2 = 2: between 1.597 and 2.0996.
        {"X = 2", {4, 3, 3}, {2, 3, 3}, 0.6},
        // 1/4 + 0 + 0 = 0.25: between 0.1026 and 0.325.
        {"X = 0.25", {5, 9, 1}, {4, 9, 1}, 0.1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ChiSquaredProbability(3, c.observed, c.expected), c.p) << c.name;
    }
    // Only the first n categories count.
    const std::vector<double> observed = {1, 100};
    const std::vector<double> expected = {1, 1};
    EXPECT_EQ(ChiSquaredProbability(1, observed, expected), 0.0);
}

// Counts by reading one pixel at a time, as the column pass is described.
LsbColumnCounts ReferenceCounts(const Grid& grid) {
    LsbColumnCounts counts;
    counts.height = grid.height();
    for (int x = 0; x < grid.width(); ++x) {
        int red = 0, green = 0, blue = 0, changes = 0;
        for (int y = 0; y < grid.height(); ++y) {
            const RgbColor c = grid.at(x, y);
            red += (RedOf(c) & 1) != 0;
            green += (GreenOf(c) & 1) != 0;
            blue += (BlueOf(c) & 1) != 0;
            if (y > 0) {
                const RgbColor above = grid.at(x, y - 1);
                changes += ((RedOf(c) & 1) != 0) != ((RedOf(above) & 1) != 0);
                changes += ((GreenOf(c) & 1) != 0) != ((GreenOf(above) & 1) != 0);
                changes += ((BlueOf(c) & 1) != 0) != ((BlueOf(above) & 1) != 0);
            }
        }
        counts.red.push_back(red);
        counts.green.push_back(green);
        counts.blue.push_back(blue);
        counts.changes.push_back(changes);
    }
    return counts;
}

// Heights around the 255 rows that the packed counters hold between flushes.
TEST(CountLsbColumns, MatchesPixelByPixelCounts) {
    const int heights[] = {1, 2, 254, 255, 256, 511, 600};
    for (const int bytes : {4, 3}) {
        for (const int height : heights) {
            Grid grid(5, height, bytes);
            grid.randomise(static_cast<unsigned>(height));
            const LsbColumnCounts expected = ReferenceCounts(grid);
            const LsbColumnCounts counts = CountLsbColumns(grid.view(), WithChanges::Yes);
            EXPECT_EQ(counts.height, height);
            EXPECT_EQ(counts.red, expected.red) << height;
            EXPECT_EQ(counts.green, expected.green) << height;
            EXPECT_EQ(counts.blue, expected.blue) << height;
            EXPECT_EQ(counts.changes, expected.changes) << height;
            const LsbColumnCounts withoutChanges = CountLsbColumns(grid.view(), WithChanges::No);
            EXPECT_EQ(withoutChanges.red, expected.red);
            EXPECT_TRUE(withoutChanges.changes.empty());
        }
    }
}

TEST(LsbCurves, UniformPictures) {
    struct Case {
        const char* name;
        int height;
        RgbColor colour;
        int setCount;
        int changes;
        int greenY;
        std::optional<int> yellowY;
    };
    const Case cases[] = {
        // The empty picture's grey: every LSB set, none changes.
        {"all set", 300, MakeRgb(31, 31, 31), 900, 0, 0, 100},
        {"none set", 4, MakeRgb(30, 30, 30), 0, 0, 100, 100},
        // One row: no pairs of rows, so no yellow point.
        {"one row", 1, MakeRgb(1, 0, 0), 1, 0, 67, std::nullopt},
    };
    for (const Case& c : cases) {
        const Grid grid(3, c.height, 4, c.colour);
        const std::vector<ColumnCurve> curves =
            LsbCurves(CountLsbColumns(grid.view(), WithChanges::Yes));
        ASSERT_EQ(curves.size(), 3u) << c.name;
        EXPECT_EQ(curves[2].setCount, c.setCount) << c.name;
        EXPECT_EQ(curves[2].changes, c.changes) << c.name;
        EXPECT_EQ(curves[2].greenY, c.greenY) << c.name;
        EXPECT_EQ(curves[2].yellowY, c.yellowY) << c.name;
    }
}

TEST(ChiSquaredByColumn, AveragesOverTheColumns) {
    // Column 0 agrees, column 1 has a red LSB where the original has none (p = 1), so the
    // average is 0.5; columns 2 and 3 agree.
    Grid test(4, 2);
    Grid original(4, 2);
    test.set(1, 0, MakeRgb(1, 0, 0));
    const ChiSquaredColumns result =
        ChiSquaredByColumn(CountLsbColumns(test.view(), WithChanges::Yes),
                           CountLsbColumns(original.view(), WithChanges::No));
    EXPECT_EQ(result.probability, (std::vector<double>{0.0, 1.0, 0.0, 0.0}));
    ASSERT_TRUE(result.average);
    EXPECT_EQ(FormatChiSquaredAverage(*result.average), "25.000%");

    // Different sizes are never compared.
    const ChiSquaredColumns mismatched =
        ChiSquaredByColumn(CountLsbColumns(test.view(), WithChanges::Yes),
                           CountLsbColumns(Grid(4, 3).view(), WithChanges::No));
    EXPECT_TRUE(mismatched.probability.empty());
    EXPECT_FALSE(mismatched.average);
}

TEST(FormatChiSquaredAverage, ThreeDecimalsAndAPercentSign) {
    EXPECT_EQ(FormatChiSquaredAverage(1.0), "100.000%");
    EXPECT_EQ(FormatChiSquaredAverage(0.0123456), "1.235%");
    // Ten tenths added up are not exactly 1, but show as 100 %.
    double sum = 0;
    for (int i = 0; i < 10; ++i) {
        sum += 0.1;
    }
    EXPECT_EQ(FormatChiSquaredAverage(sum), "100.000%");
}

TEST(Plot, DrawsOverWhatIsThereAndClips) {
    Grid plot(3, 101, 4, 0);
    std::vector<ColumnCurve> curves(4);
    curves[0].greenY = 10;
    curves[0].yellowY = 10; // yellow comes second and wins
    curves[1].greenY = 100;
    curves[1].yellowY = std::nullopt;
    curves[2].greenY = 101; // below the plot: clipped
    curves[2].yellowY = -1;
    curves[3].greenY = 5; // right of the plot: clipped
    PlotLsbCurves(curves, plot.mutableView());
    EXPECT_EQ(plot.at(0, 10), kYellowCurve);
    EXPECT_EQ(plot.at(1, 100), kGreenCurve);
    for (int y = 0; y < 101; ++y) {
        EXPECT_EQ(plot.at(2, y), 0) << y;
    }

    ChiSquaredColumns chi;
    chi.probability = {0.9, 0.0, 0.5, 1.0};
    PlotChiSquared(chi, plot.mutableView());
    EXPECT_EQ(plot.at(0, 10), kRedCurve);
    EXPECT_EQ(plot.at(1, 100), kRedCurve);
    EXPECT_EQ(plot.at(2, 50), kRedCurve);
}

} // namespace
} // namespace vantrel
