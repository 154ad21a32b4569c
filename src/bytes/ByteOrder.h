#pragma once
// Fixed-width reads and writes in either byte order. The caller has checked the bounds: these
// are the one place the shifts are written.
#include <cstdint>

namespace vantrel::bytes {

inline std::uint16_t Be16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>(at[0] << 8 | at[1]);
}
inline std::uint32_t Be32(const std::uint8_t* at) {
    return std::uint32_t(Be16(at)) << 16 | Be16(at + 2);
}
inline std::uint16_t Le16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>(at[0] | at[1] << 8);
}
inline std::uint32_t Le32(const std::uint8_t* at) {
    return Le16(at) | std::uint32_t(Le16(at + 2)) << 16;
}
inline std::uint64_t Le64(const std::uint8_t* at) {
    return Le32(at) | std::uint64_t(Le32(at + 4)) << 32;
}
inline void PutBe32(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value >> 24);
    at[1] = static_cast<std::uint8_t>(value >> 16);
    at[2] = static_cast<std::uint8_t>(value >> 8);
    at[3] = static_cast<std::uint8_t>(value);
}

} // namespace vantrel::bytes
