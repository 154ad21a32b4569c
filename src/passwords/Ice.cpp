#include "passwords/Ice.h"

#include "bytes/ByteOrder.h"
#include "image/WideVectors.h"

#include <algorithm>
#include <type_traits>

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

// Bit b of a key word, taken first of its turn, goes to subkey part b % 3 (20 bits at 20 * part
// in one 64-bit word), bit 19 - 4 * (b / 3) of it; later turns land 1, 2, 3 bits lower.
struct Spread {
    std::array<std::uint64_t, 256> low{};  // word bits 0-7
    std::array<std::uint64_t, 128> high{}; // word bits 8-14
    static std::uint64_t Of(unsigned bits, unsigned firstBit) {
        std::uint64_t out = 0;
        for (unsigned b = firstBit; bits != 0; ++b, bits >>= 1) {
            if (bits & 1) {
                out |= std::uint64_t{1} << (20 * (b % 3) + 19 - 4 * (b / 3));
            }
        }
        return out;
    }
    Spread() {
        for (unsigned v = 0; v < 256; ++v) {
            low[v] = Of(v, 0);
        }
        for (unsigned v = 0; v < 128; ++v) {
            high[v] = Of(v, 8);
        }
    }
};

const Spread& Spreads() {
    static const Spread spread;
    return spread;
}

using Subkey = IceKey::Subkey;
using Tables = std::array<std::array<std::uint32_t, 1024>, 4>;

// The round function: the 32-bit half expanded to two 20-bit halves, salted, keyed, through the
// S-boxes.
inline std::uint32_t Round(const Tables& box, std::uint32_t p, const Subkey& key) {
    const std::uint32_t left = ((p >> 16) & 0x3ff) | (((p >> 14) | (p << 18)) & 0xffc00);
    const std::uint32_t right = (p & 0x3ff) | ((p << 2) & 0xffc00);
    const std::uint32_t swap = key.salt & (left ^ right);
    const std::uint32_t a = (swap ^ left) ^ key.left;
    const std::uint32_t b = (swap ^ right) ^ key.right;
    return box[0][a >> 10] | box[1][a & 0x3ff] | box[2][b >> 10] | box[3][b & 0x3ff];
}

// Up to eight blocks a scalar round each, side by side. Beside the vectors they take the few
// blocks past the last whole vector: the S-box reads bound the speed, so they cost their own reads,
// where a vector of padding would cost a full one.
struct ScalarLanes {
    static constexpr std::size_t kMax = 8;
    std::uint64_t* blocks;
    std::size_t count;
    std::uint32_t l[kMax] = {};
    std::uint32_t r[kMax] = {};

    ScalarLanes(std::uint64_t* first, std::size_t n) : blocks(first), count(n) {
        for (std::size_t i = 0; i < count; ++i) {
            l[i] = static_cast<std::uint32_t>(blocks[i] >> 32);
            r[i] = static_cast<std::uint32_t>(blocks[i]);
        }
    }
    void LeftRound(const Tables& box, const Subkey& key) {
        for (std::size_t i = 0; i < count; ++i) {
            l[i] ^= Round(box, r[i], key);
        }
    }
    void RightRound(const Tables& box, const Subkey& key) {
        for (std::size_t i = 0; i < count; ++i) {
            r[i] ^= Round(box, l[i], key);
        }
    }
    void Store() const {
        for (std::size_t i = 0; i < count; ++i) {
            blocks[i] = std::uint64_t{r[i]} << 32 | l[i];
        }
    }
};

void EncryptPortable(std::span<const Subkey> rounds, std::span<std::uint64_t> blocks) {
    const Tables& box = Boxes().table;
    for (std::size_t first = 0; first < blocks.size(); first += ScalarLanes::kMax) {
        ScalarLanes lanes(&blocks[first], std::min(ScalarLanes::kMax, blocks.size() - first));
        for (std::size_t i = 0; i < rounds.size(); i += 2) {
            lanes.LeftRound(box, rounds[i]);
            lanes.RightRound(box, rounds[i + 1]);
        }
        lanes.Store();
    }
}

#if VANTREL_AVX2_KERNELS
// The same round on eight halves, its four S-box reads as gathers; two vectors (sixteen blocks)
// at a time, so that one's gathers overlap the other's.
VANTREL_AVX2 inline __m256i Gather(const std::array<std::uint32_t, 1024>& table, __m256i index) {
    return _mm256_i32gather_epi32(reinterpret_cast<const int*>(table.data()), index, 4);
}

