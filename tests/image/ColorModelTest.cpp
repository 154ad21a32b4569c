#include "image/ColorModel.h"

#include <gtest/gtest.h>

#include <vector>

namespace vantrel {
namespace {

// A read outside a picture gives -1: signed division truncates toward zero.
TEST(ColorModel, ChannelsOfAColourAndOfMinusOne) {
    const RgbColor colour = MakeRgb(0x56, 0x35, 0x13);
    EXPECT_EQ(colour, 0x00133556);
    EXPECT_EQ(std::vector<int>({RedOf(colour), GreenOf(colour), BlueOf(colour), RedLsb(colour),
                                GreenLsb(colour), BlueLsb(colour)}),
              std::vector<int>({0x56, 0x35, 0x13, 0, 256, 65536}));
    EXPECT_EQ(std::vector<int>(
                  {RedOf(-1), GreenOf(-1), BlueOf(-1), RedLsb(-1), GreenLsb(-1), BlueLsb(-1)}),
              std::vector<int>({-1, 0, 0, 1, 256, 65536}));
}

TEST(ColorModel, DisplayPointCountsRowsFromTheOtherEdge) {
    EXPECT_EQ(DisplayPoint(2, 0, 4), (Point{2, 3}));
    EXPECT_EQ(DisplayPoint(2, 3, 4), (Point{2, 0}));
}

} // namespace
} // namespace vantrel
