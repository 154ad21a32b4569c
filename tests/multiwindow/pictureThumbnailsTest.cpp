// The box-filter thumbnails of the compact pictures, held to FreeImage's own rescale of the same
// bitmaps: same kind of bitmap, same palette, same bytes.
#include "multiwindow/PictureThumbnails.h"
#include "image/ImageLoading.h"
#include "multiwindow/AnalysisBitmaps.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <utility>

namespace vantrel {
namespace {

BitmapHandle NoiseImage(int width, int height, std::mt19937& random) {
    BitmapHandle bitmap(FreeImage_Allocate(width, height, 32));
    for (int y = 0; y < height; ++y) {
        BYTE* row = FreeImage_GetScanLine(bitmap.get(), y);
        for (unsigned i = 0; i < FreeImage_GetLine(bitmap.get()); ++i) {
            row[i] = static_cast<BYTE>(random());
        }
    }
    return bitmap;
}

// Runs of equal pixels besides noise: every tap of a box alike makes exact halves (127.5) the
// rule rather than the exception.
BitmapHandle BlockImage(int width, int height, std::mt19937& random) {
    BitmapHandle bitmap = NoiseImage(width, height, random);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(FreeImage_GetScanLine(bitmap.get(), y));
        for (int x = 0; x < width; ++x) {
            row[x] = ((x / 7 + y / 5) % 2) ? 0xFFFFFFFFu : row[x] & 0x0F0F0F0Fu;
        }
    }
    return bitmap;
}

::testing::AssertionResult SameBitmap(FIBITMAP* got, FIBITMAP* want) {
    if (!got || !want) {
        return ::testing::AssertionFailure() << "null bitmap";
    }
    if (FreeImage_GetBPP(got) != FreeImage_GetBPP(want) ||
        FreeImage_GetWidth(got) != FreeImage_GetWidth(want) ||
        FreeImage_GetHeight(got) != FreeImage_GetHeight(want)) {
        return ::testing::AssertionFailure() << "kind or size differs: " << FreeImage_GetBPP(got)
                                             << " vs " << FreeImage_GetBPP(want) << " bits";
    }
    const unsigned colours = FreeImage_GetColorsUsed(want);
    if (colours != FreeImage_GetColorsUsed(got) ||
        (colours > 0 && std::memcmp(FreeImage_GetPalette(got), FreeImage_GetPalette(want),
                                    colours * sizeof(RGBQUAD)) != 0)) {
        return ::testing::AssertionFailure() << "palette differs";
    }
    for (unsigned y = 0; y < FreeImage_GetHeight(want); ++y) {
        const BYTE* a = FreeImage_GetScanLine(got, static_cast<int>(y));
        const BYTE* b = FreeImage_GetScanLine(want, static_cast<int>(y));
        for (unsigned i = 0; i < FreeImage_GetLine(want); ++i) {
            if (a[i] != b[i]) {
                return ::testing::AssertionFailure()
                       << "row " << y << " byte " << i << ": " << int(a[i]) << " vs " << int(b[i]);
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// Every picture kind of every window (1-bit colour and black-and-white, 4-bit, 8-bit colour and
// grey, 24-bit), on odd sizes in both orientations, from noise and from flat blocks.
TEST(BoxThumbnail, EqualsFreeImagesBoxRescaleOfEveryPicture) {
    std::mt19937 random(13);
    struct Size2 {
        int width, height;
    };
    // 155 to 100: a pixel lies exactly between two boxes and both take it.
    const Size2 sizes[] = {{641, 479}, {333, 1001}, {1203, 37}, {101, 199},
                           {7, 250},   {155, 93},   {93, 155}};
    for (const Size2 size : sizes) {
        for (const bool blocks : {false, true}) {
            const BitmapHandle first = blocks ? BlockImage(size.width, size.height, random)
                                              : NoiseImage(size.width, size.height, random);
            const BitmapHandle second = NoiseImage(size.width, size.height, random);
            for (const PlaneKind kind :
                 {PlaneKind::Planes, PlaneKind::Comparison, PlaneKind::Direction}) {
                // All pictures in one pass, their thumbnails made from the rows as they are
                // written; and each again from the finished picture.
                AnalysisBitmaps bitmaps;
                bitmaps.start(kind, size.width, size.height);
                std::array<std::int64_t, kPictureCount> changes{};
                std::array<bool, kPictureCount> made{};
                bitmaps.computeMany(PictureOrder(), ViewOfBitmap(first.get()),
                                    ViewOfBitmap(second.get()), changes, made, 100);
                const Size thumb = FitLongSideSize(size.width, size.height, 100);
                for (int index = 0; index < kPictureCount; ++index) {
                    FIBITMAP* picture = const_cast<FIBITMAP*>(bitmaps.picture(index));
                    ASSERT_TRUE(picture);
                    const BitmapHandle want(
                        FreeImage_Rescale(picture, thumb.width, thumb.height, FILTER_BOX));
                    const BitmapHandle fromPicture = BoxThumbnail(
                        bitmaps.packed(index), FormatOf(kind, index), thumb.width, thumb.height);
                    ASSERT_TRUE(fromPicture) << "the kernel declined a reduction";
                    const BitmapHandle duringPass = bitmaps.thumbnail(index, 100);
                    for (FIBITMAP* got : {fromPicture.get(), duringPass.get()}) {
                        EXPECT_TRUE(SameBitmap(got, want.get()))
                            << size.width << "x" << size.height << " kind "
                            << static_cast<int>(kind) << " picture " << index
                            << (blocks ? " blocks" : " noise");
                    }
                }
            }
        }
    }
}

// A side that does not shrink is FreeImage's to scale; the window's thumbnail is the same either
// way.
TEST(BoxThumbnail, LeavesEnlargementsToFreeImage) {
    std::mt19937 random(5);
    // 150 x 1 keeps its one row; 60 x 50 grows.
    for (const auto& [width, height] : {std::pair{150, 1}, std::pair{60, 50}}) {
        const BitmapHandle image = NoiseImage(width, height, random);
        AnalysisBitmaps bitmaps;
        bitmaps.start(PlaneKind::Planes, width, height);
        const Size thumb = FitLongSideSize(width, height, 100);
        for (const int index : {0, 32, 40, 44}) {
            ASSERT_TRUE(bitmaps.compute(index, ViewOfBitmap(image.get()), {}));
            EXPECT_FALSE(BoxThumbnail(bitmaps.packed(index), FormatOf(PlaneKind::Planes, index),
                                      thumb.width, thumb.height));
            const BitmapHandle want = FitLongSide(bitmaps.picture(index), 100);
            EXPECT_TRUE(SameBitmap(bitmaps.thumbnail(index, 100).get(), want.get()));
        }
    }
}

TEST(BoxReductionTaps, CoverTheInputOnceWithNormalisedWeights) {
    struct Row {
        int output, input;
    };
    for (const Row row : {Row{100, 6000}, Row{67, 4000}, Row{3, 10}, Row{99, 100}, Row{1, 7}}) {
        const std::vector<BoxTaps> taps = BoxReductionTaps(row.output, row.input);
        ASSERT_EQ(taps.size(), static_cast<std::size_t>(row.output));
        EXPECT_EQ(taps.front().first, 0);
        EXPECT_EQ(taps.back().end, row.input);
        for (const BoxTaps& tap : taps) {
            EXPECT_NEAR(tap.weight * (tap.end - tap.first), 1.0, 1e-12);
        }
    }
    EXPECT_TRUE(BoxReductionTaps(100, 100).empty());
    EXPECT_TRUE(BoxReductionTaps(0, 100).empty());
}

} // namespace
} // namespace vantrel
