#include "passwords/GifshuffleFormat.h"

#include "passwords/Ice.h"
#include "passwords/PayloadVerdict.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <memory>
#include <optional>
#include <string>

namespace vantrel::passwords {
namespace {

// gifshuffle's code book for English text, byte value -> code, part of its format (-C).
constexpr const char* kHuffmanCodes[256] = {
    "010011101110011001000",
    "010011101110011001001",
    "010011101110011001010",
    "010011101110011001011",
    "010011101110011001100",
    "010011101110011001101",
    "010011101110011001110",
    "010011101110011001111",
    "101100010101",
    "0100100",
    "101101",
    "010011101110011010000",
    "0100111011100111",
    "010011101110011010001",
    "010011101110011010010",
    "010011101110011010011",
    "010011101110011010100",
    "010011101110011010101",
    "010011101110011010110",
    "010011101110011010111",
    "010011101110011011000",
    "010011101110011011001",
    "010011101110011011010",
    "010011101110011011011",
    "010011101110011011100",
    "010011101110011011101",
    "010011101110011011110",
    "010011101110001",
    "010011101110011011111",
    "01001110111000000000",
    "01001110111000000001",
    "01001110111000000010",
    "111",
    "0100101000",
    "101100100",
    "10111111111",
    "101111010010",
    "1011000101000",
    "0010100010101",
    "00101011",
    "101111110",
    "00100011",
    "010010101",
    "101111010011",
    "1010110",
    "10111110",
    "101000",
    "101111001",
    "0010000",
    "01001011",
    "101100101",
    "001010101",
    "001010011",
    "1011110111",
    "1011001100",
    "0100101001",
    "1010011001",
    "001010000",
    "101111000",
    "10111111110",
    "01001110110",
    "10100101010",
    "10111101000",
    "1010010100",
    "0010100011",
    "01001111",
    "1011110110",
    "101100011",
    "101001101",
    "00100010",
    "001010010",
    "1011000000",
    "1011001101",
    "0111000",
    "10110000011",
    "10110001011",
    "001010100",
    "101100111",
    "101001011",
    "101100001",
    "010011100",
    "1010011110001",
    "101001110",
    "10100100",
    "10101110",
    "1011110101",
    "10100111101",
    "1011000100",
    "10110000010",
    "0100111010",
    "010011101111",
    "101001111001",
    "001010001011",
    "101001010111",
    "1011000101001",
    "10111111100",
    "00101000100",
    "0101",
    "001001",
    "110110",
    "01000",
    "1100",
    "101010",
    "011101",
    "10001",
    "0011",
    "1010011111",
    "0100110",
    "01111",
    "101110",
    "0001",
    "0110",
    "100001",
    "10111111101",
    "11010",
    "0000",
    "1001",
    "110111",
    "0111001",
    "001011",
    "10101111",
    "100000",
    "1010011000",
    "1010011110000",
    "101001010110",
    "0100111011101",
    "0010100010100",
    "01001110111000000011",
    "010011101110000001000",
    "010011101110000001001",
    "010011101110000001010",
    "010011101110000001011",
    "010011101110000001100",
    "010011101110000001101",
    "010011101110000001110",
    "010011101110000001111",
    "010011101110000010000",
    "010011101110000010001",
    "010011101110000010010",
    "010011101110000010011",
    "010011101110000010100",
    "010011101110000010101",
    "010011101110000010110",
    "010011101110000010111",
    "010011101110000011000",
    "010011101110000011001",
    "010011101110000011010",
    "010011101110000011011",
    "010011101110000011100",
    "010011101110000011101",
    "010011101110000011110",
    "010011101110000011111",
    "010011101110000100000",
    "010011101110000100001",
    "010011101110000100010",
    "010011101110000100011",
    "010011101110000100100",
    "010011101110000100101",
    "010011101110000100110",
    "010011101110000100111",
    "010011101110000101000",
    "010011101110000101001",
    "010011101110000101010",
    "010011101110000101011",
    "010011101110000101100",
    "010011101110000101101",
    "010011101110000101110",
    "010011101110000101111",
    "010011101110000110000",
    "010011101110000110001",
    "010011101110000110010",
    "010011101110000110011",
    "010011101110000110100",
    "010011101110000110101",
    "010011101110000110110",
    "010011101110000110111",
    "010011101110000111000",
    "010011101110000111001",
    "010011101110000111010",
    "010011101110000111011",
    "010011101110000111100",
    "010011101110000111101",
    "010011101110000111110",
    "010011101110000111111",
    "010011101110010000000",
    "010011101110010000001",
    "010011101110010000010",
    "010011101110010000011",
    "010011101110010000100",
    "010011101110010000101",
    "010011101110010000110",
    "010011101110010000111",
    "010011101110010001000",
    "010011101110010001001",
    "010011101110010001010",
    "010011101110010001011",
    "010011101110010001100",
    "010011101110010001101",
    "010011101110010001110",
    "010011101110010001111",
    "010011101110010010000",
    "010011101110010010001",
    "010011101110010010010",
    "010011101110010010011",
    "010011101110010010100",
    "010011101110010010101",
    "010011101110010010110",
    "010011101110010010111",
    "010011101110010011000",
    "010011101110010011001",
    "010011101110010011010",
    "010011101110010011011",
    "010011101110010011100",
    "010011101110010011101",
    "010011101110010011110",
    "010011101110010011111",
    "010011101110010100000",
    "010011101110010100001",
    "010011101110010100010",
    "010011101110010100011",
    "010011101110010100100",
    "010011101110010100101",
    "010011101110010100110",
    "010011101110010100111",
    "010011101110010101000",
    "010011101110010101001",
    "010011101110010101010",
    "010011101110010101011",
    "010011101110010101100",
    "010011101110010101101",
    "010011101110010101110",
    "010011101110010101111",
    "010011101110010110000",
    "010011101110010110001",
    "010011101110010110010",
    "010011101110010110011",
    "010011101110010110100",
    "010011101110010110101",
    "010011101110010110110",
    "010011101110010110111",
    "010011101110010111000",
    "010011101110010111001",
    "010011101110010111010",
    "010011101110010111011",
    "010011101110010111100",
    "010011101110010111101",
    "010011101110010111110",
    "010011101110010111111",
    "010011101110011000000",
    "010011101110011000001",
    "010011101110011000010",
    "010011101110011000011",
    "010011101110011000100",
    "010011101110011000101",
    "010011101110011000110",
    "010011101110011000111",
};

// The code book as a binary tree: node 0 is the root; a child value >= 0 is a node, < 0 is
// ~byte. The book is complete, so every path ends in a byte.
struct HuffmanTree {
    std::vector<std::array<int, 2>> nodes{{0, 0}};
    HuffmanTree() {
        for (int value = 0; value < 256; ++value) {
            std::size_t node = 0;
            const std::string_view code = kHuffmanCodes[value];
            for (std::size_t i = 0; i < code.size(); ++i) {
                const std::size_t branch = code[i] == '1' ? 1 : 0;
                if (i + 1 == code.size()) {
                    nodes[node][branch] = ~value;
                    continue;
                }
                if (nodes[node][branch] == 0) {
                    nodes[node][branch] = static_cast<int>(nodes.size());
                    nodes.push_back({0, 0});
                }
                node = static_cast<std::size_t>(nodes[node][branch]);
            }
        }
    }
};

const HuffmanTree& Huffman() {
    static const HuffmanTree tree;
    return tree;
}

// The rank of a permutation: element i of `order` sits at `place[i]` among the distinct colours;
// each place counts the places still free below it, in mixed radix n, n-1, ..., 2. Returns the
// rank's bits below its top one, least significant first.
std::vector<std::uint8_t> RankBits(std::span<const std::uint16_t> place) {
    const std::size_t n = place.size();
    std::vector<std::uint32_t> limbs; // little-endian base 2^32
    std::array<std::uint64_t, 4> freeMask{~0ull, ~0ull, ~0ull, ~0ull};
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const unsigned at = place[i];
        unsigned below = 0;
        for (unsigned w = 0; w < at / 64; ++w) {
            below += static_cast<unsigned>(std::popcount(freeMask[w]));
        }
        below += static_cast<unsigned>(
            std::popcount(freeMask[at / 64] & ((std::uint64_t{1} << (at % 64)) - 1)));
        freeMask[at / 64] &= ~(std::uint64_t{1} << (at % 64));
        std::uint64_t carry = below;
        const std::uint64_t radix = n - i;
        for (std::uint32_t& limb : limbs) {
            const std::uint64_t v = limb * radix + carry;
            limb = static_cast<std::uint32_t>(v);
            carry = v >> 32;
        }
        if (carry != 0) {
            limbs.push_back(static_cast<std::uint32_t>(carry));
        }
    }
    while (!limbs.empty() && limbs.back() == 0) {
        limbs.pop_back();
    }
    if (limbs.empty()) {
        return {};
    }
    const std::size_t top =
        limbs.size() * 32 - static_cast<std::size_t>(std::countl_zero(limbs.back()));
    std::vector<std::uint8_t> bits(top - 1);
    for (std::size_t b = 0; b + 1 < top; ++b) {
        bits[b] = (limbs[b / 32] >> (b % 32)) & 1;
    }
    return bits;
}

// The message bits of one reading turned into bytes, as plain bytes and as Huffman codes at once,
// each given up as soon as it is hopeless.
class Readings {
public:
    explicit Readings(std::size_t bits) : plainAlive_(bits % 8 == 0) {}
    void Bit(int bit) {
        if (plainAlive_) {
            plainByte_ = static_cast<std::uint8_t>(plainByte_ << 1 | bit);
            if (++plainBits_ == 8) {
                plain_.push_back(plainByte_);
                if (plain_.size() <= 8) {
                    plainAlive_ = PromisingStart(plain_);
                    plainSignature_ = !std::all_of(plain_.begin(), plain_.end(), TextByte);
                } else {
                    plainAlive_ = plainSignature_ || TextByte(plainByte_);
                }
                plainBits_ = 0;
                plainByte_ = 0;
            }
        }
        if (codedAlive_) {
            const int next = Huffman().nodes[codeNode_][static_cast<std::size_t>(bit)];
            if (next < 0) {
                coded_.push_back(static_cast<std::uint8_t>(~next));
                score_.Add(coded_.back());
                codedAlive_ = score_.bits() >= GifshuffleCover::kHopelessBits;
                codeNode_ = 0;
            } else {
                codeNode_ = static_cast<std::size_t>(next);
            }
        }
    }
    bool alive() const { return plainAlive_ || codedAlive_; }
    void Finish(bool encryptedOrder, std::vector<GifshuffleCover::Message>& out) {
        if (plainAlive_ && !plain_.empty()) {
            out.push_back({encryptedOrder, false, std::move(plain_)});
        }
        if (codedAlive_ && codeNode_ == 0 && !coded_.empty()) {
            out.push_back({encryptedOrder, true, std::move(coded_)});
        }
    }

private:
    std::vector<std::uint8_t> plain_, coded_;
    bool plainAlive_;
    // Past 8 bytes a plain reading that began as a file signature takes any byte; text must stay
    // text.
    bool plainSignature_ = false;
    bool codedAlive_ = true;
    std::uint8_t plainByte_ = 0;
    int plainBits_ = 0;
    std::size_t codeNode_ = 0;
    EnglishScore score_ = FreshScore();
    // Copied, since building a score takes a logarithm a class.
    static const EnglishScore& FreshScore() {
        static const EnglishScore fresh(GifshuffleHuffmanNoise());
        return fresh;
    }
};

// gifshuffle's key: the password's characters, 7 bits each, packed most significant first, one
// ICE level for every 64 bits (at least one, at most 128).
struct PasswordKey {
    std::unique_ptr<IceKey> ice;
    std::uint64_t iv = 0; // big-endian
};
PasswordKey MakeKey(std::string_view password) {
    const std::size_t characters = std::min<std::size_t>(password.size(), 1170);
    int level = static_cast<int>((password.size() * 7 + 63) / 64);
    level = std::clamp(level, 1, 128);
    std::vector<std::uint8_t> key(1024, 0);
    for (std::size_t c = 0; c < characters; ++c) {
        const unsigned value = static_cast<std::uint8_t>(password[c]) & 0x7fu;
        for (int b = 0; b < 7; ++b) {
            const std::size_t bit = c * 7 + static_cast<std::size_t>(b);
            if ((value >> (6 - b)) & 1) {
                key[bit / 8] |= static_cast<std::uint8_t>(0x80u >> (bit % 8));
            }
        }
    }
    PasswordKey made;
    made.ice = std::make_unique<IceKey>(level, key);
    for (std::size_t i = 0; i < 8; ++i) {
        made.iv = made.iv << 8 | key[i];
    }
    made.ice->EncryptBlocks({&made.iv, 1});
    return made;
}

void ReadBits(std::span<const std::uint8_t> bits, const PasswordKey* key, bool encryptedOrder,
              std::vector<GifshuffleCover::Message>& out) {
    Readings readings(bits.size());
    // 1-bit CFB: the top bit of the encrypted register, the register shifted left with the
    // stored (enciphered) bit coming in. The stored bits are known, so the registers of a run of
    // bits are too: a chunk of them is enciphered side by side.
    constexpr std::size_t kChunk = 8;
    std::uint64_t iv = key ? key->iv : 0;
    std::array<std::uint64_t, kChunk> stream{};
    for (std::size_t at = 0; at < bits.size(); at += kChunk) {
        const std::size_t count = std::min(kChunk, bits.size() - at);
        if (key) {
            for (std::size_t n = 0; n < count; ++n) {
                stream[n] = iv;
                iv = iv << 1 | bits[at + n];
            }
            key->ice->EncryptBlocks({stream.data(), count});
        }
        for (std::size_t n = 0; n < count; ++n) {
            readings.Bit(bits[at + n] ^ (key ? static_cast<int>(stream[n] >> 63) : 0));
            if (!readings.alive()) {
                return;
            }
        }
    }
    readings.Finish(encryptedOrder, out);
}

std::uint32_t RgbValue(const GifColour& c) {
    return static_cast<std::uint32_t>(c[0]) << 16 | c[1] << 8 | c[2];
}

// The places of the distinct colours ranked by their keys (distinct keys: no ties to break).
std::vector<std::uint16_t> PlacesByKey(std::span<const std::uint64_t> keys) {
    std::vector<std::uint16_t> order(keys.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = static_cast<std::uint16_t>(i);
    }
    std::sort(order.begin(), order.end(),
              [&](std::uint16_t a, std::uint16_t b) { return keys[a] < keys[b]; });
    return order;
}

// A colour as the block gifshuffle enciphers, R G B then zeros, as a big-endian word.
std::uint64_t ColourBlock(const GifColour& c) {
    return std::uint64_t{c[0]} << 56 | std::uint64_t{c[1]} << 48 | std::uint64_t{c[2]} << 40;
}

} // namespace

