#pragma once
// The ICE block cipher (Kwan, "The Design of the ICE Encryption Algorithm", 1997) at any level:
// 64-bit blocks, a key of 8 bytes a level, 16 rounds a level (8 for level 0, Thin-ICE).
#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace vantrel::passwords {

class IceKey {
public:
    IceKey() = default;
    // `key` holds at least 8 * max(level, 1) bytes.
    IceKey(int level, std::span<const std::uint8_t> key) { Rekey(level, key); }
    // A word-list attack keys one object per thread again and again: no allocation once it has
    // held a key of this level.
    void Rekey(int level, std::span<const std::uint8_t> key);
    std::array<std::uint8_t, 8> Encrypt(const std::array<std::uint8_t, 8>& block) const;
    // Blocks as big-endian 64-bit words, enciphered in place. Each round waits on the one before,
    // so independent blocks go side by side (eight or sixteen to a vector where
    // the processor has AVX2 or AVX-512).
    // The kernel can be named (a test compares them); one this processor lacks falls back to the
    // best it has.
    enum class Kernel { Portable, Avx2, Avx512 };
    static Kernel Best();
    void EncryptBlocks(std::span<std::uint64_t> blocks, Kernel kernel = Best()) const;
    // How many blocks one pass of EncryptBlocks takes side by side on this processor: fewer cost
    // nearly as much.
    static std::size_t batch();

    struct Subkey {
        std::uint32_t salt = 0; // which expanded bits swap halves
        std::uint32_t left = 0; // XORed into the two 20-bit halves
        std::uint32_t right = 0;
    };

private:
    std::vector<Subkey> rounds_;
};

} // namespace vantrel::passwords
