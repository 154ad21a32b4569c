#include "passwords/OutguessFormat.h"
#include "passwords/Md5.h"
#include "passwords/Rc4.h"

#include "bytes/ByteOrder.h"
#include "jpeg/JpegScanOrder.h"

#include <algorithm>
#include <array>

namespace vantrel::passwords {
namespace {

// The pseudo-random walk over the cover's bits: a skip of 1..skipmod from one bit to the next,
// skipmod 32 for the header, then spread so the rest of the message reaches about to the end.
class Walk {
public:
    Walk(const OutguessCover& cover, const Rc4& stream) : cover_(cover), stream_(stream) {
        offset_ = Skip();
    }
    // The next byte, least significant bit first; nothing when the walk has left the cover.
    std::optional<std::uint8_t> Byte() {
        std::uint8_t byte = 0;
        for (int bit = 0; bit < 8; ++bit) {
            if (offset_ >= cover_.bits) {
                return std::nullopt;
            }
            byte |=
                static_cast<std::uint8_t>(cover_.bit(static_cast<std::uint32_t>(offset_)) << bit);
            offset_ += Skip() + 1;
        }
        return byte;
    }
    void Reseed(std::uint16_t seed) {
        const std::array<std::uint8_t, 2> bytes = {static_cast<std::uint8_t>(seed),
                                                   static_cast<std::uint8_t>(seed >> 8)};
        stream_.Mix(bytes);
    }
    // The skips for the next byte of `remaining`, in OutGuess's single-precision arithmetic
    // (its skips must be reproduced to the bit); false where OutGuess itself would divide by a
    // zero skip or read past the cover, which no embedding survives.
    bool Adapt(std::uint32_t remaining) {
        if (offset_ >= cover_.bits) {
            return false;
        }
        const int all = static_cast<int>(cover_.bits);
        const int left = all - static_cast<int>(offset_);
        const int tail = all / 32;
        const float fade =
            left > tail ? 2.0f : 2.0f - static_cast<float>(tail - left) / static_cast<float>(tail);
        const float skip =
            fade * static_cast<float>(left) / static_cast<float>(8 * static_cast<int>(remaining));
        skipmod_ = static_cast<std::uint32_t>(skip);
        return skipmod_ > 0;
    }

private:
    // The header's skips are modulo 32: a mask, not a division, for every password.
    std::uint32_t Skip() {
        const std::uint32_t word = stream_.BigEndianWord();
        return skipmod_ == 32 ? word & 31 : word % skipmod_;
    }

    const OutguessCover& cover_;
    Rc4 stream_;
    std::uint32_t skipmod_ = 32;
    std::uint64_t offset_ = 0;
};

} // namespace

Result<OutguessCover> OutguessJpegCover(const JpegCoefficients& jpeg) {
    if (jpeg.progressive) {
        return Failure("a progressive JPEG, which OutGuess never writes");
    }
    OutguessCover cover;
    std::uint64_t bits = 0;
    ForEachBlockInScanOrder(jpeg, false, [&](const std::int16_t* block) {
        for (int k = 0; k < 64; ++k) {
            const std::int16_t value = block[k];
            if (value == 0 || value == 1) {
                continue;
            }
            if ((bits & 63) == 0) {
                cover.words.push_back(0);
            }
            cover.words.back() |= static_cast<std::uint64_t>(value & 1) << (bits & 63);
            ++bits;
        }
    });
    if (bits > 0x7fffffff) {
        return Failure("more usable coefficients than OutGuess can count");
    }
    cover.bits = static_cast<std::uint32_t>(bits);
    return cover;
}

OutguessCover OutguessSampleCover(std::span<const std::uint8_t> samples) {
    OutguessCover cover;
    const std::size_t count = std::min<std::size_t>(samples.size(), 0x7fffffff);
    cover.bits = static_cast<std::uint32_t>(count);
    cover.words.assign((count + 63) / 64, 0);
    for (std::size_t i = 0; i < count; ++i) {
        cover.words[i >> 6] |= static_cast<std::uint64_t>(samples[i] & 1) << (i & 63);
    }
    return cover;
}

std::optional<OutguessRead> OutguessReadAt(const OutguessCover& cover, std::string_view password,
                                           std::size_t bytes) {
    Rc4 seeding;
    Rc4 cipher;
    Rc4::MixTwo(seeding, Md5("Seeding", password), cipher, Md5("Encryption", password));
    Walk walk(cover, seeding);
    // The payload is enciphered from the start of the same stream as the header.
    Rc4 payloadCipher = cipher;
    std::array<std::uint8_t, 4> head{};
    for (std::uint8_t& byte : head) {
        const std::optional<std::uint8_t> stored = walk.Byte();
        if (!stored) {
            return std::nullopt;
        }
        byte = *stored ^ cipher.Byte();
    }
    OutguessRead read;
    read.header.seed = bytes::Le16(&head[0]);
    read.header.length = bytes::Le16(&head[2]);
    if (read.header.length == 0 || read.header.length > (cover.bits + 7ull) / 8) {
        return std::nullopt;
    }
    walk.Reseed(read.header.seed);
    const std::size_t wanted = std::min<std::size_t>(bytes, read.header.length);
    read.payload.reserve(wanted);
    for (std::size_t n = 0; n < wanted; ++n) {
        if (!walk.Adapt(static_cast<std::uint32_t>(read.header.length - n))) {
            return std::nullopt;
        }
        const std::optional<std::uint8_t> stored = walk.Byte();
        if (!stored) {
            return std::nullopt;
        }
        read.payload.push_back(*stored ^ payloadCipher.Byte());
    }
    return read;
}

} // namespace vantrel::passwords
