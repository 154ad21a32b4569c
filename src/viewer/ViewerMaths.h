#pragma once
// The coordinate maths of the full-size viewer and its zoom window, apart from any painting:
// the pixel readout under the pointer, the cut-out rectangle of the zoom, the window sizes.
#include "image/Bitmap.h"
#include "image/ImageLoading.h"

#include <cstdint>
#include <string>

namespace vantrel {

// The window margins, in twips, around the viewer's and the zoom window's picture.
inline constexpr int kPictureMarginWidthTwips = 500;
inline constexpr int kPictureMarginHeightTwips = 1300;

// The bitmap pixel drawn under the pointer at display position (X, Y), as the viewer reads it.
struct PixelReading {
    int x = 0;   // X rounded, halves to even
    int y = 0;   // the event's Y rounded: the readout shows display coordinates
    int row = 0; // the bitmap row (counted from the bottom) that is drawn at display row Y
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t reserved = 0; // alpha of a 32-bit bitmap; 0 in a 24-bit one
};

// Colours are zero where nothing can be read: outside the image, or an empty view. Every image a
// viewer receives has standard pixels (decoded images, and analysis pictures as 32-bit copies).
PixelReading ReadPixelUnderPointer(const PixelView& view, float X, float Y);

// "[X:0012 Y:0007] - R:255 G:128 B:000 A:255": at least four digits for a coordinate, three
// for a channel.
std::string ReadoutText(const PixelReading& reading);

// "640 X 480 Pixels".
std::string PixelSizeCaption(int width, int height);

// "500%" for a factor of 5.
std::string ZoomPercentCaption(int scale);

struct ZoomRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend bool operator==(const ZoomRect&, const ZoomRect&) = default;
};

// The rectangle, in display coordinates, of about (zoomWidth / scale) x (zoomHeight / scale)
// image pixels around the pointer (x, Y); each side rounded, halves to even. `scale` >= 1.
ZoomRect ZoomRectangle(int x, float Y, int zoomWidth, int zoomHeight, int scale);

// Whether the rectangle lies wholly inside an image of that size; the zoom follows the pointer
// only while it does.
bool ZoomRectInside(const ZoomRect& rect, int width, int height);

// The rectangle of the bitmap magnified to zoomWidth x zoomHeight with the box filter; null for
// a null bitmap, a non-positive size or an empty rectangle.
BitmapHandle ZoomCutOut(const FIBITMAP* bitmap, int zoomWidth, int zoomHeight,
                        const ZoomRect& rect);

// The viewer's outer size for a picture of width x height pixels: the picture plus the margins.
Size ViewerOuterSize(int width, int height);

// The zoom picture that fits an outer window of that size: the window less the margins, never
// negative.
Size FitZoomPicture(int outerWidth, int outerHeight);

} // namespace vantrel
