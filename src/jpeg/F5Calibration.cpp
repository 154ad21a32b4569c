#include "jpeg/F5Calibration.h"

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#if defined(__SSE2__) && !defined(VANTREL_BASELINE_ONLY)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vantrel {

namespace {

// basis[x][u] = C(u)/2 cos((2x+1)u pi/16): the orthonormal 8-point DCT-II is
// F[u] = sum_x basis[x][u] f[x] and the IDCT f[x] = sum_u basis[x][u] F[u].
struct Basis {
    float at[8][8];
    float byFrequency[8][8]; // at transposed: [u][x], so the loops over x read memory in order
    double exact[8][8];      // at in double, for the pixels float cannot round surely
    Basis() {
        for (int x = 0; x < 8; ++x) {
            for (int u = 0; u < 8; ++u) {
                const double c = u == 0 ? std::numbers::sqrt2 / 2 : 1.0;
                exact[x][u] = c / 2 * std::cos((2 * x + 1) * u * std::numbers::pi / 16);
                at[x][u] = static_cast<float>(exact[x][u]);
                byFrequency[u][x] = at[x][u];
            }
        }
    }
};

const Basis& DctBasis() {
    static const Basis basis;
    return basis;
}

// Nearest, halves to even, clipped to 0..255, without a libm call per pixel: adding and taking
// away 1.5 * 2^23 leaves a float in the default rounding mode rounded to an integer. The clip to
// -1..256 first keeps the value small enough for that and changes no result.
std::uint8_t RoundToPixel(float value) {
    constexpr float kRounder = 12582912.0f;
    // Needs IEEE arithmetic as written (no -ffast-math, which would fold the two steps away).
    const float shifted = std::min(std::max(value, -1.0f), 256.0f) + kRounder;
    const float rounded = shifted - kRounder;
    return static_cast<std::uint8_t>(std::clamp(static_cast<int>(rounded), 0, 255));
}

// |round(value)| with halves away from zero: floor(|value| + 1/2), exact in double for a float.
long RoundedMagnitude(float value) {
    return static_cast<long>(std::fabs(static_cast<double>(value)) + 0.5);
}

// `top` is the block row's first pixel row.
[[gnu::always_inline]] inline void StorePixels(const float pixels[8][8],
                                               const JpegComponent& component, int column, int rows,
                                               int columns, std::uint8_t* top) {
    for (int y = 0; y < rows; ++y) {
        std::uint8_t* out =
            top + static_cast<std::size_t>(y) * static_cast<std::size_t>(component.width) +
            column * 8;
#if defined(__SSE2__) && !defined(VANTREL_BASELINE_ONLY)
        if (columns == 8) {
            // RoundToPixel eight at a time: the conversion rounds to nearest, halves to even, in
            // the default mode, and the saturating packs clip to 0..255.
            const __m128 low = _mm_set1_ps(-1.0f);
            const __m128 high = _mm_set1_ps(256.0f);
            const __m128i left =
                _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(_mm_loadu_ps(&pixels[y][0]), low), high));
            const __m128i right =
                _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(_mm_loadu_ps(&pixels[y][4]), low), high));
            const __m128i bytes =
                _mm_packus_epi16(_mm_packs_epi32(left, right), _mm_setzero_si128());
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out), bytes);
            continue;
        }
#endif
        for (int x = 0; x < columns; ++x) {
            out[x] = RoundToPixel(pixels[y][x]);
        }
    }
}

// cos((2x + 1) 4 pi / 16): the sign of frequency 4 at sample x.
constexpr int kSignOfFour[8] = {1, -1, -1, 1, 1, -1, -1, 1};

// A block whose coefficients are zero outside frequencies 0 and 4 in both directions (every
// DC-only block of a flat area is one) decompresses to 128 + n/8 for an integer n, since the two
// basis values involved are both +-sqrt(2)/4: a quarter of its pixels would land exactly on a half
// and float error, not the picture, would decide their rounding. Such blocks are worked out in
// integers and rounded half to even; at quality 85, where DC steps of 5 make such halves common
// in a flat sky, float noise moved beta by 0.008.
// `rowUsed` says which rows of coefficients hold anything.
bool RationalBlock(const std::int16_t* coef, const bool rowUsed[8]) {
    if (rowUsed[1] || rowUsed[2] || rowUsed[3] || rowUsed[5] || rowUsed[6] || rowUsed[7]) {
        return false;
    }
    int other = 0;
    for (const int row : {0, 32}) {
        for (const int u : {1, 2, 3, 5, 6, 7}) {
            other |= coef[row + u];
        }
    }
    return other == 0;
}

