#include "fileinfo/ImageComment.h"

#include <FreeImage.h>

#include <cstring>

namespace vantrel {
namespace {

// Up to `length` bytes, cut at the first NUL; bytes of 128 and above are Latin-1 characters,
// each written as two UTF-8 bytes.
std::string Latin1ToUtf8(const char* bytes, std::size_t length) {
    const void* nul = std::memchr(bytes, '\0', length);
    if (nul != nullptr) {
        length = static_cast<std::size_t>(static_cast<const char*>(nul) - bytes);
    }
    std::string text;
    text.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte < 0x80) {
            text += static_cast<char>(byte);
        } else {
            text += static_cast<char>(0xC0 | (byte >> 6));
            text += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return text;
}

} // namespace

std::string GetImageComment(const FIBITMAP* bitmap) {
    if (bitmap == nullptr) {
        return {};
    }
    FITAG* tag = nullptr;
    if (!FreeImage_GetMetadata(FIMD_COMMENTS, const_cast<FIBITMAP*>(bitmap), "Comment", &tag) ||
        tag == nullptr) {
        return {};
    }
    const auto* value = static_cast<const char*>(FreeImage_GetTagValue(tag));
    if (value == nullptr) {
        return {};
    }
    switch (FreeImage_GetTagType(tag)) {
    case FIDT_ASCII:
    case FIDT_BYTE:
    case FIDT_SBYTE:
    case FIDT_UNDEFINED:
        // Bounded by the tag's own length: a file's comment need not end in a NUL.
        return Latin1ToUtf8(value, FreeImage_GetTagLength(tag));
    default:
        return {};
    }
}

} // namespace vantrel
