#include "steghide/SteghideInput.h"

#include <FreeImage.h>

#include "image/ImageLoading.h"
#include "jpeg/LoadCoefficients.h"

#include <array>
#include <fstream>

namespace vantrel {
namespace {

enum class CoverKind { Jpeg, Bmp, Other, Unreadable };

// The signature and, for a BMP, the bit depth its header declares: FreeImage widens 16- and
// 32-bit BMPs to the standard types, and steghide refuses those, so the decoded bitmap alone
// cannot tell.
CoverKind KindOf(const std::string& path, int* bmpBits) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return CoverKind::Unreadable;
    }
    std::array<unsigned char, 30> head{};
    file.read(reinterpret_cast<char*>(head.data()), head.size());
    const auto got = static_cast<std::size_t>(file.gcount());
    if (got >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) {
        return CoverKind::Jpeg;
    }
    if (got == head.size() && head[0] == 'B' && head[1] == 'M') {
        *bmpBits = head[28] | head[29] << 8;
        return CoverKind::Bmp;
    }
    return CoverKind::Other;
}

} // namespace

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
    int bmpBits = 0;
    switch (KindOf(path, &bmpBits)) {
    case CoverKind::Unreadable:
        return Failure("cannot read " + path);
    case CoverKind::Other:
        return Failure(path + " is neither a JPEG nor a BMP");
    case CoverKind::Jpeg: {
        Result<JpegCoefficients> jpeg = LoadJpegCoefficients(path);
        if (!jpeg) {
            return Failure(jpeg.error());
        }
        return SteghideJpegCover(*jpeg);
    }
    case CoverKind::Bmp:
        break;
    }
    if (bmpBits != 1 && bmpBits != 4 && bmpBits != 8 && bmpBits != 24) {
        return Failure(path + ": steghide reads only 1-, 4-, 8- and 24-bit BMPs, not " +
                       std::to_string(bmpBits) + "-bit");
    }
    DecodeOptions options;
    options.keepIndexed = true;
    std::string error;
    const BitmapHandle bitmap = LoadImageFile(path, &error, options);
    if (!bitmap) {
        return Failure(error.empty() ? "Could not decode " + path : error);
    }
    Result<BmpPixelData> pixels = SteghideBmpPixels(bitmap.get());
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
