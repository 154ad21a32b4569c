#pragma once
// A decoded image as the windows and the core hand it over: made once by the open-image flow and
// never changed afterwards, so every window that shows it holds the same one and none needs a
// copy of its own. It lives as long as the last window holding it.
#include "image/Bitmap.h"

#include <memory>
#include <string>

namespace vantrel {

class Image {
public:
    // Null bitmaps are allowed: an image that could not be decoded still has its path.
    Image(BitmapHandle bitmap, std::string path);

    const FIBITMAP* bitmap() const { return bitmap_.get(); }
    // The rows of a standard 24/32-bit image (every decoded image but an indexed one kept for
    // extraction); empty otherwise.
    PixelView pixels() const;
    const std::string& path() const { return path_; }
    int width() const { return size_.width; }
    int height() const { return size_.height; }
    Size size() const { return size_; }
    bool empty() const { return bitmap_ == nullptr; }

private:
    BitmapHandle bitmap_;
    std::string path_;
    Size size_;
};

using SharedImage = std::shared_ptr<const Image>;

SharedImage ShareImage(BitmapHandle bitmap, std::string path = {});

} // namespace vantrel
