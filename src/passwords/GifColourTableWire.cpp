#include "passwords/GifColourTable.h"

namespace vantrel::passwords {

Result<std::vector<GifColour>> DecodeGifColourTable(std::span<const std::uint8_t> bytes) {
    const std::size_t colours = bytes.size() / 3;
    if (bytes.size() % 3 != 0 || colours < 2 || colours > 256 || (colours & (colours - 1)) != 0) {
        return Failure("the decoder sent a malformed GIF colour table");
    }
    std::vector<GifColour> table(colours);
    for (std::size_t i = 0; i < colours; ++i) {
        table[i] = {bytes[3 * i], bytes[3 * i + 1], bytes[3 * i + 2]};
    }
    return table;
}

Result<GifFrameTable> DecodeGifFrameTable(std::span<const std::uint8_t> bytes) {
    constexpr std::size_t kSides = 4;
    if (bytes.size() < kSides) {
        return Failure("the decoder sent a malformed GIF frame table");
    }
    Result<std::vector<GifColour>> table = DecodeGifColourTable(bytes.first(bytes.size() - kSides));
    const std::uint8_t* sides = bytes.data() + bytes.size() - kSides;
    GifFrameTable frame;
    frame.width = std::uint32_t{sides[0]} | std::uint32_t{sides[1]} << 8;
    frame.height = std::uint32_t{sides[2]} | std::uint32_t{sides[3]} << 8;
    if (!table || frame.width == 0 || frame.height == 0) {
        return Failure("the decoder sent a malformed GIF frame table");
    }
    frame.table = std::move(*table);
    return frame;
}

} // namespace vantrel::passwords
