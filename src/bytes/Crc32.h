#pragma once
// The CRC-32 of PNG, ZIP, gzip and 7z (zlib's), over any length: zlib takes at most 4 GB a call.
#include <cstdint>

namespace vantrel::bytes {

std::uint32_t Crc32(const std::uint8_t* bytes, std::uint64_t count, std::uint32_t crc = 0);

} // namespace vantrel::bytes