VANTREL_AVX2 inline __m256i RoundAvx2(const Tables& box, __m256i p, const Subkey& key) {
    const __m256i low10 = _mm256_set1_epi32(0x3ff);
    const __m256i high10 = _mm256_set1_epi32(0xffc00);
    const __m256i left = _mm256_or_si256(
        _mm256_and_si256(_mm256_srli_epi32(p, 16), low10),
        _mm256_and_si256(_mm256_or_si256(_mm256_srli_epi32(p, 14), _mm256_slli_epi32(p, 18)),
                         high10));
    const __m256i right = _mm256_or_si256(_mm256_and_si256(p, low10),
                                          _mm256_and_si256(_mm256_slli_epi32(p, 2), high10));
    const __m256i swap = _mm256_and_si256(_mm256_set1_epi32(static_cast<int>(key.salt)),
                                          _mm256_xor_si256(left, right));
    const __m256i a = _mm256_xor_si256(_mm256_xor_si256(swap, left),
                                       _mm256_set1_epi32(static_cast<int>(key.left)));
    const __m256i b = _mm256_xor_si256(_mm256_xor_si256(swap, right),
                                       _mm256_set1_epi32(static_cast<int>(key.right)));
    return _mm256_or_si256(_mm256_or_si256(Gather(box[0], _mm256_srli_epi32(a, 10)),
                                           Gather(box[1], _mm256_and_si256(a, low10))),
                           _mm256_or_si256(Gather(box[2], _mm256_srli_epi32(b, 10)),
                                           Gather(box[3], _mm256_and_si256(b, low10))));
}

// `Vectors` times eight blocks side by side.
template <std::size_t Vectors>
VANTREL_AVX2 inline void EncryptVectors(const Tables& box, std::span<const Subkey> rounds,
                                        std::uint64_t* blocks, ScalarLanes& extra) {
    __m256i l[Vectors], r[Vectors];
    for (std::size_t v = 0; v < Vectors; ++v) {
        // Deinterleaved: the low halves of eight blocks in one vector, the high in the other
        // (lane order scrambled alike, undone at the end).
        const __m256 x = _mm256_castsi256_ps(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(blocks + 8 * v)));
        const __m256 y = _mm256_castsi256_ps(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(blocks + 8 * v + 4)));
        r[v] = _mm256_castps_si256(_mm256_shuffle_ps(x, y, 0x88));
        l[v] = _mm256_castps_si256(_mm256_shuffle_ps(x, y, 0xdd));
    }
    for (std::size_t i = 0; i < rounds.size(); i += 2) {
        for (std::size_t v = 0; v < Vectors; ++v) {
            l[v] = _mm256_xor_si256(l[v], RoundAvx2(box, r[v], rounds[i]));
        }
        extra.LeftRound(box, rounds[i]);
        for (std::size_t v = 0; v < Vectors; ++v) {
            r[v] = _mm256_xor_si256(r[v], RoundAvx2(box, l[v], rounds[i + 1]));
        }
        extra.RightRound(box, rounds[i + 1]);
    }
    extra.Store();
    // The halves swap on the way out.
    for (std::size_t v = 0; v < Vectors; ++v) {
        const __m256 low = _mm256_castsi256_ps(l[v]);
        const __m256 high = _mm256_castsi256_ps(r[v]);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(blocks + 8 * v),
                            _mm256_castps_si256(_mm256_unpacklo_ps(low, high)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(blocks + 8 * v + 4),
                            _mm256_castps_si256(_mm256_unpackhi_ps(low, high)));
    }
}

// AVX-512: sixteen blocks a vector. Gathers are the cost, and a 16-lane gather costs less a lane
// than two 8-lane ones; two vectors (32 blocks) side by side keep it busy.
#define VANTREL_AVX512 __attribute__((target("avx512f,avx2,popcnt")))
// GCC 12's AVX-512 intrinsics start from a deliberately undefined vector, which its
// maybe-uninitialized check takes for a fault once they are inlined.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"

bool HasAvx512() {
    static const bool has = HasAvx2() && __builtin_cpu_supports("avx512f");
    return has;
}

VANTREL_AVX512 inline __m512i Gather16(const std::array<std::uint32_t, 1024>& table,
                                       __m512i index) {
    return _mm512_i32gather_epi32(index, table.data(), 4);
}

