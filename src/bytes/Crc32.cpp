#include "bytes/Crc32.h"

#include <zlib.h>

#include <algorithm>

namespace vantrel::bytes {

std::uint32_t Crc32(const std::uint8_t* bytes, std::uint64_t count, std::uint32_t crc) {
    while (count > 0) {
        const auto piece = static_cast<uInt>(std::min<std::uint64_t>(count, 1u << 30));
        crc = static_cast<std::uint32_t>(crc32(crc, bytes, piece));
        bytes += piece;
        count -= piece;
    }
    return crc;
}

} // namespace vantrel::bytes
