#include "image/Image.h"

namespace vantrel {

Image::Image(BitmapHandle bitmap, std::string path)
    : bitmap_(std::move(bitmap)),
      path_(std::move(path)), size_{BitmapWidth(bitmap_.get()), BitmapHeight(bitmap_.get())} {}

PixelView Image::pixels() const {
    return ViewOfBitmap(bitmap_.get());
}

SharedImage ShareImage(BitmapHandle bitmap, std::string path) {
    return std::make_shared<const Image>(std::move(bitmap), std::move(path));
}

} // namespace vantrel
