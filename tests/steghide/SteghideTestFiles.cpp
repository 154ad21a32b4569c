#include "SteghideTestFiles.h"

#include <FreeImage.h>

#include "jpeg/ReadCoefficients.h"

#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

namespace vantrel::test {

Result<JpegCoefficients> ReadJpegCoefficients(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return Failure("cannot open " + path);
    }
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                          std::istreambuf_iterator<char>());
    return vantrel::ReadJpegCoefficients(bytes);
}

Result<BmpPixelData> ReadBmpPixels(const std::string& path) {
    std::unique_ptr<FIBITMAP, decltype(&FreeImage_Unload)> bitmap(
        FreeImage_Load(FIF_BMP, path.c_str(), 0), &FreeImage_Unload);
    if (!bitmap) {
        return Failure("FreeImage cannot read " + path);
    }
    BmpPixelData pixels;
    pixels.width = static_cast<int>(FreeImage_GetWidth(bitmap.get()));
    pixels.height = static_cast<int>(FreeImage_GetHeight(bitmap.get()));
    pixels.bitsPerPixel = static_cast<int>(FreeImage_GetBPP(bitmap.get()));
    pixels.stride = FreeImage_GetPitch(bitmap.get());
    const BYTE* bits = FreeImage_GetBits(bitmap.get());
    pixels.bytes.assign(bits, bits + pixels.stride * static_cast<std::size_t>(pixels.height));
    return pixels;
}

Result<SteghideCover> ReadSteghideCover(const std::string& path) {
    if (path.ends_with(".bmp")) {
        Result<BmpPixelData> pixels = ReadBmpPixels(path);
        return pixels ? SteghideBmpCover(*pixels) : Result<SteghideCover>(Failure(pixels.error()));
    }
    Result<JpegCoefficients> jpeg = ReadJpegCoefficients(path);
    return jpeg ? SteghideJpegCover(*jpeg) : Result<SteghideCover>(Failure(jpeg.error()));
}

} // namespace vantrel::test
