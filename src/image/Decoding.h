#pragma once
// The rules every decode runs under, and the hooks of the decoder process. Files come from
// analysts who do not trust them: a decode may be refused before it starts (pixel limit), and a
// decoder that crashes or hangs costs one file, never the caller (see DecodeClient.cpp).
#include "image/Bitmap.h"

#include <cstdint>
#include <string>

namespace vantrel {

struct DecodeLimits {
    // A header that claims more pixels than this is refused before any decoder allocates for
    // it. 2^28 admits a 200-megapixel photo and refuses a forged 20000 x 20000 header.
    std::int64_t maxPixels = std::int64_t{1} << 28;
    // Address space of one decoder process (not applied in sanitizer builds, whose shadow
    // memory reserves terabytes of address space).
    std::int64_t maxMemoryBytes = std::int64_t{6} << 30;
    // A decode that takes longer is killed.
    int timeoutMilliseconds = 30000;
    friend bool operator==(const DecodeLimits&, const DecodeLimits&) = default;
};

// Thread-safe. New limits apply to the next decode; decoder processes started under another
// memory limit are replaced.
void SetDecodeLimits(const DecodeLimits& limits);
DecodeLimits GetDecodeLimits();

// The size a file's header claims, read without decoding pixels; 0 x 0 when no header could be
// read. `format` is the FreeImage format to ask (-1: judge by content only).
struct ClaimedSize {
    std::int64_t width = 0;
    std::int64_t height = 0;
};
ClaimedSize ReadClaimedSize(const std::string& path, int format);

// The one-line refusal of an image whose claimed size passes the pixel limit; "" when it fits.
std::string RefusalOfSize(std::int64_t width, std::int64_t height, const std::string& path);

// A decoder that steps in where FreeImage fails (`format` is the FreeImage format the name or
// content suggests, -1 for none). It returns null when it cannot decode the file either; when
// it had a reader for the file, it then sets `error` to a one-line reason naming the file.
using FallbackDecoder = BitmapHandle (*)(const std::string& path, int format, std::string* error);

// Registered by the decoder process (which links the extra libraries); none by default.
void SetFallbackDecoder(FallbackDecoder decoder);

} // namespace vantrel
