#pragma once
// The peak signal-to-noise ratio of the test picture against the original picture, one figure a
// colour channel.
#include "image/PixelView.h"

#include <cstdint>
#include <string>

namespace vantrel {

struct SquaredErrors {
    std::int64_t red = 0;
    std::int64_t green = 0;
    std::int64_t blue = 0;
    std::int64_t pixels = 0; // N: the original picture's width times its height
};

// Sums over the original picture's area; where the test picture has no pixel it is read as -1,
// that is red -1, green 0, blue 0. The test picture's own size is not consulted otherwise.
SquaredErrors SumSquaredErrors(const PixelView& original, const PixelView& test);

// 20·log10(255 / √MSE) with MSE = sum / pixels; 100 for a channel without error.
double ChannelPsnr(std::int64_t sum, std::int64_t pixels);

// "00.00": at least two digits before the point and two after it.
std::string FormatPsnrValue(double value);

// "R:48.13 G:100.00 B:100.00".
std::string CalcPSNR(const PixelView& original, const PixelView& test);

} // namespace vantrel
