#include "passwords/StegosuiteFormat.h"

#include "passwords/Md5.h"

#include <openssl/evp.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <memory>
#include <numeric>

namespace vantrel::passwords {
namespace {

constexpr std::uint32_t kLengthBytes = 3;
constexpr std::uint32_t kSaltBytes = 16;
// The shortest zlib stream: a two-byte header, an empty final block and the Adler-32.
constexpr std::uint32_t kShortestDeflate = 8;
constexpr int kPbkdf2Rounds = 65536;
constexpr std::size_t kMaxInflated = std::size_t{64} << 20;
constexpr std::uint8_t kFileBlock = 1;
constexpr std::uint8_t kMessageBlock = 2;

std::uint64_t Seed(std::string_view password) {
    const std::array<std::uint8_t, 16> digest = Md5({}, password);
    std::uint64_t seed = 0;
    for (int i = 0; i < 8; ++i) {
        seed = seed << 8 | digest[static_cast<std::size_t>(i)];
    }
    return seed;
}

// The draws of Collections.shuffle over `count` points (swap i - 1 with draw(i), i from count
// down to 2), kept a thread so the few passwords whose length fits can replay them.
const std::vector<std::uint32_t>& ShuffleDraws(std::uint32_t count, std::string_view password) {
    thread_local std::vector<std::uint32_t> draws;
    draws.resize(count > 1 ? count - 1 : 0);
    StegosuiteJavaRandom random(Seed(password));
    for (std::uint32_t i = count, k = 0; i > 1; --i, ++k) {
        draws[k] = random.Below(i);
    }
    return draws;
}

// The bytes the order can carry, bounded by the 24-bit length.
std::uint32_t Capacity(std::span<const std::uint8_t> order, int bitsPerPixel) {
    const std::uint64_t bits =
        bitsPerPixel == 3 ? order.size() * 3
                          : order.size() - static_cast<std::uint64_t>(std::count(
                                               order.begin(), order.end(), kStegosuiteNoBit));
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(bits / 8, 1u << 24));
}

bool LengthFits(std::uint32_t length, std::uint32_t capacity) {
    return length >= kLengthBytes + kSaltBytes + kShortestDeflate && length <= capacity;
}

// The pixels the first N shuffled places hold: each place traced back through the draws, last
// swap first, to the pixel it came from, so that no password pays for the whole shuffle.
template <std::size_t N>
void TraceBack(std::uint32_t count, const std::vector<std::uint32_t>& draws,
               std::array<std::uint32_t, N>& at) {
    std::iota(at.begin(), at.end(), 0u);
    for (std::uint32_t i = 2; i <= count; ++i) {
        const std::uint32_t a = i - 1;
        const std::uint32_t b = draws[count - i];
        for (std::uint32_t& p : at) {
            p = p == a ? b : p == b ? a : p;
        }
    }
}

std::vector<std::uint32_t> Shuffled(std::uint32_t count, const std::vector<std::uint32_t>& draws) {
    std::vector<std::uint32_t> points(count);
    std::iota(points.begin(), points.end(), 0u);
    for (std::uint32_t i = count, k = 0; i > 1; --i, ++k) {
        std::swap(points[i - 1], points[draws[k]]);
    }
    return points;
}

// The first `bytes` the pixels `points` carry, in walk order; nothing where they run out first.
std::optional<std::vector<std::uint8_t>> BytesAt(std::span<const std::uint8_t> order,
                                                 int bitsPerPixel,
                                                 std::span<const std::uint32_t> points,
                                                 std::uint32_t bytes) {
    std::vector<std::uint8_t> out(bytes);
    const std::uint64_t bits = std::uint64_t{bytes} * 8;
    std::uint64_t bit = 0;
    for (auto point = points.begin(); bit < bits && point != points.end(); ++point) {
        const std::uint8_t carried = order[*point];
        if (carried == kStegosuiteNoBit && bitsPerPixel == 1) {
            continue;
        }
        for (int k = bitsPerPixel - 1; k >= 0 && bit < bits; --k, ++bit) {
            const int value = (carried >> k) & 1;
            out[bit / 8] = static_cast<std::uint8_t>(out[bit / 8] | value << (7 - bit % 8));
        }
    }
    if (bit < bits) {
        return std::nullopt;
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> Decrypt(std::span<const std::uint8_t> saltAndCipher,
                                                 std::string_view password) {
    std::array<unsigned char, 16> key{};
    std::array<unsigned char, 16> counter{};
    if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), saltAndCipher.data(),
                          kSaltBytes, kPbkdf2Rounds, EVP_sha1(), key.size(), key.data()) != 1) {
        return std::nullopt;
    }
    const std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context(
        EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    const std::span<const std::uint8_t> cipher = saltAndCipher.subspan(kSaltBytes);
    std::vector<std::uint8_t> plain(cipher.size());
    int written = 0;
    if (!context ||
        EVP_DecryptInit_ex(context.get(), EVP_aes_128_ctr(), nullptr, key.data(), counter.data()) !=
            1 ||
        EVP_DecryptUpdate(context.get(), plain.data(), &written, cipher.data(),
                          static_cast<int>(cipher.size())) != 1) {
        return std::nullopt;
    }
    return plain;
}

// zlib's inflate to the stream's end (its Adler-32 checked), bounded in output.
std::optional<std::vector<std::uint8_t>> Inflate(std::span<const std::uint8_t> deflated) {
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> out;
    std::array<std::uint8_t, 16384> chunk{};
    stream.next_in = const_cast<Bytef*>(deflated.data());
    stream.avail_in = static_cast<uInt>(deflated.size());
    int status = Z_OK;
    while (status == Z_OK && out.size() <= kMaxInflated) {
        stream.next_out = chunk.data();
        stream.avail_out = static_cast<uInt>(chunk.size());
        status = inflate(&stream, Z_NO_FLUSH);
        out.insert(out.end(), chunk.data(), chunk.data() + (chunk.size() - stream.avail_out));
    }
    inflateEnd(&stream);
    if (status != Z_STREAM_END) {
        return std::nullopt;
    }
    return out;
}

std::uint32_t BigEndian32(std::span<const std::uint8_t> bytes) {
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
           std::uint32_t{bytes[2]} << 8 | bytes[3];
}

// Blocks of a type byte, a 32-bit big-endian size and the data, end to end with nothing left.
std::optional<std::vector<StegosuiteBlock>> Blocks(std::span<const std::uint8_t> bytes) {
    std::vector<StegosuiteBlock> blocks;
    while (!bytes.empty()) {
        if (bytes.size() < 5 || (bytes[0] != kFileBlock && bytes[0] != kMessageBlock)) {
            return std::nullopt;
        }
        const std::uint32_t size = BigEndian32(bytes.subspan(1));
        if (size > bytes.size() - 5) {
            return std::nullopt;
        }
        std::span<const std::uint8_t> data = bytes.subspan(5, size);
        StegosuiteBlock block;
        block.file = bytes[0] == kFileBlock;
        if (block.file) {
            if (data.size() < 4 || BigEndian32(data) > data.size() - 4) {
                return std::nullopt;
            }
            const std::uint32_t name = BigEndian32(data);
            block.name.assign(data.begin() + 4, data.begin() + 4 + name);
            data = data.subspan(4 + name);
        }
        block.data.assign(data.begin(), data.end());
        blocks.push_back(std::move(block));
        bytes = bytes.subspan(5 + size);
    }
    if (blocks.empty()) {
        return std::nullopt;
    }
    return blocks;
}

std::optional<StegosuitePayload> ReadOrder(std::span<const std::uint8_t> order, int bitsPerPixel,
                                           std::string_view password) {
    // The length's 24 bits are in the first eight places of a BMP's or PNG's walk; a GIF's walk
    // passes over the pixels that carry nothing, so 32 places are traced, enough unless most of
    // them are of the colours left alone.
    constexpr std::size_t kTraced = 32;
    const auto count = static_cast<std::uint32_t>(order.size());
    if (count < 8) {
        return std::nullopt;
    }
    const std::vector<std::uint32_t>& draws = ShuffleDraws(count, password);
    std::optional<std::vector<std::uint8_t>> head;
    if (bitsPerPixel == 3) {
        std::array<std::uint32_t, 8> at{};
        TraceBack(count, draws, at);
        head = BytesAt(order, bitsPerPixel, at, kLengthBytes);
    } else if (count >= kTraced) {
        std::array<std::uint32_t, kTraced> at{};
        TraceBack(count, draws, at);
        head = BytesAt(order, bitsPerPixel, at, kLengthBytes);
    }
    std::vector<std::uint32_t> points;
    if (!head) {
        points = Shuffled(count, draws);
        head = BytesAt(order, bitsPerPixel, points, kLengthBytes);
        if (!head) {
            return std::nullopt;
        }
    }
    const std::uint32_t length =
        std::uint32_t{(*head)[0]} << 16 | std::uint32_t{(*head)[1]} << 8 | (*head)[2];
    if (!LengthFits(length, Capacity(order, bitsPerPixel))) {
        return std::nullopt;
    }
    if (points.empty()) {
        points = Shuffled(count, draws);
    }
    const std::optional<std::vector<std::uint8_t>> embedded =
        BytesAt(order, bitsPerPixel, points, length);
    if (!embedded) {
        return std::nullopt;
    }
    return StegosuiteOpen(*embedded, password);
}

} // namespace

