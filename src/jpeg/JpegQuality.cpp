#include "jpeg/JpegQuality.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace vantrel {

const QuantTable& AnnexKLuminance() {
    static constexpr QuantTable table = {
        16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
        14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
        18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
        49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
    return table;
}

const QuantTable& AnnexKChrominance() {
    static constexpr QuantTable table = {
        17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
        99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
        99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};
    return table;
}

int IjgQualityScaling(int quality) {
    quality = std::clamp(quality, 1, 100);
    return quality < 50 ? 5000 / quality : 200 - quality * 2;
}

QuantTable ScaledTable(const QuantTable& base, int quality, bool baseline) {
    const long scale = IjgQualityScaling(quality);
    const long highest = baseline ? 255 : 32767;
    QuantTable table{};
    for (std::size_t k = 0; k < table.size(); ++k) {
        table[k] =
            static_cast<std::uint16_t>(std::clamp((base[k] * scale + 50) / 100, 1L, highest));
    }
    return table;
}

namespace {

std::uint64_t Difference(const QuantTable& file, const QuantTable& base, int quality,
                         bool baseline) {
    const QuantTable scaled = ScaledTable(base, quality, baseline);
    std::uint64_t sum = 0;
    for (std::size_t k = 0; k < file.size(); ++k) {
        sum += static_cast<std::uint64_t>(std::abs(int{file[k]} - int{scaled[k]}));
    }
    return sum;
}

} // namespace

JpegQuality EstimateQuality(const JpegCoefficients& jpeg) {
    JpegQuality result;
    if (jpeg.components.empty()) {
        return result;
    }
    const int lumaIndex = jpeg.components[0].quantTableIndex;
    int chromaIndex = -1;
    for (std::size_t c = 1; c < jpeg.components.size(); ++c) {
        if (jpeg.components[c].quantTableIndex != lumaIndex) {
            chromaIndex = jpeg.components[c].quantTableIndex;
            break;
        }
    }
    std::uint64_t best = std::numeric_limits<std::uint64_t>::max();
    // Several qualities can give the same tables (at the clamp); the first, lowest, wins, as the
    // other readers answer. The clamps agree above quality 25 or so, where baseline is tried first.
    for (const bool baseline : {true, false}) {
        for (int quality = 1; quality <= 100; ++quality) {
            std::uint64_t difference =
                Difference(jpeg.quantTables[lumaIndex], AnnexKLuminance(), quality, baseline);
            if (chromaIndex >= 0) {
                difference += Difference(jpeg.quantTables[chromaIndex], AnnexKChrominance(),
                                         quality, baseline);
            }
            if (difference < best) {
                best = difference;
                result.quality = quality;
                result.baseline = baseline;
            }
        }
    }
    result.difference = best;
    result.exact = best == 0;
    return result;
}

} // namespace vantrel
