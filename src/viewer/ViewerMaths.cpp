#include "viewer/ViewerMaths.h"

#include <FreeImage.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace vantrel {
namespace {

constexpr double kTwipsPerPixel = 15.0;

int Nearest(double value) {
    return static_cast<int>(std::lrint(value));
}

// At least `digits` digits, zero-filled on the left; a minus sign goes before the zeros.
std::string ZeroFilled(long value, int digits) {
    std::string text = std::to_string(std::labs(value));
    if (static_cast<int>(text.size()) < digits) {
        text.insert(0, static_cast<std::size_t>(digits) - text.size(), '0');
    }
    return value < 0 ? "-" + text : text;
}

} // namespace

PixelReading ReadPixelUnderPointer(const PixelView& view, float X, float Y) {
    PixelReading reading;
    reading.x = Nearest(X);
    reading.y = Nearest(Y);
    const int width = view.empty() ? 0 : view.width;
    const int height = view.empty() ? 0 : view.height;
    reading.row = Nearest(static_cast<double>(height) - Y - 1.0);
    if (reading.x < 0 || reading.x >= width || reading.row < 0 || reading.row >= height) {
        return reading;
    }
    // The view counts rows from the top.
    const std::uint8_t* pixel = view.row(height - 1 - reading.row) + reading.x * view.bytesPerPixel;
    reading.red = pixel[kRed];
    reading.green = pixel[kGreen];
    reading.blue = pixel[kBlue];
    reading.reserved = view.bytesPerPixel == 4 ? pixel[kAlpha] : 0;
    return reading;
}

std::string ReadoutText(const PixelReading& reading) {
    return "[X:" + ZeroFilled(reading.x, 4) + " Y:" + ZeroFilled(reading.y, 4) +
           "] - R:" + ZeroFilled(reading.red, 3) + " G:" + ZeroFilled(reading.green, 3) +
           " B:" + ZeroFilled(reading.blue, 3) + " A:" + ZeroFilled(reading.reserved, 3);
}

std::string PixelSizeCaption(int width, int height) {
    return std::to_string(width) + " X " + std::to_string(height) + " Pixels";
}

std::string ZoomPercentCaption(int scale) {
    return std::to_string(scale * 100) + "%";
}

ZoomRect ZoomRectangle(int x, float Y, int zoomWidth, int zoomHeight, int scale) {
    const double halfWidth = (static_cast<double>(zoomWidth) / scale) / 2.0;
    const double halfHeight = (static_cast<double>(zoomHeight) / scale) / 2.0;
    return {Nearest(x - halfWidth), Nearest(Y - halfHeight), Nearest(x + halfWidth),
            Nearest(Y + halfHeight)};
}

bool ZoomRectInside(const ZoomRect& rect, int width, int height) {
    return rect.left >= 0 && rect.top >= 0 && rect.right <= width - 1 && rect.bottom <= height - 1;
}

BitmapHandle ZoomCutOut(const FIBITMAP* bitmap, int zoomWidth, int zoomHeight,
                        const ZoomRect& rect) {
    if (bitmap == nullptr || zoomWidth <= 0 || zoomHeight <= 0 || rect.right <= rect.left ||
        rect.bottom <= rect.top) {
        return nullptr;
    }
    // FreeImage_RescaleRect counts the rectangle's rows from the top, as the display does.
    return BitmapHandle(FreeImage_RescaleRect(const_cast<FIBITMAP*>(bitmap), zoomWidth, zoomHeight,
                                              rect.left, rect.top, rect.right, rect.bottom,
                                              FILTER_BOX, 0));
}

Size ViewerOuterSize(int width, int height) {
    return {Nearest((width * kTwipsPerPixel + kPictureMarginWidthTwips) / kTwipsPerPixel),
            Nearest((height * kTwipsPerPixel + kPictureMarginHeightTwips) / kTwipsPerPixel)};
}

Size FitZoomPicture(int outerWidth, int outerHeight) {
    const int width =
        Nearest((outerWidth * kTwipsPerPixel - kPictureMarginWidthTwips) / kTwipsPerPixel);
    const int height =
        Nearest((outerHeight * kTwipsPerPixel - kPictureMarginHeightTwips) / kTwipsPerPixel);
    return {std::max(width, 0), std::max(height, 0)};
}

} // namespace vantrel