void RationalBlockPixels(const std::int16_t* coef, const std::array<std::uint16_t, 64>& table,
                         float pixels[8][8]) {
    const long f00 = long{coef[0]} * table[0];
    const long f04 = long{coef[4]} * table[4];
    const long f40 = long{coef[32]} * table[32];
    const long f44 = long{coef[36]} * table[36];
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const long eighths =
                f00 + kSignOfFour[x] * f04 + kSignOfFour[y] * (f40 + kSignOfFour[x] * f44);
            long whole = eighths >> 3; // floor, also for negative sums
            const long rest = eighths & 7;
            whole += rest > 4 || (rest == 4 && (whole & 1) != 0);
            // An integer is exact in float, so RoundToPixel only clips it.
            pixels[y][x] = static_cast<float>(128 + std::clamp(whole, -256L, 256L));
        }
    }
}

// Float sums of up to 64 terms are good to about 1e-5 here; a pixel this close to a half may
// round the wrong way, and one pixel off moves a calibrated coefficient across a bin often enough
// to shift beta by 0.001.
constexpr float kNearHalf = 1.0f / 1024;
// Double sums of these 64 terms are good to about 1e-12.
constexpr double kExactHalf = 1e-9;

// Whether |value - nearest integer| is within kNearHalf of 1/2, without a libm call: the rounder
// trick of RoundToPixel. Values past +-4096 clip to a pixel whatever their rounding, and a
// hostile table makes them; they are kept clear of the trick's 2^22 limit.
bool NearHalf(float value) {
    constexpr float kRounder = 12582912.0f;
    const float clipped = std::min(std::max(value, -4096.0f), 4096.0f); // an integer past them
    const float nearest = (clipped + kRounder) - kRounder;
    return std::fabs(clipped - nearest) > 0.5f - kNearHalf;
}

// One pass without branches over the block; most blocks have no such pixel.
bool AnyNearHalf(const float pixels[8][8]) {
#if defined(__SSE2__) && !defined(VANTREL_BASELINE_ONLY)
    const __m128 rounder = _mm_set1_ps(12582912.0f);
    const __m128 low = _mm_set1_ps(-4096.0f);
    const __m128 high = _mm_set1_ps(4096.0f);
    const __m128 sign = _mm_set1_ps(-0.0f);
    const __m128 bound = _mm_set1_ps(0.5f - kNearHalf);
    __m128 any = _mm_setzero_ps();
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; x += 4) {
            const __m128 clipped = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(&pixels[y][x]), low), high);
            const __m128 nearest = _mm_sub_ps(_mm_add_ps(clipped, rounder), rounder);
            const __m128 distance = _mm_andnot_ps(sign, _mm_sub_ps(clipped, nearest));
            any = _mm_or_ps(any, _mm_cmpgt_ps(distance, bound));
        }
    }
    return _mm_movemask_ps(any) != 0;
#else
    bool any = false;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            any |= NearHalf(pixels[y][x]);
        }
    }
    return any;
#endif
}

// The few pixels float leaves too close to a half are summed again in double and rounded there.
void SettleNearHalves(const std::int16_t* coef, const std::array<std::uint16_t, 64>& table,
                      float pixels[8][8]) {
    const Basis& b = DctBasis();
    if (!AnyNearHalf(pixels)) {
        return;
    }
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            if (!NearHalf(pixels[y][x])) {
                continue;
            }
            double sum = 128;
            for (int v = 0; v < 8; ++v) {
                for (int u = 0; u < 8; ++u) {
                    sum += static_cast<double>(coef[v * 8 + u] * table[v * 8 + u]) * b.exact[y][v] *
                           b.exact[x][u];
                }
            }
            // Coefficients that mirror each other (F(0,1) q = F(1,0) q, say) cancel their
            // irrational parts at the pixels where the basis values mirror too, leaving an exact
            // half that double error puts a hair to either side: within kExactHalf it is one.
            const double fraction = sum - std::floor(sum);
            if (std::fabs(fraction - 0.5) < kExactHalf) {
                sum = std::floor(sum) + 0.5;
            }
            pixels[y][x] = static_cast<float>(std::nearbyint(sum));
        }
    }
}

