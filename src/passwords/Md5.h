#pragma once
// MD5 (RFC 1321) of a prefix and a password, the hash several tools key their walks with. Our own
// compression function on the stack: a password costs one or two 64-byte blocks, where a library
// context's fetch, init and final would cost more than the hash.
#include <array>
#include <cstdint>
#include <string_view>

namespace vantrel::passwords {

std::array<std::uint8_t, 16> Md5(std::string_view prefix, std::string_view text);

} // namespace vantrel::passwords
