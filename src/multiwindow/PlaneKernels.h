#pragma once
// The kernels of the 45 analysis pictures (see PictureTable.h): each picture computed in one
// pass over the rows of the source images, all of a window's pictures in the same pass.
//
// A picture is computed into packed codes (1, 4 or 8 bits a pixel, or 24-bit colour for the
// plain colour image) with a palette that turns each code into its colour. Code 0 is black in
// every palette, so a picture not yet computed (all zero) shows black.
#include "image/PixelView.h"
#include "multiwindow/PictureTable.h"

#include <cstdint>
#include <span>
#include <vector>

namespace vantrel {

// Rows of a picture's packed codes, top row first; codes fill each byte from its high bits, as
// FreeImage's 1- and 4-bit bitmaps do.
struct PackedView {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 1;
    std::ptrdiff_t stride = 0;
    std::uint8_t* top = nullptr;
    std::uint8_t* row(int y) const { return top + static_cast<std::ptrdiff_t>(y) * stride; }
};

// Computes picture `index` of a window of the given kind into `out` (W x H of the first image,
// all of it written) and returns its change count (0 for the bit-plane window).
//
// `first` and `second` are the images as read (24- or 32-bit rows, top first; a 24-bit pixel's
// alpha reads 0). An empty view stands for an image that yields no colours: every pixel reads
// (0, 0, 0, 0). When the second image has another size, only the area both cover is compared,
// lined up at the bitmaps' first row and column (the bottom-left corner); the rest of the
// picture is black and counts nothing.
std::int64_t ComputePicture(PlaneKind kind, int index, const PixelView& first,
                            const PixelView& second, const PackedView& out);

// Receives the rows of a picture as a pass writes them, while they are still in the cache.
class PictureRowSink {
public:
    // Row y, counted from the top, in the picture's packed form; null for a row of code 0 alone
    // that the pass left unwritten (see PassRows::zeroed).
    virtual void row(int y, const std::uint8_t* packed) = 0;

protected:
    ~PictureRowSink() = default;
};

// What a pass does besides the pictures: `sinks[i]`, when there and not null, receives each row
// of `outs[i]` as it is written; the rows run in pieces ending at `pieceEnds` (counted from the
// top, ascending, the last the height), or in pieces of the pass's own choosing when empty.
// The order is a promise to the sinks: each piece runs on one thread, from its last row to its
// first (the bottom row up), every row once. A thumbnail maker adds a box's rows in that order
// to round as FreeImage does, and gives up on rows out of it; its rowPieces() never cut a box.
struct PassRows {
    std::span<PictureRowSink* const> sinks;
    std::span<const int> pieceEnds;
    // The pictures' memory is all zero (fresh): rows of code 0 alone are not written, so a
    // picture with nothing to show (a bit no pixel changed) never touches its memory.
    bool zeroed = false;
};

// Several pictures of one window at once, `outs[i]` for `indices[i]` (each as ComputePicture
// has it), in one pass over the rows of the images: each row is read from memory once for all
// of them. Returns the change counts in the same order.
std::vector<std::int64_t> ComputePictures(PlaneKind kind, std::span<const int> indices,
                                          const PixelView& first, const PixelView& second,
                                          std::span<const PackedView> outs,
                                          const PassRows& rows = {});

// The number of pixels of a packed picture that are not black.
std::int64_t LitPixels(const PackedView& picture);

// Writes the colours of a packed picture into 32-bit rows (blue, green, red, alpha 0), as the
// analysis bitmap the viewer receives.
void ExpandPicture(const PackedView& picture, const PictureFormat& format,
                   const MutablePixelView& out);

} // namespace vantrel
