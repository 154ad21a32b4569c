#pragma once
// The analysis pictures computed the slow way, one FreeImage_GetPixelColor per image and one
// FreeImage_SetPixelColor per pixel, x in the outer loop and y in the inner: the baseline of the
// benchmarks and the reference the tests hold the kernels to.
#include "multiwindow/PlaneKernels.h"

#include <cstdint>

struct FIBITMAP;

namespace vantrel::naive {

// Writes picture `index` of a window of `kind` into `out` (a 32-bit bitmap of the first image's
// size) and returns the change count. `second` is ignored by the bit-plane window. Colours read
// start at (0, 0, 0, 0) and a failed read keeps the last colour read.
std::int64_t NaivePicture(PlaneKind kind, int index, FIBITMAP* first, FIBITMAP* second,
                          FIBITMAP* out);

} // namespace vantrel::naive
