// The header reader on arbitrary bytes: it must never read past them, and a size it gives has
// positive sides.
#include "decoder/HeaderSize.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::optional<vantrel::HeaderSize> header =
        vantrel::ReadHeaderSize(std::span<const std::uint8_t>(data, size));
    if (header && (header->width <= 0 || header->height <= 0)) {
        std::abort();
    }
    return 0;
}
