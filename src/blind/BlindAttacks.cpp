#include "blind/BlindAttacks.h"

#include "blind/ChiSquareSum.h"
#include "image/WideVectors.h"

#include <tbb/parallel_for.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace vantrel {
namespace {

// Bands fixed by the height alone, whatever the number of threads, so every sum is added in the
// same order. Each band costs its own row buffers: small images take few bands.
constexpr int kMaxBands = 64;
constexpr int kMinBandRows = 32;

// The chi-square curve's prefixes split the scan into 100 contiguous segments; segment k
// (1..100) holds samples [boundary(k-1), boundary(k)).
struct Segments {
    std::int64_t samples = 0;
    std::int64_t boundary(int k) const { return static_cast<std::int64_t>(k) * samples / 100; }
    // The segment holding sample i (segments may be empty when there are fewer than 100).
    int segmentOf(std::int64_t i) const {
        int k = static_cast<int>(i * 100 / std::max<std::int64_t>(samples, 1));
        while (k < kCurvePoints && boundary(k + 1) <= i) {
            ++k;
        }
        while (k > 0 && boundary(k) > i) {
            --k;
        }
        return k + 1;
    }
};

struct Partial {
    std::int64_t visible = 0;
    std::int64_t usable = 0;
    std::int64_t weighed = 0; // usable interior samples of the rows weighted stego reads
    RsCounts rs;
    SpaCounts spa;
    double weight = 0;   // Σ u, u = 1 / (405 + 9Σx² − (Σx)²), the unnormalised WS weight
    double residual = 0; // Σ u · e · 4(s − F(s))
    double bias = 0;     // Σ u · e · 4F(e)
    int firstSegment = 1;
    int rows = 0;
    std::vector<Histogram> segments;
};

int AbsDiff(int a, int b) {
    return a > b ? a - b : b - a;
}

int Smoothness(int x1, int x2, int x3, int x4) {
    return AbsDiff(x2, x1) + AbsDiff(x3, x2) + AbsDiff(x4, x3);
}

// F−1: even values go down one, odd values up one.
int FlipMinus(int v) {
    return v - 1 + 2 * (v & 1);
}

// The groups of a row as four planes (first, second, third and fourth samples): planar rows let
// the compiler vectorise the classification, which it will not do over a stride of four.
struct RsScratch {
    std::array<std::vector<std::uint8_t>, 5> planes; // the four samples, then 1 for a usable group
    explicit RsScratch(int width) {
        for (auto& plane : planes) {
            plane.resize(static_cast<std::size_t>(std::max(width, 0) / 4));
        }
    }
};

VANTREL_INLINE_LOOP void
ClassifyGroups(const std::uint8_t* __restrict first, const std::uint8_t* __restrict second,
               const std::uint8_t* __restrict third, const std::uint8_t* __restrict fourth,
               const std::uint8_t* __restrict usable, int groups, RsCounts& counts) {
    // Branch-free, with counters of one row in int, added to the 64-bit totals once a row; a
    // group set aside counts as neither regular nor singular.
    int rm = 0, sm = 0, rn = 0, sn = 0, frm = 0, fsm = 0, frn = 0, fsn = 0, used = 0;
    for (int g = 0; g < groups; ++g) {
        const int a = first[g], b = second[g], c = third[g], d = fourth[g], u = usable[g];
        const int f = Smoothness(a, b, c, d);
        const int fm = Smoothness(a, b ^ 1, c ^ 1, d);
        const int fn = Smoothness(a, FlipMinus(b), FlipMinus(c), d);
        // The same group with every LSB flipped; F1 there restores the middle samples.
        const int fa = a ^ 1, fb = b ^ 1, fc = c ^ 1, fd = d ^ 1;
        const int ff = Smoothness(fa, fb, fc, fd);
        const int ffm = Smoothness(fa, b, c, fd);
        const int ffn = Smoothness(fa, FlipMinus(fb), FlipMinus(fc), fd);
        rm += (fm > f) & u;
        sm += (fm < f) & u;
        rn += (fn > f) & u;
        sn += (fn < f) & u;
        frm += (ffm > ff) & u;
        fsm += (ffm < ff) & u;
        frn += (ffn > ff) & u;
        fsn += (ffn < ff) & u;
        used += u;
    }
    counts.groups += used;
    counts.regularM += rm;
    counts.singularM += sm;
    counts.regularMinusM += rn;
    counts.singularMinusM += sn;
    counts.flippedRegularM += frm;
    counts.flippedSingularM += fsm;
    counts.flippedRegularMinusM += frn;
    counts.flippedSingularMinusM += fsn;
}

VANTREL_INLINE_LOOP void CountRsRow(const std::uint8_t* __restrict row,
                                    const std::uint8_t* __restrict usable, int width,
                                    RsScratch& scratch, RsCounts& counts) {
    const int groups = width / 4;
    std::uint8_t* __restrict first = scratch.planes[0].data();
    std::uint8_t* __restrict second = scratch.planes[1].data();
    std::uint8_t* __restrict third = scratch.planes[2].data();
    std::uint8_t* __restrict fourth = scratch.planes[3].data();
    std::uint8_t* __restrict whole = scratch.planes[4].data();
    for (int g = 0; g < groups; ++g) {
        // A group is one little-endian word: whole-word loads and shifts vectorise.
        std::uint32_t word = 0, marks = 0;
        std::memcpy(&word, row + 4 * g, 4);
        std::memcpy(&marks, usable + 4 * g, 4);
        first[g] = static_cast<std::uint8_t>(word);
        second[g] = static_cast<std::uint8_t>(word >> 8);
        third[g] = static_cast<std::uint8_t>(word >> 16);
        fourth[g] = static_cast<std::uint8_t>(word >> 24);
        whole[g] = marks == 0x01010101U;
    }
    ClassifyGroups(first, second, third, fourth, whole, groups, counts);
}

// The pairs (first[i], second[i]) whose samples are both usable.
VANTREL_INLINE_LOOP void CountPairs(const std::uint8_t* __restrict first,
                                    const std::uint8_t* __restrict second,
                                    const std::uint8_t* __restrict firstUsable,
                                    const std::uint8_t* __restrict secondUsable, int count,
                                    SpaCounts& counts) {
    int x = 0, z = 0, w = 0, pairs = 0;
    for (int i = 0; i < count; ++i) {
        const int u = first[i], v = second[i], use = firstUsable[i] & secondUsable[i];
        x += ((v & 1) ? (u > v) : (u < v)) & use;
        z += (u == v) & use;
        w += ((u ^ v) == 1) & use;
        pairs += use;
    }
    counts.pairs += pairs;
    counts.x += x;
    counts.z += z;
    counts.w += w;
}

// Marks the usable samples of a row (1) and returns how many there are: not under alpha 0, not
// saturated, not in a flat 3 x 3 neighbourhood (the image's edge clips the neighbourhood). `up`
// and `down` are null at the image's top and bottom. XOR of two samples below 2 says they share
// their LSB pair, so the tests read the upper seven bits only.
VANTREL_INLINE_LOOP int MarkUsable(const std::uint8_t* up, const std::uint8_t* __restrict row,
                                   const std::uint8_t* down, const std::uint8_t* __restrict alpha,
                                   int width, std::uint8_t* __restrict column,
                                   std::uint8_t* __restrict usable) {
    const std::uint8_t* __restrict above = up != nullptr ? up : row;
    const std::uint8_t* __restrict below = down != nullptr ? down : row;
    for (int x = 0; x < width; ++x) {
        column[x] = static_cast<std::uint8_t>((above[x] ^ row[x]) | (below[x] ^ row[x]));
    }
    const auto mark = [&](int x, int left, int right) {
        const int differs =
            column[left] | column[x] | column[right] | (row[left] ^ row[x]) | (row[right] ^ row[x]);
        const int saturated = static_cast<std::uint8_t>(row[x] + 2) < 4;
        usable[x] = static_cast<std::uint8_t>((differs > 1) & !saturated);
    };
    if (width > 0) {
        mark(0, 0, std::min(1, width - 1));
    }
    for (int x = 1; x + 1 < width; ++x) {
        mark(x, x - 1, x + 1);
    }
    if (width > 1) {
        mark(width - 1, width - 2, width - 1);
    }
    int count = 0;
    if (alpha != nullptr) {
        for (int x = 0; x < width; ++x) {
            usable[x] &= alpha[x] != 0;
        }
    }
    for (int x = 0; x < width; ++x) {
        count += usable[x];
    }
    return count;
}

// Rows of integers the weighted stego pass reuses along a band.
struct WsScratch {
    std::vector<int> columnSum, columnSquares, columnParity, denominator, residual, bias;
    explicit WsScratch(int width) {
        for (auto* row :
             {&columnSum, &columnSquares, &columnParity, &denominator, &residual, &bias}) {
            row->assign(static_cast<std::size_t>(std::max(width, 0)), 0);
        }
    }
};

// Four lanes: one AVX instruction where the x86-64-v3 build runs, two SSE2 ones elsewhere.
using Double4 = double __attribute__((vector_size(32)));

// Weighted stego over the interior samples of one row, with its neighbours above and below.
// Every term is an integer but the weight: 81 (5 + var) = 405 + 9Σx² − (Σx)², and the 81
// cancels when the weights are normalised; the sums carry 4(s − F(s)) and 4F(e).
// The integer terms of each interior sample of a row, from the column sums of its 3 rows: the
// weight's denominator and the two numerators, signed by the sample's parity.
VANTREL_INLINE_LOOP void WsTerms(const std::uint8_t* __restrict up,
                                 const std::uint8_t* __restrict row,
                                 const std::uint8_t* __restrict down, const int* __restrict c1,
                                 const int* __restrict c2, const int* __restrict cp, int interior,
                                 int* __restrict denominator, int* __restrict residual,
                                 int* __restrict bias) {
    for (int i = 0; i < interior; ++i) {
        const int x = i + 1;
        const int left = row[x - 1], s = row[x], right = row[x + 1];
        const int sum = c1[x - 1] + c1[x] + c1[x + 1];
        const int squares = c2[x - 1] + c2[x] + c2[x + 1];
        const int cross = up[x] + down[x] + left + right;
        const int diagonal = c1[x - 1] + c1[x + 1] - left - right;
        const int crossOdd = (up[x] & 1) + (down[x] & 1) + (left & 1) + (right & 1);
        const int diagonalOdd = cp[x - 1] + cp[x + 1] - (left & 1) - (right & 1);
        // e·F(e)·4 = e·(2(2·crossOdd − 4) − (2·diagonalOdd − 4))
        const int parityPrediction = 4 * crossOdd - 2 * diagonalOdd - 4;
        const int prediction = 4 * s - 2 * cross + diagonal;
        denominator[i] = 405 + 9 * squares - sum * sum;
        residual[i] = (s & 1) ? prediction : -prediction;
        bias[i] = (s & 1) ? parityPrediction : -parityPrediction;
    }
}

// The rows never overlap: __restrict lets the compiler vectorise without run-time alias checks.
VANTREL_INLINE_LOOP void WeighRow(const std::uint8_t* __restrict up,
                                  const std::uint8_t* __restrict row,
                                  const std::uint8_t* __restrict down,
                                  const std::uint8_t* __restrict usable, int width,
                                  WsScratch& scratch, Partial& partial) {
    int* __restrict c1 = scratch.columnSum.data();
    int* __restrict c2 = scratch.columnSquares.data();
    int* __restrict cp = scratch.columnParity.data();
    for (int x = 0; x < width; ++x) {
        const int a = up[x], b = row[x], c = down[x];
        c1[x] = a + b + c;
        c2[x] = a * a + b * b + c * c;
        cp[x] = (a & 1) + (b & 1) + (c & 1);
    }
    const int interior = width - 2;
    int* denominator = scratch.denominator.data();
    int* residual = scratch.residual.data();
    int* bias = scratch.bias.data();
    WsTerms(up, row, down, c1, c2, cp, interior, denominator, residual, bias);
    // Four fixed lanes (i mod 4), added in one order at the end: quick and deterministic. A
    // sample set aside weighs 0; its neighbours still predict.
    const std::uint8_t* __restrict weighs = usable + 1;
    Double4 w{}, r{}, b{};
    int i = 0;
    for (; i + 4 <= interior; i += 4) {
        const Double4 u = Double4{double(weighs[i]), double(weighs[i + 1]), double(weighs[i + 2]),
                                  double(weighs[i + 3])} /
                          Double4{double(denominator[i]), double(denominator[i + 1]),
                                  double(denominator[i + 2]), double(denominator[i + 3])};
        w += u;
        r += u * Double4{double(residual[i]), double(residual[i + 1]), double(residual[i + 2]),
                         double(residual[i + 3])};
        b += u * Double4{double(bias[i]), double(bias[i + 1]), double(bias[i + 2]),
                         double(bias[i + 3])};
    }
    double weight = (w[0] + w[1]) + (w[2] + w[3]);
    double residualSum = (r[0] + r[1]) + (r[2] + r[3]);
    double biasSum = (b[0] + b[1]) + (b[2] + b[3]);
    for (; i < interior; ++i) {
        const double u = weighs[i] / double(denominator[i]);
        weight += u;
        residualSum += u * residual[i];
        biasSum += u * bias[i];
    }
    partial.weight += weight;
    partial.residual += residualSum;
    partial.bias += biasSum;
}

// The band's samples of each segment it touches.
VANTREL_INLINE_LOOP void CountSegments(const std::uint8_t* row, const std::uint8_t* usable,
                                       std::int64_t start, int width, const Segments& segments,
                                       Partial& partial) {
    std::int64_t i = start;
    const std::int64_t end = start + width;
    int k = segments.segmentOf(i);
    while (i < end) {
        const std::int64_t stop = std::min(end, segments.boundary(k));
        Histogram& histogram = partial.segments[static_cast<std::size_t>(k - partial.firstSegment)];
        for (std::int64_t j = i; j < stop; ++j) {
            histogram[row[j - start]] += usable[j - start];
        }
        i = stop;
        ++k;
    }
}

// Rows of one channel, contiguous; channels that are interleaved are copied a row at a time.
class RowSource {
public:
    explicit RowSource(const ChannelPlane& plane) : plane_(plane) {
        if (plane.step != 1) {
            for (auto& slot : slots_) {
                slot.resize(static_cast<std::size_t>(plane.width));
            }
        }
    }
    VANTREL_INLINE_LOOP const std::uint8_t* load(int y) {
        const std::uint8_t* source = plane_.top + y * plane_.stride;
        if (plane_.step == 1) {
            return source;
        }
        std::uint8_t* target = slots_[static_cast<std::size_t>(y % 3)].data();
        // The pixel sizes of colour images as constants, so that the copy vectorises.
        switch (plane_.step) {
        case 3:
            Gather<3>(source, target);
            break;
        case 4:
            Gather<4>(source, target);
            break;
        default:
            for (int x = 0; x < plane_.width; ++x) {
                target[x] = source[x * plane_.step];
            }
        }
        return target;
    }

private:
    template <int Step>
    VANTREL_INLINE_LOOP void Gather(const std::uint8_t* __restrict source,
                                    std::uint8_t* __restrict target) const {
        for (int x = 0; x < plane_.width; ++x) {
            target[x] = source[x * Step];
        }
    }

