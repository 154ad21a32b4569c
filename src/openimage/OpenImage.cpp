#include "openimage/OpenImage.h"

#include "fileinfo/ImageComment.h"

namespace vantrel {

std::string OpenedImage::informationText() const {
    return FileInfoText(information, comment);
}

OpenedImage OpenImageFile(const std::string& path, const DecodeOptions& options) {
    OpenedImage opened;
    Result<BitmapHandle> bitmap = LoadImageFile(path, options);
    BitmapHandle decoded;
    if (bitmap) {
        decoded = std::move(bitmap).value();
    } else {
        opened.error = bitmap.error();
    }
    opened.comment = GetImageComment(decoded.get());
    opened.image = ShareImage(std::move(decoded), path);
    GetFileInformation(path, opened.information);
    return opened;
}

} // namespace vantrel
