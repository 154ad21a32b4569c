#pragma once
// Views of pixel rows shared by every kernel. Bytes of a pixel are blue, green, red and, with
// four bytes a pixel, alpha: the layout of both a 24/32-bit FreeImage bitmap and a QImage of
// Format_RGB32/ARGB32 on a little-endian machine. Row 0 of a view is the top (display) row;
// a view of a bottom-up bitmap simply has a negative stride.
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace vantrel {

template <typename Byte> struct BasicPixelView {
    int width = 0;
    int height = 0;
    int bytesPerPixel = 4; // 3 or 4
    std::ptrdiff_t stride = 0;
    Byte* top = nullptr;

    bool empty() const { return top == nullptr || width <= 0 || height <= 0; }
    Byte* row(int y) const { return top + static_cast<std::ptrdiff_t>(y) * stride; }
    operator BasicPixelView<const std::uint8_t>() const requires(!std::is_const_v<Byte>) {
        return {width, height, bytesPerPixel, stride, top};
    }
};

using PixelView = BasicPixelView<const std::uint8_t>;
using MutablePixelView = BasicPixelView<std::uint8_t>;

// Channel offsets inside one pixel.
inline constexpr int kBlue = 0;
inline constexpr int kGreen = 1;
inline constexpr int kRed = 2;
inline constexpr int kAlpha = 3;

} // namespace vantrel