// One block row: 8 pixel rows of the plane (fewer at the bottom edge) from `top` on, columns
// clipped to width.
void InverseBlockRow(const JpegComponent& component, const std::array<std::uint16_t, 64>& table,
                     int blockRow, std::uint8_t* top) {
    const Basis& b = DctBasis();
    const int rows = std::min(8, component.height - blockRow * 8);
    for (int column = 0; column < component.widthInBlocks; ++column) {
        const int columns = std::min(8, component.width - column * 8);
        if (columns <= 0) {
            break;
        }
        const std::int16_t* coef = component.block(blockRow, column).data();
        float pixels[8][8];
        // Rows first: horizontal[v][x] = sum_u F[v][u] basis[x][u]. An all-zero row of
        // coefficients (most of them at usual qualities) is skipped whole; within a row a branch
        // per coefficient would cost more in mispredictions than the multiplications it saves.
        bool rowUsed[8] = {};
        for (int v = 0; v < 8; ++v) {
            int any = 0;
            for (int u = 0; u < 8; ++u) {
                any |= coef[v * 8 + u];
            }
            rowUsed[v] = any != 0;
        }
        if (RationalBlock(coef, rowUsed)) {
            RationalBlockPixels(coef, table, pixels);
            StorePixels(pixels, component, column, rows, columns, top);
            continue;
        }
        // basis[7 - x][u] = (-1)^u basis[x][u]: the even frequencies give the same at x and
        // 7 - x, the odd ones opposite values, so each half of a pass is worked out once.
        float horizontal[8][8]; // only the used rows are written and read
        for (int v = 0; v < 8; ++v) {
            if (!rowUsed[v]) {
                continue;
            }
            const std::int16_t* row = coef + v * 8;
            float even[4] = {}, odd[4] = {};
            for (int u = 0; u < 8; u += 2) {
                const float e = static_cast<float>(row[u] * table[v * 8 + u]);
                const float o = static_cast<float>(row[u + 1] * table[v * 8 + u + 1]);
                for (int x = 0; x < 4; ++x) {
                    even[x] += e * b.byFrequency[u][x];
                    odd[x] += o * b.byFrequency[u + 1][x];
                }
            }
            for (int x = 0; x < 4; ++x) {
                horizontal[v][x] = even[x] + odd[x];
                horizontal[v][7 - x] = even[x] - odd[x];
            }
        }
        for (int y = 0; y < 4; ++y) {
            float even[8] = {}, odd[8] = {};
            for (int v = 0; v < 8; v += 2) {
                if (rowUsed[v]) {
                    const float weight = b.at[y][v];
                    for (int x = 0; x < 8; ++x) {
                        even[x] += weight * horizontal[v][x];
                    }
                }
                if (rowUsed[v + 1]) {
                    const float weight = b.at[y][v + 1];
                    for (int x = 0; x < 8; ++x) {
                        odd[x] += weight * horizontal[v + 1][x];
                    }
                }
            }
            for (int x = 0; x < 8; ++x) {
                pixels[y][x] = 128.0f + (even[x] + odd[x]);
                pixels[7 - y][x] = 128.0f + (even[x] - odd[x]);
            }
        }
        SettleNearHalves(coef, table, pixels);
        StorePixels(pixels, component, column, rows, columns, top);
    }
}

using ModeCounts = std::array<std::array<std::uint64_t, kCalibratedBins>, 5>; // [slot][d]

ModeCounts Add(ModeCounts a, const ModeCounts& b) {
    for (std::size_t m = 0; m < a.size(); ++m) {
        for (std::size_t d = 0; d < a[m].size(); ++d) {
            a[m][d] += b[m][d];
        }
    }
    return a;
}

void Count(ModeCounts& counts, std::size_t slot, long magnitude) {
    if (magnitude < kCalibratedBins) {
        ++counts[slot][static_cast<std::size_t>(magnitude)];
    }
}

