#include "steghide/SteghideInput.h"

#include <FreeImage.h>

#include "image/ImageLoading.h"
#include "jpeg/LoadCoefficients.h"
#include "steghide/SteghideFileHead.h"

namespace vantrel {

Result<BmpPixelData> SteghideBmpPixels(const FIBITMAP* constBitmap) {
    auto* bitmap = const_cast<FIBITMAP*>(constBitmap); // FreeImage's getters take no const
    if (!bitmap || !FreeImage_HasPixels(bitmap) || FreeImage_GetImageType(bitmap) != FIT_BITMAP) {
        return Failure("no pixels to read");
    }
    BmpPixelData pixels;
    pixels.width = static_cast<int>(FreeImage_GetWidth(bitmap));
    pixels.height = static_cast<int>(FreeImage_GetHeight(bitmap));
    pixels.bitsPerPixel = static_cast<int>(FreeImage_GetBPP(bitmap));
    pixels.stride = FreeImage_GetPitch(bitmap);
    const BYTE* bits = FreeImage_GetBits(bitmap);
    pixels.bytes.assign(bits, bits + pixels.stride * static_cast<std::size_t>(pixels.height));
    return pixels;
}

Result<SteghideCover> LoadSteghideCover(const std::string& path) {
    // The header is read in the decoder process: here only its verdict arrives.
    const Result<SteghideFileHead> head =
        AnalyseInDecoder<SteghideFileHead>(path, kSteghideFileHeadAnalysis, DecodeSteghideFileHead);
    if (!head) {
        return Failure(head.error());
    }
    if (head->kind == SteghideFileKind::Jpeg) {
        Result<JpegCoefficients> jpeg = LoadJpegCoefficients(path);
        if (!jpeg) {
            return Failure(jpeg.error());
        }
        return SteghideJpegCover(*jpeg);
    }
    const int bmpBits = head->bmpBits;
    DecodeOptions options;
    options.keepIndexed = true;
    const Result<BitmapHandle> bitmap = LoadImageFile(path, options);
    if (!bitmap) {
        return Failure(bitmap.error());
    }
    Result<BmpPixelData> pixels = SteghideBmpPixels(bitmap->get());
    if (pixels && pixels->bitsPerPixel != bmpBits) {
        return Failure(path + ": its " + std::to_string(bmpBits) + "-bit pixels came back as " +
                       std::to_string(pixels->bitsPerPixel) + "-bit");
    }
    if (!pixels) {
        return Failure(path + ": " + pixels.error());
    }
    Result<SteghideCover> cover = SteghideBmpCover(*pixels);
    return cover ? cover : Result<SteghideCover>(Failure(path + ": " + cover.error()));
}

} // namespace vantrel
