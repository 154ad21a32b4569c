#include "GridRun.h"

#include "BenchSupport.h"
#include "image/ImageLoading.h"

#include <array>
#include <vector>

namespace vantrel::bench {

ImagePair MakeImagePair(int width, int height) {
    ImagePair pair;
    pair.first = SyntheticBitmap(32, 1, width, height);
    pair.second = CloneBitmap(pair.first.get());
    std::mt19937 random(2);
    const MutablePixelView view = MutableViewOfBitmap(pair.second.get());
    for (int y = 0; y < view.height; ++y) {
        std::uint8_t* row = view.row(y);
        for (int i = 0; i < view.width * 4; i += 32) {
            const std::uint32_t bits = random();
            for (int k = 0; k < 32 && i + k < view.width * 4; ++k) {
                row[i + k] ^= static_cast<std::uint8_t>((bits >> k) & 1);
            }
        }
    }
    return pair;
}

std::int64_t RunWindow(AnalysisBitmaps& bitmaps, PlaneKind kind, const ImagePair& images,
                       bool thumbnails) {
    bitmaps.start(kind, BitmapWidth(images.first.get()), BitmapHeight(images.first.get()));
    const PixelView first = ViewOfBitmap(images.first.get());
    const PixelView second = ViewOfBitmap(images.second.get());
    std::vector<std::uint8_t> screen(100 * 100 * 4);
    std::int64_t total = 0;
    const auto& order = PictureOrder();
    std::array<std::int64_t, kPictureCount> changes{};
    std::array<bool, kPictureCount> made{};
    bitmaps.computeMany(order, first, second, changes, made, thumbnails ? 100 : 0);
    for (std::size_t position = 0; position < order.size(); ++position) {
        total += changes[position];
        if (thumbnails) {
            const BitmapHandle thumbnail = bitmaps.thumbnail(order[position], 100);
            CopyBitmapToBgrx(thumbnail.get(), screen.data(), BitmapWidth(thumbnail.get()) * 4);
        }
    }
    return total;
}

} // namespace vantrel::bench
