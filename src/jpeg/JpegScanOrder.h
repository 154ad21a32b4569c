#pragma once
// The order an entropy coder meets a JPEG's blocks: MCU by MCU, and within an MCU each
// component's h x v blocks in raster order. Embedders that write a message sequentially follow it,
// so the JSteg statistics and bit layouts walk it too.
#include "jpeg/JpegCoefficients.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

namespace vantrel {

// Zigzag position -> natural (row-major) index within a block.
inline constexpr std::array<std::uint8_t, 64> kZigzagToNatural = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// Calls visit(block) (a const or mutable std::int16_t*, as `jpeg` is) for every stored block of the
// chosen components in scan order. A single-component file is one non-interleaved scan (an MCU is
// one block, whatever the sampling factors say); the MCU grid of an interleaved file may reach past
// a component's stored blocks at the right and bottom edges, where the encoder wrote dummy blocks
// we do not keep.
template <typename Jpeg, typename Visit>
void ForEachBlockInScanOrder(Jpeg& jpeg, bool luminanceOnly, Visit&& visit) {
    auto& components = jpeg.components;
    if (components.empty()) {
        return;
    }
    const auto blockAt = [](auto& c, int row, int column) {
        return c.coefficients.data() +
               (static_cast<std::size_t>(row) * static_cast<std::size_t>(c.widthInBlocks) +
                static_cast<std::size_t>(column)) *
                   64;
    };
    const auto stored = [](const JpegComponent& c) {
        return c.coefficients.size() >= static_cast<std::size_t>(c.widthInBlocks) *
                                            static_cast<std::size_t>(c.heightInBlocks) * 64;
    };
    if (components.size() == 1) {
        auto& c = components[0];
        if (!stored(c)) {
            return;
        }
        for (int row = 0; row < c.heightInBlocks; ++row) {
            for (int column = 0; column < c.widthInBlocks; ++column) {
                visit(blockAt(c, row, column));
            }
        }
        return;
    }
    for (const JpegComponent& c : components) {
        if (!stored(c) || c.hSampling < 1 || c.vSampling < 1) {
            return;
        }
    }
    const int mcuWidth = 8 * std::max(jpeg.maxHSampling, 1);
    const int mcuHeight = 8 * std::max(jpeg.maxVSampling, 1);
    const int mcuColumns = (std::max(jpeg.width, 0) + mcuWidth - 1) / mcuWidth;
    const int mcuRows = (std::max(jpeg.height, 0) + mcuHeight - 1) / mcuHeight;
    const std::size_t last = luminanceOnly ? 1 : components.size();
    for (int mcuRow = 0; mcuRow < mcuRows; ++mcuRow) {
        for (int mcuColumn = 0; mcuColumn < mcuColumns; ++mcuColumn) {
            for (std::size_t index = 0; index < last; ++index) {
                auto& c = components[index];
                for (int v = 0; v < c.vSampling; ++v) {
                    const int row = mcuRow * c.vSampling + v;
                    if (row >= c.heightInBlocks) {
                        break;
                    }
                    for (int h = 0; h < c.hSampling; ++h) {
                        const int column = mcuColumn * c.hSampling + h;
                        if (column < c.widthInBlocks) {
                            visit(blockAt(c, row, column));
                        }
                    }
                }
            }
        }
    }
}

} // namespace vantrel
