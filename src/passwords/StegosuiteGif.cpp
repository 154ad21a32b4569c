// stegosuite's GIF cover: the parity of each pixel's colour in the palette it sorts by colour
// distance. The sort decides every bit, so it follows the tool's arithmetic step for step: the
// D65 L*a*b* conversion and the CIEDE2000 difference (Sharma, Wu and Dalal, 2005) in doubles, the
// greedy chain from every start, and the order Java's hash set visits the colours in, which is
// the order ties between equal distances go by.
#include "passwords/StegosuiteFormat.h"

#include <tbb/parallel_for.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <numeric>

namespace vantrel::passwords {
namespace {

// Java pads a GIF's colour table to 2, 4, 16 or 256 entries with black.
std::size_t PaddedTableSize(std::size_t colours) {
    return colours <= 2 ? 2 : colours <= 4 ? 4 : colours <= 16 ? 16 : 256;
}

using Lab = std::array<double, 3>;

Lab LabOf(const GifColour& colour) {
    const auto linear = [](int channel) {
        const double v = channel / 255.0;
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    const double r = linear(colour[0]);
    const double g = linear(colour[1]);
    const double b = linear(colour[2]);
    const auto f = [](double t) {
        return t > 0.008856 ? std::pow(t, 1.0 / 3) : 7.787037 * t + 4.0 / 29;
    };
    const double x = f((0.4124564 * r + 0.3575761 * g + 0.1804375 * b) / 0.950470);
    const double y = f((0.2126729 * r + 0.7151522 * g + 0.0721750 * b) / 1.0);
    const double z = f((0.0193339 * r + 0.1191920 * g + 0.9503041 * b) / 1.088830);
    return {116 * y - 16, 500 * (x - y), 200 * (y - z)};
}

double Ciede2000(const Lab& first, const Lab& second) {
    constexpr double pi = std::numbers::pi;
    const double pow25to7 = std::pow(25, 7);
    const auto [l1, a1, b1] = first;
    const auto [l2, a2, b2] = second;
    const double cMean = 0.5 * (std::sqrt(a1 * a1 + b1 * b1) + std::sqrt(a2 * a2 + b2 * b2));
    const double g = 0.5 * (1 - std::sqrt(std::pow(cMean, 7) / (std::pow(cMean, 7) + pow25to7)));
    const double ap1 = (1 + g) * a1;
    const double ap2 = (1 + g) * a2;
    const double cp1 = std::sqrt(ap1 * ap1 + b1 * b1);
    const double cp2 = std::sqrt(ap2 * ap2 + b2 * b2);
    const double cpProduct = cp1 * cp2;
    const auto hue = [](double b, double ap) {
        const double h = std::atan2(b, ap);
        return h < 0 ? h + 2 * pi : h;
    };
    const double hp1 = hue(b1, ap1);
    const double hp2 = hue(b2, ap2);
    double dL = l2 - l1;
    double dC = cp2 - cp1;
    double dhp = hp2 - hp1;
    if (dhp > pi) {
        dhp -= 2 * pi;
    }
    if (dhp < -pi) {
        dhp += 2 * pi;
    }
    if (cpProduct == 0) {
        dhp = 0;
    }
    double dH = 2 * std::sqrt(cpProduct) * std::sin(dhp / 2);
    const double lMean = 0.5 * (l1 + l2);
    const double cpMean = 0.5 * (cp1 + cp2);
    double hMean = 0.5 * (hp1 + hp2);
    if (std::abs(hp1 - hp2) > pi) {
        hMean -= pi;
    }
    if (hMean < 0) {
        hMean += 2 * pi;
    }
    if (cpProduct == 0) {
        hMean = hp1 + hp2;
    }
    const double l50 = (lMean - 50) * (lMean - 50);
    const double sl = 1 + 0.015 * l50 / std::sqrt(20 + l50);
    const double sc = 1 + 0.045 * cpMean;
    const double t = 1 - 0.17 * std::cos(hMean - pi / 6) + 0.24 * std::cos(2 * hMean) +
                     0.32 * std::cos(3 * hMean + pi / 30) -
                     0.20 * std::cos(4 * hMean - 63 * pi / 180);
    const double sh = 1 + 0.015 * cpMean * t;
    const double ex = (180 / pi * hMean - 275) / 25;
    const double dTheta = 30 * pi / 180 * std::exp(-1 * (ex * ex));
    const double rc = 2 * std::sqrt(std::pow(cpMean, 7) / (std::pow(cpMean, 7) + pow25to7));
    const double rt = -1 * std::sin(2 * dTheta) * rc;
    dL = dL / sl;
    dC = dC / sc;
    dH = dH / sh;
    return std::sqrt(dL * dL + dC * dC + dH * dH + rt * dC * dH);
}

// The distinct colours of the padded table in the order a java.util.HashSet built from it visits
// them: by bucket of Color.hashCode (0xFFRRGGBB) spread as HashMap spreads it, first comers first
// within a bucket.
std::vector<GifColour> HashSetOrder(std::span<const GifColour> padded) {
    const auto asked = static_cast<std::size_t>(static_cast<float>(padded.size()) / 0.75f) + 1;
    std::size_t buckets = 1;
    while (buckets < std::max<std::size_t>(asked, 16)) {
        buckets <<= 1;
    }
    const auto bucket = [buckets](const GifColour& c) {
        const std::uint32_t hash =
            0xFF000000u | std::uint32_t{c[0]} << 16 | std::uint32_t{c[1]} << 8 | c[2];
        return (hash ^ hash >> 16) & (buckets - 1);
    };
    std::vector<GifColour> distinct = DistinctColours(padded);
    std::stable_sort(distinct.begin(), distinct.end(),
                     [&](const GifColour& a, const GifColour& b) { return bucket(a) < bucket(b); });
    return distinct;
}

// The colours chained greedily, each next the nearest to the last (the first of equals), from
// the start whose chain is shortest in total.
std::vector<GifColour> SortedByDistance(const std::vector<GifColour>& distinct) {
    const std::size_t n = distinct.size();
    std::vector<Lab> lab(n);
    std::transform(distinct.begin(), distinct.end(), lab.begin(), LabOf);
    std::vector<double> distance(n * n, 0.0);
    tbb::parallel_for(std::size_t{0}, n, [&](std::size_t i) {
        for (std::size_t j = 0; j < i; ++j) {
            distance[i * n + j] = distance[j * n + i] = Ciede2000(lab[i], lab[j]);
        }
    });
    std::vector<std::vector<std::size_t>> chains(n);
    std::vector<double> lengths(n);
    tbb::parallel_for(std::size_t{0}, n, [&](std::size_t start) {
        std::vector<std::size_t> left;
        for (std::size_t i = 0; i < n; ++i) {
            if (i != start) {
                left.push_back(i);
            }
        }
        std::vector<std::size_t>& chain = chains[start];
        chain.assign(1, start);
        double total = 0;
        while (!left.empty()) {
            const double* row = &distance[chain.back() * n];
            std::size_t nearest = 0;
            for (std::size_t k = 1; k < left.size(); ++k) {
                if (row[left[k]] < row[left[nearest]]) {
                    nearest = k;
                }
            }
            total += row[left[nearest]];
            chain.push_back(left[nearest]);
            left.erase(left.begin() + static_cast<std::ptrdiff_t>(nearest));
        }
        lengths[start] = total;
    });
    // Equal totals are settled by whichever thread of the tool's finishes last: the first start
    // here.
    const auto shortest = static_cast<std::size_t>(
        std::min_element(lengths.begin(), lengths.end()) - lengths.begin());
    std::vector<GifColour> sorted(n);
    for (std::size_t k = 0; k < n; ++k) {
        sorted[k] = distinct[chains[shortest][k]];
    }
    return sorted;
}

// Pixels in flat areas: runs of at least three adjacent columns of three pixels whose sorted
// places match but for their last bit, one run per three-row window.
std::vector<bool> FlatPixels(std::span<const std::uint8_t> normalised, std::uint32_t width,
                             std::uint32_t height) {
    std::vector<bool> flat(normalised.size());
    for (std::uint32_t y = 0; y + 2 < height; ++y) {
        const std::uint8_t* top = normalised.data() + std::size_t{y} * width;
        const std::uint8_t* middle = top + width;
        const std::uint8_t* bottom = middle + width;
        const auto uniform = [&](std::uint32_t x) {
            return middle[x] == top[x] && bottom[x] == top[x];
        };
        for (std::uint32_t x = 0; x < width;) {
            if (!uniform(x)) {
                ++x;
                continue;
            }
            std::uint32_t end = x + 1;
            while (end < width && uniform(end) && top[end] == top[x]) {
                ++end;
            }
            if (end - x >= 3) {
                for (std::uint32_t row = y; row < y + 3; ++row) {
                    for (std::uint32_t column = x; column < end; ++column) {
                        flat[std::size_t{row} * width + column] = true;
                    }
                }
            }
            x = end;
        }
    }
    return flat;
}

} // namespace

Result<StegosuiteCover> StegosuiteGifCover(std::span<const GifColour> table,
                                           std::span<const std::uint8_t> indices,
                                           std::uint32_t width, std::uint32_t height) {
    if (table.empty() || table.size() > 256 || indices.size() != std::size_t{width} * height) {
        return Failure("a GIF's palette or pixels that do not fit together");
    }
    std::vector<GifColour> padded(table.begin(), table.end());
    padded.resize(PaddedTableSize(table.size()), GifColour{0, 0, 0});
    const std::vector<GifColour> sorted = SortedByDistance(HashSetOrder(padded));
    const std::size_t skipped = 6 + sorted.size() % 2;
    if (sorted.size() <= skipped) {
        return Failure("too few colours for stegosuite's GIF embedding");
    }
    // Per palette index: its colour's place in the sorted table.
    std::array<std::uint16_t, 256> place{};
    for (std::size_t i = 0; i < padded.size(); ++i) {
        place[i] = static_cast<std::uint16_t>(std::find(sorted.begin(), sorted.end(), padded[i]) -
                                              sorted.begin());
    }
    std::vector<std::uint8_t> normalised(indices.size());
    for (std::size_t i = 0; i < indices.size(); ++i) {
        if (indices[i] >= padded.size()) {
            return Failure("a GIF pixel outside its colour table");
        }
        normalised[i] = static_cast<std::uint8_t>(place[indices[i]] >> 1);
    }
    const std::vector<bool> flat = FlatPixels(normalised, width, height);
    const std::size_t carrying = sorted.size() - skipped;
    StegosuiteCover cover;
    cover.bitsPerPixel = 1;
    cover.filtered.reserve(indices.size());
    const bool anyFlat = std::find(flat.begin(), flat.end(), true) != flat.end();
    for (std::size_t i = 0; i < indices.size(); ++i) {
        const std::uint16_t at = place[indices[i]];
        const auto bit = static_cast<std::uint8_t>(at < carrying ? at & 1 : kStegosuiteNoBit);
        if (!flat[i]) {
            cover.filtered.push_back(bit);
        }
        if (anyFlat) {
            cover.unfiltered.push_back(bit);
        }
    }
    return cover;
}

} // namespace vantrel::passwords
