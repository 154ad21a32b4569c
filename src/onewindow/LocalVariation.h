#pragma once
// The local variation map: for each pixel with a full 3 x 3 neighbourhood, a grey that grows
// with the mean absolute deviation of one colour channel around the block's mean.
#include "image/ColorModel.h"
#include "image/PixelView.h"

#include <array>

namespace vantrel {

enum class VariationChannel { Red, Green, Blue };

// The view's background, which the map's one-pixel border keeps.
inline constexpr RgbColor kVariationBackground = MakeRgb(64, 64, 64);

// The grey level of a mean absolute deviation d (0 to 127; others are clamped): 0 for d = 0,
// else 255 - 50·log10(255 / d) rounded.
int VariationGrey(int deviation);

// The mean m and mean absolute deviation d of nine channel values, each rounded, and the grey
// of the block's centre.
struct BlockVariation {
    int mean = 0;
    int deviation = 0;
    int grey = 0;
};
BlockVariation VariationOfBlock(const std::array<int, 9>& values);

// Draws the grey of every pixel of `test` that has a full neighbourhood into `view` at the same
// place (where the view has it). Nothing else of the view is touched: the caller clears it.
void DrawLocalVariation(const PixelView& test, VariationChannel channel,
                        const MutablePixelView& view);

} // namespace vantrel
