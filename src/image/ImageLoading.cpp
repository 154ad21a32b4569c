#include "image/ImageLoading.h"

#include <FreeImage.h>

#include <array>
#include <cmath>
#include <cstring>
#include <string_view>

namespace vantrel {
namespace {

struct ExtensionRow {
    std::string_view lastFour;
    FREE_IMAGE_FORMAT format;
    int flags;
};

constexpr std::array kExtensionTable{
    ExtensionRow{".png", FIF_PNG, 0},   ExtensionRow{".PNG", FIF_PNG, 0},
    ExtensionRow{".bmp", FIF_BMP, 0},   ExtensionRow{".BMP", FIF_BMP, 0},
    ExtensionRow{".jpg", FIF_JPEG, JPEG_ACCURATE}, ExtensionRow{".JPG", FIF_JPEG, JPEG_ACCURATE},
    ExtensionRow{".jp2", FIF_JP2, 0},   ExtensionRow{".JP2", FIF_JP2, 0},
    ExtensionRow{".jxr", FIF_JXR, 0},   ExtensionRow{".JXR", FIF_JXR, 0},
    ExtensionRow{".j2k", FIF_J2K, 0},   ExtensionRow{".J2K", FIF_J2K, 0},
    ExtensionRow{".tif", FIF_TIFF, 0},  ExtensionRow{".TIF", FIF_TIFF, 0},
    ExtensionRow{"tiff", FIF_TIFF, 0},  ExtensionRow{"TIFF", FIF_TIFF, 0},
    ExtensionRow{"webp", FIF_WEBP, 0},  ExtensionRow{"WEBP", FIF_WEBP, 0},
    ExtensionRow{".gif", FIF_GIF, 0},   ExtensionRow{".GIF", FIF_GIF, 0},
    ExtensionRow{".psd", FIF_PSD, 0},   ExtensionRow{".PSD", FIF_PSD, 0},
    ExtensionRow{".nef", FIF_RAW, RAW_DISPLAY}, ExtensionRow{".NEF", FIF_RAW, RAW_DISPLAY},
};

// FreeImage reports decoder failures through a callback; the last message of this thread is
// what a failed load reports.
thread_local std::string lastFreeImageMessage;

void RememberFreeImageMessage(FREE_IMAGE_FORMAT, const char* message) {
    lastFreeImageMessage = message ? message : "";
}

void InstallMessageHandler() {
    static const bool installed = [] {
        FreeImage_SetOutputMessage(RememberFreeImageMessage);
        return true;
    }();
    (void)installed;
}

BitmapHandle LoadWith(FREE_IMAGE_FORMAT format, int flags, const std::string& path) {
    if (format == FIF_UNKNOWN || !FreeImage_FIFSupportsReading(format)) {
        return nullptr;
    }
    return BitmapHandle(FreeImage_Load(format, path.c_str(), flags));
}

std::string FormatName(FREE_IMAGE_FORMAT format) {
    const char* name = FreeImage_GetFormatFromFIF(format);
    return name ? name : "unknown";
}

} // namespace

FormatChoice ImageFormatFor(const std::string& path) {
    if (path.size() >= 4) {
        const std::string_view lastFour = std::string_view(path).substr(path.size() - 4);
        for (const ExtensionRow& row : kExtensionTable) {
            if (row.lastFour == lastFour) {
                return {row.format, row.flags, true};
            }
        }
    }
    return {FIF_RAW, RAW_DISPLAY, false};
}

int LoadFlagsFor(int format) {
    for (const ExtensionRow& row : kExtensionTable) {
        if (row.format == format) {
            return row.flags;
        }
    }
    return 0;
}

std::string& TrimAtNul(std::string& text) {
    const auto nul = text.find('\0');
    if (nul != std::string::npos) {
        text.erase(nul);
    }
    return text;
}

BitmapHandle ToStandardBitmap(BitmapHandle bitmap) {
    if (!bitmap) {
        return nullptr;
    }
    FIBITMAP* source = bitmap.get();
    const FREE_IMAGE_TYPE type = FreeImage_GetImageType(source);
    const unsigned bpp = FreeImage_GetBPP(source);
    if (type == FIT_BITMAP && (bpp == 24 || bpp == 32)) {
        return bitmap;
    }
    // FreeImage converts 16-bit-a-channel bitmaps itself; floating-point colour is tone mapped,
    // grey and scientific types are scaled linearly into 8 bits first.
    BitmapHandle intermediate;
    FIBITMAP* toConvert = source;
    if (type == FIT_RGBF || type == FIT_RGBAF) {
        intermediate.reset(FreeImage_ToneMapping(source, FITMO_DRAGO03));
        toConvert = intermediate.get();
    } else if (type != FIT_BITMAP && type != FIT_RGB16 && type != FIT_RGBA16) {
        intermediate.reset(FreeImage_ConvertToStandardType(source, TRUE));
        toConvert = intermediate.get();
    }
    if (toConvert == nullptr) {
        return nullptr;
    }
    const bool transparent =
        FreeImage_IsTransparent(source) || type == FIT_RGBA16 || type == FIT_RGBAF;
    BitmapHandle converted(transparent ? FreeImage_ConvertTo32Bits(toConvert)
                                       : FreeImage_ConvertTo24Bits(toConvert));
    if (!converted) {
        return nullptr;
    }
    FreeImage_CloneMetadata(converted.get(), source);
    return converted;
}

BitmapHandle DecodeImageInProcess(const std::string& path, std::string* error) {
    InstallMessageHandler();
    lastFreeImageMessage.clear();
    const FormatChoice byName = ImageFormatFor(path);
    BitmapHandle bitmap;
    if (byName.fromTable) {
        bitmap = LoadWith(static_cast<FREE_IMAGE_FORMAT>(byName.format), byName.flags, path);
    }
    FREE_IMAGE_FORMAT byContent = FIF_UNKNOWN;
    if (!bitmap) {
        byContent = FreeImage_GetFileType(path.c_str(), 0);
        const bool alreadyTried = byName.fromTable && byContent == byName.format;
        if (byContent != FIF_UNKNOWN && !alreadyTried) {
            bitmap = LoadWith(byContent, LoadFlagsFor(byContent), path);
        }
    }
    if (!bitmap && !byName.fromTable && byContent == FIF_UNKNOWN) {
        // Camera-raw files carry no signature FreeImage recognises.
        bitmap = LoadWith(FIF_RAW, RAW_DISPLAY, path);
    }
    if (!bitmap) {
        if (error) {
            std::string reason = lastFreeImageMessage;
            if (reason.empty()) {
                reason = byContent == FIF_UNKNOWN ? "unrecognised image format"
                                                  : "the " + FormatName(byContent) +
                                                        " decoder could not read it";
            }
            *error = "Could not decode " + path + ": " + reason;
        }
        return nullptr;
    }
    BitmapHandle standard = ToStandardBitmap(std::move(bitmap));
    if (!standard && error) {
        *error = "Could not decode " + path + ": unsupported pixel type";
    }
    return standard;
}

BitmapHandle LoadImageFile(const std::string& path, std::string* error) {
    return DecodeImageInProcess(path, error);
}

Size ReadImageSizeInProcess(const std::string& path, std::string* error) {
    InstallMessageHandler();
    const FormatChoice byName = ImageFormatFor(path);
    FREE_IMAGE_FORMAT format = FIF_UNKNOWN;
    if (byName.fromTable) {
        format = static_cast<FREE_IMAGE_FORMAT>(byName.format);
    } else {
        format = FreeImage_GetFileType(path.c_str(), 0);
        if (format == FIF_UNKNOWN) {
            format = FIF_RAW;
        }
    }
    BitmapHandle header;
    if (FreeImage_FIFSupportsNoPixels(format)) {
        header.reset(FreeImage_Load(format, path.c_str(), LoadFlagsFor(format) | FIF_LOAD_NOPIXELS));
    }
    if (!header) {
        // No header-only path for this format or name: a full decode tells the size.
        header = DecodeImageInProcess(path, error);
    }
    if (!header) {
        if (error && error->empty()) {
            *error = "Could not read the size of " + path;
        }
        return {};
    }
    return {BitmapWidth(header.get()), BitmapHeight(header.get())};
}

Size ReadImageSize(const std::string& path, std::string* error) {
    return ReadImageSizeInProcess(path, error);
}

Size FitLongSideSize(int width, int height, int longSide) {
    if (width <= 0 || height <= 0) {
        return {};
    }
    const double aspect = static_cast<double>(width) / static_cast<double>(height);
    if (width >= height) {
        return {longSide, static_cast<int>(std::nearbyint(longSide / aspect))};
    }
    return {static_cast<int>(std::nearbyint(aspect * longSide)), longSide};
}

BitmapHandle FitLongSide(const FIBITMAP* bitmap, int longSide) {
    if (bitmap == nullptr) {
        return nullptr;
    }
    const Size size = FitLongSideSize(BitmapWidth(bitmap), BitmapHeight(bitmap), longSide);
    if (size.width <= 0 || size.height <= 0) {
        return nullptr;
    }
    return BitmapHandle(
        FreeImage_Rescale(const_cast<FIBITMAP*>(bitmap), size.width, size.height, FILTER_BOX));
}

bool CopyBitmapToBgrx(const FIBITMAP* bitmap, std::uint8_t* destination, std::ptrdiff_t stride) {
    PixelView view = ViewOfBitmap(bitmap);
    BitmapHandle converted;
    if (view.empty()) {
        if (bitmap == nullptr || !FreeImage_HasPixels(const_cast<FIBITMAP*>(bitmap))) {
            return false;
        }
        // Palette and other kinds: through FreeImage's own conversion (colour table applied).
        converted = ToStandardBitmap(CloneBitmap(bitmap));
        view = ViewOfBitmap(converted.get());
        if (view.empty()) {
            return false;
        }
    }
    for (int y = 0; y < view.height; ++y) {
        const std::uint8_t* in = view.row(y);
        std::uint8_t* out = destination + y * stride;
        if (view.bytesPerPixel == 4) {
            std::memcpy(out, in, static_cast<std::size_t>(view.width) * 4);
            for (int x = 0; x < view.width; ++x) {
                out[4 * x + 3] = 0xFF;
            }
        } else {
            for (int x = 0; x < view.width; ++x) {
                out[4 * x + 0] = in[3 * x + 0];
                out[4 * x + 1] = in[3 * x + 1];
                out[4 * x + 2] = in[3 * x + 2];
                out[4 * x + 3] = 0xFF;
            }
        }
    }
    return true;
}

void LoadedImage::assign(BitmapHandle newBitmap, std::string newPath) {
    bitmap = std::move(newBitmap);
    path = std::move(newPath);
    width = BitmapWidth(bitmap.get());
    height = BitmapHeight(bitmap.get());
}

void LoadedImage::reset() {
    bitmap.reset();
    path.clear();
    width = 0;
    height = 0;
}

} // namespace vantrel
