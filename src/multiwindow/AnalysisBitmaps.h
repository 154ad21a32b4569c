#pragma once
// The 45 analysis pictures of one bit-plane, comparison or direction window. Each is a FreeImage
// bitmap of the image's width and height, kept as compactly as its picture allows: 1 bit a pixel
// for a lit or dark bit plane, 4 bits for the three-colour and direction pictures, 8 bits for a
// channel's values, 24 bits only for the colour image itself; a palette gives each code its
// colour. A full 32-bit bitmap is made only for a picture that leaves the window (a viewer's
// copy), so that what it receives is the same as a 32-bit analysis bitmap.
#include "image/Bitmap.h"
#include "multiwindow/PlaneKernels.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vantrel {

class AnalysisBitmaps {
public:
    // Releases the pictures of an earlier run and sets the window kind and the size of the next;
    // each picture is made when it is computed.
    void start(PlaneKind kind, int width, int height);
    // Releases every picture; the handles are null afterwards.
    void release();

    bool empty() const;
    bool has(int index) const;
    PlaneKind kind() const { return kind_; }
    int width() const { return width_; }
    int height() const { return height_; }

    // Computes picture `index` from the images (see ComputePicture). False when its bitmap
    // cannot be made (a zero size, or memory refused); the picture then stays unset.
    bool compute(int index, const PixelView& first, const PixelView& second,
                 std::int64_t* changes = nullptr);

    // Computes the pictures `indices` (distinct) in one pass over the images' rows (see
    // ComputePictures); `made[i]` tells whether picture indices[i] could be made, `changes[i]`
    // holds its change count. With a thumbnail side, the thumbnails of that long side are made
    // in the same pass, from each row as it is written.
    void computeMany(std::span<const int> indices, const PixelView& first, const PixelView& second,
                     std::span<std::int64_t> changes, std::span<bool> made, int thumbnailSide = 0);

    // The compact bitmap of a computed picture, or null.
    const FIBITMAP* picture(int index) const;
    PackedView packed(int index) const;

    // FitLongSide of the picture (box filter); null when the picture is unset or too thin. The
    // one made during the pass when it has this side, handed over (a window shows it once, and
    // keeps no second copy while it holds the pictures); made again from the picture after that.
    BitmapHandle thumbnail(int index, int longSide);

    // The picture as a 32-bit bitmap with alpha 0: what a viewer receives. A picture not yet
    // computed comes out black; null when the size is zero or memory is refused.
    BitmapHandle fullBitmap(int index) const;

    std::int64_t litPixels(int index) const;

    // The memory the pictures hold.
    std::size_t bytes() const;

private:
    // Gives picture `index` fresh (black) pixel memory; false when it cannot be made.
    bool preparePicture(int index);
    // The thumbnail of a picture made of its sources' channels, from their thumbnails.
    void composeThumbnail(int index, int thumbnailSide);

    PlaneKind kind_ = PlaneKind::Planes;
    int width_ = 0;
    int height_ = 0;
    std::array<BitmapHandle, kPictureCount> pictures_;
    // Thumbnails made while their pictures were computed, and their long sides.
    std::array<BitmapHandle, kPictureCount> thumbnails_;
    std::array<int, kPictureCount> thumbnailSides_{};
};

} // namespace vantrel
