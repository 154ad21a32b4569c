#pragma once
// Where a GIF's first image starts. Both the decoder's size probe and the colour-table reader
// need the first image descriptor, which stands after the global colour table and any number of
// extensions; only lengths are read on the way, never what the blocks hold.
#include <cstddef>
#include <cstdint>
#include <span>

namespace vantrel::bytes {

// The bytes of a colour table whose packed flags byte is `packed` (a logical screen's or an
// image's): 0 when there is none.
inline std::size_t GifColourTableBytes(std::uint8_t packed) {
    return (packed & 0x80) == 0 ? 0 : std::size_t{3} << ((packed & 7) + 1);
}

enum class GifImageSearch : std::uint8_t { Found, CutShort, NoImage, UnknownBlock };

struct GifFirstImage {
    GifImageSearch result = GifImageSearch::CutShort;
    std::size_t offset = 0; // of the image descriptor's 0x2C, when found
};

// `file` starts with a GIF signature. Found says where the descriptor's 0x2C stands: how much of it
// follows is the caller's to check.
GifFirstImage FindFirstGifImage(std::span<const std::uint8_t> file);

} // namespace vantrel::bytes
