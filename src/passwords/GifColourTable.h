#pragma once
// A GIF's global colour table in file order, the one thing gifshuffle writes into. Read in the
// decoder process (the file's bytes are untrusted); it travels as 3 bytes a colour and is checked
// again on arrival.
#include "image/Result.h"
#include "passwords/GifshuffleFormat.h"

#include <cstdint>
#include <span>
#include <vector>

namespace vantrel::passwords {

inline constexpr const char* kGifColourTableAnalysis = "gif-colour-table";

// Decoder side: the table's bytes, or why there is none (not a GIF, no global table, cut short).
Result<std::vector<std::uint8_t>> EncodeGifColourTable(std::span<const std::uint8_t> file,
                                                       std::int64_t maxPixels);

// Caller side: 2 to 256 colours, whole.
Result<std::vector<GifColour>> DecodeGifColourTable(std::span<const std::uint8_t> bytes);

} // namespace vantrel::passwords
