#pragma once
// stegosuite 0.9's embedding in the pixels of a BMP or PNG read back: MD5(password) seeds a
// java.util.Random that shuffles the usable pixels, one bit in the least significant bit of each
// of red, green and blue, most significant bit of a byte first; a 24-bit length (the header's own
// three bytes included), a 16-byte salt, then the deflated payload under AES-128 in CTR mode (a
// zero counter) keyed by 65,536 rounds of PBKDF2-HMAC-SHA1 of the same password. The payload is a
// list of blocks: a message, or a file with its name.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::passwords {

// Per usable pixel, rows top first: the least significant bits of red, green and blue as bits 2,
// 1 and 0.
struct StegosuiteCover {
    // Without the pixels of flat areas (stegosuite's default, its "noise detection").
    std::vector<std::uint8_t> filtered;
    // Every pixel (noise detection turned off); empty where no area is flat, since the two orders
    // are then the same.
    std::vector<std::uint8_t> unfiltered;
};

// `argb`: one 0xAARRGGBB word a pixel, rows top first, as Java's getRGB sees them.
StegosuiteCover StegosuitePixelCover(std::span<const std::uint32_t> argb, std::uint32_t width,
                                     std::uint32_t height);

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

} // namespace vantrel::passwords