// The crop's block rows are worked in bands of this many, each on one core: a band decompresses
// the block rows it reads two at a time into its own buffer, so the plane is never held whole
// and the pixels are read again while still in cache. A band decompresses one block row more
// than it counts (crop row r reads block rows r and r + 1).
constexpr int kBandBlockRows = 32;

struct CropGrid {
    int blockColumns = 0;
    int blockRows = 0;
    int bands = 0;
    explicit CropGrid(const JpegComponent& component)
        : blockColumns(std::max(0, (component.width - 4) / 8)),
          blockRows(std::max(0, (component.height - 4) / 8)),
          bands((blockRows + kBandBlockRows - 1) / kBandBlockRows) {}
};

// |round(F / step)| of one coefficient of the crop's block whose pixel rows are rows[0..7], from
// column `left` on, summed in double: for the few values float leaves too close to a half. A DCT
// of integer pixels never lands exactly on one at these modes, whose basis products are
// irrational.
long ExactMagnitude(const std::uint8_t* const rows[8], int left, int naturalIndex, float step) {
    const Basis& b = DctBasis();
    const int v = naturalIndex / 8;
    const int u = naturalIndex % 8;
    double sum = 0;
    for (int y = 0; y < 8; ++y) {
        const std::uint8_t* row = rows[y] + left;
        for (int x = 0; x < 8; ++x) {
            sum += b.exact[y][v] * b.exact[x][u] * (row[x] - 128.0);
        }
    }
    return static_cast<long>(std::fabs(sum / step) + 0.5);
}

// Calls visit(band, blockRow, column, f, rows) for every full 8x8 block of the plane cropped by
// 4 rows and 4 columns, with f its five low modes unquantized (kCalibratedModes order) and
// rows[y] its pixel row y from the crop's first column; bands run on all cores at once. Only five
// modes are wanted, so the DCT is reduced to them: three weighted column sums (row frequencies
// 0..2), then five dot products.
template <typename Visit>
void ForEachCropBlock(const JpegComponent& component, const std::array<std::uint16_t, 64>& table,
                      const CropGrid& grid, Visit visit) {
    const Basis& b = DctBasis();
    const std::size_t width = static_cast<std::size_t>(component.width);
    tbb::parallel_for(0, grid.bands, [&](int band) {
        const std::size_t length = static_cast<std::size_t>(grid.blockColumns) * 8;
        std::vector<float> sums(length * 3);
        float* sum0 = sums.data();
        float* sum1 = sum0 + length;
        float* sum2 = sum1 + length;
        // Two block rows of pixels, by block row parity.
        std::vector<std::uint8_t> pixels(width * 16);
        const auto slot = [&](int blockRow) { return pixels.data() + (blockRow & 1) * 8 * width; };
        const int first = band * kBandBlockRows;
        const int last = std::min(grid.blockRows, first + kBandBlockRows);
        InverseBlockRow(component, table, first, slot(first));
        for (int blockRow = first; blockRow != last; ++blockRow) {
            InverseBlockRow(component, table, blockRow + 1, slot(blockRow + 1));
            const std::uint8_t* rows[8];
            for (int y = 0; y < 8; ++y) {
                rows[y] = y < 4 ? slot(blockRow) + (4 + y) * width + 4
                                : slot(blockRow + 1) + (y - 4) * width + 4;
            }
            std::fill(sums.begin(), sums.end(), 0.0f);
            for (int y = 0; y < 8; ++y) {
                const std::uint8_t* row = rows[y];
                const float w0 = b.at[y][0], w1 = b.at[y][1], w2 = b.at[y][2];
                for (std::size_t x = 0; x < length; ++x) {
                    const float p = static_cast<float>(row[x]) - 128.0f;
                    sum0[x] += w0 * p;
                    sum1[x] += w1 * p;
                    sum2[x] += w2 * p;
                }
            }
            for (int column = 0; column < grid.blockColumns; ++column) {
                const float* s0 = sum0 + column * 8;
                const float* s1 = sum1 + column * 8;
                const float* s2 = sum2 + column * 8;
                std::array<float, 5> f{};
                for (int x = 0; x < 8; ++x) {
                    f[0] += b.byFrequency[1][x] * s0[x]; // (0,1)
                    f[1] += b.byFrequency[0][x] * s1[x]; // (1,0)
                    f[2] += b.byFrequency[0][x] * s2[x]; // (2,0)
                    f[3] += b.byFrequency[1][x] * s1[x]; // (1,1)
                    f[4] += b.byFrequency[2][x] * s0[x]; // (0,2)
                }
                visit(band, blockRow, column, f, rows);
            }
        }
    });
}

