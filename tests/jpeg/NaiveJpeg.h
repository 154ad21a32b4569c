#pragma once
// Straight-from-the-paper versions of the JPEG kernels: the 2-D DCT and IDCT as quadruple sums
// in double precision, one pixel and one coefficient at a time. References for the tests and the
// naive side of the benchmarks.
#include "jpeg/JpegCoefficients.h"

#include <array>
#include <cstdint>
#include <vector>

namespace vantrel::test {

std::vector<std::uint8_t> NaiveDecompressPlane(const JpegComponent& component,
                                               const std::array<std::uint16_t, 64>& table);

// beta of one component: counts H, h at the three modes, calibration by the full 2-D DCT.
double NaiveF5Beta(const JpegComponent& component, const std::array<std::uint16_t, 64>& table);

} // namespace vantrel::test
