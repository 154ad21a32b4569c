#pragma once
// A GIF's global colour table in file order, the one thing gifshuffle writes into; and the table
// its first image uses (its local one, else the global one) with that image's size, the palette
// of the indices stegosuite reads. Read in the decoder process (the file's bytes are untrusted);
// they travel as 3 bytes a colour (and two 16-bit sides) and are checked again on arrival.
#include "image/Result.h"
#include "passwords/GifshuffleFormat.h"

#include <cstdint>
#include <span>
#include <vector>

namespace vantrel::passwords {

inline constexpr const char* kGifColourTableAnalysis = "gif-colour-table";
inline constexpr const char* kGifFrameTableAnalysis = "gif-frame-table";

// Decoder side: the table's bytes, or why there is none (not a GIF, no global table, cut short).
Result<std::vector<std::uint8_t>> EncodeGifColourTable(std::span<const std::uint8_t> file,
                                                       std::int64_t maxPixels);

// Caller side: 2 to 256 colours, whole.
Result<std::vector<GifColour>> DecodeGifColourTable(std::span<const std::uint8_t> bytes);

struct GifFrameTable {
    std::vector<GifColour> table;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// Decoder side: the first image's table and size, or why there is none (no image, no table, cut
// short).
Result<std::vector<std::uint8_t>> EncodeGifFrameTable(std::span<const std::uint8_t> file,
                                                      std::int64_t maxPixels);

// Caller side: 2 to 256 colours, whole, and two positive sides.
Result<GifFrameTable> DecodeGifFrameTable(std::span<const std::uint8_t> bytes);

} // namespace vantrel::passwords