std::array<float, 5> CalibratedSteps(const std::array<std::uint16_t, 64>& table) {
    std::array<float, 5> steps{};
    for (std::size_t m = 0; m < steps.size(); ++m) {
        // A hostile file may define a zero step; libjpeg accepts it.
        steps[m] = static_cast<float>(
            std::max<std::uint16_t>(table[static_cast<std::size_t>(kCalibratedModes[m])], 1));
    }
    return steps;
}

// The low modes of the crop's blocks divided by the table and rounded half away from zero.
ModeCounts CalibratedCounts(const JpegComponent& component,
                            const std::array<std::uint16_t, 64>& table) {
    const CropGrid grid(component);
    const std::array<float, 5> steps = CalibratedSteps(table);
    std::vector<ModeCounts> perBand(static_cast<std::size_t>(grid.bands), ModeCounts{});
    ForEachCropBlock(
        component, table, grid,
        [&](int band, int, int column, const std::array<float, 5>& f,
            const std::uint8_t* const rows[8]) {
            ModeCounts& counts = perBand[static_cast<std::size_t>(band)];
            for (std::size_t m = 0; m < f.size(); ++m) {
                const float scaled = f[m] / steps[m];
                Count(counts, m,
                      !NearHalf(scaled)
                          ? RoundedMagnitude(scaled)
                          : ExactMagnitude(rows, column * 8, kCalibratedModes[m], steps[m]));
            }
        });
    ModeCounts total{};
    for (const ModeCounts& counts : perBand) {
        total = Add(total, counts);
    }
    return total;
}

F5ComponentEstimate EstimateComponent(const JpegComponent& component,
                                      const std::array<std::uint16_t, 64>& table) {
    F5ComponentEstimate estimate;
    estimate.blocks = static_cast<std::uint64_t>(component.widthInBlocks) *
                      static_cast<std::uint64_t>(component.heightInBlocks);
    ModeCounts file{};
    for (std::size_t block = 0; block < estimate.blocks; ++block) {
        const std::int16_t* coef = component.coefficients.data() + block * 64;
        for (std::size_t m = 0; m < kCalibratedModes.size(); ++m) {
            Count(file, m, std::abs(coef[kCalibratedModes[m]]));
        }
    }
    const bool croppable = component.width >= 12 && component.height >= 12;
    ModeCounts calibrated{};
    if (croppable) {
        calibrated = CalibratedCounts(component, table);
        estimate.calibratedBlocks = static_cast<std::uint64_t>((component.width - 4) / 8) *
                                    static_cast<std::uint64_t>((component.height - 4) / 8);
    }
    const double scale =
        estimate.calibratedBlocks == 0
            ? 0.0
            : static_cast<double>(estimate.blocks) / static_cast<double>(estimate.calibratedBlocks);
    for (std::size_t m = 0; m < kCalibratedModes.size(); ++m) {
        for (std::size_t d = 0; d < kCalibratedBins; ++d) {
            estimate.fileHistograms[m][d] = static_cast<double>(file[m][d]);
            estimate.calibratedHistograms[m][d] = static_cast<double>(calibrated[m][d]) * scale;
        }
    }
    F5BetasFromHistograms(estimate);
    return estimate;
}

bool Consistent(const JpegComponent& component) {
    return component.widthInBlocks > 0 && component.heightInBlocks > 0 && component.width > 0 &&
           component.height > 0 && component.width <= component.widthInBlocks * 8 &&
           component.height <= component.heightInBlocks * 8 &&
           component.coefficients.size() == static_cast<std::size_t>(component.widthInBlocks) *
                                                static_cast<std::size_t>(component.heightInBlocks) *
                                                64;
}

} // namespace

