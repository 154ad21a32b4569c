#include "image/ImageLoading.h"

#include "image/Decoding.h"

#include <FreeImage.h>
#include <dlfcn.h>

#include <array>
#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <string_view>

namespace vantrel {
namespace {

struct ExtensionRow {
    std::string_view lastFour;
    FREE_IMAGE_FORMAT format;
    int flags;
};

constexpr std::array kExtensionTable{
    ExtensionRow{".png", FIF_PNG, 0},
    ExtensionRow{".PNG", FIF_PNG, 0},
    ExtensionRow{".bmp", FIF_BMP, 0},
    ExtensionRow{".BMP", FIF_BMP, 0},
    ExtensionRow{".jpg", FIF_JPEG, JPEG_ACCURATE},
    ExtensionRow{".JPG", FIF_JPEG, JPEG_ACCURATE},
    ExtensionRow{".jp2", FIF_JP2, 0},
    ExtensionRow{".JP2", FIF_JP2, 0},
    ExtensionRow{".jxr", FIF_JXR, 0},
    ExtensionRow{".JXR", FIF_JXR, 0},
    ExtensionRow{".j2k", FIF_J2K, 0},
    ExtensionRow{".J2K", FIF_J2K, 0},
    ExtensionRow{".tif", FIF_TIFF, 0},
    ExtensionRow{".TIF", FIF_TIFF, 0},
    ExtensionRow{"tiff", FIF_TIFF, 0},
    ExtensionRow{"TIFF", FIF_TIFF, 0},
    ExtensionRow{"webp", FIF_WEBP, 0},
    ExtensionRow{"WEBP", FIF_WEBP, 0},
    ExtensionRow{".gif", FIF_GIF, 0},
    ExtensionRow{".GIF", FIF_GIF, 0},
    ExtensionRow{".psd", FIF_PSD, 0},
    ExtensionRow{".PSD", FIF_PSD, 0},
    ExtensionRow{".nef", FIF_RAW, RAW_DISPLAY},
    ExtensionRow{".NEF", FIF_RAW, RAW_DISPLAY},
};

// FreeImage reports decoder failures through a callback; the last message of this thread is
// what a failed load reports.
thread_local std::string lastFreeImageMessage;

// Decoder messages become part of a one-line status: line breaks (OpenJPEG ends its messages
// with one) become spaces, and trailing ones go.
void RememberFreeImageMessage(FREE_IMAGE_FORMAT, const char* message) {
    lastFreeImageMessage = message ? message : "";
    while (!lastFreeImageMessage.empty() &&
           std::isspace(static_cast<unsigned char>(lastFreeImageMessage.back()))) {
        lastFreeImageMessage.pop_back();
    }
    for (char& c : lastFreeImageMessage) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
}

// libtiff, under FreeImage, prints every warning on stderr, and "errors" too: FreeImage's EXIF
// reader asks it about tags it does not know, dozens per common TIFF. FreeImage reports a TIFF
// that really fails through its own message, so both go. The setters are looked up at run time:
// the program does not link libtiff itself.
void SilenceTiffWarnings() {
    using Handler = void (*)(const char*, const char*, va_list);
    using SetHandler = Handler (*)(Handler);
    for (const char* setter : {"TIFFSetWarningHandler", "TIFFSetErrorHandler"}) {
        if (auto set = reinterpret_cast<SetHandler>(dlsym(RTLD_DEFAULT, setter))) {
            set(nullptr);
        }
    }
}

void InstallMessageHandler() {
    static const bool installed = [] {
        FreeImage_SetOutputMessage(RememberFreeImageMessage);
        SilenceTiffWarnings();
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

std::mutex limitsMutex;
DecodeLimits currentLimits;
FallbackDecoder fallbackDecoder = nullptr;

std::uint32_t BigEndian32(const std::uint8_t* bytes) {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
           (std::uint32_t{bytes[2]} << 8) | bytes[3];
}

std::int32_t LittleEndian32(const std::uint8_t* bytes) {
    return static_cast<std::int32_t>(std::uint32_t{bytes[0]} | (std::uint32_t{bytes[1]} << 8) |
                                     (std::uint32_t{bytes[2]} << 16) |
                                     (std::uint32_t{bytes[3]} << 24));
}

// PNG, GIF, BMP, JPEG 2000 codestreams and JP2 boxes name their size in the first bytes;
// FreeImage cannot read some of these headers without decoding.
ClaimedSize SizeFromLeadingBytes(const std::uint8_t* head, std::size_t size) {
    // FreeImage's header-only PNG read fails on a file without pixel data.
    if (size >= 24 && std::memcmp(head, "\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR", 16) == 0) {
        return {BigEndian32(head + 16), BigEndian32(head + 20)};
    }
    if (size >= 10 && std::memcmp(head, "GIF8", 4) == 0) {
        return {head[6] | (head[7] << 8), head[8] | (head[9] << 8)};
    }
    if (size >= 26 && std::memcmp(head, "BM", 2) == 0) {
        if (LittleEndian32(head + 14) == 12) { // the old OS/2 header: 16-bit sides
            return {head[18] | (head[19] << 8), head[20] | (head[21] << 8)};
        }
        // A negative height marks rows stored top first.
        const std::int64_t height = LittleEndian32(head + 22);
        return {LittleEndian32(head + 18), height < 0 ? -height : height};
    }
    if (size >= 24 && std::memcmp(head, "\xFF\x4F\xFF\x51", 4) == 0) {
        const std::int64_t width = std::int64_t{BigEndian32(head + 8)} - BigEndian32(head + 16);
        const std::int64_t height = std::int64_t{BigEndian32(head + 12)} - BigEndian32(head + 20);
        return {width, height};
    }
    if (size >= 12 && std::memcmp(head, "\0\0\0\x0CjP  ", 8) == 0) {
        for (std::size_t at = 12; at + 12 <= size; ++at) {
            if (std::memcmp(head + at, "ihdr", 4) == 0) {
                return {BigEndian32(head + at + 8), BigEndian32(head + at + 4)};
            }
        }
    }
    return {};
}

ClaimedSize SizeFromLeadingBytes(const std::string& path) {
    std::array<std::uint8_t, 4096> head{};
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return {};
    }
    const std::size_t size = std::fread(head.data(), 1, head.size(), file);
    std::fclose(file);
    return SizeFromLeadingBytes(head.data(), size);
}

// The refusal for the largest size any of the candidate decoders' headers claims.
std::string RefusalOfClaims(const std::string& path, FormatChoice byName,
                            FREE_IMAGE_FORMAT byContent) {
    std::string refusal;
    const auto check = [&](int format) {
        if (refusal.empty()) {
            const ClaimedSize claim = ReadClaimedSize(path, format);
            refusal = RefusalOfSize(claim.width, claim.height, path);
        }
    };
    check(byName.fromTable ? byName.format : -1);
    if (byContent != FIF_UNKNOWN && (!byName.fromTable || byContent != byName.format)) {
        check(byContent);
    }
    return refusal;
}

} // namespace

void SetDecodeLimits(const DecodeLimits& limits) {
    const std::lock_guard lock(limitsMutex);
    currentLimits = limits;
}

DecodeLimits GetDecodeLimits() {
    const std::lock_guard lock(limitsMutex);
    return currentLimits;
}

void SetFallbackDecoder(FallbackDecoder decoder) {
    const std::lock_guard lock(limitsMutex);
    fallbackDecoder = decoder;
}

ClaimedSize ReadClaimedSize(const std::string& path, int format) {
    const ClaimedSize fromBytes = SizeFromLeadingBytes(path);
    if (fromBytes.width != 0 || fromBytes.height != 0) {
        return fromBytes;
    }
    const auto fif = static_cast<FREE_IMAGE_FORMAT>(format);
    if (format < 0 || !FreeImage_FIFSupportsReading(fif) || !FreeImage_FIFSupportsNoPixels(fif)) {
        return {};
    }
    InstallMessageHandler();
    const BitmapHandle header(
        FreeImage_Load(fif, path.c_str(), LoadFlagsFor(format) | FIF_LOAD_NOPIXELS));
    return {BitmapWidth(header.get()), BitmapHeight(header.get())};
}

std::string RefusalOfSize(std::int64_t width, std::int64_t height, const std::string& path) {
    const std::int64_t limit = GetDecodeLimits().maxPixels;
    // A side that is not positive claims nothing (the decoder will reject it). Either side alone
    // past the limit also guards the product against overflow.
    if (width <= 0 || height <= 0 ||
        (width <= limit && height <= limit && height <= limit / width)) {
        return {};
    }
    return "image too large: " + std::to_string(width) + " x " + std::to_string(height) + " (" +
           path + ")";
}

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
    const FREE_IMAGE_FORMAT byContent = FreeImage_GetFileType(path.c_str(), 0);
    // Refused before any decoder allocates: a forged header can make one touch gigabytes.
    if (std::string refusal = RefusalOfClaims(path, byName, byContent); !refusal.empty()) {
        if (error) {
            *error = std::move(refusal);
        }
        return nullptr;
    }
    BitmapHandle bitmap;
    if (byName.fromTable) {
        bitmap = LoadWith(static_cast<FREE_IMAGE_FORMAT>(byName.format), byName.flags, path);
    }
    if (!bitmap) {
        const bool alreadyTried = byName.fromTable && byContent == byName.format;
        if (byContent != FIF_UNKNOWN && !alreadyTried) {
            bitmap = LoadWith(byContent, LoadFlagsFor(byContent), path);
        }
    }
    if (!bitmap && !byName.fromTable && byContent == FIF_UNKNOWN) {
        // Camera-raw files carry no signature FreeImage recognises.
        bitmap = LoadWith(FIF_RAW, RAW_DISPLAY, path);
    }
    FallbackDecoder fallback = nullptr;
    {
        const std::lock_guard lock(limitsMutex);
        fallback = fallbackDecoder;
    }
    if (!bitmap && fallback != nullptr) {
        std::string refusal;
        const int suggested = byContent != FIF_UNKNOWN ? byContent
                              : byName.fromTable       ? byName.format
                                                       : -1;
        bitmap = fallback(path, suggested, &refusal);
        // The fallback's reason is the better one: FreeImage had no reader for this file.
        if (!bitmap && !refusal.empty()) {
            if (error) {
                *error = std::move(refusal);
            }
            return nullptr;
        }
    }
    if (!bitmap) {
        if (error) {
            std::string reason = lastFreeImageMessage;
            if (reason.empty()) {
                reason = byContent == FIF_UNKNOWN
                             ? "unrecognised image format"
                             : "the " + FormatName(byContent) + " decoder could not read it";
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
        header.reset(
            FreeImage_Load(format, path.c_str(), LoadFlagsFor(format) | FIF_LOAD_NOPIXELS));
    }
    if (!header) {
        // Too large to decode: the header's own claim is the answer.
        const ClaimedSize claim = ReadClaimedSize(path, -1);
        if (!RefusalOfSize(claim.width, claim.height, path).empty() &&
            claim.width <= std::numeric_limits<int>::max() &&
            claim.height <= std::numeric_limits<int>::max()) {
            return {static_cast<int>(claim.width), static_cast<int>(claim.height)};
        }
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
