#include "image/ColorModel.h"

#include <gtest/gtest.h>

#include <vector>

namespace vantrel {
namespace {

// A read outside a picture gives -1: signed division truncates toward zero.
TEST(ColorModel, ChannelsOfAColourAndOfMinusOne) {
    const RgbColor colour = MakeRgb(0x56, 0x35, 0x13);
    EXPECT_EQ(colour, 0x00133556);
    EXPECT_EQ(std::vector<int>({RedOf(colour), GreenOf(colour), BlueOf(colour)}),
              std::vector<int>({0x56, 0x35, 0x13}));
    EXPECT_EQ(std::vector<int>({RedOf(-1), GreenOf(-1), BlueOf(-1)}), std::vector<int>({-1, 0, 0}));
}

} // namespace
} // namespace vantrel
