#include "passwords/Ice.h"

#include "bytes/ByteOrder.h"

#include <algorithm>

namespace vantrel::passwords {
namespace {

// The S-boxes: x^7 in GF(2^8) modulo one of sixteen irreducible polynomials (row), the column
// XORed with a constant first, the result spread by the P-box. Four 1024-entry tables, built once.
struct Sboxes {
    std::array<std::array<std::uint32_t, 1024>, 4> table{};

    static unsigned Multiply(unsigned a, unsigned b, unsigned modulus) {
        unsigned product = 0;
        for (; b != 0; b >>= 1) {
            if (b & 1) {
                product ^= a;
            }
            a <<= 1;
            if (a >= 256) {
                a ^= modulus;
            }
        }
        return product;
    }
    static unsigned Power7(unsigned b, unsigned modulus) {
        if (b == 0) {
            return 0;
        }
        const unsigned b2 = Multiply(b, b, modulus);
        const unsigned b3 = Multiply(b, b2, modulus);
        const unsigned b6 = Multiply(b3, b3, modulus);
        return Multiply(b, b6, modulus);
    }
    static std::uint32_t Permute(std::uint32_t x) {
        // Where each input bit goes, least significant first.
        static constexpr std::array<std::uint8_t, 32> kTarget = {
            0, 7, 10, 13, 19, 21, 24, 30, 3, 5, 8,  14, 16, 23, 26, 29,
            2, 4, 9,  15, 17, 22, 27, 28, 1, 6, 11, 12, 18, 20, 25, 31};
        std::uint32_t out = 0;
        for (int bit = 0; x != 0; ++bit, x >>= 1) {
            if (x & 1) {
                out |= std::uint32_t{1} << kTarget[static_cast<std::size_t>(bit)];
            }
        }
        return out;
    }
    Sboxes() {
        static constexpr unsigned kModulus[4][4] = {
            {333, 313, 505, 369}, {379, 375, 319, 391}, {361, 445, 451, 397}, {397, 425, 395, 505}};
        static constexpr unsigned kXor[4][4] = {{0x83, 0x85, 0x9b, 0xcd},
                                                {0xcc, 0xa7, 0xad, 0x41},
                                                {0x4b, 0x2e, 0xd4, 0x33},
                                                {0xea, 0xcb, 0x2e, 0x04}};
        for (unsigned i = 0; i < 1024; ++i) {
            const unsigned column = (i >> 1) & 0xff;
            const unsigned row = (i & 1) | ((i & 0x200) >> 8);
            for (unsigned box = 0; box < 4; ++box) {
                const std::uint32_t value = Power7(column ^ kXor[box][row], kModulus[box][row]);
                table[box][i] = Permute(value << (24 - 8 * box));
            }
        }
    }
};

const Sboxes& Boxes() {
    static const Sboxes boxes;
    return boxes;
}

} // namespace

IceKey::IceKey(int level, std::span<const std::uint8_t> key) {
    const int size = level < 1 ? 1 : level;
    rounds_.resize(level < 1 ? 8 : static_cast<std::size_t>(level) * 16);
    // Eight subkeys from four 16-bit words, each word rotated one bit a step with its bit
    // inverted, in the order `rotation` names the words; the second eight of a level go on
    // rotating the words where the first eight left them.
    static constexpr int kRotation[16] = {0, 1, 2, 3, 2, 1, 3, 0, 1, 3, 2, 0, 3, 1, 0, 2};
    const auto build = [this](std::array<std::uint16_t, 4>& words, std::size_t first,
                              const int* rotation) {
        for (std::size_t i = 0; i < 8; ++i) {
            std::uint32_t parts[3] = {0, 0, 0};
            for (int j = 0; j < 15; ++j) {
                std::uint32_t& part = parts[j % 3];
                for (int k = 0; k < 4; ++k) {
                    std::uint16_t& word = words[static_cast<std::size_t>((rotation[i] + k) & 3)];
                    const unsigned bit = word & 1u;
                    part = (part << 1) | bit;
                    word = static_cast<std::uint16_t>((word >> 1) | ((bit ^ 1u) << 15));
                }
            }
            rounds_[first + i] = {parts[2], parts[0], parts[1]};
        }
    };
    const auto words = [&](int block) {
        std::array<std::uint16_t, 4> w{};
        for (int j = 0; j < 4; ++j) {
            const std::size_t at = static_cast<std::size_t>(block * 8 + j * 2);
            w[static_cast<std::size_t>(3 - j)] = bytes::Be16(&key[at]);
        }
        return w;
    };
    if (rounds_.size() == 8) {
        std::array<std::uint16_t, 4> w = words(0);
        build(w, 0, kRotation);
        return;
    }
    for (int block = 0; block < size; ++block) {
        std::array<std::uint16_t, 4> w = words(block);
        build(w, static_cast<std::size_t>(block) * 8, kRotation);
        build(w, rounds_.size() - 8 - static_cast<std::size_t>(block) * 8, kRotation + 8);
    }
}

std::array<std::uint8_t, 8> IceKey::Encrypt(const std::array<std::uint8_t, 8>& block) const {
    std::uint64_t word = 0;
    for (const std::uint8_t byte : block) {
        word = word << 8 | byte;
    }
    EncryptBlocks({&word, 1});
    std::array<std::uint8_t, 8> out{};
    for (std::size_t i = 0; i < 8; ++i) {
        out[i] = static_cast<std::uint8_t>(word >> (56 - 8 * i));
    }
    return out;
}

void IceKey::EncryptBlocks(std::span<std::uint64_t> blocks) const {
    const auto& box = Boxes().table;
    const auto round = [&box](std::uint32_t p, const Subkey& key) {
        // Each 32-bit half expanded to two 20-bit halves, salted, keyed, through the S-boxes.
        const std::uint32_t left = ((p >> 16) & 0x3ff) | (((p >> 14) | (p << 18)) & 0xffc00);
        const std::uint32_t right = (p & 0x3ff) | ((p << 2) & 0xffc00);
        const std::uint32_t swap = key.salt & (left ^ right);
        const std::uint32_t a = (swap ^ left) ^ key.left;
        const std::uint32_t b = (swap ^ right) ^ key.right;
        return box[0][a >> 10] | box[1][a & 0x3ff] | box[2][b >> 10] | box[3][b & 0x3ff];
    };
    constexpr std::size_t kLanes = 4;
    for (std::size_t first = 0; first < blocks.size(); first += kLanes) {
        const std::size_t lanes = std::min(kLanes, blocks.size() - first);
        std::uint32_t l[kLanes] = {};
        std::uint32_t r[kLanes] = {};
        for (std::size_t n = 0; n < lanes; ++n) {
            l[n] = static_cast<std::uint32_t>(blocks[first + n] >> 32);
            r[n] = static_cast<std::uint32_t>(blocks[first + n]);
        }
        for (std::size_t i = 0; i < rounds_.size(); i += 2) {
            for (std::size_t n = 0; n < kLanes; ++n) {
                l[n] ^= round(r[n], rounds_[i]);
            }
            for (std::size_t n = 0; n < kLanes; ++n) {
                r[n] ^= round(l[n], rounds_[i + 1]);
            }
        }
        for (std::size_t n = 0; n < lanes; ++n) {
            blocks[first + n] = std::uint64_t{r[n]} << 32 | l[n];
        }
    }
}

} // namespace vantrel::passwords
