#include "extract/ExtractLoading.h"

#include "image/ImageLoading.h"

namespace vantrel::extract {

Result<ExtractionImage> LoadImageForExtraction(const std::string& path) {
    DecodeOptions options;
    options.keepIndexed = true;
    Result<BitmapHandle> bitmap = LoadImageFile(path, options);
    if (!bitmap) {
        return Failure(bitmap.error());
    }
    const Result<SampleImage> samples = SampleImage::Of(bitmap->get());
    if (!samples) {
        return Failure(path + ": " + samples.error());
    }
    return ExtractionImage{ShareImage(std::move(bitmap).value(), path), *samples};
}

} // namespace vantrel::extract