std::optional<StegosuitePayload> StegosuiteOpen(std::span<const std::uint8_t> embedded,
                                                std::string_view password) {
    if (embedded.size() < kLengthBytes + kSaltBytes + kShortestDeflate) {
        return std::nullopt;
    }
    const std::optional<std::vector<std::uint8_t>> plain =
        Decrypt(embedded.subspan(kLengthBytes), password);
    if (!plain) {
        return std::nullopt;
    }
    const std::optional<std::vector<std::uint8_t>> inflated = Inflate(*plain);
    if (!inflated) {
        return std::nullopt;
    }
    std::optional<std::vector<StegosuiteBlock>> blocks = Blocks(*inflated);
    if (!blocks) {
        return std::nullopt;
    }
    StegosuitePayload payload;
    payload.embedded = static_cast<std::uint32_t>(embedded.size());
    payload.blocks = std::move(*blocks);
    return payload;
}

StegosuiteCover StegosuitePixelCover(std::span<const std::uint32_t> argb, std::uint32_t width,
                                     std::uint32_t height) {
    // A pixel whose four diagonal neighbours match it, least significant bits aside, makes its
    // whole 3x3 neighbourhood flat: stegosuite's test looks at the corners only.
    constexpr std::uint32_t kLsbs = 0x010101;
    std::vector<bool> flat(argb.size());
    bool anyFlat = false;
    for (std::uint32_t y = 1; y + 1 < height; ++y) {
        const std::uint32_t* above = argb.data() + std::size_t{y - 1} * width;
        const std::uint32_t* row = above + width;
        const std::uint32_t* below = row + width;
        for (std::uint32_t x = 1; x + 1 < width; ++x) {
            const std::uint32_t centre = row[x] & ~kLsbs;
            if ((above[x - 1] & ~kLsbs) != centre || (above[x + 1] & ~kLsbs) != centre ||
                (below[x - 1] & ~kLsbs) != centre || (below[x + 1] & ~kLsbs) != centre) {
                continue;
            }
            anyFlat = true;
            for (std::uint32_t dy = y - 1; dy <= y + 1; ++dy) {
                for (std::uint32_t dx = x - 1; dx <= x + 1; ++dx) {
                    flat[std::size_t{dy} * width + dx] = true;
                }
            }
        }
    }
    StegosuiteCover cover;
    cover.filtered.reserve(argb.size());
    for (std::size_t i = 0; i < argb.size(); ++i) {
        const std::uint32_t p = argb[i];
        const auto lsbs = static_cast<std::uint8_t>((p >> 14 & 4) | (p >> 7 & 2) | (p & 1));
        if (!flat[i]) {
            cover.filtered.push_back(lsbs);
        }
        if (anyFlat) {
            cover.unfiltered.push_back(lsbs);
        }
    }
    return cover;
}

std::optional<StegosuitePayload> StegosuiteRead(const StegosuiteCover& cover,
                                                std::string_view password) {
    std::optional<StegosuitePayload> payload =
        ReadOrder(cover.filtered, cover.bitsPerPixel, password);
    if (!payload && !cover.unfiltered.empty()) {
        payload = ReadOrder(cover.unfiltered, cover.bitsPerPixel, password);
        if (payload) {
            payload->filtered = false;
        }
    }
    return payload;
}

} // namespace vantrel::passwords
