#pragma once
// Small pictures built in code for the one-window kernels: RgbColor pixels, read as -1 outside,
// stored as four-byte (or three-byte) blue, green, red rows like a displayed picture.
#include "image/ColorModel.h"
#include "image/PixelView.h"

#include <cstdint>
#include <random>
#include <vector>

namespace vantrel::testing {

class Grid {
public:
    Grid(int width, int height, int bytesPerPixel = 4, RgbColor fill = 0)
        : width_(width), height_(height), bytesPerPixel_(bytesPerPixel),
          // Three-byte rows get a padding byte so that rows start at odd places.
          stride_(width * bytesPerPixel + (bytesPerPixel == 3 ? 1 : 0)),
          bytes_(static_cast<std::size_t>(stride_) * height + 1) {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                set(x, y, fill);
            }
        }
    }

    int width() const { return width_; }
    int height() const { return height_; }

    RgbColor at(int x, int y) const {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) {
            return kNoColor;
        }
        const std::uint8_t* pixel = address(x, y);
        return MakeRgb(pixel[kRed], pixel[kGreen], pixel[kBlue]);
    }

    void set(int x, int y, RgbColor colour) {
        std::uint8_t* pixel = address(x, y);
        pixel[kRed] = static_cast<std::uint8_t>(RedOf(colour));
        pixel[kGreen] = static_cast<std::uint8_t>(GreenOf(colour));
        pixel[kBlue] = static_cast<std::uint8_t>(BlueOf(colour));
        if (bytesPerPixel_ == 4) {
            pixel[kAlpha] = 0xFF;
        }
    }

    // Noise whose LSBs and values are both well mixed.
    void randomise(unsigned seed) {
        std::mt19937 random(seed);
        for (int y = 0; y < height_; ++y) {
            for (int x = 0; x < width_; ++x) {
                set(x, y, static_cast<RgbColor>(random() & 0xFFFFFF));
            }
        }
    }

    PixelView view() const {
        return {width_, height_, bytesPerPixel_, stride_, width_ > 0 ? top() : nullptr};
    }
    MutablePixelView mutableView() {
        return {width_, height_, bytesPerPixel_, stride_, width_ > 0 ? top() : nullptr};
    }

private:
    // Three-byte grids start one byte in, off the word alignment.
    std::uint8_t* top() { return bytes_.data() + (bytesPerPixel_ == 3 ? 1 : 0); }
    const std::uint8_t* top() const { return bytes_.data() + (bytesPerPixel_ == 3 ? 1 : 0); }
    std::uint8_t* address(int x, int y) {
        return top() + static_cast<std::ptrdiff_t>(y) * stride_ + x * bytesPerPixel_;
    }
    const std::uint8_t* address(int x, int y) const {
        return top() + static_cast<std::ptrdiff_t>(y) * stride_ + x * bytesPerPixel_;
    }

    int width_;
    int height_;
    int bytesPerPixel_;
    std::ptrdiff_t stride_;
    std::vector<std::uint8_t> bytes_;
};

} // namespace vantrel::testing
