#include "blind/BlindFile.h"

#include "image/ImageLoading.h"
#include "jpeg/LoadCoefficients.h"

#include <memory>

namespace vantrel {

Result<BlindResult> AnalyseJpegCoefficients(const Result<JpegCoefficients>& coefficients) {
    if (!coefficients) {
        return Failure(coefficients.error());
    }
    auto jpeg = std::make_shared<JpegBlindResult>();
    jpeg->analysis = AnalyseJpeg(*coefficients);
    jpeg->verdict = JudgeJpeg(jpeg->analysis);
    BlindResult result;
    result.width = coefficients->width;
    result.height = coefficients->height;
    result.suspicious = jpeg->verdict.suspicious;
    result.jpeg = std::move(jpeg);
    return result;
}

Result<BlindResult> AnalyseJpegFile(const std::string& path) {
    return AnalyseJpegCoefficients(LoadJpegCoefficients(path));
}

Result<BlindResult> AnalyseFile(const std::string& path, const BlindOptions& options) {
    if (HasJpegSignature(path)) {
        return AnalyseJpegFile(path);
    }
    const Result<BitmapHandle> bitmap = LoadImageFile(path);
    if (!bitmap) {
        return Failure(bitmap.error());
    }
    Result<BlindResult> result = AnalyseBitmap(ViewOfBitmap(bitmap->get()), options);
    return result ? std::move(result) : Failure(path + ": " + result.error());
}

} // namespace vantrel
