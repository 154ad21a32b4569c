#include "passwords/GifshuffleFormat.h"

#include "image/WideVectors.h"
#include "passwords/Ice.h"
#include "passwords/PayloadVerdict.h"

#include <algorithm>
#include <bit>
#include <cmath>
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
// each place counts the places still free below it, in mixed radix n, n-1, ..., 2. Digits are
// gathered in one word while their radices' product fits, so the big number is multiplied a few
// times rather than once a colour.
VANTREL_WIDE_VECTORS void RankBits(std::span<const std::uint16_t> place, GifshuffleBits& bits) {
    const std::size_t n = place.size();
    std::array<std::uint64_t, 27>& limbs = bits.rank; // little-endian base 2^64
    limbs.fill(0);
    std::size_t used = 0;
    std::uint64_t groupRadix = 1;
    std::uint64_t groupDigits = 0;
    const auto flush = [&] {
        std::uint64_t carry = groupDigits;
        for (std::size_t l = 0; l < used; ++l) {
            const unsigned __int128 v =
                static_cast<unsigned __int128>(limbs[l]) * groupRadix + carry;
            limbs[l] = static_cast<std::uint64_t>(v);
            carry = static_cast<std::uint64_t>(v >> 64);
        }
        if (carry != 0) {
            limbs[used++] = carry;
        }
        groupRadix = 1;
        groupDigits = 0;
    };
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
        const std::uint64_t radix = n - i;
        if (groupRadix > ~std::uint64_t{0} / radix) {
            flush();
        }
        groupRadix *= radix;
        groupDigits = groupDigits * radix + below;
    }
    flush();
    bits.size =
        used == 0 ? 0 : used * 64 - static_cast<std::size_t>(std::countl_zero(limbs[used - 1])) - 1;
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
            const int next = huffman_.nodes[codeNode_][static_cast<std::size_t>(bit)];
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
    const HuffmanTree& huffman_ = Huffman();
    EnglishScore score_ = FreshScore();
    // Copied, since building a score takes a logarithm a class.
    static const EnglishScore& FreshScore() {
        static const EnglishScore fresh(GifshuffleHuffmanNoise());
        return fresh;
    }
};

// gifshuffle's key: the password's characters, 7 bits each, packed most significant first, one
// ICE level for every 64 bits (at least one, at most 128). Returns the IV before its encryption
// (the key's first 8 bytes).
std::uint64_t Rekey(IceKey& ice, std::string_view password) {
    const std::size_t characters = std::min<std::size_t>(password.size(), 1170);
    int level = static_cast<int>((password.size() * 7 + 63) / 64);
    level = std::clamp(level, 1, 128);
    std::array<std::uint8_t, 1024> key;
    const std::size_t used = static_cast<std::size_t>(level) * 8;
    std::fill_n(key.begin(), used, std::uint8_t{0});
    std::uint32_t pending = 0;
    int pendingBits = 0;
    std::size_t out = 0;
    for (std::size_t c = 0; c < characters; ++c) {
        pending = pending << 7 | (static_cast<std::uint8_t>(password[c]) & 0x7fu);
        pendingBits += 7;
        if (pendingBits >= 8) {
            pendingBits -= 8;
            key[out++] = static_cast<std::uint8_t>(pending >> pendingBits);
        }
    }
    if (pendingBits > 0) {
        key[out] = static_cast<std::uint8_t>(pending << (8 - pendingBits));
    }
    ice.Rekey(level, std::span(key).first(used));
    std::uint64_t iv = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        iv = iv << 8 | key[i];
    }
    return iv;
}

// One reading's message bits deciphered in 1-bit CFB: the top bit of the encrypted register, the
// register shifted left with the stored (enciphered) bit coming in. The stored bits are known, so
// the registers of a run of bits are too: a chunk of them goes to the cipher at once, beside the
// other reading's.
struct CfbReading {
    CfbReading(const GifshuffleBits& stored, std::uint64_t iv)
        : bits(stored), readings(stored.size), registers(iv), over(stored.size == 0),
          complete(over) {}
    const GifshuffleBits& bits;
    Readings readings;
    std::uint64_t registers;
    std::size_t at = 0;
    bool over;     // read to its end or hopeless
    bool complete; // read to its end
};

