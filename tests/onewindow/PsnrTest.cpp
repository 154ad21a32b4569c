#include "onewindow/Psnr.h"
#include "Grid.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace vantrel {
namespace {

using testing::Grid;

TEST(CalcPSNR, RedDifferenceOfOneEverywhere) {
    Grid original(4, 3);
    original.randomise(2);
    EXPECT_EQ(CalcPSNR(original.view(), original.view()), "R:100.00 G:100.00 B:100.00");
    Grid test(4, 3);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            const RgbColor c = original.at(x, y);
            test.set(x, y, MakeRgb(RedOf(c) ^ 1, GreenOf(c), BlueOf(c)));
        }
    }
    EXPECT_EQ(CalcPSNR(original.view(), test.view()), "R:48.13 G:100.00 B:100.00");
}

TEST(ChannelPsnr, KnownErrors) {
    struct Case {
        std::int64_t sum;
        std::int64_t pixels;
        const char* text;
    };
    const Case cases[] = {
        {2, 1, "45.12"},     // MSE 2
        {1, 2, "51.14"},     // MSE 0.5
        {6, 6, "48.13"},     // MSE 1
        {0, 6, "100.00"},    // no error
        {0, 0, "100.00"},    // an empty original picture has nothing to compare
        {65025, 1, "00.00"}, // MSE 255²
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatPsnrValue(ChannelPsnr(c.sum, c.pixels)), c.text) << c.sum;
    }
}

TEST(FormatPsnrValue, TwoDigitsBeforeAndAfterThePoint) {
    EXPECT_EQ(FormatPsnrValue(5.5), "05.50");
    EXPECT_EQ(FormatPsnrValue(100), "100.00");
    EXPECT_EQ(FormatPsnrValue(48.1308), "48.13");
    EXPECT_EQ(FormatPsnrValue(0.004), "00.00");
    // Only a test picture smaller than a bright original can push the noise past the peak.
    EXPECT_EQ(FormatPsnrValue(-0.034), "-00.03");
}

// The sums by reading one pixel at a time: -1 where the test picture has no pixel.
SquaredErrors ReferenceErrors(const Grid& a, const Grid& b) {
    SquaredErrors errors;
    errors.pixels = std::int64_t(a.width()) * a.height();
    for (int x = 0; x < a.width(); ++x) {
        for (int y = 0; y < a.height(); ++y) {
            const RgbColor p = a.at(x, y);
            const RgbColor q = b.at(x, y);
            errors.red += (RedOf(p) - RedOf(q)) * (RedOf(p) - RedOf(q));
            errors.green += (GreenOf(p) - GreenOf(q)) * (GreenOf(p) - GreenOf(q));
            errors.blue += (BlueOf(p) - BlueOf(q)) * (BlueOf(p) - BlueOf(q));
        }
    }
    return errors;
}

TEST(SumSquaredErrors, RunsOverTheOriginalsAreaWhateverTheTestsSize) {
    struct Sizes {
        int originalWidth, originalHeight, testWidth, testHeight, testBytes;
    };
    const Sizes sizes[] =
        {
            {3, 2, 3, 2, 4}, {6, 5, 4, 3, 4},         {6, 5, 9, 8, 4},
            {6, 5, 0, 0, 4}, {6, 5, 6, 2, 3},         {6, 5, 2, 7, 3},
            {1, 1, 1, 1, 4}, {20000, 2, 19000, 1, 4}, // rows wider than one 32-bit chunk
        };
    for (const Sizes& s : sizes) {
        Grid original(s.originalWidth, s.originalHeight);
        original.randomise(7);
        Grid test(s.testWidth, s.testHeight, s.testBytes);
        test.randomise(8);
        const SquaredErrors expected = ReferenceErrors(original, test);
        const SquaredErrors errors = SumSquaredErrors(original.view(), test.view());
        EXPECT_EQ(errors.pixels, expected.pixels);
        EXPECT_EQ(errors.red, expected.red) << s.originalWidth << "x" << s.originalHeight;
        EXPECT_EQ(errors.green, expected.green);
        EXPECT_EQ(errors.blue, expected.blue);
    }
}

TEST(SumSquaredErrors, MissingTestPixelsReadAsMinusOne) {
    Grid original(1, 1, 4, MakeRgb(10, 20, 30));
    const SquaredErrors errors = SumSquaredErrors(original.view(), Grid(0, 0).view());
    EXPECT_EQ(errors.red, 121); // 10 - (-1)
    EXPECT_EQ(errors.green, 400);
    EXPECT_EQ(errors.blue, 900);
    EXPECT_EQ(CalcPSNR(Grid(0, 0).view(), original.view()), "R:100.00 G:100.00 B:100.00");
}

} // namespace
} // namespace vantrel
