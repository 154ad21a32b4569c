#pragma once
// f5stegojs's embedding read back: an RC4 stream keyed by the password's UTF-8 bytes, whose first
// 4-byte words shuffle the luminance coefficients (one word per coefficient) and whose following
// bytes mask the message; the 4-bit code choice, then the 2- or 3-byte length, then the payload,
// by F5's matrix encoding over the shuffled coefficients other than 0.
#include "image/Result.h"
#include "jpeg/JpegCoefficients.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace vantrel::passwords {

// The luminance component (id 1, else the first) as f5stegojs holds it: every block of the MCU
// grid, block row by block row, each block's coefficients in zigzag order with the DC slot 0.
struct F5stegoCover {
    std::vector<std::int16_t> coefficients;
};

// Refused where the grid needs blocks the decoder did not keep: an interleaved baseline file
// whose luminance is padded to whole MCUs has coded padding blocks that f5stegojs walks too. The
// decoder keeps them on request (kF5stegoCoefficientsAnalysis).
Result<F5stegoCover> F5stegoJpegCover(const JpegCoefficients& jpeg);

// The decoder's coefficients with each component's padding blocks kept (the jpeg wire's format).
inline constexpr const char* kF5stegoCoefficientsAnalysis = "jpeg-coefficients-padded";

struct F5stegoRead {
    int k = 0;                // the matrix code (2^k - 1, k)
    std::uint32_t length = 0; // payload bytes the header declares
    std::vector<std::uint8_t> payload;
};

// What one password reads: nothing for the empty password (the tool refuses it), a zero length,
// or a length the shuffled coefficients cannot hold; else the first `bytes` payload bytes (all
// of them when `bytes` is at least the length).
std::optional<F5stegoRead> F5stegoReadAt(const F5stegoCover& cover, std::string_view password,
                                         std::size_t bytes);

// The code f5stegojs picks for a message of `bytes` (its length header included): the largest k
// whose capacity estimate from the cover's counts holds it. 0: none does.
int F5stegoChosenCode(const F5stegoCover& cover, std::size_t bytes);

} // namespace vantrel::passwords
