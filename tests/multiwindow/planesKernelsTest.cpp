// The 45 analysis pictures of the bit-plane, comparison and direction windows, held to the
// per-pixel rules computed the slow way and to the documented pixel examples.
#include "reference/NaivePlanes.h"

#include "TestData.h"
#include "image/ImageLoading.h"
#include "multiwindow/AnalysisBitmaps.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <tuple>
#include <vector>

namespace vantrel {
namespace {

using testing::Colours;
using testing::NoiseBitmap;

constexpr PlaneKind kKinds[] = {PlaneKind::Planes, PlaneKind::Comparison, PlaneKind::Direction};

// Sets bitmap pixel (x, y), y counted from the bottom row as FreeImage does.
void SetPixel(FIBITMAP* bitmap, int x, int y, int red, int green, int blue) {
    RGBQUAD quad{static_cast<BYTE>(blue), static_cast<BYTE>(green), static_cast<BYTE>(red), 0};
    FreeImage_SetPixelColor(bitmap, x, y, &quad);
}

// A copy of the image where about half the pixels have a few bits flipped, so that pictures
// show grown, shrunk and unchanged values side by side.
BitmapHandle Perturbed(FIBITMAP* source, int bitsPerPixel, unsigned seed) {
    std::mt19937 random(seed);
    BitmapHandle copy(FreeImage_ConvertTo32Bits(source));
    if (bitsPerPixel == 24) {
        copy.reset(FreeImage_ConvertTo24Bits(copy.get()));
    }
    const MutablePixelView view = MutableViewOfBitmap(copy.get());
    for (int y = 0; y < view.height; ++y) {
        for (int x = 0; x < view.width; ++x) {
            for (int c = 0; random() % 2 == 0 && c < view.bytesPerPixel; ++c) {
                view.row(y)[x * view.bytesPerPixel + c] ^= static_cast<BYTE>(1u << (random() % 8));
            }
        }
    }
    return copy;
}

// The analysis pictures of one run of a window, computed by the kernels.
AnalysisBitmaps RunWindow(PlaneKind kind, FIBITMAP* first, FIBITMAP* second,
                          std::vector<std::int64_t>* changes = nullptr) {
    AnalysisBitmaps bitmaps;
    bitmaps.start(kind, BitmapWidth(first), BitmapHeight(first));
    if (changes != nullptr) {
        changes->assign(kPictureCount, 0);
    }
    for (const int index : PictureOrder()) {
        std::int64_t counted = 0;
        bitmaps.compute(index, ViewOfBitmap(first), ViewOfBitmap(second), &counted);
        if (changes != nullptr) {
            (*changes)[index] = counted;
        }
    }
    return bitmaps;
}

std::tuple<int, int, int> PictureColour(const AnalysisBitmaps& bitmaps, int index, int x, int y) {
    RGBQUAD quad{};
    FreeImage_GetPixelColor(bitmaps.fullBitmap(index).get(), x, y, &quad);
    return {quad.rgbRed, quad.rgbGreen, quad.rgbBlue};
}

TEST(CountLabel, FollowsTheCountLabelRule) {
    struct Row {
        std::int64_t changes;
        std::int64_t total;
        const char* separator;
        const char* expected;
    };
    const Row rows[] = {
        {0, 100, ",", "-"},
        {-5, 100, ",", "-"},
        {1, 300, ",", "1-0%"},
        {1234567, 2000000, ",", "1,234,567-62%"},
        {123456, 123456, ".", "123.456-100%"},
        {1, 8, ",", "1-12%"}, // 12.5 % rounds to even
        {3, 8, ",", "3-38%"}, // 37.5 % rounds to even
        {1000, 3000, "\xC2\xA0",
         "1\xC2\xA0"
         "000-33%"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(CountLabel(row.changes, row.total, row.separator), row.expected)
            << row.changes << " of " << row.total;
    }
}

// Every picture of every window, on noise of odd sizes and both depths, equals the per-pixel
// rules pixel for pixel (alpha included) and count for count.
TEST(PlaneKernels, EqualTheNaivePerPixelRules) {
    const std::pair<int, int> sizes[] = {{1, 1}, {13, 5}, {9, 4}, {33, 7}};
    unsigned seed = 2024;
    for (const auto& [width, height] : sizes) {
        for (const int depth1 : {24, 32}) {
            for (const int depth2 : {24, 32}) {
                const BitmapHandle first = NoiseBitmap(width, height, depth1, ++seed);
                const BitmapHandle second = Perturbed(first.get(), depth2, seed);
                for (const PlaneKind kind : kKinds) {
                    std::vector<std::int64_t> changes;
                    const AnalysisBitmaps bitmaps =
                        RunWindow(kind, first.get(), second.get(), &changes);
                    const BitmapHandle expected(FreeImage_Allocate(width, height, 32));
                    for (int index = 0; index < kPictureCount; ++index) {
                        const std::int64_t naiveChanges = naive::NaivePicture(
                            kind, index, first.get(), second.get(), expected.get());
                        ASSERT_EQ(Colours(bitmaps.fullBitmap(index).get(), true),
                                  Colours(expected.get(), true))
                            << "kind " << static_cast<int>(kind) << " picture " << index << " size "
                            << width << "x" << height << " depths " << depth1 << "/" << depth2;
                        EXPECT_EQ(changes[index], naiveChanges)
                            << "kind " << static_cast<int>(kind) << " picture " << index;
                    }
                }
            }
        }
    }
}

TEST(ComparisonPictures, OnePixelRedChangeInBothDirections) {
    using Rgb = std::tuple<int, int, int>;
    const struct {
        PlaneKind kind;
        int red1, red2;
        Rgb bitColour;     // picture 0
        Rgb valueColour;   // picture 40
        Rgb coloursColour; // pictures 32 and 44
    } cases[] = {
        {PlaneKind::Comparison, 0x80, 0x81, {255, 100, 100}, {255, 100, 100}, {255, 0, 0}},
        {PlaneKind::Comparison, 0x81, 0x80, {255, 100, 100}, {255, 100, 100}, {255, 0, 0}},
        {PlaneKind::Direction, 0x80, 0x81, {255, 100, 100}, {200, 100, 100}, {66, 33, 33}},
        {PlaneKind::Direction, 0x81, 0x80, {100, 100, 255}, {100, 100, 200}, {33, 33, 66}},
    };
    for (const auto& change : cases) {
        const BitmapHandle first(FreeImage_Allocate(10, 10, 24));
        const BitmapHandle second(FreeImage_Allocate(10, 10, 24));
        SetPixel(first.get(), 3, 6, change.red1, 40, 50);
        SetPixel(second.get(), 3, 6, change.red2, 40, 50);
        const AnalysisBitmaps bitmaps = RunWindow(change.kind, first.get(), second.get());
        EXPECT_EQ(PictureColour(bitmaps, 0, 3, 6), change.bitColour);
        EXPECT_EQ(PictureColour(bitmaps, 40, 3, 6), change.valueColour);
        EXPECT_EQ(PictureColour(bitmaps, 32, 3, 6), change.coloursColour);
        EXPECT_EQ(PictureColour(bitmaps, 44, 3, 6), change.coloursColour);
    }
}

TEST(ComparisonPictures, IdenticalImagesGiveBlackPicturesAndNoChanges) {
    const BitmapHandle image = NoiseBitmap(21, 11, 32, 7);
    for (const PlaneKind kind : {PlaneKind::Comparison, PlaneKind::Direction}) {
        std::vector<std::int64_t> changes;
        const AnalysisBitmaps bitmaps = RunWindow(kind, image.get(), image.get(), &changes);
        for (int index = 0; index < kPictureCount; ++index) {
            EXPECT_EQ(changes[index], 0);
            EXPECT_EQ(bitmaps.litPixels(index), 0);
        }
    }
}

// Different sizes: only the area both images cover is compared, meeting at the bottom-left
// corner of the bitmaps; a missing second image reads (0, 0, 0, 0) everywhere.
TEST(ComparisonPictures, DifferentSizesCompareTheCommonArea) {
    const BitmapHandle first(FreeImage_Allocate(4, 3, 24));
    const BitmapHandle second(FreeImage_Allocate(2, 5, 24));
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            SetPixel(first.get(), x, y, 1, 0, 0);
        }
    }
    SetPixel(second.get(), 0, 0, 1, 0, 0); // equal at bitmap (0, 0)
    std::vector<std::int64_t> changes;
    const AnalysisBitmaps bitmaps =
        RunWindow(PlaneKind::Comparison, first.get(), second.get(), &changes);
    EXPECT_EQ(bitmaps.width(), 4);
    EXPECT_EQ(bitmaps.height(), 3);
    EXPECT_EQ(changes[0], 2 * 3 - 1);
    EXPECT_EQ(std::get<0>(PictureColour(bitmaps, 0, 0, 0)), 0);
    EXPECT_EQ(std::get<0>(PictureColour(bitmaps, 0, 1, 0)), 255);
    EXPECT_EQ(std::get<0>(PictureColour(bitmaps, 0, 0, 2)), 255);
    EXPECT_EQ(std::get<0>(PictureColour(bitmaps, 0, 3, 2)), 0); // outside the second image