const std::array<double, 256>& GifshuffleHuffmanNoise() {
    static const std::array<double, 256> noise = [] {
        std::array<double, 256> odds{};
        for (std::size_t value = 0; value < 256; ++value) {
            odds[value] =
                std::ldexp(1.0, -static_cast<int>(std::string_view(kHuffmanCodes[value]).size()));
        }
        return odds;
    }();
    return noise;
}

GifshuffleCover::GifshuffleCover(std::span<const GifColour> table) {
    for (const GifColour& colour : table) {
        if (std::find(distinct_.begin(), distinct_.end(), colour) == distinct_.end()) {
            distinct_.push_back(colour);
        }
    }
    if (!distinct_.empty()) {
        std::vector<std::uint64_t> keys;
        for (const GifColour& c : distinct_) {
            keys.push_back(RgbValue(c));
        }
        naturalBits_ = RankBits(PlacesByKey(keys));
    }
}

std::vector<GifshuffleCover::Message> GifshuffleCover::Read(std::string_view password) const {
    std::vector<Message> messages;
    if (distinct_.empty()) {
        return messages;
    }
    if (password.empty()) {
        ReadBits(naturalBits_, nullptr, false, messages);
        return messages;
    }
    const PasswordKey key = MakeKey(password);
    thread_local std::vector<std::uint64_t> keys;
    keys.resize(distinct_.size());
    std::transform(distinct_.begin(), distinct_.end(), keys.begin(), ColourBlock);
    key.ice->EncryptBlocks(keys);
    ReadBits(RankBits(PlacesByKey(keys)), &key, true, messages);
    ReadBits(naturalBits_, &key, false, messages);
    return messages;
}

} // namespace vantrel::passwords