    const ChannelPlane& plane_;
    std::array<std::vector<std::uint8_t>, 3> slots_;
};

// Built for the processor's widest vectors: every row kernel above is inlined here.
VANTREL_WIDE_VECTORS Partial AnalyseBand(const ChannelPlane& plane, int y0, int y1,
                                         const Segments& segments, unsigned attacks) {
    Partial partial;
    partial.rows = y1 - y0;
    const int width = plane.width;
    const int height = plane.height;
    partial.firstSegment = segments.segmentOf(std::int64_t(y0) * width);
    const int lastSegment = segments.segmentOf(std::int64_t(y1) * width - 1);
    partial.segments.assign(static_cast<std::size_t>(lastSegment - partial.firstSegment + 1),
                            Histogram{});
    RowSource source(plane);
    const ChannelPlane alphaPlane{plane.alpha, plane.stride, plane.step, width, height, nullptr};
    RowSource alphaSource(alphaPlane);
    WsScratch scratch((attacks & kWs) ? width : 0);
    RsScratch groups((attacks & kRs) ? width : 0);
    // The marks of this row and of the one above (the vertical pairs join the two).
    std::vector<std::uint8_t> marks(3 * static_cast<std::size_t>(width) + 4, 0);
    std::uint8_t* column = marks.data();
    std::uint8_t* usable = column + width;
    std::uint8_t* usableAbove = usable + width;
    const std::uint8_t* up = y0 > 0 ? source.load(y0 - 1) : nullptr;
    const std::uint8_t* row = source.load(y0);
    if (up != nullptr) {
        const std::uint8_t* twoUp = y0 > 1 ? source.load(y0 - 2) : nullptr;
        MarkUsable(twoUp, up, row, plane.alpha ? alphaSource.load(y0 - 1) : nullptr, width, column,
                   usableAbove);
    }
    for (int y = y0; y < y1; ++y) {
        const std::uint8_t* down = y + 1 < height ? source.load(y + 1) : nullptr;
        const std::uint8_t* alpha = plane.alpha ? alphaSource.load(y) : nullptr;
        const int count = MarkUsable(up, row, down, alpha, width, column, usable);
        partial.usable += count;
        partial.visible += alpha != nullptr ? width - std::count(alpha, alpha + width, 0) : width;
        if (attacks & kChiSquare) {
            CountSegments(row, usable, std::int64_t(y) * width, width, segments, partial);
        }
        if (attacks & kRs) {
            CountRsRow(row, usable, width, groups, partial.rs);
        }
        if (attacks & kSpa) {
            CountPairs(row, row + 1, usable, usable + 1, width - 1, partial.spa);
            if (up != nullptr) {
                CountPairs(up, row, usableAbove, usable, width, partial.spa);
            }
        }
        if ((attacks & kWs) && up != nullptr && down != nullptr) {
            WeighRow(up, row, down, usable, width, scratch, partial);
            partial.weighed += count - usable[0] - (width > 1 ? usable[width - 1] : 0);
        }
        std::swap(usable, usableAbove);
        up = row;
        row = down;
    }
    return partial;
}

void Add(RsCounts& to, const RsCounts& from) {
    to.regularM += from.regularM;
    to.singularM += from.singularM;
    to.regularMinusM += from.regularMinusM;
    to.singularMinusM += from.singularMinusM;
    to.flippedRegularM += from.flippedRegularM;
    to.flippedSingularM += from.flippedSingularM;
    to.flippedRegularMinusM += from.flippedRegularMinusM;
    to.flippedSingularMinusM += from.flippedSingularMinusM;
    to.groups += from.groups;
}

ChiSquareResult ChiSquareFromSegments(const std::vector<Histogram>& segments) {
    ChiSquareResult result;
    Histogram prefix{};
    int run = 0;
    bool walking = true;
    for (int k = 1; k <= kCurvePoints; ++k) {
        const Histogram& segment = segments[static_cast<std::size_t>(k - 1)];
        for (int v = 0; v < 256; ++v) {
            prefix[v] += segment[v];
        }
        int df = 0;
        const double p = ChiSquareP(prefix, &df);
        result.curve[static_cast<std::size_t>(k - 1)] = p;
        if (walking && df >= 1) {
            if (p > 0.5) {
                run = k;
            } else {
                walking = false;
            }
        }
        if (k == kCurvePoints) {
            result.p = p;
            result.status = df >= 1 ? AttackStatus::Ok : AttackStatus::NoTest;
            const ChiSquareSum shifted = ChiSquareSumOf(prefix, 1);
            result.shiftedP = shifted.degreesOfFreedom < 1
                                  ? 1.0
                                  : UpperGammaQ(shifted.degreesOfFreedom / 2.0, shifted.chi2 / 2);
        }
    }
    result.fraction = run / 100.0;
    return result;
}

// 2(β − β·bias) from the sums of weighted stego, β = Σu·4(s − F) / 4Σu.
double WsRateOf(double weight, double residual, double bias, double* betaRaw = nullptr,
                double* meanBias = nullptr) {
    const double beta = residual / (4 * weight);
    const double b = bias / (4 * weight);
    if (betaRaw != nullptr) {
        *betaRaw = beta;
        *meanBias = b;
    }
    return 2 * (beta - beta * b);
}

TopRowsResult TopRows(const ChannelPlane& plane, const std::vector<Partial>& bands,
                      std::int64_t minUsable) {
    TopRowsResult top;
    RsCounts rs;
    SpaCounts spa;
    double weight = 0, residual = 0, bias = 0;
    for (const Partial& band : bands) {
        if (top.usable >= minUsable) {
            break;
        }
        top.rows += band.rows;
        top.visible += band.visible;
        top.usable += band.usable;
        Add(rs, band.rs);
        spa.pairs += band.spa.pairs;
        spa.x += band.spa.x;
        spa.z += band.spa.z;
        spa.w += band.spa.w;
        weight += band.weight;
        residual += band.residual;
        bias += band.bias;
    }
    spa.y = spa.pairs - spa.x - spa.z;
    if (plane.width >= 4 && plane.height >= 3 && spa.pairs > 0 && weight > 0) {
        std::array<double, 3> rates{RsRate(rs), SpaRate(spa), WsRateOf(weight, residual, bias)};
        std::sort(rates.begin(), rates.end());
        top.rate = rates[1];
    }
    return top;
}

TopChiSquareResult TopChiSquare(const ChannelPlane& plane) {
    TopChiSquareResult top;
    Histogram histogram{};
    for (int y = 0; y < plane.height && top.samples < kTopChiSquareSamples; ++y) {
        const std::uint8_t* row = plane.top + y * plane.stride;
        for (int x = 0; x < plane.width && top.samples < kTopChiSquareSamples; ++x) {
            ++histogram[row[x * plane.step]];
            ++top.samples;
        }
    }
    top.p = ChiSquareP(histogram, nullptr);
    const ChiSquareSum shifted = ChiSquareSumOf(histogram, 1);
    top.shiftedP = shifted.degreesOfFreedom < 1
                       ? 1.0
                       : UpperGammaQ(shifted.degreesOfFreedom / 2.0, shifted.chi2 / 2);
    return top;
}

ChannelResult ChannelFromPartials(const ChannelPlane& plane, const std::vector<Partial>& bands,
                                  unsigned attacks) {
    ChannelResult channel;
    if ((attacks & (kRs | kSpa | kWs)) == (kRs | kSpa | kWs)) {
        channel.top = TopRows(plane, bands, kMinUsableSamples);
    }
    std::vector<Histogram> segments(kCurvePoints, Histogram{});
    double weight = 0, residual = 0, bias = 0;
    std::int64_t weighed = 0;
    for (const Partial& band : bands) {
        channel.visible += band.visible;
        channel.usable += band.usable;
        weighed += band.weighed;
        Add(channel.rs.counts, band.rs);
        channel.spa.counts.pairs += band.spa.pairs;
        channel.spa.counts.x += band.spa.x;
        channel.spa.counts.z += band.spa.z;
        channel.spa.counts.w += band.spa.w;
        weight += band.weight;
        residual += band.residual;
        bias += band.bias;
        for (std::size_t i = 0; i < band.segments.size(); ++i) {
            Histogram& total = segments[static_cast<std::size_t>(band.firstSegment - 1) + i];
            for (int v = 0; v < 256; ++v) {
                total[v] += band.segments[i][v];
            }
        }
    }
    if (attacks & kChiSquare) {
        channel.topChiSquare = TopChiSquare(plane);
        channel.chiSquare = ChiSquareFromSegments(segments);
        channel.chiSquare.samples = channel.usable;
    }

    SpaCounts& spa = channel.spa.counts;
    spa.y = spa.pairs - spa.x - spa.z;
    if ((attacks & kSpa) && spa.pairs > 0) {
        channel.spa.rate = SpaRate(spa);
        channel.spa.status = AttackStatus::Ok;
    }
    if ((attacks & kRs) && plane.width >= 4) {
        channel.rs.rate = RsRate(channel.rs.counts);
        channel.rs.status = AttackStatus::Ok;
    }
    if ((attacks & kWs) && plane.width >= 3 && plane.height >= 3) {
        channel.ws.samples = weighed;
    }
    if (plane.width >= 3 && plane.height >= 3 && weight > 0) {
        // The sums carry 4(s − F) and 4F(e); weights are normalised by dividing by Σ u.
        channel.ws.rate = WsRateOf(weight, residual, bias, &channel.ws.betaRaw, &channel.ws.bias);
        channel.ws.status = AttackStatus::Ok;
    }
    return channel;
}

struct PixelFacts {
    bool grey = true;
    bool someAlpha = false; // some pixel's alpha is not 0
    int colours = 0;        // distinct colours, counted up to kMaxPaletteColours + 1
};

// Distinct 24-bit colours up to kMaxPaletteColours + 1, in a table that never grows: a photo
// passes the limit within its first rows and is not hashed further.
class ColourCounter {
public:
    bool full() const { return count_ > kMaxPaletteColours; }
    int count() const { return count_; }
    void addRow(const std::uint8_t* pixel, int width, int bytesPerPixel) {
        for (int x = 0; x < width && !full(); ++x, pixel += bytesPerPixel) {
            const std::uint32_t key = 1u + pixel[kRed] + (std::uint32_t(pixel[kGreen]) << 8) +
                                      (std::uint32_t(pixel[kBlue]) << 16);
            std::size_t slot = (key * 2654435761u) >> 22; // 10 bits
            while (slots_[slot] != 0 && slots_[slot] != key) {
                slot = (slot + 1) & (slots_.size() - 1);
            }
            count_ += slots_[slot] == 0;
            slots_[slot] = key;
        }
    }

private:
    std::array<std::uint32_t, 1024> slots_{};
    int count_ = 0;
};

PixelFacts FactsOf(const PixelView& view) {
    PixelFacts facts;
    ColourCounter colours;
    for (int y = 0; y < view.height; ++y) {
        const std::uint8_t* pixel = view.row(y);
        int colour = 0, alpha = 0;
        for (int x = 0; x < view.width; ++x, pixel += view.bytesPerPixel) {
            colour |= (pixel[kRed] ^ pixel[kGreen]) | (pixel[kGreen] ^ pixel[kBlue]);
            alpha |= view.bytesPerPixel == 4 ? pixel[kAlpha] : 0xFF;
        }
        colours.addRow(view.row(y), view.width, view.bytesPerPixel);
        facts.grey = facts.grey && colour == 0;
        facts.someAlpha = facts.someAlpha || alpha != 0;
        // A photo settles all three within its first row; the other rows could change none.
        if (!facts.grey && facts.someAlpha && colours.full()) {
            break;
        }
    }
    facts.colours = colours.count();
    return facts;
}

ChannelPlane PlaneOf(const PixelView& view, int offset, bool alpha) {
    return {view.top + offset, view.stride, view.bytesPerPixel,
            view.width,        view.height, alpha ? view.top + kAlpha : nullptr};
}

void TakeStandardView(ImageSamples& samples, const PixelView& view) {
    const PixelFacts facts = FactsOf(view);
    // Alpha 0 everywhere is a fourth byte nobody set, not a picture nobody can see.
    const bool alpha = view.bytesPerPixel == 4 && facts.someAlpha;
    // A grey photo has at most 256 levels too: only a colour image is a palette's.
    samples.fewColours = !facts.grey && facts.colours <= kMaxPaletteColours;
    if (facts.grey) {
        samples.names = {"Y"};
        samples.planes = {PlaneOf(view, kGreen, alpha)};
    } else {
        samples.names = {"R", "G", "B"};
        samples.planes = {PlaneOf(view, kRed, alpha), PlaneOf(view, kGreen, alpha),
                          PlaneOf(view, kBlue, alpha)};
    }
}
} // namespace

