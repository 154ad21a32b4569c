#include "onewindow/LocalVariation.h"
#include "Grid.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using testing::Grid;

TEST(VariationGrey, KnownDeviations) {
    const struct {
        int d;
        int g;
    } table[] = {{0, 0},    {1, 135},  {2, 150},  {3, 159},   {5, 170},
                 {10, 185}, {20, 200}, {50, 220}, {100, 235}, {126, 240}};
    for (const auto& row : table) {
        EXPECT_EQ(VariationGrey(row.d), row.g) << row.d;
    }
}

TEST(VariationOfBlock, TheNineValueExample) {
    const BlockVariation block = VariationOfBlock({0, 0, 0, 0, 0, 0, 0, 0, 9});
    EXPECT_EQ(block.mean, 1);
    EXPECT_EQ(block.deviation, 2); // 16 / 9
    EXPECT_EQ(block.grey, 150);
    // The widest spread of channel values stays inside the table.
    EXPECT_EQ(VariationOfBlock({255, 255, 255, 255, 0, 0, 0, 0, 0}).deviation, 126);
    EXPECT_EQ(VariationOfBlock({255, 255, 255, 255, 255, 0, 0, 0, 0}).deviation, 126);
}

int ChannelOf(RgbColor c, VariationChannel channel) {
    switch (channel) {
    case VariationChannel::Red:
        return RedOf(c);
    case VariationChannel::Green:
        return GreenOf(c);
    case VariationChannel::Blue:
        break;
    }
    return BlueOf(c);
}

constexpr RgbColor kMarker = MakeRgb(1, 2, 3);

// The row kernel against the block rule pixel by pixel; the border keeps what was there.
TEST(DrawLocalVariation, MatchesTheBlockRuleInsideAndKeepsTheBorder) {
    for (const int bytes : {4, 3}) {
        Grid test(9, 7, bytes);
        test.randomise(21);
        // A smooth patch so that small deviations occur as well as large ones.
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 4; ++x) {
                test.set(x, y, MakeRgb(100 + x, 50 + y, 7));
            }
        }
        for (const VariationChannel channel :
             {VariationChannel::Red, VariationChannel::Green, VariationChannel::Blue}) {
            Grid view(9, 7, bytes, kMarker);
            DrawLocalVariation(test.view(), channel, view.mutableView());
            for (int y = 0; y < 7; ++y) {
                for (int x = 0; x < 9; ++x) {
                    if (x == 0 || y == 0 || x == 8 || y == 6) {
                        EXPECT_EQ(view.at(x, y), kMarker) << x << "," << y;
                        continue;
                    }
                    std::array<int, 9> values{};
                    for (int i = 0; i < 9; ++i) {
                        values[static_cast<std::size_t>(i)] =
                            ChannelOf(test.at(x - 1 + i % 3, y - 1 + i / 3), channel);
                    }
                    const int g = VariationOfBlock(values).grey;
                    ASSERT_EQ(view.at(x, y), MakeRgb(g, g, g)) << x << "," << y;
                }
            }
        }
    }
}

TEST(DrawLocalVariation, NarrowPicturesLeaveTheViewAsItWas) {
    const struct {
        int width;
        int height;
    } sizes[] = {{2, 5}, {5, 2}, {1, 1}, {0, 0}};
    for (const auto& size : sizes) {
        Grid test(size.width, size.height);
        test.randomise(4);
        Grid view(5, 5, 4, kMarker);
        DrawLocalVariation(test.view(), VariationChannel::Red, view.mutableView());
        for (int y = 0; y < 5; ++y) {
            for (int x = 0; x < 5; ++x) {
                EXPECT_EQ(view.at(x, y), kMarker);
            }
        }
    }
}

TEST(DrawLocalVariation, StopsAtTheViewsEdge) {
    Grid test(6, 6);
    test.randomise(9);
    Grid view(3, 3, 4, kMarker);
    DrawLocalVariation(test.view(), VariationChannel::Blue, view.mutableView());
    EXPECT_NE(view.at(1, 1), kMarker);
    EXPECT_NE(view.at(2, 2), kMarker);
    EXPECT_EQ(view.at(0, 2), kMarker);
}

} // namespace
} // namespace vantrel
