#include "widgets/Pictures.h"

#include "image/ImageLoading.h"

#include <cstring>

namespace vantrel {

QImage BitmapToPicture(const FIBITMAP* bitmap) {
    const int width = BitmapWidth(bitmap);
    const int height = BitmapHeight(bitmap);
    if (width <= 0 || height <= 0) {
        return {};
    }
    QImage picture(width, height, QImage::Format_RGB32);
    if (picture.isNull() || !CopyBitmapToBgrx(bitmap, picture.bits(), picture.bytesPerLine())) {
        return {};
    }
    return picture;
}

QImage BitmapToPicture(BitmapHandle&& bitmap) {
    BitmapHandle released = std::move(bitmap);
    return BitmapToPicture(released.get());
}

PixelView ViewOfImage(const QImage& image) {
    if (image.isNull() || image.depth() != 32) {
        return {};
    }
    return {image.width(), image.height(), 4, image.bytesPerLine(), image.constBits()};
}

MutablePixelView MutableViewOfImage(QImage& image) {
    if (image.isNull() || image.depth() != 32) {
        return {};
    }
    return {image.width(), image.height(), 4, image.bytesPerLine(), image.bits()};
}

QImage ImageFromView(const PixelView& view) {
    if (view.empty()) {
        return {};
    }
    QImage image(view.width, view.height, QImage::Format_RGB32);
    for (int y = 0; y < view.height; ++y) {
        const std::uint8_t* in = view.row(y);
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < view.width; ++x) {
            const std::uint8_t* pixel = in + x * view.bytesPerPixel;
            out[x] = qRgb(pixel[kRed], pixel[kGreen], pixel[kBlue]);
        }
    }
    return image;
}

} // namespace vantrel
