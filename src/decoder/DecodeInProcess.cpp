// The decoder process's decoding: FreeImage first, by name then by content, then the fallback
// readers, every one of them behind the pixel limit checked on the header's claim.
#include "decoder/Decoding.h"
#include "decoder/HeaderSize.h"
#include "image/ImageFormats.h"

#include <FreeImage.h>
#include <dlfcn.h>

#include <array>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <vector>

namespace vantrel {
namespace {

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

// The size the file's first bytes claim (see HeaderSize.h); nothing when no header is known.
std::optional<HeaderSize> ClaimOfFile(const std::string& path) {
    std::vector<std::uint8_t> head(kHeaderBytes);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return std::nullopt;
    }
    head.resize(std::fread(head.data(), 1, head.size(), file));
    std::fclose(file);
    return ReadHeaderSize(head);
}

// The size FreeImage's header-only read gives for the format; 0 x 0 where it has none.
Size HeaderOnlySize(int format, const std::string& path) {
    const auto fif = static_cast<FREE_IMAGE_FORMAT>(format);
    if (format < 0 || !FreeImage_FIFSupportsReading(fif) || !FreeImage_FIFSupportsNoPixels(fif)) {
        return {};
    }
    const BitmapHandle header(
        FreeImage_Load(fif, path.c_str(), LoadFlagsFor(format) | FIF_LOAD_NOPIXELS));
    return {BitmapWidth(header.get()), BitmapHeight(header.get())};
}

// The refusal for the largest size any of the candidate decoders' headers claims.
std::string RefusalOfClaims(const std::string& path, FormatChoice byName,
                            FREE_IMAGE_FORMAT byContent, std::int64_t maxPixels) {
    if (const std::optional<HeaderSize> claim = ClaimOfFile(path)) {
        return RefusalOfSize(claim->width, claim->height, path, maxPixels);
    }
    std::string refusal;
    const auto check = [&](int format) {
        if (refusal.empty()) {
            const Size claim = HeaderOnlySize(format, path);
            refusal = RefusalOfSize(claim.width, claim.height, path, maxPixels);
        }
    };
    check(byName.fromTable ? byName.format : -1);
    if (byContent != FIF_UNKNOWN && (!byName.fromTable || byContent != byName.format)) {
        check(byContent);
    }
    return refusal;
}

bool IsIndexed(FIBITMAP* bitmap) {
    return FreeImage_GetImageType(bitmap) == FIT_BITMAP && FreeImage_GetBPP(bitmap) <= 8;
}

} // namespace

std::string RefusalOfSize(std::int64_t width, std::int64_t height, const std::string& path,
                          std::int64_t maxPixels) {
    // A side that is not positive claims nothing (the decoder will reject it). Either side alone
    // past the limit also guards the product against overflow.
    if (width <= 0 || height <= 0 ||
        (width <= maxPixels && height <= maxPixels && height <= maxPixels / width)) {
        return {};
    }
    return "image too large: " + std::to_string(width) + " x " + std::to_string(height) + " (" +
           path + ")";
}

BitmapHandle DecodeImageInProcess(const std::string& path, std::string* error,
                                  const DecodeOptions& options, FallbackDecoder fallback) {
    InstallMessageHandler();
    lastFreeImageMessage.clear();
    const std::int64_t maxPixels = options.limits.maxPixels;
    const FormatChoice byName = ImageFormatFor(path);
    const FREE_IMAGE_FORMAT byContent = FreeImage_GetFileType(path.c_str(), 0);
    // Refused before any decoder allocates: a forged header can make one touch gigabytes.
    if (std::string refusal = RefusalOfClaims(path, byName, byContent, maxPixels);
        !refusal.empty()) {
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
    if (!bitmap && fallback != nullptr) {
        std::string refusal;
        const int suggested = byContent != FIF_UNKNOWN ? byContent
                              : byName.fromTable       ? byName.format
                                                       : -1;
        bitmap = fallback(path, suggested, maxPixels, &refusal);
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
    if (options.keepIndexed && IsIndexed(bitmap.get()) && FreeImage_HasPixels(bitmap.get())) {
        return bitmap;
    }
    BitmapHandle standard = ToStandardBitmap(std::move(bitmap));
    if (!standard && error) {
        *error = "Could not decode " + path + ": unsupported pixel type";
    }
    return standard;
}

Size ReadImageSizeInProcess(const std::string& path, std::string* error, const DecodeLimits& limits,
                            FallbackDecoder fallback) {
    InstallMessageHandler();
    const FormatChoice byName = ImageFormatFor(path);
    int format = byName.format;
    if (!byName.fromTable) {
        format = FreeImage_GetFileType(path.c_str(), 0);
        if (format == FIF_UNKNOWN) {
            format = FIF_RAW;
        }
    }
    const std::optional<HeaderSize> claim = ClaimOfFile(path);
    const auto fits = [](const HeaderSize& size) {
        return size.width > 0 && size.height > 0 && size.width <= std::numeric_limits<int>::max() &&
               size.height <= std::numeric_limits<int>::max();
    };
    // FreeImage decodes these whole to tell their size; their headers say as much.
    if ((format == FIF_GIF || format == FIF_JP2 || format == FIF_J2K) && claim &&
        claim->decoderAgrees && fits(*claim)) {
        return {static_cast<int>(claim->width), static_cast<int>(claim->height)};
    }
    if (const Size header = HeaderOnlySize(format, path); header.width > 0 && header.height > 0) {
        return header;
    }
    // Too large to decode: the header's own claim is the answer.
    if (claim && fits(*claim) &&
        !RefusalOfSize(claim->width, claim->height, path, limits.maxPixels).empty()) {
        return {static_cast<int>(claim->width), static_cast<int>(claim->height)};
    }
    // No header-only path for this format or name: a full decode tells the size.
    const BitmapHandle decoded = DecodeImageInProcess(path, error, {limits, true}, fallback);
    if (!decoded) {
        if (error && error->empty()) {
            *error = "Could not read the size of " + path;
        }
        return {};
    }
    return {BitmapWidth(decoded.get()), BitmapHeight(decoded.get())};
}

} // namespace vantrel
