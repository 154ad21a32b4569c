#pragma once
// Which steghide cover a file is, told from its first bytes as steghide 0.5.1 tells them, and
// whether steghide would take the BMP at all. The header is the suspect file's, so it is parsed
// in the decoder process (the "steghide-file-head" analysis); the caller gets back two bytes, the
// kind and a BMP's bit depth, and never reads the file itself. Header-only so that the decoder
// needs no further library for it but the byte toolkit.
#include "bytes/ByteOrder.h"
#include "bytes/FormatSniff.h"
#include "image/Result.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vantrel {

inline constexpr const char* kSteghideFileHeadAnalysis = "steghide-file-head";

enum class SteghideFileKind : std::uint8_t { Jpeg = 0, Bmp = 1 };

struct SteghideFileHead {
    SteghideFileKind kind = SteghideFileKind::Jpeg;
    int bmpBits = 0; // a BMP's declared bits per pixel: 1, 4, 8 or 24
};

// steghide reads the 40-byte Windows header (uncompressed only) and the 12-byte OS/2 one, at 1,
// 4, 8 or 24 bits. A negative (top-down) height it takes as unsigned and dies allocating the rows,
// so no steghide data can be in such a file. FreeImage would widen 16- and 32-bit pixels and
// expand RLE, so these are refused here, where the header still says what the file stores.
inline Result<SteghideFileHead> ReadSteghideFileHead(std::span<const std::uint8_t> file) {
    const bytes::FileFormat format = bytes::SniffFormat(file);
    if (format == bytes::FileFormat::Jpeg) {
        return SteghideFileHead{SteghideFileKind::Jpeg, 0};
    }
    if (format != bytes::FileFormat::Bmp) {
        return Failure("neither a JPEG nor a BMP");
    }
    constexpr std::size_t kInfoHeader = 40;
    constexpr std::size_t kCoreHeader = 12;
    constexpr std::size_t kFileHeader = 14;
    if (file.size() < kFileHeader + kCoreHeader) {
        return Failure("the BMP's header is cut short");
    }
    // In steghide's order: the header's size, the bit depth, the compression; the height only
    // fails it when the rows are read.
    const std::uint32_t headerSize = bytes::Le32(&file[kFileHeader]);
    if (headerSize != kInfoHeader && headerSize != kCoreHeader) {
        return Failure("steghide reads only BMPs with a 40-byte Windows or 12-byte OS/2 header, "
                       "not a " +
                       std::to_string(headerSize) + "-byte one");
    }
    if (file.size() < kFileHeader + headerSize) {
        return Failure("the BMP's header is cut short");
    }
    const int bits = static_cast<int>(bytes::Le16(&file[headerSize == kCoreHeader ? 24 : 28]));
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24) {
        return Failure("steghide reads only 1-, 4-, 8- and 24-bit BMPs, not " +
                       std::to_string(bits) + "-bit");
    }
    if (headerSize == kInfoHeader && bytes::Le32(&file[30]) != 0) {
        return Failure("steghide reads only uncompressed BMPs");
    }
    if (headerSize == kInfoHeader && static_cast<std::int32_t>(bytes::Le32(&file[22])) < 0) {
        return Failure("steghide cannot read top-down BMPs (negative height)");
    }
    return SteghideFileHead{SteghideFileKind::Bmp, bits};
}

// The decoder's side: the head as its two wire bytes.
inline Result<std::vector<std::uint8_t>> EncodeSteghideFileHead(std::span<const std::uint8_t> file,
                                                                std::int64_t /*maxPixels*/) {
    const Result<SteghideFileHead> head = ReadSteghideFileHead(file);
    if (!head) {
        return Failure(head.error());
    }
    return std::vector<std::uint8_t>{static_cast<std::uint8_t>(head->kind),
                                     static_cast<std::uint8_t>(head->bmpBits)};
}

// The caller's side, trusting nothing of what came back.
inline Result<SteghideFileHead> DecodeSteghideFileHead(const std::vector<std::uint8_t>& wire) {
    if (wire.size() == 2 && wire[0] == 0 && wire[1] == 0) {
        return SteghideFileHead{SteghideFileKind::Jpeg, 0};
    }
    if (wire.size() == 2 && wire[0] == 1 &&
        (wire[1] == 1 || wire[1] == 4 || wire[1] == 8 || wire[1] == 24)) {
        return SteghideFileHead{SteghideFileKind::Bmp, wire[1]};
    }
    return Failure("the decoder's steghide file head is malformed");
}

} // namespace vantrel
