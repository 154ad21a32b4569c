#include "steghide/SteghideFormat.h"

#include "steghide/SteghideCrypto.h"

#include <boost/crc.hpp>
#include <zlib.h>

#include <algorithm>
#include <array>

namespace vantrel {

namespace {

// A payload may inflate far beyond the cover; past this it is not a payload but a zip bomb.
constexpr std::uint64_t kMaxPayloadBytes = std::uint64_t{256} << 20;

// The smallest plain data steghide writes: compression bit, checksum bit, the name's NUL.
constexpr std::uint32_t kMinPlainBits = 10;

template <typename Table>
std::optional<SteghideHeader> ReadHeader(const SteghideCover& cover,
                                         SteghideBitReader<Table>& reader) {
    const std::uint64_t samples = cover.values.size();
    if (SteghideSamplesFor(cover, kSteghideHeaderBits) >= samples) {
        return std::nullopt;
    }
    for (int bit = 0; bit < kSteghideMagicBits; ++bit) {
        if (reader.Bit() != ((kSteghideMagic >> bit) & 1)) {
            return std::nullopt;
        }
    }
    SteghideHeader header;
    header.algorithm = static_cast<int>(reader.Bits(5));
    header.mode = static_cast<int>(reader.Bits(3));
    header.plainBits = reader.Bits(32);
    if (!SteghideAlgorithmTakesMode(header.algorithm, header.mode) ||
        header.plainBits < kMinPlainBits) {
        return std::nullopt;
    }
    header.storedBits = kSteghideHeaderBits +
                        SteghideEncryptedBits(header.algorithm, header.mode, header.plainBits);
    header.samplesUsed = SteghideSamplesFor(cover, header.storedBits);
    if (header.samplesUsed >= samples) {
        return std::nullopt;
    }
    return header;
}

// Bits lowest first within each byte, as steghide's BitString keeps them.
class BitCursor {
public:
    BitCursor(const std::vector<std::uint8_t>& bytes, std::uint64_t bits)
        : bytes_(bytes), end_(bits) {}
    std::uint64_t Left() const { return end_ - at_; }
    unsigned Bit() {
        const unsigned bit = (bytes_[static_cast<std::size_t>(at_ >> 3)] >> (at_ & 7)) & 1;
        ++at_;
        return bit;
    }
    std::uint32_t Bits(int count) { return SteghideBitsLowFirst(*this, count); }
    std::uint8_t Byte() { return static_cast<std::uint8_t>(Bits(8)); }

private:
    const std::vector<std::uint8_t>& bytes_;
    std::uint64_t at_ = 0;
    std::uint64_t end_;
};

std::vector<std::uint8_t> TakeBytes(BitCursor& cursor, std::uint64_t count) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
    for (std::uint8_t& byte : bytes) {
        byte = cursor.Byte();
    }
    return bytes;
}

// Checksum bit, CRC, name, data: what steghide compresses.
Result<SteghidePayload> ReadContents(BitCursor cursor, SteghidePayload payload) {
    if (cursor.Left() < 1) {
        return Failure("the embedded data ends before its checksum flag");
    }
    payload.hasChecksum = cursor.Bit() != 0;
    if (payload.hasChecksum) {
        if (cursor.Left() < 32) {
            return Failure("the embedded data ends inside its checksum");
        }
        payload.checksum = cursor.Bits(32);
    }
    for (;;) {
        if (cursor.Left() < 8) {
            return Failure("the embedded file name has no end");
        }
        const char c = static_cast<char>(cursor.Byte());
        if (c == '\0') {
            break;
        }
        payload.name.push_back(c);
    }
    if (cursor.Left() % 8 != 0) {
        return Failure("the embedded data has an invalid length");
    }
    payload.data = TakeBytes(cursor, cursor.Left() / 8);
    payload.checksumOk =
        !payload.hasChecksum ||
        SteghideCrc32(payload.data.data(), payload.data.size()) == payload.checksum;
    return payload;
}

template <int BitsPerValue> unsigned PackedValue(const std::uint64_t* packed, std::uint32_t at) {
    constexpr std::uint32_t kPerWord = 64 / BitsPerValue;
    // The neighbours' bits above stay in: they cannot reach the low bits of a sum.
    return static_cast<unsigned>(packed[at / kPerWord] >> (at % kPerWord * BitsPerValue));
}

// The magic's bits from `bit` on, from where `permutation` stands.
template <int SamplesPerValue, int BitsPerValue>
bool MagicFrom(const std::uint64_t* packed, SteghidePermutation<SmallDrawTable>& permutation,
               int bit) {
    constexpr unsigned kValueMask = (1u << BitsPerValue) - 1;
    for (; bit < kSteghideMagicBits; bit += BitsPerValue) {
        unsigned sum = 0;
        for (int s = 0; s < SamplesPerValue; ++s) {
            sum += PackedValue<BitsPerValue>(packed, permutation.Next());
        }
        // The last value may carry a bit past the magic: it is not compared.
        const unsigned compared = bit + BitsPerValue > kSteghideMagicBits ? 1u : kValueMask;
        if (((sum ^ (kSteghideMagic >> bit)) & compared) != 0) {
            return false;
        }
    }
    return true;
}

template <int SamplesPerValue, int BitsPerValue>
bool MagicAt(const std::uint64_t* packed, std::uint32_t samples, std::uint32_t seed) {
    SteghidePermutation<SmallDrawTable> permutation(seed, samples);
    return MagicFrom<SamplesPerValue, BitsPerValue>(packed, permutation, 0);
}

// Seeds in batches: the first two bits of each (its first four to six draws) are computed
// without a branch, since three seeds in four fail there and a branch on each bit would be
// mispredicted half the time. Only the survivors take the general path, resumed where the batch
// left them, unless their first draws met one another or fell below their own count (then
// steghide's tables hold something else, and the seed is replayed in full).
template <int SamplesPerValue, int BitsPerValue>
void ScanMagic(const std::uint64_t* packed, std::uint32_t samples, std::uint64_t from,
               std::uint64_t to, std::vector<std::uint32_t>& passing) {
    constexpr int kBatch = 32;
    constexpr int kFastValues = BitsPerValue == 1 ? 2 : 1;
    constexpr int kFastDraws = kFastValues * SamplesPerValue;
    constexpr unsigned kValueMask = (1u << BitsPerValue) - 1;
    std::array<std::array<std::uint32_t, kFastDraws>, kBatch> draws;
    std::array<SteghideRandom, kBatch> randoms;
    std::array<std::uint8_t, kBatch> survives;
    std::array<std::uint8_t, kBatch> irregular;
    for (std::uint64_t base = from; base < to; base += kBatch) {
        const int count = static_cast<int>(std::min<std::uint64_t>(kBatch, to - base));
        for (int i = 0; i < count; ++i) {
            const auto at = static_cast<std::size_t>(i);
            SteghideRandom random(static_cast<std::uint32_t>(base + at));
            unsigned wrong = 0;
            unsigned odd = 0;
            for (int v = 0; v < kFastValues; ++v) {
                unsigned sum = 0;
                for (int s = 0; s < SamplesPerValue; ++s) {
                    const int d = v * SamplesPerValue + s;
                    const std::uint32_t k = static_cast<std::uint32_t>(d) +
                                            random.Below(samples - static_cast<std::uint32_t>(d));
                    draws[at][static_cast<std::size_t>(d)] = k;
                    sum += PackedValue<BitsPerValue>(packed, k);
                    odd |= static_cast<unsigned>(k < static_cast<std::uint32_t>(kFastDraws));
                    for (int e = 0; e < d; ++e) {
                        odd |= static_cast<unsigned>(draws[at][static_cast<std::size_t>(e)] == k);
                    }
                }
                wrong |= (sum ^ (kSteghideMagic >> (v * BitsPerValue))) & kValueMask;
            }
            randoms[at] = random;
            irregular[at] = static_cast<std::uint8_t>(odd);
            survives[at] = static_cast<std::uint8_t>(odd | static_cast<unsigned>(wrong == 0));
        }
        for (int i = 0; i < count; ++i) {
            const auto at = static_cast<std::size_t>(i);
            if (!survives[at]) {
                continue;
            }
            const auto seed = static_cast<std::uint32_t>(base + at);
            bool magic = false;
            if (irregular[at]) {
                magic = MagicAt<SamplesPerValue, BitsPerValue>(packed, samples, seed);
            } else {
                SteghidePermutation<SmallDrawTable> permutation(randoms[at], samples, draws[at]);
                magic = MagicFrom<SamplesPerValue, BitsPerValue>(packed, permutation,
                                                                 kFastValues * BitsPerValue);
            }
            if (magic) {
                passing.push_back(seed);
            }
        }
    }
}

} // namespace

