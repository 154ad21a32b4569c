#include "passwords/OutguessBlockiness.h"

#include <tbb/parallel_for.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace vantrel::passwords {
namespace {

// The orthonormal 8-point DCT-II matrix: basis[u][x].
struct Basis {
    float m[8][8];
    Basis() {
        for (int u = 0; u < 8; ++u) {
            for (int x = 0; x < 8; ++x) {
                m[u][x] = static_cast<float>((u == 0 ? std::sqrt(0.125) : 0.5) *
                                             std::cos((2 * x + 1) * u * M_PI / 16));
            }
        }
    }
};
const Basis kBasis;

// Luminance as the file decompresses: blocks of `blocksWide` x `blocksHigh`, natural order.
struct Plane {
    int blocksWide = 0, blocksHigh = 0;
    std::vector<std::int16_t> coefficients;
    int width() const { return blocksWide * 8; }
    int height() const { return blocksHigh * 8; }
};

std::vector<std::uint8_t> Decompress(const Plane& plane, const std::array<std::uint16_t, 64>& q) {
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(plane.width()) * plane.height());
    tbb::parallel_for(0, plane.blocksHigh, [&](int by) {
        for (int bx = 0; bx < plane.blocksWide; ++bx) {
            const std::int16_t* c = plane.coefficients.data() +
                                    (static_cast<std::size_t>(by) * plane.blocksWide + bx) * 64;
            float rows[8][8]; // frequency v x pixel column x
            for (int v = 0; v < 8; ++v) {
                for (int x = 0; x < 8; ++x) {
                    float sum = 0;
                    for (int u = 0; u < 8; ++u) {
                        sum += static_cast<float>(c[v * 8 + u] *
                                                  q[static_cast<std::size_t>(v * 8 + u)]) *
                               kBasis.m[u][x];
                    }
                    rows[v][x] = sum;
                }
            }
            for (int y = 0; y < 8; ++y) {
                std::uint8_t* out =
                    pixels.data() + (static_cast<std::size_t>(by) * 8 + y) * plane.width() + bx * 8;
                for (int x = 0; x < 8; ++x) {
                    float sum = 128;
                    for (int v = 0; v < 8; ++v) {
                        sum += rows[v][x] * kBasis.m[v][y];
                    }
                    out[x] =
                        static_cast<std::uint8_t>(std::clamp(std::nearbyint(sum), 0.0f, 255.0f));
                }
            }
        }
    });
    return pixels;
}

// The pixels from (4, 4) on, compressed again with the same table.
Plane CroppedAgain(const std::vector<std::uint8_t>& pixels, int width, int height,
                   const std::array<std::uint16_t, 64>& q) {
    Plane plane;
    plane.blocksWide = (width - 4) / 8;
    plane.blocksHigh = (height - 4) / 8;
    plane.coefficients.resize(static_cast<std::size_t>(plane.blocksWide) * plane.blocksHigh * 64);
    tbb::parallel_for(0, plane.blocksHigh, [&](int by) {
        for (int bx = 0; bx < plane.blocksWide; ++bx) {
            float rows[8][8]; // pixel row y x frequency u
            for (int y = 0; y < 8; ++y) {
                const std::uint8_t* in =
                    pixels.data() + (static_cast<std::size_t>(by) * 8 + y + 4) * width + bx * 8 + 4;
                for (int u = 0; u < 8; ++u) {
                    float sum = 0;
                    for (int x = 0; x < 8; ++x) {
                        sum += (static_cast<float>(in[x]) - 128) * kBasis.m[u][x];
                    }
                    rows[y][u] = sum;
                }
            }
            std::int16_t* c = plane.coefficients.data() +
                              (static_cast<std::size_t>(by) * plane.blocksWide + bx) * 64;
            for (int v = 0; v < 8; ++v) {
                for (int u = 0; u < 8; ++u) {
                    float sum = 0;
                    for (int y = 0; y < 8; ++y) {
                        sum += rows[y][u] * kBasis.m[v][y];
                    }
                    c[v * 8 + u] = static_cast<std::int16_t>(std::nearbyint(
                        sum / static_cast<float>(q[static_cast<std::size_t>(v * 8 + u)])));
                }
            }
        }
    });
    return plane;
}

