#include "widgets/Pictures.h"

#include "image/ImageLoading.h"

#include <cstring>

namespace vantrel {
namespace {

QImage PictureOfBitmap(const FIBITMAP* bitmap) {
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

} // namespace

QImage PictureOf(const Image& image) {
    return PictureOfBitmap(image.bitmap());
}

QImage BitmapToPicture(BitmapHandle&& bitmap) {
    BitmapHandle released = std::move(bitmap);
    return PictureOfBitmap(released.get());
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

} // namespace vantrel