VANTREL_AVX512 inline __m512i RoundAvx512(const Tables& box, __m512i p, const Subkey& key) {
    const __m512i low10 = _mm512_set1_epi32(0x3ff);
    const __m512i high10 = _mm512_set1_epi32(0xffc00);
    const __m512i left = _mm512_or_si512(_mm512_and_si512(_mm512_srli_epi32(p, 16), low10),
                                         _mm512_and_si512(_mm512_ror_epi32(p, 14), high10));
    const __m512i right = _mm512_or_si512(_mm512_and_si512(p, low10),
                                          _mm512_and_si512(_mm512_slli_epi32(p, 2), high10));
    const __m512i swap = _mm512_and_si512(_mm512_set1_epi32(static_cast<int>(key.salt)),
                                          _mm512_xor_si512(left, right));
    // 0x96: the XOR of all three.
    const __m512i a =
        _mm512_ternarylogic_epi32(swap, left, _mm512_set1_epi32(static_cast<int>(key.left)), 0x96);
    const __m512i b = _mm512_ternarylogic_epi32(
        swap, right, _mm512_set1_epi32(static_cast<int>(key.right)), 0x96);
    return _mm512_or_si512(_mm512_or_si512(Gather16(box[0], _mm512_srli_epi32(a, 10)),
                                           Gather16(box[1], _mm512_and_si512(a, low10))),
                           _mm512_or_si512(Gather16(box[2], _mm512_srli_epi32(b, 10)),
                                           Gather16(box[3], _mm512_and_si512(b, low10))));
}

template <std::size_t Vectors>
VANTREL_AVX512 inline void EncryptVectors512(const Tables& box, std::span<const Subkey> rounds,
                                             std::uint64_t* blocks, ScalarLanes& extra) {
    // The low halves of sixteen blocks in one vector, the high in the other, in block order.
    const __m512i lowIndex =
        _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
    const __m512i highIndex = _mm512_add_epi32(lowIndex, _mm512_set1_epi32(1));
    __m512i l[Vectors], r[Vectors];
    for (std::size_t v = 0; v < Vectors; ++v) {
        const __m512i x = _mm512_loadu_si512(blocks + 16 * v);
        const __m512i y = _mm512_loadu_si512(blocks + 16 * v + 8);
        r[v] = _mm512_permutex2var_epi32(x, lowIndex, y);
        l[v] = _mm512_permutex2var_epi32(x, highIndex, y);
    }
    for (std::size_t i = 0; i < rounds.size(); i += 2) {
        for (std::size_t v = 0; v < Vectors; ++v) {
            l[v] = _mm512_xor_si512(l[v], RoundAvx512(box, r[v], rounds[i]));
        }
        extra.LeftRound(box, rounds[i]);
        for (std::size_t v = 0; v < Vectors; ++v) {
            r[v] = _mm512_xor_si512(r[v], RoundAvx512(box, l[v], rounds[i + 1]));
        }
        extra.RightRound(box, rounds[i + 1]);
    }
    extra.Store();
    // The halves swap on the way out: the low word of each block is the last round's left half.
    const __m512i firstEight =
        _mm512_setr_epi32(0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
    const __m512i lastEight = _mm512_add_epi32(firstEight, _mm512_set1_epi32(8));
    for (std::size_t v = 0; v < Vectors; ++v) {
        _mm512_storeu_si512(blocks + 16 * v, _mm512_permutex2var_epi32(l[v], firstEight, r[v]));
        _mm512_storeu_si512(blocks + 16 * v + 8, _mm512_permutex2var_epi32(l[v], lastEight, r[v]));
    }
}
#pragma GCC diagnostic pop

// Pairs of vectors of `Lanes` blocks; what is left past them beside the last pair as scalar lanes
// when few, else in one vector (and scalar lanes) or a pair, padded.
template <std::size_t Lanes, typename Kernel>
VANTREL_AVX2 void EncryptWide(std::span<const Subkey> rounds, std::span<std::uint64_t> blocks,
                              Kernel kernel) {
    constexpr std::size_t kPair = 2 * Lanes;
    std::size_t pairs = blocks.size() / kPair;
    std::size_t left = blocks.size() % kPair;
    if (pairs == 0 && left <= ScalarLanes::kMax) {
        EncryptPortable(rounds, blocks);
        return;
    }
    std::uint64_t* at = blocks.data();
    ScalarLanes none(nullptr, 0);
    const bool beside = left <= ScalarLanes::kMax && pairs > 0;
    for (std::size_t p = 0; p + (beside ? 1 : 0) < pairs; ++p, at += kPair) {
        kernel(std::integral_constant<std::size_t, 2>{}, at, none);
    }
    if (beside) {
        ScalarLanes extra(at + kPair, left);
        kernel(std::integral_constant<std::size_t, 2>{}, at, extra);
        return;
    }
    if (left == 0) {
        return;
    }
    std::array<std::uint64_t, kPair> tail{};
    std::copy_n(at, left, tail.begin());
    if (left <= Lanes + ScalarLanes::kMax) {
        ScalarLanes extra(at + std::min(left, Lanes), left - std::min(left, Lanes));
        kernel(std::integral_constant<std::size_t, 1>{}, tail.data(), extra);
        std::copy_n(tail.begin(), std::min(left, Lanes), at);
    } else {
        kernel(std::integral_constant<std::size_t, 2>{}, tail.data(), none);
        std::copy_n(tail.begin(), left, at);
    }
}
#endif

} // namespace

