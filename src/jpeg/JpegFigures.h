#pragma once
// What the JPEG window draws, computed on the plain coefficients: how busy each block is.
#include "jpeg/JpegCoefficients.h"

#include <cstdint>
#include <vector>

namespace vantrel {

// The count of nonzero AC coefficients (0..63) of each stored block of one component, block row
// by block row: smooth sky reads near 0, texture near 63, and F5's shrinkage of ones to zeros
// lowers every count a little.
struct BlockActivity {
    int columns = 0;
    int rows = 0;
    std::vector<std::uint8_t> nonzeroAc;
};

BlockActivity NonzeroAcPerBlock(const JpegComponent& component);
// The counts as grey levels, 0 black to 63 white (count x 255 / 63 to nearest).
std::vector<std::uint8_t> ActivityGreyLevels(const BlockActivity& map);

} // namespace vantrel
