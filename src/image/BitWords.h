#pragma once
// Packed rows of one bit a pixel read and written a 64-bit word at a time: the first pixel of a
// byte is its bit 7, as FreeImage's 1- and 4-bit bitmaps hold them. Inlined into the loops of
// both instruction sets (see WideVectors.h).
#include "image/WideVectors.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vantrel {

// `bytes` (at most eight) bytes from `at` as one word, the first byte in the high bits, the
// missing low bytes zero: the order in which packed rows hold their pixels.
VANTREL_INLINE_LOOP std::uint64_t BigEndianWord(const std::uint8_t* at, std::size_t bytes = 8) {
    std::uint64_t word = 0;
    if (bytes == 8) {
        std::memcpy(&word, at, sizeof word);
    } else {
        std::memcpy(&word, at, bytes);
    }
    if constexpr (std::endian::native == std::endian::little) {
        word = __builtin_bswap64(word);
    }
    return word;
}

// Eight codes 0/1, one a byte of a little-endian word, packed into one byte: byte k lands in
// bit 7 - k, and the products of the other bytes land on distinct bits below, so nothing
// carries.
VANTREL_INLINE_LOOP std::uint8_t PackEight(std::uint64_t ones) {
    return static_cast<std::uint8_t>((ones * 0x8040201008040201ULL) >> 56);
}

// The set bits of `count` bytes, eight bytes at a time (the baseline instruction set has no
// popcount instruction).
VANTREL_INLINE_LOOP std::uint32_t SetBits(const std::uint8_t* bytes, std::size_t count) {
    std::uint32_t total = 0;
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes + i, sizeof word);
        word -= (word >> 1) & 0x5555555555555555ULL;
        word = (word & 0x3333333333333333ULL) + ((word >> 2) & 0x3333333333333333ULL);
        word = (word + (word >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
        total += static_cast<std::uint32_t>((word * 0x0101010101010101ULL) >> 56);
    }
    for (; i < count; ++i) {
        total += static_cast<std::uint32_t>(std::popcount(static_cast<unsigned>(bytes[i])));
    }
    return total;
}

// Code x of a packed row of 1, 4 or 8 bits a code.
VANTREL_INLINE_LOOP int CodeAt(const std::uint8_t* row, int bitsPerPixel, int x) {
    switch (bitsPerPixel) {
    case 1:
        return row[x >> 3] >> (7 - (x & 7)) & 1;
    case 4:
        return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
    default:
        return row[x];
    }
}

// Set bits of each byte value: a lookup, where the target machine may have no popcount.
inline constexpr std::array<std::uint8_t, 256> kSetBitsOfByte = [] {
    std::array<std::uint8_t, 256> counts{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        counts[byte] = static_cast<std::uint8_t>(std::popcount(byte));
    }
    return counts;
}();

// The set bits of pixels [first, end) of a 1-bit row of `rowBytes` bytes: up to 57 pixels at a
// time from a big-endian word and a popcount, where eight bytes can be read; the row's last
// bytes one at a time, by table.
VANTREL_INLINE_LOOP int SetBits(const std::uint8_t* row, int rowBytes, int first, int end) {
    int count = 0;
    int x = first;
    while (x < end && (x >> 3) + 8 <= rowBytes) {
        const int skip = x & 7;
        std::uint64_t word = BigEndianWord(row + (x >> 3));
        const int taken = std::min(end - x, 64 - skip);
        word <<= skip;
        word >>= 64 - taken;
        count += std::popcount(word);
        x += taken;
    }
    if (x >= end) {
        return count;
    }
    const int firstByte = x >> 3;
    const int lastByte = (end - 1) >> 3;
    const unsigned head = 0xFFu >> (x & 7);
    const unsigned tail = (0xFFu << (7 - ((end - 1) & 7))) & 0xFFu;
    if (firstByte == lastByte) {
        return count + kSetBitsOfByte[row[firstByte] & head & tail];
    }
    count += kSetBitsOfByte[row[firstByte] & head] + kSetBitsOfByte[row[lastByte] & tail];
    for (int byte = firstByte + 1; byte < lastByte; ++byte) {
        count += kSetBitsOfByte[row[byte]];
    }
    return count;
}

} // namespace vantrel
