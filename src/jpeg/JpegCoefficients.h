#pragma once
// The quantized DCT coefficients of a JPEG as the file stores them, read in the decoder process
// and handed to the JPEG statistics and to the steghide reader as plain data. Nothing here is
// dequantized: a coefficient is the integer the entropy decoder produced.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vantrel {

struct JpegComponent {
    int id = 0;        // the component identifier of the frame header
    int hSampling = 1; // sampling factors of the frame header
    int vSampling = 1;
    int quantTableIndex = 0; // which of JpegCoefficients::quantTables this component uses
    int widthInBlocks = 0;   // blocks per row: libjpeg's width_in_blocks, not padded to MCUs
    int heightInBlocks = 0;  // block rows stored
    int width = 0;           // the component's real size in samples, before padding
    int height = 0;
    // widthInBlocks x heightInBlocks blocks, block row by block row; each block's 64
    // coefficients in natural (row-major) order, not zigzag.
    std::vector<std::int16_t> coefficients;

    std::span<const std::int16_t> block(int blockRow, int blockColumn) const {
        const std::size_t index =
            (static_cast<std::size_t>(blockRow) * static_cast<std::size_t>(widthInBlocks) +
             static_cast<std::size_t>(blockColumn)) *
            64;
        return {coefficients.data() + index, 64};
    }
};

struct JpegCoefficients {
    int width = 0; // the image size of the frame header
    int height = 0;
    bool progressive = false;
    int maxHSampling = 1;
    int maxVSampling = 1;
    // Tables by index 0..3, natural order; `quantTablePresent[i]` says whether table i was
    // defined.
    std::array<std::array<std::uint16_t, 64>, 4> quantTables{};
    std::array<bool, 4> quantTablePresent{};
    std::vector<JpegComponent> components;
    // The COM segments' bytes as stored (no encoding is promised), in file order.
    std::vector<std::string> comments;
    // Bytes after EOI: a tool hiding data past the image leaves them there. Length 0: none.
    std::uint64_t trailerOffset = 0;
    std::uint64_t trailerLength = 0;
};

} // namespace vantrel
