#pragma once
// The four attacks written straight from their descriptions, one FreeImage_GetPixelColor call a
// pixel and one formula at a time: the baseline of the benchmarks and the reference the fused
// kernel is tested against.
#include "blind/BlindAttacks.h"
#include "image/Bitmap.h"

#include <cstdint>
#include <vector>

namespace vantrel::naive {

// The samples of one colour channel (0 red, 1 green, 2 blue) of a 24/32-bit bitmap, top row
// first.
struct Samples {
    int width = 0;
    int height = 0;
    std::vector<int> s;
    // Not under alpha 0, not saturated, not in a 3 x 3 neighbourhood of one LSB pair.
    std::vector<bool> usable;
    int at(int x, int y) const { return s[static_cast<std::size_t>(y) * width + x]; }
    bool use(int x, int y) const { return usable[static_cast<std::size_t>(y) * width + x]; }
};
Samples ReadChannel(const FIBITMAP* bitmap, int channel);

ChiSquareResult ChiSquare(const Samples& samples);
RsResult Rs(const Samples& samples);
SpaResult Spa(const Samples& samples);
WsResult Ws(const Samples& samples);

} // namespace vantrel::naive