// Absolute differences across every vertical and horizontal 8x8 block edge, per edge pixel.
double Blockiness(const std::vector<std::uint8_t>& pixels, int width, int height) {
    std::uint64_t sum = 0, count = 0;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = pixels.data() + static_cast<std::size_t>(y) * width;
        for (int x = 8; x < width; x += 8) {
            sum += static_cast<unsigned>(std::abs(row[x] - row[x - 1]));
            ++count;
        }
        if (y % 8 == 0 && y > 0) {
            const std::uint8_t* above = row - width;
            for (int x = 0; x < width; ++x) {
                sum += static_cast<unsigned>(std::abs(row[x] - above[x]));
            }
            count += static_cast<std::uint64_t>(width);
        }
    }
    return count ? static_cast<double>(sum) / static_cast<double>(count) : 0;
}

// A maximal OutGuess embedding as the blockiness sees it: the LSB of half the coefficients it
// may use (not 0 or 1) flipped, at places a fixed generator picks.
Plane Embedded(Plane plane) {
    std::mt19937 random(20020101);
    for (std::int16_t& c : plane.coefficients) {
        if (c != 0 && c != 1 && (random() & 1)) {
            c = static_cast<std::int16_t>(c ^ 1);
        }
    }
    return plane;
}

} // namespace

OutguessBlockiness DetectOutguessBlockiness(const JpegCoefficients& jpeg) {
    OutguessBlockiness result;
    if (jpeg.components.empty()) {
        result.state = DetectorState::Failed("no components");
        return result;
    }
    const JpegComponent& luma = jpeg.components.front();
    if (jpeg.progressive) {
        result.state =
            DetectorState::NotApplicable("a progressive JPEG, which OutGuess never writes");
        return result;
    }
    if (luma.widthInBlocks < 8 || luma.heightInBlocks < 8 ||
        luma.coefficients.size() <
            static_cast<std::size_t>(luma.widthInBlocks) * luma.heightInBlocks * 64) {
        result.state = DetectorState::NotApplicable("fewer than 8 x 8 luminance blocks");
        return result;
    }
    const std::size_t table = static_cast<std::size_t>(luma.quantTableIndex);
    if (table >= 4 || !jpeg.quantTablePresent[table]) {
        result.state = DetectorState::Failed("the luminance quantization table is missing");
        return result;
    }
    const auto& q = jpeg.quantTables[table];
    const Plane file{luma.widthInBlocks, luma.heightInBlocks, luma.coefficients};
    const std::vector<std::uint8_t> pixels = Decompress(file, q);
    const Plane calibrated = CroppedAgain(pixels, file.width(), file.height(), q);
    // Each slope is what flipping half the usable coefficients adds to a picture's blockiness.
    const double stego = Blockiness(pixels, file.width(), file.height());
    const double stegoFull = Blockiness(Decompress(Embedded(file), q), file.width(), file.height());
    const double cover =
        Blockiness(Decompress(calibrated, q), calibrated.width(), calibrated.height());
    const double full =
        Blockiness(Decompress(Embedded(calibrated), q), calibrated.width(), calibrated.height());
    if (!(full - cover > 1e-9)) {
        result.state = DetectorState::NotApplicable("flipped coefficients add no blockiness");
        return result;
    }
    // Flipping coefficients an embedding already flipped undoes its blockiness: the file's slope
    // falls short of the cover's by twice the share of coefficients the embedding changed.
    result.estimate = (1 - (stegoFull - stego) / (full - cover)) / 2;
    result.flagged = result.estimate >= result.threshold;
    return result;
}

std::string OutguessBlockinessJson(const OutguessBlockiness& result) {
    JsonObject object;
    object.add("flagged", result.state.ok() && result.flagged);
    AddState(object, result.state);
    object.add("threshold", result.threshold);
    result.state.ok() ? object.add("estimate", result.estimate) : object.null("estimate");
    return object.str();
}

} // namespace vantrel::passwords
