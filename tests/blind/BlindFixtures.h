#pragma once
// Images for the blind attacks: smooth scenes with a little sensor-like noise, standing in for
// photographs, and LSB replacement embedded into them at a known rate.
#include "blind/BlindAttacks.h"
#include "image/Bitmap.h"

#include <FreeImage.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

namespace vantrel::testing {

// Gradients, a few soft waves and blobs, and Gaussian noise of `noise` grey levels, per channel,
// through a camera-like tone curve: its 8-bit quantisation leaves the uneven histograms of real
// photographs, which the chi-square attack relies on.
inline BitmapHandle NaturalImage(int width, int height, unsigned seed, double noise = 1.5,
                                 int bitsPerPixel = 24) {
    BitmapHandle bitmap(FreeImage_Allocate(width, height, bitsPerPixel));
    const MutablePixelView view = MutableViewOfBitmap(bitmap.get());
    std::mt19937 random(seed);
    std::normal_distribution<double> grain(0.0, noise);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    double phase[3][4];
    for (auto& channel : phase) {
        for (double& value : channel) {
            value = uniform(random);
        }
    }
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = view.row(y);
        for (int x = 0; x < width; ++x) {
            const double u = double(x) / width, v = double(y) / height;
            for (int c = 0; c < 3; ++c) {
                const double* k = phase[c];
                const double value =
                    60 + 90 * u * k[0] + 70 * v * (1 - k[1]) +
                    35 * std::sin(9 * u + 6 * k[2]) * std::cos(7 * v + 5 * k[3]) +
                    25 * std::exp(-30 * ((u - k[1]) * (u - k[1]) + (v - k[2]) * (v - k[2]))) +
                    grain(random);
                const double linear = std::clamp(std::nearbyint(value), 0.0, 255.0) / 255;
                row[x * view.bytesPerPixel + 2 - c] =
                    static_cast<std::uint8_t>(std::lrint(255 * std::pow(linear, 1 / 1.6)));
            }
            if (view.bytesPerPixel == 4) {
                row[x * 4 + 3] = static_cast<std::uint8_t>(x * 7 + y);
            }
        }
    }
    return bitmap;
}

// LSB replacement of `rate` x samples message bits in every colour channel: at random positions,
// or at the first samples in scan order (rows from the top, left to right). A grey picture (R = G
// = B) gets one message, in all three bytes, so that it stays grey.
inline void EmbedLsb(FIBITMAP* bitmap, double rate, bool sequential, unsigned seed,
                     bool grey = false) {
    const MutablePixelView view = MutableViewOfBitmap(bitmap);
    const std::size_t samples = static_cast<std::size_t>(view.width) * view.height;
    const std::size_t count = static_cast<std::size_t>(std::llround(rate * double(samples)));
    std::mt19937 random(seed);
    std::vector<std::uint32_t> positions(samples);
    for (int c = 0; c < (grey ? 1 : 3); ++c) {
        std::iota(positions.begin(), positions.end(), 0U);
        if (!sequential) {
            for (std::size_t i = 0; i < count; ++i) { // the first `count` of a shuffle
                std::swap(positions[i], positions[i + random() % (samples - i)]);
            }
        }
        for (std::size_t i = 0; i < count; ++i) {
            const int x = static_cast<int>(positions[i] % view.width);
            const int y = static_cast<int>(positions[i] / view.width);
            std::uint8_t* pixel = view.row(y) + x * view.bytesPerPixel;
            const auto bit = static_cast<std::uint8_t>(random() & 1);
            for (int byte = grey ? 0 : c; byte <= (grey ? 2 : c); ++byte) {
                pixel[byte] = static_cast<std::uint8_t>((pixel[byte] & 0xFE) | bit);
            }
        }
    }
}

// A bitmap of the given depth with every pixel's bytes from the function (x, y from the top).
template <typename Fill>
BitmapHandle MakeBitmap(int width, int height, int bitsPerPixel, Fill fill) {
    BitmapHandle bitmap(FreeImage_Allocate(width, height, bitsPerPixel));
    const MutablePixelView view = MutableViewOfBitmap(bitmap.get());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            fill(x, y, view.row(y) + x * view.bytesPerPixel);
        }
    }
    return bitmap;
}

// An 8-bit grey bitmap (a grey ramp palette) holding the rows given top first.
inline BitmapHandle GreyBitmap(int width, int height, const std::vector<int>& values) {
    BitmapHandle bitmap(FreeImage_Allocate(width, height, 24));
    const MutablePixelView view = MutableViewOfBitmap(bitmap.get());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::fill_n(view.row(y) + 3 * x, 3,
                        static_cast<std::uint8_t>(values[std::size_t(y) * width + x]));
        }
    }
    return bitmap;
}

// The attacks on a bitmap of standard pixels, which every one here is.
inline BlindResult Analysed(const FIBITMAP* bitmap, const BlindOptions& options = {}) {
    return AnalyseBitmap(ViewOfBitmap(bitmap), options).value();
}

} // namespace vantrel::testing
