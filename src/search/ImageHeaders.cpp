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

} // namespace vantrel
