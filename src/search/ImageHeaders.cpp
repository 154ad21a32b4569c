#include "search/ImageHeaders.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>

namespace vantrel {
namespace {

constexpr int kExtension = 0x21;
constexpr int kImageDescriptor = 0x2C;
constexpr std::uint8_t kHasColourTable = 0x80;

int Little16(const std::uint8_t* bytes) {
    return bytes[0] | (bytes[1] << 8);
}

std::streamoff ColourTableBytes(std::uint8_t packed) {
    return (packed & kHasColourTable) ? 3 * (std::streamoff{2} << (packed & 7)) : 0;
}

std::uint32_t Big32(const std::uint8_t* bytes) {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
           (std::uint32_t{bytes[2]} << 8) | bytes[3];
}

template <std::size_t N> bool ReadBytes(std::ifstream& file, std::array<std::uint8_t, N>& bytes) {
    return static_cast<bool>(file.read(reinterpret_cast<char*>(bytes.data()), N));
}

constexpr std::array<std::uint8_t, 4> kCodeStreamStart{0xFF, 0x4F, 0xFF, 0x51}; // SOC, SIZ
constexpr std::array<std::uint8_t, 12> kJp2Signature{0x00, 0x00, 0x00, 0x0C, 'j',  'P',
                                                     ' ',  ' ',  0x0D, 0x0A, 0x87, 0x0A};
constexpr int kMostBoxes = 64;

// The SIZ segment at the file's position: Xsiz, Ysiz, XOsiz, YOsiz, then after the tiling and
// the component count, the first component's subsampling.
std::optional<Size> CodeStreamSize(std::ifstream& file) {
    std::array<std::uint8_t, 45> siz{};
    if (!ReadBytes(file, siz) || std::memcmp(siz.data(), kCodeStreamStart.data(), 4) != 0) {
        return std::nullopt;
    }
    const std::uint32_t right = Big32(&siz[8]);
    const std::uint32_t bottom = Big32(&siz[12]);
    const std::uint32_t left = Big32(&siz[16]);
    const std::uint32_t top = Big32(&siz[20]);
    const bool subsampled = siz[43] != 1 || siz[44] != 1;
    if (subsampled || right <= left || bottom <= top || right - left > 0x7FFFFFFF ||
        bottom - top > 0x7FFFFFFF) {
        return std::nullopt;
    }
    return Size{static_cast<int>(right - left), static_cast<int>(bottom - top)};
}

} // namespace

std::optional<Size> GifImageSize(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::array<std::uint8_t, 13> header{}; // signature and logical screen descriptor
    if (!file.read(reinterpret_cast<char*>(header.data()), header.size()) ||
        (std::memcmp(header.data(), "GIF87a", 6) != 0 &&
         std::memcmp(header.data(), "GIF89a", 6) != 0)) {
        return std::nullopt;
    }
    file.seekg(ColourTableBytes(header[10]), std::ios::cur);
    while (file) {
        const int introducer = file.get();
        if (introducer == kImageDescriptor) {
            std::array<std::uint8_t, 8> descriptor{}; // left, top, width, height
            if (!file.read(reinterpret_cast<char*>(descriptor.data()), descriptor.size())) {
                return std::nullopt;
            }
            return Size{Little16(&descriptor[4]), Little16(&descriptor[6])};
        }
        if (introducer != kExtension) {
            return std::nullopt; // the trailer, or not a GIF after all
        }
        file.get(); // the extension's label
        // Its data sub-blocks, each led by its length, up to an empty one.
        for (int length = file.get(); file && length > 0; length = file.get()) {
            file.seekg(length, std::ios::cur);
        }
    }
    return std::nullopt;
}

std::optional<Size> Jpeg2000ImageSize(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::array<std::uint8_t, 12> start{};
    if (!ReadBytes(file, start)) {
        return std::nullopt;
    }
    if (std::memcmp(start.data(), kCodeStreamStart.data(), 4) == 0) {
        file.seekg(0);
        return CodeStreamSize(file);
    }
    if (start != kJp2Signature) {
        return std::nullopt;
    }
    // Boxes: a 32-bit length (1: a 64-bit one follows the type; 0: to the end of the file) and
    // a type, up to the contiguous code stream box.
    for (int box = 0; box < kMostBoxes; ++box) {
        std::array<std::uint8_t, 8> header{};
        if (!ReadBytes(file, header)) {
            return std::nullopt;
        }
        std::uint64_t length = Big32(&header[0]);
        std::uint64_t headerLength = 8;
        if (length == 1) {
            std::array<std::uint8_t, 8> extended{};
            if (!ReadBytes(file, extended)) {
                return std::nullopt;
            }
            length = (std::uint64_t{Big32(&extended[0])} << 32) | Big32(&extended[4]);
            headerLength = 16;
        }
        if (std::memcmp(&header[4], "jp2c", 4) == 0) {
            return CodeStreamSize(file);
        }
        if (length < headerLength) {
            return std::nullopt; // 0 (the rest of the file) for any box but the last one
        }
        file.seekg(static_cast<std::streamoff>(length - headerLength), std::ios::cur);
    }
    return std::nullopt;
}

std::optional<Size> HeaderImageSize(const std::string& path) {
    if (std::optional<Size> size = GifImageSize(path)) {
        return size;
    }
    return Jpeg2000ImageSize(path);
}

} // namespace vantrel
