#include "hubTestSupport.h"

#include "image/Bitmap.h"

#include <FreeImage.h>

namespace vantrel::testsupport {

bool WritePlaceImage(const std::string& path, int width, int height, const std::string& comment) {
    BitmapHandle bitmap(FreeImage_Allocate(width, height, 24));
    const MutablePixelView view = MutableViewOfBitmap(bitmap.get());
    if (view.empty()) {
        return false;
    }
    for (int y = 0; y < view.height; ++y) {
        std::uint8_t* pixel = view.row(y);
        for (int x = 0; x < view.width; ++x, pixel += 3) {
            pixel[kRed] = static_cast<std::uint8_t>(x);
            pixel[kGreen] = static_cast<std::uint8_t>(y);
            pixel[kBlue] = 7;
        }
    }
    if (!comment.empty()) {
        FITAG* tag = FreeImage_CreateTag();
        FreeImage_SetTagKey(tag, "Comment");
        FreeImage_SetTagType(tag, FIDT_ASCII);
        FreeImage_SetTagCount(tag, static_cast<DWORD>(comment.size() + 1));
        FreeImage_SetTagLength(tag, static_cast<DWORD>(comment.size() + 1));
        FreeImage_SetTagValue(tag, comment.c_str());
        FreeImage_SetMetadata(FIMD_COMMENTS, bitmap.get(), "Comment", tag);
        FreeImage_DeleteTag(tag);
    }
    return FreeImage_Save(FIF_PNG, bitmap.get(), path.c_str(), PNG_DEFAULT) != FALSE;
}

} // namespace vantrel::testsupport
