#pragma once
// MD5 (RFC 1321) of a prefix and a password, the hash several tools key their walks with.
#include <array>
#include <cstdint>
#include <string_view>

namespace vantrel::passwords {

std::array<std::uint8_t, 16> Md5(std::string_view prefix, std::string_view text);

} // namespace vantrel::passwords