void IceKey::Rekey(int level, std::span<const std::uint8_t> key) {
    const int size = level < 1 ? 1 : level;
    rounds_.resize(level < 1 ? 8 : static_cast<std::size_t>(level) * 16);
    // Eight subkeys from four 16-bit words: each takes bit 0 of the four words in turn (the order
    // `rotation` names), fifteen times, dealt to its three 20-bit parts, every word rotated right
    // with the taken bit inverted. Where a word's bit lands depends only on the bit and the word's
    // turn (a shift), so one table spreads fifteen bits at once; the fifteen steps leave the word
    // rotated left by one, its low fifteen bits inverted. The second eight of a level go on
    // rotating the words where the first eight left them.
    static constexpr int kRotation[16] = {0, 1, 2, 3, 2, 1, 3, 0, 1, 3, 2, 0, 3, 1, 0, 2};
    const Spread& spread = Spreads();
    const auto build = [&](std::array<std::uint16_t, 4>& words, std::size_t first,
                           const int* rotation) {
        for (std::size_t i = 0; i < 8; ++i) {
            std::uint64_t parts = 0;
            for (int k = 0; k < 4; ++k) {
                const unsigned word = words[static_cast<std::size_t>((rotation[i] + k) & 3)];
                parts |= (spread.low[word & 0xff] | spread.high[(word >> 8) & 0x7f]) >> k;
            }
            for (std::uint16_t& word : words) {
                const unsigned flipped = word ^ 0x7fffu;
                word = static_cast<std::uint16_t>(flipped << 1 | flipped >> 15);
            }
            rounds_[first + i] = {static_cast<std::uint32_t>(parts >> 40) & 0xfffff,
                                  static_cast<std::uint32_t>(parts) & 0xfffff,
                                  static_cast<std::uint32_t>(parts >> 20) & 0xfffff};
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

IceKey::Kernel IceKey::Best() {
#if VANTREL_AVX2_KERNELS
    if (HasAvx512()) {
        return Kernel::Avx512;
    }
    if (HasAvx2()) {
        return Kernel::Avx2;
    }
#endif
    return Kernel::Portable;
}

std::size_t IceKey::batch() {
    switch (Best()) {
    case Kernel::Avx512:
        return 32;
    case Kernel::Avx2:
        return 16;
    case Kernel::Portable:
        break;
    }
    return ScalarLanes::kMax;
}

void IceKey::EncryptBlocks(std::span<std::uint64_t> blocks, Kernel kernel) const {
#if VANTREL_AVX2_KERNELS
    const Tables& box = Boxes().table;
    const std::span<const Subkey> rounds = rounds_;
    if (kernel == Kernel::Avx512 && HasAvx512()) {
        EncryptWide<16>(rounds, blocks, [&](auto vectors, std::uint64_t* at, ScalarLanes& extra) {
            EncryptVectors512<decltype(vectors)::value>(box, rounds, at, extra);
        });
        return;
    }
    if (kernel != Kernel::Portable && HasAvx2()) {
        EncryptWide<8>(rounds, blocks, [&](auto vectors, std::uint64_t* at, ScalarLanes& extra) {
            EncryptVectors<decltype(vectors)::value>(box, rounds, at, extra);
        });
        return;
    }
#else
    (void)kernel;
#endif
    EncryptPortable(rounds_, blocks);
}

} // namespace vantrel::passwords
