#pragma once
// Displayed pictures: a QImage in Format_RGB32 that holds exactly a bitmap's colours, top row
// first. RgbColor keeps red in the low byte, QRgb in bits 16-23; the two meet only here.
#include "image/Bitmap.h"
#include "image/ColorModel.h"
#include "image/Image.h"

#include <QImage>
#include <QRgb>

namespace vantrel {

constexpr RgbColor RgbColorFromQRgb(QRgb rgb) {
    return MakeRgb(qRed(rgb), qGreen(rgb), qBlue(rgb));
}

constexpr QRgb QRgbFromRgbColor(RgbColor color) {
    return qRgb(RedOf(color), GreenOf(color), BlueOf(color));
}

// The screen picture of an image at 1:1, or a null QImage for an image without pixels or a failed
// conversion.
QImage PictureOf(const Image& image);
// The same for a bitmap made for display alone (a thumbnail, a zoom cut-out, an analysis
// picture's palette bitmap), which is freed afterwards.
QImage BitmapToPicture(BitmapHandle&& bitmap);

// A view of a Format_RGB32 (or ARGB32) image's rows for the core's kernels. Empty for a null image
// or another format.
PixelView ViewOfImage(const QImage& image);
MutablePixelView MutableViewOfImage(QImage& image);

} // namespace vantrel
