#include "onewindow/LsbView.h"
#include "Grid.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using testing::Grid;

struct ColourCase {
    const char* name;
    LsbViewMode mode;
    RgbColor test;
    RgbColor original;
    RgbColor expected;
};

constexpr RgbColor kGrey200 = MakeRgb(200, 200, 200);

const ColourCase kColourCases[] = {
    {"all mixes full channels", LsbViewMode::All, MakeRgb(3, 4, 5), 0, MakeRgb(255, 0, 255)},
    {"all set is white", LsbViewMode::All, MakeRgb(1, 1, 1), 0, MakeRgb(255, 255, 255)},
    {"none set is black", LsbViewMode::All, MakeRgb(254, 2, 0), 0, MakeRgb(0, 0, 0)},
    {"red set", LsbViewMode::Red, MakeRgb(7, 0, 0), 0, MakeRgb(200, 0, 0)},
    {"red clear", LsbViewMode::Red, MakeRgb(6, 1, 1), 0, kGrey200},
    {"green 4 is clear", LsbViewMode::Green, MakeRgb(1, 4, 1), 0, kGrey200},
    {"green 5 is set", LsbViewMode::Green, MakeRgb(0, 5, 0), 0, MakeRgb(0, 100, 0)},
    {"blue set", LsbViewMode::Blue, MakeRgb(0, 0, 201), 0, MakeRgb(0, 0, 200)},
    {"blue clear", LsbViewMode::Blue, MakeRgb(1, 1, 200), 0, kGrey200},
    {"diff of equal LSBs is black", LsbViewMode::Diff, MakeRgb(3, 4, 5), MakeRgb(1, 8, 7),
     MakeRgb(0, 0, 0)},
    {"diff per channel", LsbViewMode::Diff, MakeRgb(3, 4, 5), MakeRgb(2, 5, 5),
     MakeRgb(255, 255, 0)},
    // A place the original lacks reads -1: all three of its LSBs count as set.
    {"diff against no pixel, clear", LsbViewMode::Diff, MakeRgb(2, 4, 6), kNoColor,
     MakeRgb(255, 255, 255)},
    {"diff against no pixel, set", LsbViewMode::Diff, MakeRgb(3, 5, 7), kNoColor, MakeRgb(0, 0, 0)},
    {"diff against the empty picture's grey", LsbViewMode::Diff, MakeRgb(31, 30, 31),
     MakeRgb(31, 31, 31), MakeRgb(0, 255, 0)},
};

TEST(LsbViewColour, GivesEachModesColour) {
    for (const ColourCase& c : kColourCases) {
        EXPECT_EQ(LsbViewColour(c.mode, c.test, c.original), c.expected) << c.name;
    }
}

constexpr LsbViewMode kModes[] = {LsbViewMode::All, LsbViewMode::Red, LsbViewMode::Green,
                                  LsbViewMode::Blue, LsbViewMode::Diff};

struct Layout {
    int testBytes;
    int originalBytes;
    int viewBytes;
    int originalWidth;
    int originalHeight;
};

// The row kernel must give every pixel the colour the per-pixel rule gives it, for originals
// smaller, larger and of the same size, and for three- and four-byte rows.
TEST(DrawLsbView, MatchesThePerPixelRuleEverywhere) {
    const Layout layouts[] = {
        {4, 4, 4, 7, 5}, {4, 4, 4, 4, 3}, {4, 4, 4, 9, 2}, {4, 4, 4, 0, 0},
        {3, 3, 3, 5, 6}, {3, 4, 4, 7, 5}, {4, 3, 3, 7, 5},
    };
    for (const Layout& layout : layouts) {
        Grid test(7, 5, layout.testBytes);
        test.randomise(11);
        Grid original(layout.originalWidth, layout.originalHeight, layout.originalBytes);
        original.randomise(12);
        for (const LsbViewMode mode : kModes) {
            Grid view(7, 5, layout.viewBytes, MakeRgb(64, 64, 64));
            DrawLsbView(mode, test.view(), original.view(), view.mutableView());
            for (int y = 0; y < 5; ++y) {
                for (int x = 0; x < 7; ++x) {
                    ASSERT_EQ(view.at(x, y), LsbViewColour(mode, test.at(x, y), original.at(x, y)))
                        << "mode " << int(mode) << " at " << x << "," << y << " original "
                        << layout.originalWidth << "x" << layout.originalHeight;
                }
            }
        }
    }
}

TEST(DrawLsbView, WritesOnlyWhereBothTestAndViewHavePixels) {
    Grid test(3, 2, 4, MakeRgb(1, 1, 1));
    Grid view(4, 3, 4, MakeRgb(64, 64, 64));
    DrawLsbView(LsbViewMode::All, test.view(), Grid(0, 0).view(), view.mutableView());
    EXPECT_EQ(view.at(2, 1), MakeRgb(255, 255, 255));
    EXPECT_EQ(view.at(3, 0), MakeRgb(64, 64, 64));
    EXPECT_EQ(view.at(0, 2), MakeRgb(64, 64, 64));

    Grid small(2, 1, 4, MakeRgb(64, 64, 64));
    DrawLsbView(LsbViewMode::All, test.view(), Grid(0, 0).view(), small.mutableView());
    EXPECT_EQ(small.at(1, 0), MakeRgb(255, 255, 255));
}

} // namespace
} // namespace vantrel
