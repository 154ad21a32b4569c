#include "image/ImageFormats.h"

#include <FreeImage.h>

#include <array>
#include <string>
#include <string_view>

namespace vantrel {
namespace {

struct ExtensionRow {
    std::string_view lastFour;
    FREE_IMAGE_FORMAT format;
    int flags;
};

// Each ending is taken all in lower case or all in upper case, never mixed.
constexpr std::array kExtensionTable{
    ExtensionRow{".png", FIF_PNG, 0},
    ExtensionRow{".bmp", FIF_BMP, 0},
    ExtensionRow{".jpg", FIF_JPEG, JPEG_ACCURATE},
    ExtensionRow{".jp2", FIF_JP2, 0},
    ExtensionRow{".jxr", FIF_JXR, 0},
    ExtensionRow{".j2k", FIF_J2K, 0},
    ExtensionRow{".tif", FIF_TIFF, 0},
    ExtensionRow{"tiff", FIF_TIFF, 0},
    ExtensionRow{"webp", FIF_WEBP, 0},
    ExtensionRow{".gif", FIF_GIF, 0},
    ExtensionRow{".psd", FIF_PSD, 0},
    ExtensionRow{".nef", FIF_RAW, RAW_DISPLAY},
};

std::string UpperAscii(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return upper;
}

} // namespace

FormatChoice ImageFormatFor(const std::string& path) {
    if (path.size() >= 4) {
        const std::string_view lastFour = std::string_view(path).substr(path.size() - 4);
        for (const ExtensionRow& row : kExtensionTable) {
            if (row.lastFour == lastFour || UpperAscii(row.lastFour) == lastFour) {
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

bool SizeComesFromHeader(const FormatChoice& choice) {
    if (!choice.fromTable || choice.format == FIF_RAW) {
        return false;
    }
    // FreeImage decodes GIF and JPEG 2000 whole to tell their size; the decoder process reads
    // those headers itself.
    return choice.format == FIF_GIF || choice.format == FIF_JP2 || choice.format == FIF_J2K ||
           FreeImage_FIFSupportsNoPixels(static_cast<FREE_IMAGE_FORMAT>(choice.format));
}

} // namespace vantrel
