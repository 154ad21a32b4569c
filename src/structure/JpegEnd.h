#pragma once
// What follows a JPEG's image data, one definition for every reader of the decoder side (the
// structure walk and the coefficient reader): the images a camera lists in its MPF segment after
// the first EOI and fill bytes (one of 0x00, 0x1A, 0xFF repeated) belong to the file; whatever
// comes after them is the trailer.
#include <cstdint>
#include <span>

namespace vantrel::structure {

struct JpegTrailer {
    std::uint64_t offset = 0; // where the trailer starts; the file's size when there is none
    std::uint64_t length = 0; // from there to the end of the file
};

JpegTrailer JpegTrailerOf(std::span<const std::uint8_t> file);

} // namespace vantrel::structure
