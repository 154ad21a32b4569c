// The 45 analysis pictures of the bit-plane, comparison and direction windows, held to the
// per-pixel rules computed the slow way and to the documented pixel examples.
#include "multiwindow/NaivePlanes.h"

#include "image/ImageLoading.h"
#include "multiwindow/AnalysisBitmaps.h"
#include "multiwindow/PlaneKernels.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <tuple>
#include <vector>

namespace vantrel {
namespace {

constexpr PlaneKind kKinds[] = {PlaneKind::Planes, PlaneKind::Comparison, PlaneKind::Direction};

BitmapHandle Blank(int width, int height, int bitsPerPixel) {
    return BitmapHandle(FreeImage_Allocate(width, height, bitsPerPixel));
}

// Sets bitmap pixel (x, y), y counted from the bottom row as FreeImage does.
void SetPixel(FIBITMAP* bitmap, int x, int y, int red, int green, int blue, int alpha = 0) {
    RGBQUAD quad{static_cast<BYTE>(blue), static_cast<BYTE>(green), static_cast<BYTE>(red),
                 static_cast<BYTE>(alpha)};
    FreeImage_SetPixelColor(bitmap, x, y, &quad);
}

RGBQUAD PixelOf(FIBITMAP* bitmap, int x, int y) {
    RGBQUAD quad{};
    FreeImage_GetPixelColor(bitmap, x, y, &quad);
    return quad;
}

std::tuple<int, int, int> RgbOf(const RGBQUAD& quad) {
    return {quad.rgbRed, quad.rgbGreen, quad.rgbBlue};
}

BitmapHandle Noise(int width, int height, int bitsPerPixel, std::mt19937& random) {
    BitmapHandle bitmap = Blank(width, height, bitsPerPixel);
    for (int y = 0; y < height; ++y) {
        BYTE* row = FreeImage_GetScanLine(bitmap.get(), y);
        for (unsigned i = 0; i < FreeImage_GetLine(bitmap.get()); ++i) {
            row[i] = static_cast<BYTE>(random());
        }
    }
    return bitmap;
}

// A copy of the image where about half the pixels have a few bits flipped, so that pictures
// show grown, shrunk and unchanged values side by side.
BitmapHandle Perturbed(FIBITMAP* source, int bitsPerPixel, std::mt19937& random) {
    BitmapHandle copy(FreeImage_ConvertTo32Bits(source));
    if (bitsPerPixel == 24) {
        copy.reset(FreeImage_ConvertTo24Bits(copy.get()));
    }
    const int bytes = bitsPerPixel / 8;
    for (int y = 0; y < static_cast<int>(FreeImage_GetHeight(copy.get())); ++y) {
        BYTE* row = FreeImage_GetScanLine(copy.get(), y);
        for (int x = 0; x < static_cast<int>(FreeImage_GetWidth(copy.get())); ++x) {
            if (random() % 2 == 0) {
                for (int c = 0; c < bytes; ++c) {
                    row[x * bytes + c] ^= static_cast<BYTE>(1u << (random() % 8));
                }
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

RGBQUAD PictureColour(const AnalysisBitmaps& bitmaps, int index, int x, int y) {
    const BitmapHandle full = bitmaps.fullBitmap(index);
    return PixelOf(full.get(), x, y);
}

TEST(PictureIndexTable, GridRowsHoldTheDocumentedIndices) {
    const int red[] = {40, 7, 6, 5, 4, 3, 2, 1, 0};
    const int allColours[] = {44, 39, 38, 37, 36, 35, 34, 33, 32};
    const int alpha[] = {43, 31, 30, 29, 28, 27, 26, 25, 24};
    const int blue[] = {42, 23, 22, 21, 20, 19, 18, 17, 16};
    for (int column = 0; column < kGridColumns; ++column) {
        EXPECT_EQ(PictureAt(kRowRed, column), red[column]);
        EXPECT_EQ(PictureAt(kRowAllColours, column), allColours[column]);
        EXPECT_EQ(PictureAt(kRowAlpha, column), alpha[column]);
        EXPECT_EQ(PictureAt(kRowBlue, column), blue[column]);
        EXPECT_EQ(PictureAt(kRowGreen, column), column == 0 ? 41 : 16 - column);
    }
    EXPECT_EQ(PictureIndex(12), (PictureIndexEntry{kGreen, 4, kRowGreen, 4}));
    EXPECT_EQ(PictureIndex(43), (PictureIndexEntry{kAlpha, kAllBits, kRowAlpha, 0}));
}

TEST(PictureIndexTable, RunOrderIsWholeBytesThenColourPlanesThenChannelPlanes) {
    const auto& order = PictureOrder();
    EXPECT_EQ(order[0], 40);
    EXPECT_EQ(order[4], 44);
    EXPECT_EQ(order[5], 32);
    EXPECT_EQ(order[12], 39);
    EXPECT_EQ(order[13], 0);
    EXPECT_EQ(order[44], 31);
    std::vector<int> sorted(order.begin(), order.end());
    std::sort(sorted.begin(), sorted.end());
    for (int i = 0; i < kPictureCount; ++i) {
        EXPECT_EQ(sorted[i], i);
    }
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
        {1, 100, ",", "1-1%"},
        {1, 300, ",", "1-0%"},
        {1234, 10000, ",", "1,234-12%"},
        {1234567, 2000000, ",", "1,234,567-62%"},
        {123456, 123456, ".", "123.456-100%"},
        {1, 8, ",", "1-12%"}, // 12.5 % rounds to even
        {3, 8, ",", "3-38%"}, // 37.5 % rounds to even
        {999, 1000, "\xC2\xA0", "999-100%"},
        {1000, 3000, "\xC2\xA0",
         "1\xC2\xA0"
         "000-33%"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(CountLabel(row.changes, row.total, row.separator), row.expected)
            << row.changes << " of " << row.total;
    }
    EXPECT_EQ(ChangeTotal(32, 10, 10), 300);
    EXPECT_EQ(ChangeTotal(44, 10, 10), 300);
    EXPECT_EQ(ChangeTotal(40, 10, 10), 100);
    EXPECT_EQ(ChangeTotal(31, 10, 10), 100);
}

// Every picture of every window, on noise of odd sizes and both depths, equals the per-pixel
// rules pixel for pixel (alpha included) and count for count.
TEST(PlaneKernels, EqualTheNaivePerPixelRules) {
    std::mt19937 random(2024);
    const std::pair<int, int> sizes[] = {{1, 1}, {13, 5}, {9, 4}, {33, 7}};
    for (const auto& [width, height] : sizes) {
        for (const int depth1 : {24, 32}) {
            for (const int depth2 : {24, 32}) {
                const BitmapHandle first = Noise(width, height, depth1, random);
                const BitmapHandle second = Perturbed(first.get(), depth2, random);
                for (const PlaneKind kind : kKinds) {
                    std::vector<std::int64_t> changes;
                    const AnalysisBitmaps bitmaps =
                        RunWindow(kind, first.get(), second.get(), &changes);
                    const BitmapHandle expected = Blank(width, height, 32);
                    for (int index = 0; index < kPictureCount; ++index) {
                        const std::int64_t naiveChanges = naive::NaivePicture(
                            kind, index, first.get(), second.get(), expected.get());
                        const BitmapHandle actual = bitmaps.fullBitmap(index);
                        ASSERT_TRUE(actual);
                        for (int y = 0; y < height; ++y) {
                            ASSERT_EQ(std::memcmp(FreeImage_GetScanLine(actual.get(), y),
                                                  FreeImage_GetScanLine(expected.get(), y),
                                                  static_cast<std::size_t>(width) * 4),
                                      0)
                                << "kind " << static_cast<int>(kind) << " picture " << index
                                << " row " << y << " size " << width << "x" << height << " depths "
                                << depth1 << "/" << depth2;
                        }
                        EXPECT_EQ(changes[index], naiveChanges)
                            << "kind " << static_cast<int>(kind) << " picture " << index;
                    }
                }
            }
        }
    }
}

TEST(PlanePictures, OnePixelAcrossTheFortyFivePictures) {
    const BitmapHandle image = Blank(1, 1, 24);
    SetPixel(image.get(), 0, 0, 0x81, 0x00, 0xFF);
    const AnalysisBitmaps bitmaps = RunWindow(PlaneKind::Planes, image.get(), nullptr);
    using Rgb = std::tuple<int, int, int>;
    const Rgb black{0, 0, 0};
    for (int index = 0; index < kPictureCount; ++index) {
        Rgb expected = black;
        if (index == 0 || index == 7) {
            expected = {255, 100, 100};
        } else if (index >= 16 && index <= 23) {
            expected = {100, 100, 255};
        } else if (index == 32 || index == 39) {
            expected = {255, 0, 255};
        } else if (index >= 33 && index <= 38) {
            expected = {0, 0, 255};
        } else if (index == 40) {
            expected = {0x81, 0, 0};
        } else if (index == 42) {
            expected = {0, 0, 0xFF};
        } else if (index == 44) {
            expected = {0x81, 0x00, 0xFF};
        }
        const RGBQUAD colour = PictureColour(bitmaps, index, 0, 0);
        EXPECT_EQ(RgbOf(colour), expected) << "picture " << index;
        EXPECT_EQ(colour.rgbReserved, 0) << "picture " << index;
    }
}

TEST(PlanePictures, AlphaPicturesOfTwentyFourAndThirtyTwoBitImages) {
    const BitmapHandle opaque = Blank(3, 2, 24);
    const BitmapHandle half = Blank(3, 2, 32);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            SetPixel(opaque.get(), x, y, 255, 255, 255);
            SetPixel(half.get(), x, y, 10 * x, 20 * y, 30, 128);
        }
    }
    const AnalysisBitmaps fromOpaque = RunWindow(PlaneKind::Planes, opaque.get(), nullptr);
    const AnalysisBitmaps fromHalf = RunWindow(PlaneKind::Planes, half.get(), nullptr);
    for (int index = 24; index <= 31; ++index) {
        EXPECT_EQ(fromOpaque.litPixels(index), 0) << index;
        EXPECT_EQ(fromHalf.litPixels(index), index == 31 ? 6 : 0) << index;
    }
    EXPECT_EQ(RgbOf(PictureColour(fromHalf, 31, 2, 1)), std::make_tuple(255, 255, 255));
    EXPECT_EQ(fromOpaque.litPixels(43), 0);
    EXPECT_EQ(RgbOf(PictureColour(fromHalf, 43, 1, 0)), std::make_tuple(128, 128, 128));
    // The colour planes ignore alpha.
    for (int index = 32; index <= 39; ++index) {
        EXPECT_EQ(fromOpaque.litPixels(index), 6) << index;
    }
}

struct ChangeCase {
    PlaneKind kind;
    int red1;
    int red2;
    std::tuple<int, int, int> bitColour;     // picture 0
    std::tuple<int, int, int> valueColour;   // picture 40
    std::tuple<int, int, int> coloursColour; // pictures 32 and 44
};

TEST(ComparisonPictures, OnePixelRedChangeInBothDirections) {
    const ChangeCase cases[] = {
        {PlaneKind::Comparison, 0x80, 0x81, {255, 100, 100}, {255, 100, 100}, {255, 0, 0}},
        {PlaneKind::Comparison, 0x81, 0x80, {255, 100, 100}, {255, 100, 100}, {255, 0, 0}},
        {PlaneKind::Direction, 0x80, 0x81, {255, 100, 100}, {200, 100, 100}, {66, 33, 33}},
        {PlaneKind::Direction, 0x81, 0x80, {100, 100, 255}, {100, 100, 200}, {33, 33, 66}},
    };
    for (const ChangeCase& change : cases) {
        const BitmapHandle first = Blank(10, 10, 24);
        const BitmapHandle second = Blank(10, 10, 24);
        SetPixel(first.get(), 3, 6, change.red1, 40, 50);
        SetPixel(second.get(), 3, 6, change.red2, 40, 50);
        std::vector<std::int64_t> changes;
        const AnalysisBitmaps bitmaps = RunWindow(change.kind, first.get(), second.get(), &changes);
        EXPECT_EQ(RgbOf(PictureColour(bitmaps, 0, 3, 6)), change.bitColour);
        EXPECT_EQ(RgbOf(PictureColour(bitmaps, 40, 3, 6)), change.valueColour);
        EXPECT_EQ(RgbOf(PictureColour(bitmaps, 32, 3, 6)), change.coloursColour);
        EXPECT_EQ(RgbOf(PictureColour(bitmaps, 44, 3, 6)), change.coloursColour);
        for (int index = 0; index < kPictureCount; ++index) {
            const bool changed = index == 0 || index == 32 || index == 40 || index == 44;
            const std::string label = CountLabel(changes[index], ChangeTotal(index, 10, 10), ",");
            const char* expected = !changed ? "-" : CountsSamples(index) ? "1-0%" : "1-1%";
            EXPECT_EQ(label, expected) << "picture " << index;
            EXPECT_EQ(bitmaps.litPixels(index), changed ? 1 : 0) << "picture " << index;
        }
    }
}

TEST(ComparisonPictures, ThreeChannelChangesCountEachChannel) {
    const BitmapHandle first = Blank(4, 4, 24);
    const BitmapHandle second = Blank(4, 4, 24);
    SetPixel(first.get(), 0, 0, 10, 10, 10);
    SetPixel(second.get(), 0, 0, 11, 11, 11); // bit 0 of all three grows
    SetPixel(first.get(), 1, 0, 10, 10, 10);
    SetPixel(second.get(), 1, 0, 20, 5, 10); // red up, green down
    SetPixel(first.get(), 2, 0, 0, 0, 0);
    SetPixel(second.get(), 2, 0, 0, 1 << 3, 0); // a green bit set in the second image only

    std::vector<std::int64_t> comparison;
    const AnalysisBitmaps compared =
        RunWindow(PlaneKind::Comparison, first.get(), second.get(), &comparison);
    EXPECT_EQ(RgbOf(PictureColour(compared, 32, 0, 0)), std::make_tuple(255, 255, 255));
    EXPECT_EQ(comparison[32], 3 + 1); // and bit 0 of green going from 10 to 5
    EXPECT_EQ(comparison[44], 3 + 2 + 1);

    std::vector<std::int64_t> direction;
    const AnalysisBitmaps directed =
        RunWindow(PlaneKind::Direction, first.get(), second.get(), &direction);
    EXPECT_EQ(RgbOf(PictureColour(directed, 32, 0, 0)), std::make_tuple(200, 100, 100));
    EXPECT_EQ(RgbOf(PictureColour(directed, 44, 1, 0)), std::make_tuple(0, 0, 0));
    EXPECT_EQ(direction[44], 3 + 2 + 1);
    EXPECT_EQ(RgbOf(PictureColour(directed, 8 + 3, 2, 0)), std::make_tuple(255, 100, 100));

    const BitmapHandle grown = Blank(1, 1, 24);
    SetPixel(grown.get(), 0, 0, 20, 20, 20);
    const BitmapHandle base = Blank(1, 1, 24);
    SetPixel(base.get(), 0, 0, 10, 10, 10);
    const AnalysisBitmaps up = RunWindow(PlaneKind::Direction, base.get(), grown.get());
    EXPECT_EQ(RgbOf(PictureColour(up, 44, 0, 0)), std::make_tuple(200, 100, 100));
}

TEST(ComparisonPictures, ManyChangesGiveAGroupedLabel) {
    const BitmapHandle first = Blank(100, 100, 24);
    const BitmapHandle second = Blank(100, 100, 24);
    for (int i = 0; i < 1234; ++i) {
        SetPixel(second.get(), i % 100, i / 100, 0, 0, 7);
    }
    std::vector<std::int64_t> changes;
    RunWindow(PlaneKind::Comparison, first.get(), second.get(), &changes);
    EXPECT_EQ(CountLabel(changes[42], ChangeTotal(42, 100, 100), ","), "1,234-12%");
    EXPECT_EQ(CountLabel(changes[16], ChangeTotal(16, 100, 100), ","), "1,234-12%");
    EXPECT_EQ(CountLabel(changes[44], ChangeTotal(44, 100, 100), ","), "1,234-4%");
}

TEST(ComparisonPictures, IdenticalImagesGiveBlackPicturesAndNoChanges) {
    std::mt19937 random(7);
    const BitmapHandle image = Noise(21, 11, 32, random);
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
    const BitmapHandle first = Blank(4, 3, 24);
    const BitmapHandle second = Blank(2, 5, 24);
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
    EXPECT_EQ(PictureColour(bitmaps, 0, 0, 0).rgbRed, 0);
    EXPECT_EQ(PictureColour(bitmaps, 0, 1, 0).rgbRed, 255);
    EXPECT_EQ(PictureColour(bitmaps, 0, 0, 2).rgbRed, 255);
    EXPECT_EQ(PictureColour(bitmaps, 0, 3, 2).rgbRed, 0); // outside the second image

    std::vector<std::int64_t> againstNothing;
    RunWindow(PlaneKind::Comparison, first.get(), nullptr, &againstNothing);
    EXPECT_EQ(againstNothing[0], 12);
    EXPECT_EQ(againstNothing[1], 0);
}

TEST(AnalysisBitmaps, NullImageMakesNoPictures) {
    for (const PlaneKind kind : kKinds) {
        std::vector<std::int64_t> changes;
        const AnalysisBitmaps bitmaps = RunWindow(kind, nullptr, nullptr, &changes);
        EXPECT_TRUE(bitmaps.empty());
        EXPECT_FALSE(bitmaps.fullBitmap(3));
        EXPECT_FALSE(bitmaps.thumbnail(3, 100));
        EXPECT_EQ(CountLabel(changes[3], ChangeTotal(3, 0, 0), ","), "-");
    }
}

TEST(AnalysisBitmaps, PictureNotYetComputedLeavesBlack) {
    AnalysisBitmaps bitmaps;
    bitmaps.start(PlaneKind::Planes, 5, 4);
    const BitmapHandle full = bitmaps.fullBitmap(12);
    ASSERT_TRUE(full);
    EXPECT_EQ(BitmapWidth(full.get()), 5);
    EXPECT_EQ(BitmapBitsPerPixel(full.get()), 32);
    for (int y = 0; y < 4; ++y) {
        const BYTE* row = FreeImage_GetScanLine(full.get(), y);
        EXPECT_TRUE(std::all_of(row, row + 20, [](BYTE b) { return b == 0; }));
    }
}

// The thumbnail made from a compact picture equals the one made from its 32-bit bitmap.
TEST(AnalysisBitmaps, ThumbnailsFollowTheLongSideRule) {
    std::mt19937 random(99);
    struct Row {
        int width, height, thumbWidth, thumbHeight;
    };
    const Row rows[] = {
        {640, 480, 100, 75}, {480, 640, 75, 100}, {100, 100, 100, 100}, {333, 41, 100, 12}};
    for (const Row& row : rows) {
        const BitmapHandle first = Noise(row.width, row.height, 24, random);
        const BitmapHandle second = Perturbed(first.get(), 24, random);
        for (const PlaneKind kind : kKinds) {
            const AnalysisBitmaps bitmaps = RunWindow(kind, first.get(), second.get());
            for (const int index : {0, 24, 32, 40, 43, 44}) {
                const BitmapHandle thumbnail = bitmaps.thumbnail(index, 100);
                ASSERT_TRUE(thumbnail);
                EXPECT_EQ(BitmapWidth(thumbnail.get()), row.thumbWidth);
                EXPECT_EQ(BitmapHeight(thumbnail.get()), row.thumbHeight);
                const BitmapHandle reference = FitLongSide(bitmaps.fullBitmap(index).get(), 100);
                std::vector<std::uint8_t> got(row.thumbWidth * row.thumbHeight * 4);
                std::vector<std::uint8_t> want(got.size());
                ASSERT_TRUE(CopyBitmapToBgrx(thumbnail.get(), got.data(), row.thumbWidth * 4));
                ASSERT_TRUE(CopyBitmapToBgrx(reference.get(), want.data(), row.thumbWidth * 4));
                EXPECT_EQ(got, want) << "kind " << static_cast<int>(kind) << " picture " << index;
            }
        }
    }
    AnalysisBitmaps thin;
    const BitmapHandle line = Blank(1, 1000, 24);
    thin.start(PlaneKind::Planes, 1, 1000);
    ASSERT_TRUE(thin.compute(0, ViewOfBitmap(line.get()), {}));
    EXPECT_FALSE(thin.thumbnail(0, 100));
}

// A window's pictures stay far below 45 full 32-bit bitmaps (180 bytes a pixel).
TEST(AnalysisBitmaps, PicturesAreKeptCompactly) {
    std::mt19937 random(3);
    const int width = 1200;
    const int height = 500;
    const BitmapHandle first = Noise(width, height, 32, random);
    const BitmapHandle second = Perturbed(first.get(), 32, random);
    const double pixels = double(width) * height;
    const double perPixel[] = {15.0, 9.0, 22.5}; // bits of the 45 pictures / 8
    for (int k = 0; k < 3; ++k) {
        const AnalysisBitmaps bitmaps = RunWindow(kKinds[k], first.get(), second.get());
        const double bytes = static_cast<double>(bitmaps.bytes());
        EXPECT_GE(bytes, perPixel[k] * pixels);
        EXPECT_LE(bytes, perPixel[k] * pixels * 1.02 + 45 * 2048) << "kind " << k;
    }
}

std::vector<BitmapHandle> FullPictures(const AnalysisBitmaps& bitmaps) {
    std::vector<BitmapHandle> pictures;
    for (int index = 0; index < kPictureCount; ++index) {
        pictures.push_back(bitmaps.fullBitmap(index));
    }
    return pictures;
}

bool SamePixels(FIBITMAP* a, FIBITMAP* b) {
    const PixelView va = ViewOfBitmap(a);
    const PixelView vb = ViewOfBitmap(b);
    if (va.width != vb.width || va.height != vb.height) {
        return false;
    }
    for (int y = 0; y < va.height; ++y) {
        if (std::memcmp(va.row(y), vb.row(y), static_cast<std::size_t>(va.width) * 4) != 0) {
            return false;
        }
    }
    return true;
}

// Palette and 16-bit images are read as the colours they show, not as 45 black pictures.
TEST(AnalysisBitmaps, PaletteAndSixteenBitImagesGiveTheirRealPlanes) {
    const BitmapHandle palette = LoadImageFile(VANTREL_TEST_DATA "/pattern.gif");
    const BitmapHandle truecolour = LoadImageFile(VANTREL_TEST_DATA "/pattern24.png");
    ASSERT_TRUE(palette);
    ASSERT_TRUE(truecolour);
    const auto fromPalette = FullPictures(RunWindow(PlaneKind::Planes, palette.get(), nullptr));
    const auto fromTruecolour =
        FullPictures(RunWindow(PlaneKind::Planes, truecolour.get(), nullptr));
    for (int index = 0; index < kPictureCount; ++index) {
        EXPECT_TRUE(SamePixels(fromPalette[index].get(), fromTruecolour[index].get())) << index;
    }
    EXPECT_GT(RunWindow(PlaneKind::Planes, palette.get(), nullptr).litPixels(0), 0);

    // 48-bit colour: each channel's high byte.
    BitmapHandle deep(FreeImage_AllocateT(FIT_RGB16, 3, 2));
    BitmapHandle shallow = Blank(3, 2, 24);
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
    const BitmapHandle loaded = LoadImageFile(path.string());
    std::filesystem::remove(path);
    ASSERT_TRUE(loaded);
    const auto fromDeep = FullPictures(RunWindow(PlaneKind::Planes, loaded.get(), nullptr));
    const auto fromShallow = FullPictures(RunWindow(PlaneKind::Planes, shallow.get(), nullptr));
    for (int index = 0; index < kPictureCount; ++index) {
        EXPECT_TRUE(SamePixels(fromDeep[index].get(), fromShallow[index].get())) << index;
    }
}

} // namespace
} // namespace vantrel
