#include "extract/ExtractSupport.h"

#include <FreeImage.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <stdexcept>

namespace vantrel::extract::testing {

BitmapHandle NaturalBitmap(int width, int height, int bitsPerPixel, unsigned seed) {
    BitmapHandle bitmap(FreeImage_Allocate(width, height, bitsPerPixel));
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, 2.0);
    const MutablePixelView view = MutableViewOfBitmap(bitmap.get());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* pixel = view.row(y) + x * view.bytesPerPixel;
            for (int c = 0; c < 3; ++c) {
                const double field = 120 + 60 * std::sin(0.05 * x + c) * std::cos(0.07 * y - c);
                pixel[c] = static_cast<std::uint8_t>(
                    std::clamp(std::lrint(field + noise(random)), 0L, 255L));
            }
            if (view.bytesPerPixel == 4) {
                pixel[3] = 255;
            }
        }
    }
    return bitmap;
}

bool Embed(FIBITMAP* bitmap, const Layout& layout, const std::vector<std::uint8_t>& bytes) {
    const MutablePixelView view = MutableViewOfBitmap(bitmap);
    std::vector<int> shifts;
    for (int bit = 7; bit >= 0; --bit) {
        if ((layout.mask >> bit) & 1) {
            shifts.push_back(bit);
        }
    }
    PrimeIndices primes(std::uint64_t(view.width) * view.height);
    const std::size_t totalBits = bytes.size() * 8;
    std::size_t next = 0;
    for (std::uint64_t n = 0; next < totalBits; ++n) {
        const std::uint64_t k = layout.prime ? primes.nth(n) : n;
        if (k >= std::uint64_t(view.width) * view.height) {
            return false;
        }
        const PixelAt at = PixelInOrder(layout.order, view.width, view.height, k);
        std::uint8_t* pixel = view.row(at.y) + at.x * view.bytesPerPixel;
        for (const Channel channel : layout.channels) {
            static constexpr int kOffset[] = {kRed, kGreen, kBlue, kAlpha, -1};
            std::uint8_t& sample = pixel[kOffset[static_cast<int>(channel)]];
            for (const int shift : shifts) {
                if (next == totalBits) {
                    return true;
                }
                const int bitInByte = layout.msbFirstBitLow ? next % 8 : 7 - next % 8;
                const int bit = (bytes[next / 8] >> bitInByte) & 1;
                sample = static_cast<std::uint8_t>((sample & ~(1 << shift)) | (bit << shift));
                ++next;
            }
        }
    }
    return true;
}

Layout LayoutOf(const char* text) {
    const LayoutParse parsed = ParseLayout(text);
    if (!parsed.layout) {
        throw std::invalid_argument(parsed.error);
    }
    return *parsed.layout;
}

std::vector<std::uint8_t> BytesOf(const std::string& text) {
    return {text.begin(), text.end()};
}

} // namespace vantrel::extract::testing
