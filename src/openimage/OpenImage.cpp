#include "openimage/OpenImage.h"

#include "fileinfo/ImageComment.h"

namespace vantrel {

std::string OpenedImage::informationText() const {
    return FileInfoText(information, comment);
}

OpenedImage OpenImageFile(const std::string& path, const DecodeOptions& options) {
    OpenedImage opened;
    opened.path = path;
    opened.bitmap = LoadImageFile(path, &opened.error, options);
    if (opened.bitmap) {
        opened.error.clear();
    }
    opened.width = BitmapWidth(opened.bitmap.get());
    opened.height = BitmapHeight(opened.bitmap.get());
    GetFileInformation(path, opened.information);
    opened.comment = GetImageComment(opened.bitmap.get());
    return opened;
}

void LoadedImage::assign(BitmapHandle newBitmap, std::string newPath) {
    bitmap = std::move(newBitmap);
    path = std::move(newPath);
    width = BitmapWidth(bitmap.get());
    height = BitmapHeight(bitmap.get());
}

void LoadedImage::reset() {
    bitmap.reset();
    path.clear();
    width = 0;
    height = 0;
}

} // namespace vantrel
