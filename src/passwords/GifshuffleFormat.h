#pragma once
// gifshuffle 2.0's message read back from the order of a GIF's global colour table. The distinct
// colours, ranked by a key (their RGB value, or with a password their ICE encryption), are
// numbered by where the table puts them (a permutation's rank, up to log2(n!) bits); the rank's
// bits below its top one are the message, least significant first, enciphered with ICE in 1-bit
// CFB when there is a password, Huffman-coded for English text when compressed (-C).
#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace vantrel::passwords {

using GifColour = std::array<std::uint8_t, 3>; // red, green, blue

// A palette's colours, each once, in the order they first stand in it: both GIF readers rank
// colours, never places, and a repeated entry would rank twice.
inline std::vector<GifColour> DistinctColours(std::span<const GifColour> table) {
    std::vector<GifColour> distinct;
    for (const GifColour& colour : table) {
        if (std::find(distinct.begin(), distinct.end(), colour) == distinct.end()) {
            distinct.push_back(colour);
        }
    }
    return distinct;
}

// The odds of each byte that random bits decode to under gifshuffle's Huffman code (2^-length):
// what a wrong password's compressed reading looks like.
const std::array<double, 256>& GifshuffleHuffmanNoise();

// A message's bits as the permutation's rank holds them: bit b of the message is bit b of `rank`
// (least significant first), `size` of them (those below the rank's top one). 256! < 2^1684.
struct GifshuffleBits {
    std::array<std::uint64_t, 27> rank{};
    std::size_t size = 0;
    int operator[](std::size_t b) const { return static_cast<int>(rank[b / 64] >> (b % 64)) & 1; }
};

class GifshuffleCover {
public:
    static constexpr double kHopelessBits = -12;

    // The global colour table in file order (every entry, duplicates included; a GIF's holds at
    // most 256).
    explicit GifshuffleCover(std::span<const GifColour> table);

    std::size_t distinctColours() const { return distinct_.size(); }

    struct Message {
        bool encryptedOrder = false; // colours ranked by their encryption (2.0's default)
        bool compressed = false;
        std::vector<std::uint8_t> bytes;
    };
    // The readings of `password` (empty: none, as when gifshuffle runs without -p) that stay
    // possible to their end: with and without -C, and with a password in both colour orders
    // (2.0's, and -1's natural one). A plain reading holds whole bytes that start promisingly
    // (PromisingStart); a compressed one ends on a code's end and its English score against the
    // code book's noise never sinks below kHopelessBits. Decoding stops where every reading is
    // hopeless, so a wrong password costs the ranking and a few bytes' bits.
    std::vector<Message> Read(std::string_view password) const;

private:
    std::vector<GifColour> distinct_; // first occurrences, in table order
    GifshuffleBits naturalBits_;      // the message bits under the RGB ranking
};

} // namespace vantrel::passwords
