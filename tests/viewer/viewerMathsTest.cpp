#include "viewer/ViewerMaths.h"
#include "TestData.h"
#include "image/ImageLoading.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

namespace vantrel {
namespace {

using testing::PlaceBitmap;

struct ReadoutCase {
    float x;
    float y;
    const char* expected;
};

TEST(ViewerReadout, TextsOfPointerPositions) {
    BitmapHandle bitmap = PlaceBitmap(20, 10, 32);
    // Green names the display row, so every text below also checks the bottom-up row mapping.
    // The orange pixel of the usual example.
    std::uint8_t* orange = MutableViewOfBitmap(bitmap.get()).row(7) + 12 * 4;
    orange[kRed] = 255;
    orange[kGreen] = 128;
    orange[kBlue] = 0;
    orange[kAlpha] = 255;
    const ReadoutCase cases[] = {
        {12, 7, "[X:0012 Y:0007] - R:255 G:128 B:000 A:255"},
        {19, 9, "[X:0019 Y:0009] - R:019 G:009 B:007 A:200"},
        // Halves go to the even neighbour.
        {2.5f, 0, "[X:0002 Y:0000] - R:002 G:000 B:007 A:200"},
        {3.5f, 0, "[X:0004 Y:0000] - R:004 G:000 B:007 A:200"},
        // Outside the bitmap nothing is read; every digit of a large coordinate is written.
        {20, 0, "[X:0020 Y:0000] - R:000 G:000 B:000 A:000"},
        {0, 10, "[X:0000 Y:0010] - R:000 G:000 B:000 A:000"},
        {10000, 5, "[X:10000 Y:0005] - R:000 G:000 B:000 A:000"},
        {5, 123456, "[X:0005 Y:123456] - R:000 G:000 B:000 A:000"},
        {-1, 3, "[X:-0001 Y:0003] - R:000 G:000 B:000 A:000"},
    };
    for (const ReadoutCase& c : cases) {
        EXPECT_EQ(ReadoutText(ReadPixelUnderPointer(ViewOfBitmap(bitmap.get()), c.x, c.y)),
                  c.expected)
            << c.x << ", " << c.y;
    }
}

TEST(ViewerReadout, TwentyFourBitImagesReadAlphaZeroAndNullBitmapsZeros) {
    EXPECT_EQ(ReadoutText(ReadPixelUnderPointer(ViewOfBitmap(PlaceBitmap(4, 3).get()), 1, 2)),
              "[X:0001 Y:0002] - R:001 G:002 B:007 A:000");
    EXPECT_EQ(ReadoutText(ReadPixelUnderPointer(PixelView{}, 3, 4)),
              "[X:0003 Y:0004] - R:000 G:000 B:000 A:000");
}

// A palette image is read in the colours the loader converted it to, the same as the same
// picture stored in 24 bits.
TEST(ViewerReadout, PaletteImagesReadThroughTheirColours) {
    const BitmapHandle gif = testing::Loaded(testing::Data("pattern.gif"));
    const BitmapHandle truecolour = testing::Loaded(testing::Data("pattern24.png"));
    ASSERT_TRUE(gif && truecolour);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(ReadoutText(ReadPixelUnderPointer(ViewOfBitmap(gif.get()), x, y)),
                      ReadoutText(ReadPixelUnderPointer(ViewOfBitmap(truecolour.get()), x, y)));
        }
    }
    EXPECT_EQ(ReadoutText(ReadPixelUnderPointer(ViewOfBitmap(gif.get()), 1, 1)),
              "[X:0001 Y:0001] - R:128 G:064 B:032 A:000");
}

