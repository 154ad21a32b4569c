#include "multiwindow/AnalysisBitmaps.h"

#include "image/ImageLoading.h"
#include "image/Parallel.h"
#include "multiwindow/PictureThumbnails.h"

#include <FreeImage.h>

#include <algorithm>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <memory>
#include <utility>
#include <vector>

namespace vantrel {
namespace {

bool ValidIndex(int index) {
    return index >= 0 && index < kPictureCount;
}

// The picture's palette gives each code its colour.
void SetPalette(FIBITMAP* bitmap, const PictureFormat& format) {
    if (format.bitsPerPixel > 8) {
        return;
    }
    RGBQUAD* palette = FreeImage_GetPalette(bitmap);
    const unsigned entries = FreeImage_GetColorsUsed(bitmap);
    for (unsigned i = 0; i < entries; ++i) {
        palette[i].rgbBlue = format.palette[i].blue;
        palette[i].rgbGreen = format.palette[i].green;
        palette[i].rgbRed = format.palette[i].red;
        palette[i].rgbReserved = 0;
    }
}

} // namespace

void AnalysisBitmaps::start(PlaneKind kind, int width, int height) {
    release();
    kind_ = kind;
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
}

void AnalysisBitmaps::release() {
    for (BitmapHandle& picture : pictures_) {
        picture.reset();
    }
    for (BitmapHandle& thumbnail : thumbnails_) {
        thumbnail.reset();
    }
}

bool AnalysisBitmaps::empty() const {
    for (const BitmapHandle& picture : pictures_) {
        if (picture) {
            return false;
        }
    }
    return true;
}

bool AnalysisBitmaps::has(int index) const {
    return ValidIndex(index) && pictures_[index];
}

bool AnalysisBitmaps::compute(int index, const PixelView& first, const PixelView& second,
                              std::int64_t* changes) {
    bool made = false;
    std::int64_t counted = 0;
    computeMany(std::span<const int>(&index, 1), first, second,
                std::span<std::int64_t>(&counted, 1), std::span<bool>(&made, 1));
    if (changes != nullptr) {
        *changes = counted;
    }
    return made;
}

bool AnalysisBitmaps::preparePicture(int index) {
    if (!ValidIndex(index) || width_ <= 0 || height_ <= 0) {
        return false;
    }
    BitmapHandle& picture = pictures_[index];
    picture.reset();
    thumbnails_[static_cast<std::size_t>(index)].reset();
    const PictureFormat format = FormatOf(kind_, index);
    picture = AllocateZeroedBitmap(width_, height_, format.bitsPerPixel);
    if (!picture) {
        return false;
    }
    SetPalette(picture.get(), format);
    return true;
}

void AnalysisBitmaps::computeMany(std::span<const int> indices, const PixelView& first,
                                  const PixelView& second, std::span<std::int64_t> changes,
                                  std::span<bool> made, int thumbnailSide) {
    std::vector<int> ready;
    std::vector<PackedView> outs;
    for (std::size_t i = 0; i < indices.size(); ++i) {
        const bool prepared = preparePicture(indices[i]);
        if (i < made.size()) {
            made[i] = prepared;
        }
        if (i < changes.size()) {
            changes[i] = 0;
        }
        if (prepared) {
            ready.push_back(indices[i]);
            outs.push_back(packed(indices[i]));
        }
    }
    // A thumbnail maker for each picture the box kernel can shrink; the pass then keeps each
    // box of rows in one piece. The pictures are fresh, all zero: the pass leaves rows of code 0
    // unwritten.
    const Size size = FitLongSideSize(width_, height_, thumbnailSide);
    std::vector<std::unique_ptr<ThumbnailMaker>> makers(ready.size());
    std::vector<PictureRowSink*> sinks(ready.size(), nullptr);
    std::vector<int> pieceEnds;
    // A picture made of three others' channels, all in this pass, takes its thumbnail from
    // theirs (see composeThumbnail) rather than reducing its own rows.
    const auto composed = [&](int index) {
        const auto sources = ChannelSources(kind_, index);
        return sources && std::all_of(sources->begin(), sources->end(), [&](int source) {
                   return std::find(ready.begin(), ready.end(), source) != ready.end();
               });
    };
    for (std::size_t r = 0; thumbnailSide > 0 && r < ready.size(); ++r) {
        if (composed(ready[r])) {
            continue;
        }
        auto maker = std::make_unique<ThumbnailMaker>(FormatOf(kind_, ready[r]), width_, height_,
                                                      size.width, size.height);
        if (maker->ready()) {
            if (pieceEnds.empty()) {
                pieceEnds = maker->rowPieces(RowsPerPiece(static_cast<std::size_t>(width_) * 4));
            }
            sinks[r] = maker.get();
            makers[r] = std::move(maker);
        }
    }
    const std::vector<std::int64_t> counted =
        ComputePictures(kind_, ready, first, second, outs, {sinks, pieceEnds, true});
    for (std::size_t r = 0; r < ready.size(); ++r) {
        if (makers[r]) {
            thumbnails_[static_cast<std::size_t>(ready[r])] = makers[r]->take();
            thumbnailSides_[static_cast<std::size_t>(ready[r])] = thumbnailSide;
        }
    }
    for (std::size_t r = 0; thumbnailSide > 0 && r < ready.size(); ++r) {
        if (composed(ready[r])) {
            composeThumbnail(ready[r], thumbnailSide);
        }
    }
    makers.clear();
#ifdef __GLIBC__
    // The makers' boxes came and went on the pass's threads, whose heaps keep the freed memory
    // (two megabytes or so at 24 MP) while the window holds hundreds in pictures: handed back.
    malloc_trim(0);
#endif
    for (std::size_t i = 0, r = 0; i < indices.size() && r < ready.size(); ++i) {
        if (indices[i] == ready[r]) {
            if (i < changes.size()) {
                changes[i] = counted[r];
            }
            ++r;
        }
    }
}

void AnalysisBitmaps::composeThumbnail(int index, int thumbnailSide) {
    std::array<FIBITMAP*, 3> sources{};
    const std::array<int, 3> from = *ChannelSources(kind_, index);
    for (std::size_t c = 0; c < 3; ++c) {
        const auto source = static_cast<std::size_t>(from[c]);
        sources[c] = thumbnailSides_[source] == thumbnailSide ? thumbnails_[source].get() : nullptr;
    }
    FIBITMAP* first = sources[0];
    const bool usable = std::all_of(sources.begin(), sources.end(), [&](FIBITMAP* source) {
        return source != nullptr && FreeImage_GetBPP(source) == 24 &&
               FreeImage_GetWidth(source) == FreeImage_GetWidth(first) &&
               FreeImage_GetHeight(source) == FreeImage_GetHeight(first);
    });
    if (!usable) {
        return; // thumbnail() makes it from the picture instead
    }
    const int width = static_cast<int>(FreeImage_GetWidth(first));
    const int height = static_cast<int>(FreeImage_GetHeight(first));
    BitmapHandle thumbnail(FreeImage_Allocate(width, height, 24));
    if (!thumbnail) {
        return;
    }
    for (int y = 0; y < height; ++y) {
        BYTE* out = FreeImage_GetScanLine(thumbnail.get(), y);
        for (std::size_t c = 0; c < 3; ++c) {
            const BYTE* in = FreeImage_GetScanLine(sources[c], y);
            for (int x = 0; x < width; ++x) {
                out[3 * x + c] = in[3 * x + c];
            }
        }
    }
    thumbnails_[static_cast<std::size_t>(index)] = std::move(thumbnail);
    thumbnailSides_[static_cast<std::size_t>(index)] = thumbnailSide;
}

const FIBITMAP* AnalysisBitmaps::picture(int index) const {
    return ValidIndex(index) ? pictures_[index].get() : nullptr;
}

PackedView AnalysisBitmaps::packed(int index) const {
    FIBITMAP* bitmap = ValidIndex(index) ? pictures_[index].get() : nullptr;
    if (bitmap == nullptr) {
        return {};
    }
    const auto pitch = static_cast<std::ptrdiff_t>(FreeImage_GetPitch(bitmap));
    // Bottom-up storage: the top row is the last scanline.
    return {width_, height_, static_cast<int>(FreeImage_GetBPP(bitmap)), -pitch,
            FreeImage_GetScanLine(bitmap, height_ - 1)};
}

BitmapHandle AnalysisBitmaps::thumbnail(int index, int longSide) {
    // FreeImage filters a palette bitmap through its colours, exactly as it filters the
    // expanded colours, so the thumbnail is made from the compact picture; the box kernel does
    // what FreeImage's rescale does without its general per-pixel path.
    const Size size = FitLongSideSize(width_, height_, longSide);
    if (!has(index) || size.width <= 0 || size.height <= 0) {
        return nullptr;
    }
    if (thumbnails_[static_cast<std::size_t>(index)] &&
        thumbnailSides_[static_cast<std::size_t>(index)] == longSide) {
        thumbnailSides_[static_cast<std::size_t>(index)] = 0;
        return std::move(thumbnails_[static_cast<std::size_t>(index)]);
    }
    if (BitmapHandle made =
            BoxThumbnail(packed(index), FormatOf(kind_, index), size.width, size.height)) {
        return made;
    }
    return FitLongSide(picture(index), longSide);
}

BitmapHandle AnalysisBitmaps::fullBitmap(int index) const {
    BitmapHandle full = AllocateZeroedBitmap(width_, height_, 32);
    if (!full || !has(index)) {
        return full; // all bytes zero: black, alpha 0
    }
    ExpandPicture(packed(index), FormatOf(kind_, index), MutableViewOfBitmap(full.get()));
    return full;
}

std::int64_t AnalysisBitmaps::litPixels(int index) const {
    return has(index) ? LitPixels(packed(index)) : 0;
}

std::size_t AnalysisBitmaps::bytes() const {
    std::size_t total = 0;
    for (const BitmapHandle& picture : pictures_) {
        if (picture) {
            total += picture.get_deleter().memory.size() + FreeImage_GetMemorySize(picture.get());
        }
    }
    return total;
}

} // namespace vantrel
