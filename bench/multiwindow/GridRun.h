#pragma once
// One window's run as the benchmarks and the memory probe make it: the image pair a window is
// handed, and its 45 pictures computed in run order, with or without their thumbnails.
#include "image/Bitmap.h"
#include "multiwindow/AnalysisBitmaps.h"

#include <cstdint>

namespace vantrel::bench {

struct ImagePair {
    BitmapHandle first;
    BitmapHandle second; // the first with the lowest bit of about half its samples flipped
};

ImagePair MakeImagePair(int width, int height);

// Computes every picture in one pass, as the window does; with thumbnails also makes each
// thumbnail and its screen picture (as the window does before it yields). Returns the sum of the
// change counts.
std::int64_t RunWindow(AnalysisBitmaps& bitmaps, PlaneKind kind, const ImagePair& images,
                       bool thumbnails);

} // namespace vantrel::bench
