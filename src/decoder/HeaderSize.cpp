#include "decoder/HeaderSize.h"

#include "bytes/ByteOrder.h"
#include "bytes/FormatSniff.h"
#include "bytes/GifBlocks.h"

#include <cstring>

namespace vantrel {
namespace {

using Bytes = std::span<const std::uint8_t>;

using bytes::Be32;

std::int32_t Little32(const std::uint8_t* at) {
    return static_cast<std::int32_t>(bytes::Le32(at));
}

int Little16(const std::uint8_t* at) {
    return bytes::Le16(at);
}

bool StartsWith(Bytes bytes, const char* signature, std::size_t size) {
    return bytes.size() >= size && std::memcmp(bytes.data(), signature, size) == 0;
}

std::optional<HeaderSize> PngSize(Bytes bytes) {
    if (bytes.size() < 24) {
        return std::nullopt;
    }
    return HeaderSize{Be32(&bytes[16]), Be32(&bytes[20])};
}

// Past the colour table and any extensions, up to the first image descriptor.
std::optional<HeaderSize> GifSize(Bytes bytes) {
    const bytes::GifFirstImage image = bytes::FindFirstGifImage(bytes);
    if (image.result != bytes::GifImageSearch::Found || image.offset + 9 > bytes.size()) {
        return std::nullopt;
    }
    return HeaderSize{Little16(&bytes[image.offset + 5]), Little16(&bytes[image.offset + 7])};
}

std::optional<HeaderSize> BmpSize(Bytes bytes) {
    if (bytes.size() < 26) {
        return std::nullopt;
    }
    if (Little32(&bytes[14]) == 12) { // the old OS/2 header: 16-bit sides
        return HeaderSize{Little16(&bytes[18]), Little16(&bytes[20])};
    }
    const std::int64_t height = Little32(&bytes[22]);
    return HeaderSize{Little32(&bytes[18]), height < 0 ? -height : height};
}

// SOC then SIZ: Xsiz, Ysiz, XOsiz, YOsiz, the tiling, the component count, then the first
// component's depth and subsampling.
std::optional<HeaderSize> CodeStreamSize(Bytes bytes) {
    if (bytes.size() < 45 || std::memcmp(bytes.data(), "\xFF\x4F\xFF\x51", 4) != 0) {
        return std::nullopt;
    }
    const std::int64_t width = std::int64_t{Be32(&bytes[8])} - Be32(&bytes[16]);
    const std::int64_t height = std::int64_t{Be32(&bytes[12])} - Be32(&bytes[20]);
    return HeaderSize{width, height, bytes[43] == 1 && bytes[44] == 1};
}

// Boxes: a 32-bit length (1: a 64-bit one follows the type; 0: to the end of the file) and a
// type, up to the contiguous code stream box. Where that lies beyond the bytes read, the image
// header box's claim still counts against the pixel limit.
std::optional<HeaderSize> Jp2Size(Bytes bytes) {
    std::optional<HeaderSize> imageHeader;
    std::size_t at = 12;
    while (at + 8 <= bytes.size()) {
        if (std::memcmp(&bytes[at + 4], "jp2h", 4) == 0 && at + 24 <= bytes.size() &&
            std::memcmp(&bytes[at + 12], "ihdr", 4) == 0) {
            imageHeader = HeaderSize{Be32(&bytes[at + 20]), Be32(&bytes[at + 16]), false};
        }
        std::uint64_t length = Be32(&bytes[at]);
        std::uint64_t headerLength = 8;
        if (length == 1) {
            if (at + 16 > bytes.size()) {
                return std::nullopt;
            }
            length = (std::uint64_t{Be32(&bytes[at + 8])} << 32) | Be32(&bytes[at + 12]);
            headerLength = 16;
        }
        if (std::memcmp(&bytes[at + 4], "jp2c", 4) == 0) {
            std::optional<HeaderSize> codeStream = CodeStreamSize(bytes.subspan(at + headerLength));
            // An image header that disagrees with the code stream: the decoder fails on it, but
            // may allocate for either first, so the larger claim is the one to check.
            if (codeStream && imageHeader &&
                (imageHeader->width != codeStream->width ||
                 imageHeader->height != codeStream->height)) {
                const bool headerLarger = imageHeader->width * imageHeader->height >
                                          codeStream->width * codeStream->height;
                codeStream = headerLarger ? imageHeader : codeStream;
                codeStream->decoderAgrees = false;
            }
            return codeStream ? codeStream : imageHeader;
        }
        if (length < headerLength || length > bytes.size() - at) {
            break; // 0 (the rest of the file) for a box that is not the last, or cut short
        }
        at += length;
    }
    return imageHeader;
}

std::optional<HeaderSize> ReadHeaderSizeOfKnownFormats(Bytes bytes) {
    switch (bytes::SniffFormat(bytes)) {
    case bytes::FileFormat::Png:
        // Only an IHDR first says the size.
        return StartsWith(bytes, "\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR", 16) ? PngSize(bytes)
                                                                        : std::nullopt;
    case bytes::FileFormat::Gif:
        return GifSize(bytes);
    case bytes::FileFormat::Bmp:
        return BmpSize(bytes);
    case bytes::FileFormat::CodeStream:
        return CodeStreamSize(bytes);
    case bytes::FileFormat::Jp2:
        return Jp2Size(bytes);
    default:
        return std::nullopt;
    }
}

} // namespace

std::optional<HeaderSize> ReadHeaderSize(Bytes bytes) {
    std::optional<HeaderSize> size = ReadHeaderSizeOfKnownFormats(bytes);
    // A side that is not positive claims nothing: the decoder will reject the file.
    if (size && (size->width <= 0 || size->height <= 0)) {
        return std::nullopt;
    }
    return size;
}

} // namespace vantrel
