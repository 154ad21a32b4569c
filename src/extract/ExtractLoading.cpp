#include "extract/ExtractLoading.h"

#include "image/ImageLoading.h"

namespace vantrel::extract {

// Palette images come as stored, so that their indices can be read.
BitmapHandle LoadImageForExtraction(const std::string& path, std::string* error) {
    DecodeOptions options;
    options.keepIndexed = true;
    return LoadImageFile(path, error, options);
}

} // namespace vantrel::extract
