// Thumbnails and pixel copies of decoded bitmaps.
#include "image/Bitmap.h"

#include <FreeImage.h>

#include <cmath>
#include <cstring>

namespace vantrel {

BitmapHandle ToStandardBitmap(BitmapHandle bitmap) {
    if (!bitmap) {
        return nullptr;
    }
    FIBITMAP* source = bitmap.get();
    const FREE_IMAGE_TYPE type = FreeImage_GetImageType(source);
    const unsigned bpp = FreeImage_GetBPP(source);
    if (type == FIT_BITMAP && (bpp == 24 || bpp == 32)) {
        return bitmap;
    }
    // FreeImage converts 16-bit-a-channel bitmaps itself; floating-point colour is tone mapped,
    // grey and scientific types are scaled linearly into 8 bits first.
    BitmapHandle intermediate;
    FIBITMAP* toConvert = source;
    if (type == FIT_RGBF || type == FIT_RGBAF) {
        intermediate.reset(FreeImage_ToneMapping(source, FITMO_DRAGO03));
        toConvert = intermediate.get();
    } else if (type != FIT_BITMAP && type != FIT_RGB16 && type != FIT_RGBA16) {
        intermediate.reset(FreeImage_ConvertToStandardType(source, TRUE));
        toConvert = intermediate.get();
    }
    if (toConvert == nullptr) {
        return nullptr;
    }
    const bool transparent =
        FreeImage_IsTransparent(source) || type == FIT_RGBA16 || type == FIT_RGBAF;
    BitmapHandle converted(transparent ? FreeImage_ConvertTo32Bits(toConvert)
                                       : FreeImage_ConvertTo24Bits(toConvert));
    if (!converted) {
        return nullptr;
    }
    FreeImage_CloneMetadata(converted.get(), source);
    return converted;
}

Size FitLongSideSize(int width, int height, int longSide) {
    if (width <= 0 || height <= 0) {
        return {};
    }
    const double aspect = static_cast<double>(width) / static_cast<double>(height);
    if (width >= height) {
        return {longSide, static_cast<int>(std::nearbyint(longSide / aspect))};
    }
    return {static_cast<int>(std::nearbyint(aspect * longSide)), longSide};
}

BitmapHandle FitLongSide(const FIBITMAP* bitmap, int longSide) {
    if (bitmap == nullptr) {
        return nullptr;
    }
    const Size size = FitLongSideSize(BitmapWidth(bitmap), BitmapHeight(bitmap), longSide);
    if (size.width <= 0 || size.height <= 0) {
        return nullptr;
    }
    return BitmapHandle(
        FreeImage_Rescale(const_cast<FIBITMAP*>(bitmap), size.width, size.height, FILTER_BOX));
}

bool CopyBitmapToBgrx(const FIBITMAP* bitmap, std::uint8_t* destination, std::ptrdiff_t stride) {
    PixelView view = ViewOfBitmap(bitmap);
    BitmapHandle converted;
    if (view.empty()) {
        if (bitmap == nullptr || !FreeImage_HasPixels(const_cast<FIBITMAP*>(bitmap))) {
            return false;
        }
        // Palette and other kinds: through FreeImage's own conversion (colour table applied).
        converted = ToStandardBitmap(CloneBitmap(bitmap));
        view = ViewOfBitmap(converted.get());
        if (view.empty()) {
            return false;
        }
    }
    for (int y = 0; y < view.height; ++y) {
        const std::uint8_t* in = view.row(y);
        std::uint8_t* out = destination + y * stride;
        if (view.bytesPerPixel == 4) {
            std::memcpy(out, in, static_cast<std::size_t>(view.width) * 4);
            for (int x = 0; x < view.width; ++x) {
                out[4 * x + 3] = 0xFF;
            }
        } else {
            for (int x = 0; x < view.width; ++x) {
                out[4 * x + 0] = in[3 * x + 0];
                out[4 * x + 1] = in[3 * x + 1];
                out[4 * x + 2] = in[3 * x + 2];
                out[4 * x + 3] = 0xFF;
            }
        }
    }
    return true;
}

} // namespace vantrel