    std::vector<std::int64_t> againstNothing;
    RunWindow(PlaneKind::Comparison, first.get(), nullptr, &againstNothing);
    EXPECT_EQ(againstNothing[0], 12);
    EXPECT_EQ(againstNothing[1], 0);
}

TEST(AnalysisBitmaps, NullImageMakesNoPicturesAndUncomputedOnesAreBlack) {
    for (const PlaneKind kind : kKinds) {
        std::vector<std::int64_t> changes;
        AnalysisBitmaps bitmaps = RunWindow(kind, nullptr, nullptr, &changes);
        EXPECT_TRUE(bitmaps.empty());
        EXPECT_FALSE(bitmaps.fullBitmap(3));
        EXPECT_FALSE(bitmaps.thumbnail(3, 100));
        EXPECT_EQ(CountLabel(changes[3], ChangeTotal(3, 0, 0), ","), "-");
    }
    AnalysisBitmaps started;
    started.start(PlaneKind::Planes, 5, 4);
    const BitmapHandle full = started.fullBitmap(12);
    ASSERT_EQ(BitmapBitsPerPixel(full.get()), 32);
    EXPECT_EQ(Colours(full.get(), true), std::vector<std::uint8_t>(5 * 4 * 4, 0));
}

// The thumbnail made from a compact picture equals the one made from its 32-bit bitmap.
TEST(AnalysisBitmaps, ThumbnailsFollowTheLongSideRule) {
    const struct {
        int width, height, thumbWidth, thumbHeight;
    } rows[] = {{640, 480, 100, 75}, {480, 640, 75, 100}, {333, 41, 100, 12}};
    for (const auto& row : rows) {
        const BitmapHandle first = NoiseBitmap(row.width, row.height, 24, 99);
        const BitmapHandle second = Perturbed(first.get(), 24, 99);
        for (const PlaneKind kind : kKinds) {
            AnalysisBitmaps bitmaps = RunWindow(kind, first.get(), second.get());
            for (const int index : {0, 24, 32, 40, 43, 44}) {
                const BitmapHandle thumbnail = bitmaps.thumbnail(index, 100);
                ASSERT_TRUE(thumbnail);
                EXPECT_EQ(BitmapWidth(thumbnail.get()), row.thumbWidth);
                EXPECT_EQ(BitmapHeight(thumbnail.get()), row.thumbHeight);
                const BitmapHandle reference = FitLongSide(bitmaps.fullBitmap(index).get(), 100);
                EXPECT_EQ(Colours(thumbnail.get()), Colours(reference.get()))
                    << "kind " << static_cast<int>(kind) << " picture " << index;
            }
        }
    }
    AnalysisBitmaps thin;
    const BitmapHandle line(FreeImage_Allocate(1, 1000, 24));
    thin.start(PlaneKind::Planes, 1, 1000);
    ASSERT_TRUE(thin.compute(0, ViewOfBitmap(line.get()), {}));
    EXPECT_FALSE(thin.thumbnail(0, 100));
}

// A window's pictures stay far below 45 full 32-bit bitmaps (180 bytes a pixel).
TEST(AnalysisBitmaps, PicturesAreKeptCompactly) {
    const BitmapHandle first = NoiseBitmap(1200, 500, 32, 3);
    const BitmapHandle second = Perturbed(first.get(), 32, 3);
    const double pixels = 1200.0 * 500;
    const double perPixel[] = {15.0, 9.0, 22.5}; // bits of the 45 pictures / 8
    for (int k = 0; k < 3; ++k) {
        const double bytes =
            static_cast<double>(RunWindow(kKinds[k], first.get(), second.get()).bytes());
        EXPECT_GE(bytes, perPixel[k] * pixels);
        EXPECT_LE(bytes, perPixel[k] * pixels * 1.02 + 45 * 2048) << "kind " << k;
    }
}

// The 45 bit-plane pictures, every byte of them.
std::vector<std::vector<std::uint8_t>> PlanePictures(FIBITMAP* image) {
    const AnalysisBitmaps bitmaps = RunWindow(PlaneKind::Planes, image, nullptr);
    std::vector<std::vector<std::uint8_t>> pictures;
    for (int index = 0; index < kPictureCount; ++index) {
        pictures.push_back(Colours(bitmaps.fullBitmap(index).get(), true));
    }
    return pictures;
}

// Palette and 16-bit images are read as the colours they show, not as 45 black pictures.
TEST(AnalysisBitmaps, PaletteAndSixteenBitImagesGiveTheirRealPlanes) {
    const BitmapHandle palette = testing::Loaded(testing::Data("pattern.gif"));
    const BitmapHandle truecolour = testing::Loaded(testing::Data("pattern24.png"));
    ASSERT_TRUE(palette && truecolour);
    EXPECT_EQ(PlanePictures(palette.get()), PlanePictures(truecolour.get()));
    EXPECT_GT(RunWindow(PlaneKind::Planes, palette.get(), nullptr).litPixels(0), 0);

    // 48-bit colour: each channel's high byte.
    BitmapHandle deep(FreeImage_AllocateT(FIT_RGB16, 3, 2));
    BitmapHandle shallow(FreeImage_Allocate(3, 2, 24));
    for (int y = 0; y < 2; ++y) {
        auto* row = reinterpret_cast<FIRGB16*>(FreeImage_GetScanLine(deep.get(), y));
        for (int x = 0; x < 3; ++x) {
            const int value = 40 * x + 100 * y + 7;
            row[x].red = static_cast<WORD>(value * 257);
            row[x].green = static_cast<WORD>((255 - value) * 257);
            row[x].blue = static_cast<WORD>(value * 3 % 256 * 257);
            SetPixel(shallow.get(), x, y, value, 255 - value, value * 3 % 256);
        }
    }
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / "vantrel-planes-deep.png";
    ASSERT_TRUE(FreeImage_Save(FIF_PNG, deep.get(), path.c_str(), PNG_DEFAULT));
    const BitmapHandle loaded = testing::Loaded(path.string());
    std::filesystem::remove(path);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(PlanePictures(loaded.get()), PlanePictures(shallow.get()));
}

} // namespace
} // namespace vantrel
