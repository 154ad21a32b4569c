// The analyses that share their rows out over the cores give the same pictures, thumbnails,
// labels and figures on one thread as on several.
#include "image/ImageLoading.h"
#include "multiwindow/AnalysisBitmaps.h"
#include "onewindow/LocalVariation.h"
#include "onewindow/LsbColumns.h"
#include "onewindow/LsbView.h"
#include "onewindow/Psnr.h"

#include <FreeImage.h>
#include <gtest/gtest.h>
#include <tbb/global_control.h>
#include <tbb/task_arena.h>

#include <array>
#include <random>
#include <string>
#include <vector>

namespace vantrel {
namespace {

using Bytes = std::vector<std::uint8_t>;

BitmapHandle Noise(int width, int height, int bitsPerPixel, unsigned seed) {
    BitmapHandle bitmap(FreeImage_Allocate(width, height, bitsPerPixel));
    std::mt19937 random(seed);
    for (int y = 0; y < height; ++y) {
        BYTE* row = FreeImage_GetScanLine(bitmap.get(), y);
        for (unsigned i = 0; i < FreeImage_GetLine(bitmap.get()); ++i) {
            // Mostly low bits flipped, so that counts and deviations are neither all nor nothing.
            row[i] = static_cast<BYTE>((y * 7 + i) / 5 ^ (random() & 3));
        }
    }
    return bitmap;
}

Bytes Rows(const FIBITMAP* bitmap) {
    Bytes bytes;
    if (bitmap == nullptr) {
        return bytes;
    }
    FIBITMAP* readable = const_cast<FIBITMAP*>(bitmap);
    for (unsigned y = 0; y < FreeImage_GetHeight(readable); ++y) {
        const BYTE* row = FreeImage_GetScanLine(readable, static_cast<int>(y));
        bytes.insert(bytes.end(), row, row + FreeImage_GetLine(readable));
    }
    return bytes;
}

struct Results {
    std::vector<Bytes> pictures;
    std::vector<std::string> labels; // count labels and one-window figures
    friend bool operator==(const Results&, const Results&) = default;
};

// Every picture, thumbnail and count label of the three grid windows, then the LSB views, the
// column counts, PSNR and the local variation maps of the one-window analyses.
Results RunEverything(const FIBITMAP* first, const FIBITMAP* second) {
    Results results;
    for (const PlaneKind kind : {PlaneKind::Planes, PlaneKind::Comparison, PlaneKind::Direction}) {
        AnalysisBitmaps bitmaps;
        bitmaps.start(kind, BitmapWidth(first), BitmapHeight(first));
        for (const int index : PictureOrder()) {
            std::int64_t changes = 0;
            EXPECT_TRUE(
                bitmaps.compute(index, ViewOfBitmap(first), ViewOfBitmap(second), &changes));
            results.pictures.push_back(Rows(bitmaps.picture(index)));
            results.pictures.push_back(Rows(bitmaps.thumbnail(index, 100).get()));
            results.labels.push_back(
                CountLabel(changes, ChangeTotal(index, bitmaps.width(), bitmaps.height())));
        }
    }
    const PixelView test = ViewOfBitmap(first);
    const PixelView original = ViewOfBitmap(second);
    Bytes view(static_cast<std::size_t>(test.width) * test.height * 4);
    const MutablePixelView target{test.width, test.height, 4, test.width * 4, view.data()};
    for (const LsbViewMode mode : {LsbViewMode::All, LsbViewMode::Red, LsbViewMode::Diff}) {
        DrawLsbView(mode, test, original, target);
        results.pictures.push_back(view);
    }
    for (const VariationChannel channel : {VariationChannel::Red, VariationChannel::Blue}) {
        DrawLocalVariation(test, channel, target);
        results.pictures.push_back(view);
    }
    for (const ColumnCurve& curve : LsbCurves(CountLsbColumns(test, WithChanges::Yes))) {
        results.labels.push_back(std::to_string(curve.setCount) + "/" +
                                 std::to_string(curve.changes));
    }
    const LsbColumnCounts counts = CountLsbColumns(original, WithChanges::No);
    for (int x = 0; x < counts.width(); ++x) {
        results.labels.push_back(std::to_string(counts.setCount(x)));
    }
    results.labels.push_back(CalcPSNR(original, test));
    return results;
}

TEST(Threads, OneThreadAndSeveralGiveTheSameResults) {
    // Tall enough that every kernel cuts the rows into several pieces; the second image is
    // smaller and 24-bit, so uncovered rows and columns and both pixel sizes take part.
    const BitmapHandle first = Noise(311, 1900, 32, 1);
    const BitmapHandle second = Noise(305, 1880, 24, 2);
    Results one;
    {
        const tbb::global_control single(tbb::global_control::max_allowed_parallelism, 1);
        one = RunEverything(first.get(), second.get());
    }
    Results several;
    {
        const tbb::global_control many(tbb::global_control::max_allowed_parallelism, 4);
        tbb::task_arena arena(4);
        arena.execute([&] { several = RunEverything(first.get(), second.get()); });
    }
    ASSERT_EQ(one.pictures.size(), several.pictures.size());
    for (std::size_t i = 0; i < one.pictures.size(); ++i) {
        EXPECT_TRUE(one.pictures[i] == several.pictures[i]) << "picture " << i;
    }
    EXPECT_EQ(one.labels, several.labels);
    EXPECT_NE(one.labels.back(), "R:100.00 G:100.00 B:100.00");
}

// Where a piece of rows starts, the kernels that look at the row above must still see it: the
// tall image's local variation and LSB changes, pixel by pixel and column by column.
TEST(Threads, PiecesSeeTheRowsAboveThem) {
    const BitmapHandle image = Noise(97, 2900, 32, 4);
    const PixelView view = ViewOfBitmap(image.get());
    const auto channel = [&](int x, int y, int offset) { return int{view.row(y)[4 * x + offset]}; };
    Bytes map(static_cast<std::size_t>(view.width) * view.height * 4);
    DrawLocalVariation(view, VariationChannel::Green,
                       {view.width, view.height, 4, view.width * 4, map.data()});
    int wrong = 0;
    for (int y = 1; y + 1 < view.height; ++y) {
        for (int x = 1; x + 1 < view.width; ++x) {
            std::array<int, 9> block{};
            for (int i = 0; i < 9; ++i) {
                block[static_cast<std::size_t>(i)] = channel(x - 1 + i % 3, y - 1 + i / 3, kGreen);
            }
            wrong += map[(static_cast<std::size_t>(y) * view.width + x) * 4] !=
                     VariationOfBlock(block).grey;
        }
    }
    EXPECT_EQ(wrong, 0);

    const LsbColumnCounts counts = CountLsbColumns(view, WithChanges::Yes);
    for (int x = 0; x < view.width; ++x) {
        int set = 0;
        int changes = 0;
        for (int y = 0; y < view.height; ++y) {
            for (const int offset : {kRed, kGreen, kBlue}) {
                set += channel(x, y, offset) & 1;
                changes += y > 0 && ((channel(x, y, offset) ^ channel(x, y - 1, offset)) & 1);
            }
        }
        EXPECT_EQ(counts.setCount(x), set) << "column " << x;
        EXPECT_EQ(counts.changes[static_cast<std::size_t>(x)], changes) << "column " << x;
    }
}

} // namespace
} // namespace vantrel
