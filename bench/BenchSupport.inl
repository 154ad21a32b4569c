#include <FreeImage.h>

namespace vantrel::bench {

inline BitmapHandle SyntheticBitmap(int bitsPerPixel, unsigned seed, int width, int height) {
    BitmapHandle bitmap(FreeImage_Allocate(width, height, bitsPerPixel));
    std::mt19937 random(seed);
    const MutablePixelView view = MutableViewOfBitmap(bitmap.get());
    for (int y = 0; y < view.height; ++y) {
        std::uint8_t* row = view.row(y);
        for (int i = 0; i < view.width * view.bytesPerPixel; i += 4) {
            const std::uint32_t r = random();
            const int left = std::min(4, view.width * view.bytesPerPixel - i);
            std::memcpy(row + i, &r, static_cast<std::size_t>(left));
        }
    }
    return bitmap;
}

} // namespace vantrel::bench
