#include "passwords/Md5.h"

#include <bit>
#include <cstring>

namespace vantrel::passwords {
namespace {

// The sines' constants of RFC 1321, floor(2^32 * |sin(i + 1)|).
constexpr std::uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
constexpr int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

void Compress(std::array<std::uint32_t, 4>& state, const std::uint8_t* block) {
    std::uint32_t m[16];
    for (int i = 0; i < 16; ++i) {
        const std::uint8_t* p = block + 4 * i;
        m[i] = std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
               std::uint32_t{p[3]} << 24;
    }
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    // One loop a round, each with its own function and word order, so that each unrolls.
    const auto step = [&](int i, std::uint32_t f, int g) {
        const std::uint32_t sum = a + f + kSine[i] + m[g];
        a = d;
        d = c;
        c = b;
        b += std::rotl(sum, kShift[i / 16][i & 3]);
    };
    for (int i = 0; i < 16; ++i) {
        step(i, (b & c) | (~b & d), i);
    }
    for (int i = 16; i < 32; ++i) {
        step(i, (d & b) | (~d & c), (5 * i + 1) & 15);
    }
    for (int i = 32; i < 48; ++i) {
        step(i, b ^ c ^ d, (3 * i + 5) & 15);
    }
    for (int i = 48; i < 64; ++i) {
        step(i, c ^ (b | ~d), (7 * i) & 15);
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

} // namespace

std::array<std::uint8_t, 16> Md5(std::string_view prefix, std::string_view text) {
    std::array<std::uint32_t, 4> state{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    const std::uint64_t length = prefix.size() + text.size();
    std::uint8_t block[64];
    std::size_t filled = 0;
    const auto feed = [&](std::string_view bytes) {
        while (!bytes.empty()) {
            const std::size_t take = std::min(bytes.size(), 64 - filled);
            std::memcpy(block + filled, bytes.data(), take);
            filled += take;
            bytes.remove_prefix(take);
            if (filled == 64) {
                Compress(state, block);
                filled = 0;
            }
        }
    };
    feed(prefix);
    feed(text);
    block[filled++] = 0x80;
    if (filled > 56) {
        std::memset(block + filled, 0, 64 - filled);
        Compress(state, block);
        filled = 0;
    }
    std::memset(block + filled, 0, 56 - filled);
    for (int i = 0; i < 8; ++i) {
        block[56 + i] = static_cast<std::uint8_t>((length * 8) >> (8 * i));
    }
    Compress(state, block);
    std::array<std::uint8_t, 16> digest{};
    for (int i = 0; i < 16; ++i) {
        digest[static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(state[i / 4] >> (8 * (i % 4)));
    }
    return digest;
}

} // namespace vantrel::passwords
