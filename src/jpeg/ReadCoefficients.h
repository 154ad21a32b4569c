#pragma once
// Reads the quantized DCT coefficients of a JPEG file through libjpeg. It parses untrusted bytes,
// so it is linked only into the decoder process; the statistics work on its plain result.
#include "image/Result.h"
#include "jpeg/JpegCoefficients.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace vantrel {

struct JpegReadLimits {
    // Frames above this many pixels are refused before libjpeg allocates anything for them.
    std::uint64_t maxPixels = std::uint64_t{1} << 28;
    // The coefficient arrays (two bytes a coefficient, libjpeg's padded arrays) of all components.
    std::uint64_t maxCoefficientBytes = std::uint64_t{1} << 30;
    // A progressive file may carry any number of scans, each a pass over every block; hostile
    // files use that to make a tiny file cost minutes.
    int maxScans = 500;
    // Keeps the blocks that pad each component to whole MCUs (an interleaved scan codes them, and
    // a tool may have written into them); the components' block counts then count them too.
    bool keepPadding = false;
};

// Baseline and progressive, grey and colour, any sampling. A file whose entropy data ends early
// is refused with "truncated JPEG data" rather than handed on with libjpeg's zero padding, which
// would read as a run of zero coefficients to every statistic.
Result<JpegCoefficients> ReadJpegCoefficients(std::span<const std::uint8_t> bytes,
                                              const JpegReadLimits& limits = {});

} // namespace vantrel