SteghideMagicCheck::SteghideMagicCheck(const SteghideCover& cover)
    : samples_(static_cast<std::uint32_t>(cover.values.size())),
      fits_(SteghideSamplesFor(cover, kSteghideMagicBits) < cover.values.size()) {
    const int spv = cover.samplesPerValue;
    const int bpv = cover.bitsPerValue;
    if (spv == 3 && bpv == 1) {
        check_ = MagicAt<3, 1>, scan_ = ScanMagic<3, 1>;
    } else if (spv == 2 && bpv == 2) {
        check_ = MagicAt<2, 2>, scan_ = ScanMagic<2, 2>;
    } else if (spv == 3 && bpv == 2) {
        check_ = MagicAt<3, 2>, scan_ = ScanMagic<3, 2>;
    } else if (spv == 2 && bpv == 1) {
        check_ = MagicAt<2, 1>, scan_ = ScanMagic<2, 1>;
    } else {
        fits_ = false;
        return;
    }
    const std::size_t perWord = static_cast<std::size_t>(64 / bpv);
    packed_.assign(cover.values.size() / perWord + 1, 0);
    for (std::size_t i = 0; i < cover.values.size(); ++i) {
        packed_[i / perWord] |= static_cast<std::uint64_t>(cover.values[i])
                                << (i % perWord * static_cast<std::size_t>(bpv));
    }
}