void ReadBothOrders(const IceKey& ice, std::uint64_t iv, const GifshuffleBits& encrypted,
                    const GifshuffleBits& natural, std::vector<GifshuffleCover::Message>& out) {
    std::array<CfbReading, 2> reading = {CfbReading(encrypted, iv), CfbReading(natural, iv)};
    std::array<std::uint64_t, 32> stream{};
    const std::size_t batch = std::min(stream.size(), IceKey::batch());
    while (!reading[0].over || !reading[1].over) {
        // The two share one pass of the cipher; a lone reading takes it all.
        const std::size_t chunk = reading[0].over || reading[1].over ? batch : batch / 2;
        std::array<std::size_t, 2> count{};
        std::size_t blocks = 0;
        for (std::size_t r = 0; r < 2; ++r) {
            CfbReading& one = reading[r];
            if (one.over) {
                continue;
            }
            count[r] = std::min(chunk, one.bits.size - one.at);
            for (std::size_t n = 0; n < count[r]; ++n) {
                stream[blocks++] = one.registers;
                one.registers = one.registers << 1 | one.bits[one.at + n];
            }
        }
        ice.EncryptBlocks({stream.data(), blocks});
        std::size_t next = 0;
        for (std::size_t r = 0; r < 2; ++r) {
            CfbReading& one = reading[r];
            for (std::size_t n = 0; n < count[r] && !one.over; ++n) {
                one.readings.Bit(one.bits[one.at + n] ^ static_cast<int>(stream[next + n] >> 63));
                one.over = !one.readings.alive();
            }
            next += count[r];
            one.at += count[r];
            if (!one.over && one.at == one.bits.size) {
                one.over = one.complete = true;
            }
        }
    }
    for (std::size_t r = 0; r < 2; ++r) {
        if (reading[r].complete) {
            reading[r].readings.Finish(r == 0, out);
        }
    }
}

// The natural order without a password: no cipher.
void ReadPlain(const GifshuffleBits& bits, std::vector<GifshuffleCover::Message>& out) {
    Readings readings(bits.size);
    for (std::size_t b = 0; b < bits.size; ++b) {
        readings.Bit(bits[b]);
        if (!readings.alive()) {
            return;
        }
    }
    readings.Finish(false, out);
}

std::uint32_t RgbValue(const GifColour& c) {
    return static_cast<std::uint32_t>(c[0]) << 16 | c[1] << 8 | c[2];
}

// The places of the distinct colours ranked by their keys (distinct keys: no ties to break). A
// password's keys are ciphertexts, evenly spread: their top bits deal them to buckets (about one
// each), and an insertion sort puts the few that share one in order. RGB values all share the
// first bucket: the insertion sort alone ranks them, once a cover.
void PlacesByKey(std::span<const std::uint64_t> keys, std::vector<std::uint16_t>& order) {
    const std::size_t n = keys.size();
    const int bucketBits = std::bit_width(n);
    const std::size_t buckets = std::size_t{1} << bucketBits;
    std::array<std::uint16_t, 1024> start;
    std::fill_n(start.begin(), buckets + 1, std::uint16_t{0});
    const auto bucket = [&](std::uint64_t key) {
        return static_cast<std::size_t>(key >> (64 - bucketBits));
    };
    for (const std::uint64_t key : keys) {
        ++start[bucket(key) + 1];
    }
    for (std::size_t b = 1; b < buckets; ++b) {
        start[b] = static_cast<std::uint16_t>(start[b] + start[b - 1]);
    }
    order.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        order[start[bucket(keys[i])]++] = static_cast<std::uint16_t>(i);
    }
    for (std::size_t i = 1; i < n; ++i) {
        const std::uint16_t moving = order[i];
        std::size_t j = i;
        for (; j > 0 && keys[order[j - 1]] > keys[moving]; --j) {
            order[j] = order[j - 1];
        }
        order[j] = moving;
    }
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
    distinct_ = DistinctColours(table.first(std::min<std::size_t>(table.size(), 256)));
    if (!distinct_.empty()) {
        std::vector<std::uint64_t> keys;
        for (const GifColour& c : distinct_) {
            keys.push_back(RgbValue(c));
        }
        std::vector<std::uint16_t> order;
        PlacesByKey(keys, order);
        RankBits(order, naturalBits_);
    }
}

std::vector<GifshuffleCover::Message> GifshuffleCover::Read(std::string_view password) const {
    std::vector<Message> messages;
    if (distinct_.empty()) {
        return messages;
    }
    if (password.empty()) {
        ReadPlain(naturalBits_, messages);
        return messages;
    }
    // The IV's block beside the colours'.
    thread_local IceKey ice;
    thread_local std::vector<std::uint64_t> blocks;
    blocks.resize(1 + distinct_.size());
    blocks[0] = Rekey(ice, password);
    std::transform(distinct_.begin(), distinct_.end(), blocks.begin() + 1, ColourBlock);
    ice.EncryptBlocks(blocks);
    thread_local std::vector<std::uint16_t> order;
    thread_local GifshuffleBits encryptedBits;
    PlacesByKey(std::span(blocks).subspan(1), order);
    RankBits(order, encryptedBits);
    ReadBothOrders(ice, blocks[0], encryptedBits, naturalBits_, messages);
    return messages;
}

} // namespace vantrel::passwords
