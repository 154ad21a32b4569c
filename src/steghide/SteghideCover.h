#pragma once
// The samples steghide 0.5.1 embeds in, as it numbers them, reduced to what extraction reads of
// each: its embedded value. steghide groups `samplesPerValue` samples into one value (a vertex of
// its matching graph), the value being their values' sum mod `modulus`, and the value carries
// log2(modulus) bits, lowest first.
#include "image/Result.h"
#include "jpeg/JpegCoefficients.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantrel {

struct SteghideCover {
    std::vector<std::uint8_t> values; // the embedded value of each sample, below `modulus`
    int samplesPerValue = 3;
    int modulus = 2;
    int bitsPerValue = 1;
};

// The pixel bytes of a BMP as the file stores them: `height` rows of `stride` bytes, the bottom
// row first, each row's pixels packed at `bitsPerPixel` (1, 4, 8 or 24; 24-bit pixels as B, G, R).
// steghide reads only the palette indices of palette BMPs, never the palette's colours.
struct BmpPixelData {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 24;
    std::size_t stride = 0;
    std::vector<std::uint8_t> bytes;
};

// Every nonzero quantized coefficient, DC included, component by component in frame order, block
// row by block row, each block in natural order; value |c| mod 2, three samples a bit.
Result<SteghideCover> SteghideJpegCover(const JpegCoefficients& jpeg);

// Every pixel, rows in file order; 24-bit: value ((R^G)&1)<<1 | ((R^B)&1), two samples to a
// two-bit value; 8-bit: index mod 4, three samples to a two-bit value; 1- and 4-bit: index mod 2,
// two samples a bit.
Result<SteghideCover> SteghideBmpCover(const BmpPixelData& bmp);

} // namespace vantrel
