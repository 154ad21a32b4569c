#pragma once
// Thumbnails of the compact analysis pictures, made straight from their packed codes with the box
// filter. The pixels are the very ones FreeImage_Rescale(..., FILTER_BOX) gives for the same
// bitmap, and so is the kind of bitmap: 8-bit grey for a picture whose palette is the plain grey
// ramp (or black and white), 24-bit colour otherwise.
#include "image/Bitmap.h"
#include "multiwindow/PlaneKernels.h"

#include <vector>

namespace vantrel {

// The source pixels [first, end) that one output pixel averages, each with the same weight;
// the box filter's weights as FreeImage computes them for a reduction.
struct BoxTaps {
    int first = 0;
    int end = 0;
    double weight = 0;
    friend bool operator==(const BoxTaps&, const BoxTaps&) = default;
};

// One entry per output pixel; empty unless 0 < outputSize < inputSize.
std::vector<BoxTaps> BoxReductionTaps(int outputSize, int inputSize);

// The picture reduced to width x height. Null when that is not a reduction on both sides or the
// palette is one FreeImage would treat in yet another way; FreeImage's own rescale serves those
// (small) cases.
BitmapHandle BoxThumbnail(const PackedView& picture, const PictureFormat& format, int width,
                          int height);

} // namespace vantrel
