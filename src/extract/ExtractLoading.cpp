#include "extract/ExtractLoading.h"

#include "image/ImageLoading.h"

namespace vantrel::extract {

Result<ExtractionImage> LoadImageForExtraction(const std::string& path) {
    DecodeOptions options;
    options.keepIndexed = true;
    std::string error;
    BitmapHandle bitmap = LoadImageFile(path, &error, options);
    if (!bitmap) {
        return Failure(error.empty() ? "Could not decode " + path : error);
    }
    std::string why;
    std::optional<SampleImage> samples = SampleImage::Of(bitmap.get(), &why);
    if (!samples) {
        return Failure(path + ": " + why);
    }
    return ExtractionImage{ShareImage(std::move(bitmap), path), *samples};
}

} // namespace vantrel::extract
