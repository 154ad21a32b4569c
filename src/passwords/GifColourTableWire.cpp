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

} // namespace vantrel::passwords
