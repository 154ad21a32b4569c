#include "image/ColorModel.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vantrel {
namespace {

struct ChannelCase {
    RgbColor colour;
    int red, green, blue, redLsb, greenLsb, blueLsb;
};

class ChannelHelpers : public ::testing::TestWithParam<ChannelCase> {};

TEST_P(ChannelHelpers, TakeTheColourApart) {
    const ChannelCase& c = GetParam();
    EXPECT_EQ(RedOf(c.colour), c.red);
    EXPECT_EQ(GreenOf(c.colour), c.green);
    EXPECT_EQ(BlueOf(c.colour), c.blue);
    EXPECT_EQ(RedLsb(c.colour), c.redLsb);
    EXPECT_EQ(GreenLsb(c.colour), c.greenLsb);
    EXPECT_EQ(BlueLsb(c.colour), c.blueLsb);
}

INSTANTIATE_TEST_SUITE_P(
    Colours, ChannelHelpers,
    ::testing::Values(ChannelCase{0x00123456, 0x56, 0x34, 0x12, 0, 0, 0},
                      // A read outside a picture: signed division truncates toward zero.
                      ChannelCase{-1, -1, 0, 0, 1, 256, 65536},
                      ChannelCase{0x000100, 0, 1, 0, 0, 256, 0},
                      ChannelCase{0x010000, 0, 0, 1, 0, 0, 65536},
                      ChannelCase{0xFFFFFF, 255, 255, 255, 1, 256, 65536}));

TEST(ColorModel, MakeRgbIsTheInverseOfTheHelpers) {
    for (RgbColor c : {0, 0x00123456, 0x00FFFFFF, 0x00010203}) {
        EXPECT_EQ(MakeRgb(RedOf(c), GreenOf(c), BlueOf(c)), c);
    }
}

TEST(ColorModel, Log10) {
    EXPECT_NEAR(Log10(10.0), 1.0, 1e-15);
    EXPECT_NEAR(Log10(100.0), 2.0, 1e-15);
    EXPECT_TRUE(std::isinf(Log10(0.0)) && Log10(0.0) < 0);
    EXPECT_TRUE(std::isnan(Log10(-1.0)));
}

TEST(ColorModel, DisplayPointCountsRowsFromTheOtherEdge) {
    EXPECT_EQ(DisplayPoint(2, 0, 4), (Point{2, 3}));
    EXPECT_EQ(DisplayPoint(2, 3, 4), (Point{2, 0}));
}

} // namespace
} // namespace vantrel