double F5Beta(const std::array<double, 3>& H, const std::array<double, 3>& h) {
    const double slope = h[2] - h[1];
    const double denominator = h[1] * h[1] + slope * slope;
    if (denominator == 0) {
        return 0;
    }
    return (h[1] * (H[0] - h[0]) + (H[1] - h[1]) * slope) / denominator;
}

double F5BetaAllBins(const ModeHistogram& H, const ModeHistogram& h) {
    double numerator = 0;
    double denominator = 0;
    for (std::size_t d = 0; d + 1 < kCalibratedBins; ++d) {
        const double slope = d == 0 ? h[1] : h[d + 1] - h[d];
        numerator += (H[d] - h[d]) * slope;
        denominator += slope * slope;
    }
    return denominator == 0 ? 0 : numerator / denominator;
}

double F5ModeBeta(const F5ComponentEstimate& estimate, std::size_t mode) {
    const ModeHistogram& H = estimate.fileHistograms[mode];
    const ModeHistogram& h = estimate.calibratedHistograms[mode];
    return estimate.twice ? F5BetaAllBins(H, h) : F5Beta({H[0], H[1], H[2]}, {h[0], h[1], h[2]});
}

void F5BetasFromHistograms(F5ComponentEstimate& estimate) {
    double sum = 0;
    for (std::size_t i = 0; i < kF5ModeSlots.size(); ++i) {
        const std::size_t slot = static_cast<std::size_t>(kF5ModeSlots[i]);
        F5ModeEstimate& mode = estimate.modes[i];
        for (std::size_t d = 0; d < 3; ++d) {
            mode.file[d] = estimate.fileHistograms[slot][d];
            mode.calibrated[d] = estimate.calibratedHistograms[slot][d];
        }
        mode.beta = F5ModeBeta(estimate, slot);
        sum += mode.beta;
    }
    estimate.beta = sum / 3;
}

std::vector<std::array<float, 5>> CalibratedModeValues(const JpegComponent& component,
                                                       const std::array<std::uint16_t, 64>& table) {
    if (!Consistent(component) || component.width < 12 || component.height < 12) {
        return {};
    }
    const CropGrid grid(component);
    std::vector<std::array<float, 5>> values(static_cast<std::size_t>(grid.blockRows) *
                                             static_cast<std::size_t>(grid.blockColumns));
    ForEachCropBlock(component, table, grid,
                     [&](int, int blockRow, int column, const std::array<float, 5>& f,
                         const std::uint8_t* const*) {
                         values[static_cast<std::size_t>(blockRow) *
                                    static_cast<std::size_t>(grid.blockColumns) +
                                static_cast<std::size_t>(column)] = f;
                     });
    return values;
}

std::vector<std::uint8_t> DecompressPlane(const JpegComponent& component,
                                          const std::array<std::uint16_t, 64>& table) {
    if (!Consistent(component)) {
        return {};
    }
    std::vector<std::uint8_t> plane(static_cast<std::size_t>(component.width) *
                                    static_cast<std::size_t>(component.height));
    const int blockRows = std::min(component.heightInBlocks, (component.height + 7) / 8);
    tbb::parallel_for(tbb::blocked_range<int>(0, blockRows), [&](const tbb::blocked_range<int>& r) {
        for (int blockRow = r.begin(); blockRow != r.end(); ++blockRow) {
            InverseBlockRow(component, table, blockRow,
                            plane.data() + static_cast<std::size_t>(blockRow) * 8 *
                                               static_cast<std::size_t>(component.width));
        }
    });
    return plane;
}

F5Estimate F5CalibratedBeta(const JpegCoefficients& jpeg) {
    F5Estimate estimate;
    for (const JpegComponent& component : jpeg.components) {
        const std::size_t tableIndex = static_cast<std::size_t>(component.quantTableIndex) & 3;
        if (!Consistent(component) || !jpeg.quantTablePresent[tableIndex]) {
            return F5Estimate{};
        }
        estimate.components.push_back(EstimateComponent(component, jpeg.quantTables[tableIndex]));
    }
    if (!estimate.components.empty()) {
        estimate.beta = estimate.components[0].beta;
        estimate.valid = estimate.components[0].calibratedBlocks > 0;
    }
    return estimate;
}

} // namespace vantrel
