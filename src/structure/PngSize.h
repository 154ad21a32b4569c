#pragma once
// The arithmetic of a PNG's IHDR: how many bytes of filtered image data a size needs, how many
// rows a count of bytes holds, and the one field of a cut IHDR its stale CRC still fixes.
#include <array>
#include <cstdint>
#include <optional>

namespace vantrel::structure::detail {

struct PngHeader {
    std::uint32_t width = 0, height = 0;
    std::uint8_t depth = 0, colour = 0, interlace = 0;
    bool valid = false;
};

bool DepthAllowed(std::uint8_t colour, std::uint8_t depth);

// Bytes of filtered image data for a width and height: rows of (filter byte + packed samples),
// over the seven Adam7 passes when interlaced. Saturates instead of overflowing.
std::uint64_t NeededBytes(const PngHeader& h, std::uint64_t width, std::uint64_t height);

// The most rows of this width whose image data fits in `bytes` (a monotone search).
std::uint64_t RowsIn(const PngHeader& h, std::uint64_t bytes);

// The value of the 32-bit big-endian field at `field` (4 width, 8 height) of the 17 bytes of an
// IHDR's type and data that gives them the CRC `stored`; none when no value does.
std::optional<std::uint32_t> SolveField(std::array<std::uint8_t, 17> message, int field,
                                        std::uint32_t stored);

} // namespace vantrel::structure::detail
