#include "image/Bitmap.h"

#include <FreeImage.h>

namespace vantrel {

void BitmapDeleter::operator()(FIBITMAP* bitmap) const noexcept {
    if (bitmap != nullptr) {
        FreeImage_Unload(bitmap);
    }
}

BitmapHandle CloneBitmap(const FIBITMAP* bitmap) {
    if (bitmap == nullptr) {
        return nullptr;
    }
    return BitmapHandle(FreeImage_Clone(const_cast<FIBITMAP*>(bitmap)));
}

int BitmapWidth(const FIBITMAP* bitmap) {
    return bitmap ? static_cast<int>(FreeImage_GetWidth(const_cast<FIBITMAP*>(bitmap))) : 0;
}

int BitmapHeight(const FIBITMAP* bitmap) {
    return bitmap ? static_cast<int>(FreeImage_GetHeight(const_cast<FIBITMAP*>(bitmap))) : 0;
}

int BitmapBitsPerPixel(const FIBITMAP* bitmap) {
    return bitmap ? static_cast<int>(FreeImage_GetBPP(const_cast<FIBITMAP*>(bitmap))) : 0;
}

BitmapHandle AllocateBitmap32(int width, int height) {
    if (width <= 0 || height <= 0) {
        return nullptr;
    }
    return BitmapHandle(FreeImage_Allocate(width, height, 32));
}

MutablePixelView MutableViewOfBitmap(FIBITMAP* bitmap) {
    if (bitmap == nullptr || FreeImage_GetImageType(bitmap) != FIT_BITMAP ||
        !FreeImage_HasPixels(bitmap)) {
        return {};
    }
    const unsigned bpp = FreeImage_GetBPP(bitmap);
    if (bpp != 24 && bpp != 32) {
        return {};
    }
    const int width = static_cast<int>(FreeImage_GetWidth(bitmap));
    const int height = static_cast<int>(FreeImage_GetHeight(bitmap));
    if (width <= 0 || height <= 0) {
        return {};
    }
    const auto pitch = static_cast<std::ptrdiff_t>(FreeImage_GetPitch(bitmap));
    // FreeImage stores the bottom row first: the top row is the last scanline.
    return {width, height, static_cast<int>(bpp / 8), -pitch,
            FreeImage_GetScanLine(bitmap, height - 1)};
}

PixelView ViewOfBitmap(const FIBITMAP* bitmap) {
    return MutableViewOfBitmap(const_cast<FIBITMAP*>(bitmap));
}

} // namespace vantrel
