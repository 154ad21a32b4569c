#pragma once
// The packed colour of a displayed picture and the helpers that take it apart. A displayed
// picture yields red in bits 0-7, green in 8-15, blue in 16-23; a read outside it yields -1.
#include <cmath>
#include <cstdint>

namespace vantrel {

using RgbColor = std::int32_t;

inline constexpr RgbColor kNoColor = -1;

// div and mod follow 32-bit signed arithmetic (truncation toward zero), which only matters for
// the -1 of a read outside a picture: RedOf(-1) is -1, GreenOf(-1) and BlueOf(-1) are 0.
constexpr std::int32_t RedOf(RgbColor c) {
    return c % 256;
}
constexpr std::int32_t GreenOf(RgbColor c) {
    return (c / 256) % 256;
}
constexpr std::int32_t BlueOf(RgbColor c) {
    return (c / 65536) % 256;
}

constexpr RgbColor MakeRgb(int red, int green, int blue) {
    return red + 256 * green + 65536 * blue;
}

inline double Log10(double x) {
    return std::log(x) / std::log(10.0);
}

} // namespace vantrel