std::uint32_t SteghideCrc32(const std::uint8_t* data, std::size_t size) {
    boost::crc_optimal<32, 0x04C11DB7, 0xFFFFFFFF, 0xFFFFFFFF, false, false> crc;
    crc.process_bytes(data, size);
    return crc.checksum();
}

std::optional<SteghideHeader> SteghideHeaderAt(const SteghideCover& cover, std::uint32_t seed) {
    if (SteghideSamplesFor(cover, kSteghideHeaderBits) >= cover.values.size()) {
        return std::nullopt;
    }
    SteghideBitReader<SmallDrawTable> reader(cover, seed);
    return ReadHeader(cover, reader);
}

Result<SteghidePayload> SteghideExtractAt(const SteghideCover& cover, std::uint32_t seed,
                                          std::string_view passphrase) {
    SteghideBitReader<LargeDrawTable> reader(cover, seed);
    const std::optional<SteghideHeader> header = ReadHeader(cover, reader);
    if (!header) {
        return Failure("no steghide data with that passphrase");
    }
    SteghidePayload payload;
    payload.header = *header;
    const std::uint64_t storedBits = header->storedBits - kSteghideHeaderBits;
    std::vector<std::uint8_t> stored(static_cast<std::size_t>((storedBits + 7) / 8), 0);
    for (std::uint64_t bit = 0; bit < storedBits; ++bit) {
        stored[static_cast<std::size_t>(bit >> 3)] |=
            static_cast<std::uint8_t>(reader.Bit() << (bit & 7));
    }
    Result<std::vector<std::uint8_t>> plainBytes =
        SteghideDecrypt(header->algorithm, header->mode, passphrase, stored);
    if (!plainBytes) {
        return Failure(plainBytes.error());
    }
    const std::uint64_t plainBits = header->plainBits;
    if (plainBytes->size() * 8 < plainBits) {
        return Failure("the decrypted data is shorter than its header says");
    }
    BitCursor plain(*plainBytes, plainBits);
    payload.compressed = plain.Bit() != 0;
    if (!payload.compressed) {
        return ReadContents(plain, std::move(payload));
    }
    if (plain.Left() < 32) {
        return Failure("the embedded data ends inside its uncompressed size");
    }
    const std::uint64_t inflatedBits = plain.Bits(32);
    if (plain.Left() % 8 != 0) {
        return Failure("the compressed data is not whole bytes");
    }
    const std::vector<std::uint8_t> deflated = TakeBytes(plain, plain.Left() / 8);
    const std::uint64_t inflatedBytes = (inflatedBits + 7) / 8;
    if (inflatedBytes > kMaxPayloadBytes) {
        return Failure("the embedded data claims more than 256 MiB uncompressed");
    }
    std::vector<std::uint8_t> inflated(static_cast<std::size_t>(inflatedBytes));
    uLongf length = static_cast<uLongf>(inflated.size());
    if (uncompress(inflated.data(), &length, deflated.data(),
                   static_cast<uLong>(deflated.size())) != Z_OK ||
        length != inflated.size()) {
        return Failure("the compressed embedded data is corrupt");
    }
    return ReadContents(BitCursor(inflated, inflatedBits), std::move(payload));
}

} // namespace vantrel
