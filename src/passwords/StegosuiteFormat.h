#pragma once
// stegosuite 0.9's embeddings in the pixels of a BMP, PNG or GIF read back: MD5(password) seeds
// a java.util.Random that shuffles the usable pixels. A BMP or PNG pixel carries one bit in the
// least significant bit of each of red, green and blue; a GIF pixel one bit, the parity of its
// colour's place in the palette sorted by colour distance (see StegosuiteGifCover). Most
// significant bit of a byte first: a 24-bit length (the header's own three bytes included), a
// 16-byte salt, then the deflated payload under AES-128 in CTR mode (a zero counter) keyed by
// 65,536 rounds of PBKDF2-HMAC-SHA1 of the same password. The payload is a list of blocks: a
// message, or a file with its name.
#include "image/Result.h"
#include "jpeg/JpegCoefficients.h"
#include "passwords/GifshuffleFormat.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::passwords {

// java.util.Random, which keys every walk of stegosuite's: a 48-bit linear congruential
// generator, and nextInt(bound) with its rejection of the last partial range, reproduced to the
// draw.
class StegosuiteJavaRandom {
public:
    explicit StegosuiteJavaRandom(std::uint64_t seed) : state_((seed ^ kMultiplier) & kMask) {}
    std::uint32_t Below(std::uint32_t bound) {
        if ((bound & (bound - 1)) == 0) {
            return static_cast<std::uint32_t>((std::uint64_t{bound} * Next(31)) >> 31);
        }
        for (;;) {
            const std::uint32_t bits = Next(31);
            const std::uint32_t value = bits % bound;
            // Java's `bits - value + (bound - 1) < 0` in 32-bit arithmetic.
            if (bits - value + (bound - 1) < (std::uint32_t{1} << 31)) {
                return value;
            }
        }
    }
    // nextInt(): 32 bits.
    std::uint32_t Next32() { return Next(32); }

private:
    static constexpr std::uint64_t kMultiplier = 0x5DEECE66DULL;
    static constexpr std::uint64_t kMask = (std::uint64_t{1} << 48) - 1;
    std::uint32_t Next(int bits) {
        state_ = (state_ * kMultiplier + 0xB) & kMask;
        return static_cast<std::uint32_t>(state_ >> (48 - bits));
    }
    std::uint64_t state_;
};

// A GIF pixel whose colour is one of the few stegosuite leaves alone: it uses up its place in the
// walk but carries no bit.
inline constexpr std::uint8_t kStegosuiteNoBit = 2;

// Per usable pixel, rows top first, its bits: in a BMP or PNG the least significant bits of red,
// green and blue as bits 2, 1 and 0; in a GIF bit 0, or kStegosuiteNoBit.
struct StegosuiteCover {
    // Without the pixels of flat areas (stegosuite's default, its "noise detection").
    std::vector<std::uint8_t> filtered;
    // Every pixel (noise detection turned off); empty where no area is flat, since the two orders
    // are then the same.
    std::vector<std::uint8_t> unfiltered;
    int bitsPerPixel = 3; // 1 in a GIF
};

// `argb`: one 0xAARRGGBB word a pixel, rows top first, as Java's getRGB sees them.
StegosuiteCover StegosuitePixelCover(std::span<const std::uint32_t> argb, std::uint32_t width,
                                     std::uint32_t height);

// A GIF's first image: `table` the colour table it uses as the file stores it (2 to 256 colours),
// `indices` one a pixel, rows top first. Java's reader pads the table with black to 2, 4, 16 or
// 256 entries, and stegosuite chains the distinct colours greedily by CIEDE2000 distance from
// whichever start makes the shortest chain; its last six colours (seven where the count is odd)
// carry nothing. A failure where no colour is left to carry a bit or an index is outside the
// table.
Result<StegosuiteCover> StegosuiteGifCover(std::span<const GifColour> table,
                                           std::span<const std::uint8_t> indices,
                                           std::uint32_t width, std::uint32_t height);

struct StegosuiteBlock {
    bool file = false;
    std::string name; // a file's name
    std::vector<std::uint8_t> data;
};

struct StegosuitePayload {
    bool filtered = true;       // read from the order without the flat areas
    std::uint32_t embedded = 0; // bytes in the pixels: header, salt and ciphertext
    std::vector<StegosuiteBlock> blocks;
};

// What the password reads, decrypted and inflated; nothing unless a length fits, the deflate
// stream ends with its Adler-32 right and the blocks fill the payload exactly. That chain is the
// proof: a wrong password passes it by chance about once in 2^32 tries after the length.
std::optional<StegosuitePayload> StegosuiteRead(const StegosuiteCover& cover,
                                                std::string_view password);

// The bytes stegosuite embedded (its 24-bit length, the salt, the ciphertext) opened: decrypted,
// inflated and split into blocks, under the checks StegosuiteRead describes.
std::optional<StegosuitePayload> StegosuiteOpen(std::span<const std::uint8_t> embedded,
                                                std::string_view password);

// stegosuite's JPEG embedding: F5 over every coefficient of the entropy-coded MCUs (padding
// blocks included) in scan order, each block in natural order with its DC term set to 0 (F5
// passes over DC terms and zeros alike). Its walk and masks come from a java.util.Random whose
// seed is the sum of the password's UTF-16 code units, so passwords of one sum share the walk and
// what it reads: the cover keeps that per sum, for the few sums whose header fits. The F5 header
// is 32 bits (a 23-bit length and the code's k in the top byte); what it declares is the same
// embedding as in the pixels.
struct StegosuiteJpegCover {
    std::vector<std::int16_t> coefficients;
    std::uint32_t nonZero = 0; // AC coefficients other than 0: F5 carries at most one bit each
    struct Seeds;
    std::shared_ptr<Seeds> seeds; // what each sum read, shared by the threads of an attack
};

// Refused where stegosuite's F5 decoder would not see the file's blocks: a progressive file, or
// one of two or four components. A baseline colour file is taken to code its components in one
// interleaved scan, as encoders do.
Result<StegosuiteJpegCover> StegosuiteJpegCoverOf(const JpegCoefficients& padded);

// What the password reads: nothing unless the F5 length fits, the embedded length repeats it and
// StegosuiteOpen's checks pass.
std::optional<StegosuitePayload> StegosuiteRead(const StegosuiteJpegCover& cover,
                                                std::string_view password);

} // namespace vantrel::passwords
