#pragma once
// Test-side helpers: files as bytes, coefficients written back through libjpeg, and JSteg
// embedding from its published rule.
#include "jpeg/JpegCoefficients.h"
#include "jpeg/JstegChiSquare.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace vantrel::test {

std::vector<std::uint8_t> ReadBytes(const std::string& path);
JpegCoefficients ReadJpegOrFail(const std::string& path); // ADD_FAILURE and empty on failure
std::string JpegFixture(const std::string& name);         // path under tests/data/jpeg

// `original`'s file with its coefficients replaced by `jpeg`'s (same layout), via
// jpeg_write_coefficients.
std::vector<std::uint8_t> WriteCoefficients(const std::vector<std::uint8_t>& original,
                                            const JpegCoefficients& jpeg);

// Sequential JSteg: random message bits written into the first `share` of the usable
// coefficients in scan order. Returns how many bits were written.
std::uint64_t EmbedJsteg(JpegCoefficients& jpeg, JstegPairing pairing, JstegScope scope,
                         double share, std::mt19937& random);

// Changed AC coefficients over the cover's nonzero AC coefficients, all components.
double ChangedNonzeroShare(const JpegCoefficients& cover, const JpegCoefficients& stego);

} // namespace vantrel::test