TEST(ZoomRectangle, RoundsEachSideHalfToEven) {
    // 582 / 5 / 2 = 58.2 and 515 / 5 / 2 = 51.5: 41.8, 48.5, 158.2, 151.5.
    EXPECT_EQ(ZoomRectangle(100, 100, 582, 515, 5), (ZoomRect{42, 48, 158, 152}));
    // 10 / 1 / 2 = 5 exactly; 7 / 2 / 2 = 1.75.
    EXPECT_EQ(ZoomRectangle(50, 60, 10, 10, 1), (ZoomRect{45, 55, 55, 65}));
    EXPECT_EQ(ZoomRectangle(50, 60, 7, 7, 2), (ZoomRect{48, 58, 52, 62}));
}

struct EdgeCase {
    ZoomRect rect;
    bool inside;
};

TEST(ZoomRectangle, FollowsOnlyWhileWhollyInside) {
    // The image is 300 x 200: the last column is 299, the last row 199.
    const EdgeCase cases[] = {
        {{0, 0, 299, 199}, true},     {{-1, 0, 100, 100}, false}, {{0, -1, 100, 100}, false},
        {{0, 0, 300, 100}, false},    {{0, 0, 100, 200}, false},  {{42, 48, 158, 152}, true},
        {{250, 150, 299, 199}, true},
    };
    for (const EdgeCase& c : cases) {
        EXPECT_EQ(ZoomRectInside(c.rect, 300, 200), c.inside)
            << c.rect.left << " " << c.rect.top << " " << c.rect.right << " " << c.rect.bottom;
    }
}

TEST(ZoomCutOut, MagnifiesTheRegionAroundThePointer) {
    const BitmapHandle bitmap = PlaceBitmap(40, 40, 32);
    // 50 / 5 / 2 = 5: ten image pixels on each side, each drawn as a 5 x 5 block.
    const ZoomRect rect = ZoomRectangle(20, 20, 50, 50, 5);
    ASSERT_EQ(rect, (ZoomRect{15, 15, 25, 25}));
    const BitmapHandle zoomed = ZoomCutOut(bitmap.get(), 50, 50, rect);
    ASSERT_TRUE(zoomed);
    ASSERT_EQ(BitmapWidth(zoomed.get()), 50);
    ASSERT_EQ(BitmapHeight(zoomed.get()), 50);
    const PixelView view = ViewOfBitmap(zoomed.get());
    for (int y = 0; y < 50; ++y) {
        for (int x = 0; x < 50; ++x) {
            const std::uint8_t* pixel = view.row(y) + x * view.bytesPerPixel;
            // Rows counted from the top, as on screen.
            ASSERT_EQ(pixel[kRed], 15 + x / 5) << x << ", " << y;
            ASSERT_EQ(pixel[kGreen], 15 + y / 5) << x << ", " << y;
        }
    }
}

TEST(ZoomCutOut, NothingToCut) {
    const BitmapHandle bitmap = PlaceBitmap(40, 40, 32);
    EXPECT_FALSE(ZoomCutOut(nullptr, 50, 50, {0, 0, 10, 10}));
    EXPECT_FALSE(ZoomCutOut(bitmap.get(), 0, 50, {0, 0, 10, 10}));
    EXPECT_FALSE(ZoomCutOut(bitmap.get(), 50, 50, {10, 10, 10, 20}));
    EXPECT_FALSE(ZoomCutOut(bitmap.get(), 50, 50, {10, 20, 20, 20}));
}

TEST(WindowSizes, ViewerMarginsAndZoomFit) {
    // 500 and 1300 twips are 33 1/3 and 86 2/3 pixels.
    EXPECT_EQ(ViewerOuterSize(640, 480), (Size{673, 567}));
    EXPECT_EQ(ViewerOuterSize(1, 1), (Size{34, 88}));
    EXPECT_EQ(FitZoomPicture(615, 602), (Size{582, 515}));
    EXPECT_EQ(FitZoomPicture(700, 400), (Size{667, 313}));
    // No room for a picture: the size stops at zero.
    EXPECT_EQ(FitZoomPicture(33, 86), (Size{0, 0}));
    EXPECT_EQ(FitZoomPicture(10, 10), (Size{0, 0}));
}

} // namespace
} // namespace vantrel
