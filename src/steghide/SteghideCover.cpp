#include "steghide/SteghideCover.h"

#include <algorithm>
#include <string>
#include <utility>

namespace vantrel {

namespace {

// steghide counts samples in 32 bits.
Result<SteghideCover> Counted(SteghideCover cover) {
    if (cover.values.size() > 0xFFFFFFFFu) {
        return Failure("more samples than steghide can number");
    }
    return cover;
}

// steghide's own block counts (ceil(size * sampling / (8 * max sampling))), not the padded ones a
// reader may store: the padding blocks of a non-interleaved edge carry no samples for it.
int BlocksAcross(int size, int sampling, int maxSampling) {
    const long long units = 8LL * maxSampling;
    return static_cast<int>((static_cast<long long>(size) * sampling + units - 1) / units);
}

} // namespace

Result<SteghideCover> SteghideJpegCover(const JpegCoefficients& jpeg) {
    if (jpeg.width <= 0 || jpeg.height <= 0 || jpeg.components.empty()) {
        return Failure("the JPEG has no coefficients");
    }
    int maxH = 1;
    int maxV = 1;
    for (const JpegComponent& component : jpeg.components) {
        if (component.hSampling < 1 || component.hSampling > 4 || component.vSampling < 1 ||
            component.vSampling > 4) {
            return Failure("the JPEG has an impossible sampling factor");
        }
        maxH = std::max(maxH, component.hSampling);
        maxV = std::max(maxV, component.vSampling);
    }
    SteghideCover cover;
    cover.samplesPerValue = 3;
    cover.modulus = 2;
    cover.bitsPerValue = 1;
    for (const JpegComponent& component : jpeg.components) {
        const int across = BlocksAcross(jpeg.width, component.hSampling, maxH);
        const int down = BlocksAcross(jpeg.height, component.vSampling, maxV);
        if (across > component.widthInBlocks || down > component.heightInBlocks ||
            component.coefficients.size() !=
                static_cast<std::size_t>(component.widthInBlocks) *
                    static_cast<std::size_t>(component.heightInBlocks) * 64) {
            return Failure("the JPEG's coefficient arrays are smaller than its frame");
        }
        for (int row = 0; row < down; ++row) {
            for (int column = 0; column < across; ++column) {
                for (const std::int16_t coefficient : component.block(row, column)) {
                    if (coefficient != 0) {
                        cover.values.push_back(static_cast<std::uint8_t>(coefficient & 1));
                    }
                }
            }
        }
    }
    return Counted(std::move(cover));
}

Result<SteghideCover> SteghideBmpCover(const BmpPixelData& bmp) {
    const int bits = bmp.bitsPerPixel;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24) {
        return Failure("steghide reads only 1-, 4-, 8- and 24-bit BMPs, not " +
                       std::to_string(bits) + "-bit");
    }
    if (bmp.width <= 0 || bmp.height <= 0) {
        return Failure("the BMP has no pixels");
    }
    const std::size_t width = static_cast<std::size_t>(bmp.width);
    const std::size_t height = static_cast<std::size_t>(bmp.height);
    const std::size_t rowBytes = (width * static_cast<std::size_t>(bits) + 7) / 8;
    if (bmp.stride < rowBytes || bmp.bytes.size() / bmp.stride < height) {
        return Failure("the BMP's pixel rows are shorter than its size");
    }
    SteghideCover cover;
    cover.samplesPerValue = bits == 24 || bits < 8 ? 2 : 3;
    cover.modulus = bits < 8 ? 2 : 4;
    cover.bitsPerValue = bits < 8 ? 1 : 2;
    cover.values.resize(width * height);
    std::uint8_t* out = cover.values.data();
    for (std::size_t y = 0; y < height; ++y) {
        const std::uint8_t* row = bmp.bytes.data() + y * bmp.stride;
        if (bits == 24) {
            for (std::size_t x = 0; x < width; ++x, row += 3) {
                const unsigned blue = row[0];
                const unsigned green = row[1];
                const unsigned red = row[2];
                *out++ = static_cast<std::uint8_t>((((red ^ green) & 1) << 1) | ((red ^ blue) & 1));
            }
        } else if (bits == 8) {
            for (std::size_t x = 0; x < width; ++x) {
                *out++ = static_cast<std::uint8_t>(row[x] & 3);
            }
        } else {
            // The first pixel of a byte sits in its high bits; only the index's lowest bit counts.
            const std::size_t perByte = 8 / static_cast<std::size_t>(bits);
            for (std::size_t x = 0; x < width; ++x) {
                const unsigned shift = static_cast<unsigned>((perByte - 1 - x % perByte) * bits);
                *out++ = static_cast<std::uint8_t>((row[x / perByte] >> shift) & 1);
            }
        }
    }
    return Counted(std::move(cover));
}

} // namespace vantrel
