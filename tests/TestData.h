#pragma once
// What the tests share: the tiny files in tests/data by name, and bitmaps made in code.
#include "image/Bitmap.h"
#include "image/ImageLoading.h"

#include <FreeImage.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace vantrel::testing {

inline std::string Data(const std::string& name) {
    return std::string(VANTREL_TEST_DATA) + "/" + name;
}

// The file's bytes; none when it cannot be read.
inline std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The file as the program decodes it; null when it does not decode.
inline BitmapHandle Loaded(const std::string& path) {
    Result<BitmapHandle> bitmap = LoadImageFile(path);
    return bitmap ? std::move(bitmap).value() : BitmapHandle{};
}

// Random bytes in every channel (alpha included) of a 24- or 32-bit bitmap.
inline BitmapHandle NoiseBitmap(int width, int height, int bitsPerPixel, unsigned seed) {
    BitmapHandle bitmap(FreeImage_Allocate(width, height, bitsPerPixel));
    std::mt19937 random(seed);
    const MutablePixelView view = MutableViewOfBitmap(bitmap.get());
    for (int y = 0; y < view.height; ++y) {
        for (int x = 0; x < view.width * view.bytesPerPixel; ++x) {
            view.row(y)[x] = static_cast<std::uint8_t>(random());
        }
    }
    return bitmap;
}

// Every pixel names its place: red x, green y (both mod 256), blue 7, alpha `alpha` (32-bit).
inline BitmapHandle PlaceBitmap(int width, int height, int bitsPerPixel = 24, int alpha = 200) {
    BitmapHandle bitmap(FreeImage_Allocate(width, height, bitsPerPixel));
    const MutablePixelView view = MutableViewOfBitmap(bitmap.get());
    for (int y = 0; y < view.height; ++y) {
        for (int x = 0; x < view.width; ++x) {
            std::uint8_t* pixel = view.row(y) + x * view.bytesPerPixel;
            pixel[kRed] = static_cast<std::uint8_t>(x);
            pixel[kGreen] = static_cast<std::uint8_t>(y);
            pixel[kBlue] = 7;
            if (view.bytesPerPixel == 4) {
                pixel[kAlpha] = static_cast<std::uint8_t>(alpha);
            }
        }
    }
    return bitmap;
}

// Red, green and blue (and alpha when asked) of every pixel, top row first; palette bitmaps
// through their colours.
inline std::vector<std::uint8_t> Colours(const FIBITMAP* bitmap, bool withAlpha = false) {
    PixelView view = ViewOfBitmap(bitmap);
    std::vector<std::uint8_t> bgrx;
    if (view.empty() && bitmap != nullptr) {
        const int width = BitmapWidth(bitmap);
        bgrx.resize(static_cast<std::size_t>(width) * BitmapHeight(bitmap) * 4);
        if (CopyBitmapToBgrx(bitmap, bgrx.data(), width * 4)) {
            view = PixelView{width, BitmapHeight(bitmap), 4, width * 4, bgrx.data()};
        }
    }
    std::vector<std::uint8_t> colours;
    for (int y = 0; y < view.height; ++y) {
        for (int x = 0; x < view.width; ++x) {
            const std::uint8_t* pixel = view.row(y) + x * view.bytesPerPixel;
            colours.insert(colours.end(), {pixel[kRed], pixel[kGreen], pixel[kBlue]});
            if (withAlpha) {
                colours.push_back(view.bytesPerPixel == 4 ? pixel[kAlpha] : 0);
            }
        }
    }
    return colours;
}

// A comments-model tag holding exactly `bytes`.
inline void AddTag(FIBITMAP* bitmap, const char* key, const std::string& bytes,
                   FREE_IMAGE_MDTYPE type = FIDT_ASCII) {
    FITAG* tag = FreeImage_CreateTag();
    FreeImage_SetTagKey(tag, key);
    FreeImage_SetTagType(tag, type);
    FreeImage_SetTagCount(tag, static_cast<DWORD>(bytes.size()));
    FreeImage_SetTagLength(tag, static_cast<DWORD>(bytes.size()));
    FreeImage_SetTagValue(tag, bytes.data());
    FreeImage_SetMetadata(FIMD_COMMENTS, bitmap, key, tag);
    FreeImage_DeleteTag(tag);
}

} // namespace vantrel::testing
