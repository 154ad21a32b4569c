#pragma once
// Displayed pictures: a QImage in Format_RGB32 that holds exactly a bitmap's colours, top row
// first. RgbColor keeps red in the low byte, QRgb in bits 16-23; the two meet only here.
#include "image/Bitmap.h"
#include "image/ColorModel.h"

#include <QImage>
#include <QRgb>

namespace vantrel {

constexpr RgbColor RgbColorFromQRgb(QRgb rgb) {
    return MakeRgb(qRed(rgb), qGreen(rgb), qBlue(rgb));
}

constexpr QRgb QRgbFromRgbColor(RgbColor color) {
    return qRgb(RedOf(color), GreenOf(color), BlueOf(color));
}

// The screen picture of a bitmap at 1:1, or a null QImage for a null bitmap or a failed
// conversion. With `release` the bitmap is freed afterwards, as the open-image flow asks.
QImage BitmapToPicture(const FIBITMAP* bitmap);
QImage BitmapToPicture(BitmapHandle&& bitmap);

// A view of a Format_RGB32 (or ARGB32) image's rows for the core's kernels. Empty for a null image
// or another format.
PixelView ViewOfImage(const QImage& image);
MutablePixelView MutableViewOfImage(QImage& image);

// An RGB32 image holding the rows of the view (24- or 32-bit), alpha ignored.
QImage ImageFromView(const PixelView& view);

} // namespace vantrel