Result<ImageSamples> SamplesOf(const PixelView& view) {
    if (view.empty()) {
        return Failure("no pixels to analyse");
    }
    ImageSamples samples;
    samples.width = view.width;
    samples.height = view.height;
    TakeStandardView(samples, view);
    return samples;
}

BlindResult AnalyseSamples(const ImageSamples& samples, const BlindOptions& options) {
    BlindResult result;
    result.width = samples.width;
    result.height = samples.height;
    const int height = samples.height;
    const int bands = std::clamp(height / kMinBandRows, 1, kMaxBands);
    const std::size_t channels = samples.planes.size();
    const Segments segments{std::int64_t(samples.width) * height};
    std::vector<std::vector<Partial>> partials(channels, std::vector<Partial>(bands));
    std::atomic<int> done{0};
    std::atomic<bool> cancelled{false};
    const auto runBand = [&](int band) {
        if (options.cancel != nullptr && options.cancel->load()) {
            cancelled = true;
            return;
        }
        const int y0 = static_cast<int>(std::int64_t(band) * height / bands);
        const int y1 = static_cast<int>(std::int64_t(band + 1) * height / bands);
        for (std::size_t c = 0; c < channels; ++c) {
            partials[c][static_cast<std::size_t>(band)] =
                AnalyseBand(samples.planes[c], y0, y1, segments, options.attacks);
        }
        const int finished = ++done;
        if (options.progress) {
            options.progress(double(finished) / bands);
        }
    };
    if (options.parallel) {
        tbb::parallel_for(0, bands, runBand);
    } else {
        for (int band = 0; band < bands; ++band) {
            runBand(band);
        }
    }
    if (cancelled) {
        result.cancelled = true;
        return result;
    }
    for (std::size_t c = 0; c < channels; ++c) {
        ChannelResult channel =
            ChannelFromPartials(samples.planes[c], partials[c], options.attacks);
        channel.name = samples.names[c];
        channel.fewColours = samples.fewColours;
        JudgeChannel(channel);
        result.channels.push_back(std::move(channel));
    }
    result.suspicious = JudgeChannelsTogether(result.channels);
    return result;
}

Result<BlindResult> AnalyseBitmap(const PixelView& view, const BlindOptions& options) {
    const Result<ImageSamples> samples = SamplesOf(view);
    if (!samples) {
        return Failure(samples.error());
    }
    BlindResult result = AnalyseSamples(*samples, options);
    AddTransparentLsbs(result, view);
    return result;
}

void AddTransparentLsbs(BlindResult& result, const PixelView& view) {
    if (!result.cancelled) {
        result.transparentLsb = JudgeTransparentLsbs(CountTransparentLsbs(view));
        result.suspicious = result.suspicious || result.transparentLsb.judgement.flagged;
    }
}
} // namespace vantrel
