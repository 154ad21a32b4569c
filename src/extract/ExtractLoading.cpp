#include "extract/ExtractLoading.h"

#include "image/ImageLoading.h"

namespace vantrel::extract {

BitmapHandle LoadImageForExtraction(const std::string& path, std::string* error) {
    return LoadImageFile(path, error);
}

} // namespace vantrel::extract
