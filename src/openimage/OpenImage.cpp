#include "openimage/OpenImage.h"

#include "fileinfo/ImageComment.h"

namespace vantrel {

std::string OpenedImage::informationText() const {
    return FileInfoText(information, comment);
}

OpenedImage OpenImageFile(const std::string& path, const DecodeOptions& options) {
    OpenedImage opened;
    BitmapHandle bitmap = LoadImageFile(path, &opened.error, options);
    if (bitmap) {
        opened.error.clear();
    }
    opened.comment = GetImageComment(bitmap.get());
    opened.image = ShareImage(std::move(bitmap), path);
    GetFileInformation(path, opened.information);
    return opened;
}

} // namespace vantrel
