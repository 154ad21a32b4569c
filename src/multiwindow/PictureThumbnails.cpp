#include "multiwindow/PictureThumbnails.h"

#include "image/Parallel.h"

#include <FreeImage.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>

namespace vantrel {
namespace {

// How FreeImage's rescale reads a pixel's value.
enum class Tone {
    Colours,  // 24-bit: the bytes themselves
    GreyRamp, // 8-bit grey ramp, or 1-bit black and white (a set bit reads 1, scaled by 255)
    Palette,  // any palette with a colour in it: each channel through the palette
    Unsupported,
};

bool IsGrey(const Bgr& colour) {
    return colour.red == colour.green && colour.red == colour.blue;
}

Tone ToneOf(const PictureFormat& format) {
    if (format.bitsPerPixel == 24) {
        return Tone::Colours;
    }
    const int entries = 1 << format.bitsPerPixel;
    const auto first = format.palette.begin();
    if (!std::all_of(first, first + entries, IsGrey)) {
        return Tone::Palette;
    }
    bool ramp = true;
    for (int code = 0; code < entries; ++code) {
        const int grey = format.bitsPerPixel == 1 ? code * 255 : code;
        ramp = ramp && format.palette[static_cast<std::size_t>(code)].blue == grey;
    }
    // A grey palette other than the plain ramp takes yet another path in FreeImage (and a 4-bit
    // grey palette none that works): those are left to FreeImage itself.
    return ramp && format.bitsPerPixel != 4 ? Tone::GreyRamp : Tone::Unsupported;
}

// A palette colour as three sums side by side: blue in bits 0-20, green 21-41, red 42-62. Up
// to 8224 colours add up without one lane spilling into the next.
constexpr int kLaneBits = 21;
constexpr std::uint64_t kLaneMask = (std::uint64_t{1} << kLaneBits) - 1;
constexpr int kMostTaps = 8000;
// Tables of rounded sums are kept up to this sum (a tap of 256 colour pixels).
constexpr int kMostTabledSum = 256 * 255;

std::uint64_t Lanes(const Bgr& colour) {
    return std::uint64_t{colour.blue} | std::uint64_t{colour.green} << kLaneBits |
           std::uint64_t{colour.red} << (2 * kLaneBits);
}

int LaneOf(std::uint64_t lanes, int channel) {
    return static_cast<int>(lanes >> (kLaneBits * channel) & kLaneMask);
}

int CodeAt(const std::uint8_t* row, int bitsPerPixel, int x) {
    switch (bitsPerPixel) {
    case 1:
        return row[x >> 3] >> (7 - (x & 7)) & 1;
    case 4:
        return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
    default:
        return row[x];
    }
}

// Set bits of each byte value: a lookup, where the target machine may have no popcount.
constexpr std::array<std::uint8_t, 256> kSetBits = [] {
    std::array<std::uint8_t, 256> counts{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        counts[byte] = static_cast<std::uint8_t>(std::popcount(byte));
    }
    return counts;
}();

int SetBits(const std::uint8_t* row, int first, int end) {
    int count = 0;
    int x = first;
    for (; x < end && (x & 7) != 0; ++x) {
        count += CodeAt(row, 1, x);
    }
    for (; x + 8 <= end; x += 8) {
        count += kSetBits[row[x >> 3]];
    }
    for (; x < end; ++x) {
        count += CodeAt(row, 1, x);
    }
    return count;
}

// FreeImage rounds a filtered value by truncating value + 0.5, clamped to a byte.
int ToByte(double value) {
    return std::clamp(static_cast<int>(value + 0.5), 0, 255);
}

// FreeImage adds the weighted taps one at a time; that sum differs from weight times the
// (exact, integer) sum of the taps by far less than `slack`. Only when the product lies that
// close to a rounding boundary does the tap-by-tap sum have to be formed to know the byte.
class Rounding {
public:
    explicit Rounding(int taps) : slack_((taps + 4.0) * 512.0 * DBL_EPSILON) {}

    bool decides(double estimate) const {
        const double shifted = estimate + 0.5;
        const double fraction = shifted - std::floor(shifted);
        return fraction > slack_ && fraction < 1.0 - slack_;
    }

private:
    double slack_;
};

int MostTaps(const std::vector<BoxTaps>& taps) {
    int most = 0;
    for (const BoxTaps& tap : taps) {
        most = std::max(most, tap.end - tap.first);
    }
    return most;
}

// The first (horizontal) pass over one packed row: `channels` bytes an output pixel, in the
// order blue, green, red.
class RowReducer {
public:
    RowReducer(const PictureFormat& format, Tone tone, const std::vector<BoxTaps>& taps)
        : format_(format), tone_(tone), taps_(taps), rounding_(MostTaps(taps)) {
        prepareRepeatedSums();
        prepareRoundedSums();
        for (int code = 0; code < 256; ++code) {
            lanes_[static_cast<std::size_t>(code)] =
                Lanes(format.palette[static_cast<std::size_t>(code)]);
        }
        // Two 4-bit codes share a byte: their colours added up at once, from a table small
        // enough to stay in the first-level cache beside those of the other pictures.
        if (format.bitsPerPixel == 4) {
            for (std::size_t pair = 0; pair < pairLanes_.size(); ++pair) {
                pairLanes_[pair] = lanes_[pair >> 4] + lanes_[pair & 15];
            }
        }
    }

    int channels() const { return tone_ == Tone::GreyRamp ? 1 : 3; }

    void reduce(const std::uint8_t* row, std::uint8_t* out) const {
        for (std::size_t x = 0; x < taps_.size(); ++x) {
            switch (tone_) {
            case Tone::Colours:
                reduceColours(row, x, out + 3 * x);
                break;
            case Tone::GreyRamp:
                out[x] = static_cast<std::uint8_t>(reduceGrey(row, x));
                break;
            default:
                reducePalette(row, x, out + 3 * x);
                break;
            }
        }
    }

private:
    // Black adds nothing to FreeImage's tap-by-tap sum, so where a channel has one value besides
    // 0 that sum depends only on how many taps have the value: it is looked up, not re-added.
    void prepareRepeatedSums() {
        std::vector<double>& weights = weights_;
        for (const BoxTaps& tap : taps_) {
            if (std::find(weights.begin(), weights.end(), tap.weight) == weights.end()) {
                weights.push_back(tap.weight);
            }
        }
        for (const BoxTaps& tap : taps_) {
            weightIndex_.push_back(static_cast<int>(
                std::find(weights.begin(), weights.end(), tap.weight) - weights.begin()));
        }
        const int entries = format_.bitsPerPixel <= 8 ? 1 << format_.bitsPerPixel : 0;
        for (int channel = 0; channel < 3; ++channel) {
            int value = tone_ == Tone::GreyRamp && format_.bitsPerPixel == 1 ? 1 : 0;
            if (tone_ == Tone::Palette) {
                for (int code = 0; code < entries; ++code) {
                    const int sample =
                        Sample(format_.palette[static_cast<std::size_t>(code)], channel);
                    if (sample != 0 && value != 0 && sample != value) {
                        value = -1;
                        break;
                    }
                    value = sample != 0 ? sample : value;
                }
            } else if (value == 0) {
                value = -1; // grey ramps and colour bytes take every value
            }
            single_[static_cast<std::size_t>(channel)] = value;
            if (value <= 0) {
                continue;
            }
            for (const double weight : weights) {
                std::vector<double> sums(static_cast<std::size_t>(MostTaps(taps_)) + 1, 0.0);
                for (std::size_t n = 1; n < sums.size(); ++n) {
                    sums[n] = sums[n - 1] + weight * static_cast<double>(value);
                }
                repeated_[static_cast<std::size_t>(channel)].push_back(std::move(sums));
            }
        }
    }

    // Rounding weight x sum is most of the work of a row (a tap per output pixel, a row per
    // picture row), and a tap's sums are few: each weight's bytes are worked out once for every
    // sum, -1 where the estimate lies too close to a rounding boundary to decide.
    void prepareRoundedSums() {
        // A bit reads 1 and the whole sum is scaled to 255 afterwards.
        const bool bits = tone_ == Tone::GreyRamp && format_.bitsPerPixel == 1;
        const double scale = bits ? 255.0 : 1.0;
        const int mostSum = MostTaps(taps_) * (bits ? 1 : 255);
        if (mostSum > kMostTabledSum) {
            return;
        }
        for (const double weight : weights_) {
            std::vector<std::int16_t> bytes(static_cast<std::size_t>(mostSum) + 1);
            for (int sum = 0; sum <= mostSum; ++sum) {
                const double estimate = weight * sum * scale;
                bytes[static_cast<std::size_t>(sum)] =
                    static_cast<std::int16_t>(rounding_.decides(estimate) ? ToByte(estimate) : -1);
            }
            rounded_.push_back(std::move(bytes));
        }
    }

    // The byte of tap x's weight times `sum`, or -1 when the tap-by-tap sum decides it.
    int roundedSum(std::size_t x, int sum) const {
        const int weight = weightIndex_[x];
        if (rounded_.empty()) {
            const double scale = tone_ == Tone::GreyRamp && format_.bitsPerPixel == 1 ? 255.0 : 1.0;
            const double estimate = weights_[static_cast<std::size_t>(weight)] * sum * scale;
            return rounding_.decides(estimate) ? ToByte(estimate) : -1;
        }
        return rounded_[static_cast<std::size_t>(weight)][static_cast<std::size_t>(sum)];
    }

    static int Sample(const Bgr& colour, int channel) {
        return channel == 0 ? colour.blue : channel == 1 ? colour.green : colour.red;
    }

    // FreeImage's sum for `channel` of tap x whose samples add up to `sum`, when the channel has
    // a single value besides 0; negative otherwise.
    double repeatedSum(int channel, std::size_t x, int sum) const {
        const int value = single_[static_cast<std::size_t>(channel)];
        if (value < 0) {
            return -1;
        }
        if (value == 0) {
            return 0;
        }
        return repeated_[static_cast<std::size_t>(channel)][static_cast<std::size_t>(
            weightIndex_[x])][static_cast<std::size_t>(sum / value)];
    }

    void reduceColours(const std::uint8_t* row, std::size_t tapIndex, std::uint8_t* out) const {
        const BoxTaps& tap = taps_[tapIndex];
        int sums[3] = {0, 0, 0};
        for (const std::uint8_t* pixel = row + 3 * tap.first; pixel < row + 3 * tap.end;
             pixel += 3) {
            sums[0] += pixel[0];
            sums[1] += pixel[1];
            sums[2] += pixel[2];
        }
        for (int channel = 0; channel < 3; ++channel) {
            if (const int rounded = roundedSum(tapIndex, sums[channel]); rounded >= 0) {
                out[channel] = static_cast<std::uint8_t>(rounded);
                continue;
            }
            double value = 0;
            for (int x = tap.first; x < tap.end; ++x) {
                value += tap.weight * static_cast<double>(row[3 * x + channel]);
            }
            out[channel] = static_cast<std::uint8_t>(ToByte(value));
        }
    }

    int reduceGrey(const std::uint8_t* row, std::size_t tapIndex) const {
        const BoxTaps& tap = taps_[tapIndex];
        const int bits = format_.bitsPerPixel;
        int sum = 0;
        if (bits == 1) {
            sum = SetBits(row, tap.first, tap.end);
        } else {
            for (int x = tap.first; x < tap.end; ++x) {
                sum += row[x];
            }
        }
        if (const int rounded = roundedSum(tapIndex, sum); rounded >= 0) {
            return rounded;
        }
        if (const double repeated = repeatedSum(0, tapIndex, sum); repeated >= 0) {
            return ToByte(repeated * 255.0);
        }
        double value = 0;
        for (int x = tap.first; x < tap.end; ++x) {
            value += tap.weight * static_cast<double>(CodeAt(row, bits, x));
        }
        return ToByte(bits == 1 ? value * 255.0 : value);
    }

    void reducePalette(const std::uint8_t* row, std::size_t tapIndex, std::uint8_t* out) const {
        const BoxTaps& tap = taps_[tapIndex];
        const int bits = format_.bitsPerPixel;
        std::uint64_t sums = 0;
        if (bits == 1) {
            const auto set = static_cast<std::uint64_t>(SetBits(row, tap.first, tap.end));
            sums = set * lanes_[1] +
                   (static_cast<std::uint64_t>(tap.end - tap.first) - set) * lanes_[0];
        } else if (bits == 4) {
            int first = tap.first;
            int end = tap.end;
            if (first < end && (first & 1) != 0) {
                sums += lanes_[static_cast<std::size_t>(CodeAt(row, 4, first++))];
            }
            if (first < end && (end & 1) != 0) {
                sums += lanes_[static_cast<std::size_t>(CodeAt(row, 4, --end))];
            }
            for (int pair = first >> 1; pair < end >> 1; ++pair) {
                sums += pairLanes_[row[pair]];
            }
        } else {
            for (int x = tap.first; x < tap.end; ++x) {
                sums += lanes_[row[x]];
            }
        }
        for (int channel = 0; channel < 3; ++channel) {
            const int sum = LaneOf(sums, channel);
            if (const int rounded = roundedSum(tapIndex, sum); rounded >= 0) {
                out[channel] = static_cast<std::uint8_t>(rounded);
                continue;
            }
            double value = repeatedSum(channel, tapIndex, sum);
            if (value < 0) {
                value = 0;
                for (int x = tap.first; x < tap.end; ++x) {
                    const Bgr& colour =
                        format_.palette[static_cast<std::size_t>(CodeAt(row, bits, x))];
                    value += tap.weight * static_cast<double>(Sample(colour, channel));
                }
            }
            out[channel] = static_cast<std::uint8_t>(ToByte(value));
        }
    }

    const PictureFormat& format_;
    Tone tone_;
    const std::vector<BoxTaps>& taps_;
    Rounding rounding_;
    std::array<std::uint64_t, 256> lanes_{};
    std::array<std::uint64_t, 256> pairLanes_{};     // 4-bit codes, two at a time
    std::vector<double> weights_;                    // the distinct weights of the taps
    std::vector<int> weightIndex_;                   // per tap: its weight among the distinct ones
    std::vector<std::vector<std::int16_t>> rounded_; // per weight: the byte of each sum
    std::array<int, 3> single_{};                    // per channel: its one value besides 0, or -1
    std::array<std::vector<std::vector<double>>, 3> repeated_; // per channel and weight
};

} // namespace

std::vector<BoxTaps> BoxReductionTaps(int outputSize, int inputSize) {
    if (outputSize <= 0 || outputSize >= inputSize) {
        return {};
    }
    // FreeImage's weights table for a reduction: the box (half-width 0.5 in output pixels)
    // widened by the scale, each tap weighing the scale, then normalised by the taps' total.
    const double scale = static_cast<double>(outputSize) / static_cast<double>(inputSize);
    const double halfWidth = 0.5 / scale;
    const double offset = 0.5 / scale;
    std::vector<BoxTaps> taps(static_cast<std::size_t>(outputSize));
    for (int u = 0; u < outputSize; ++u) {
        const double center = static_cast<double>(u) / scale + offset;
        const int left = std::max(0, static_cast<int>(center - halfWidth + 0.5));
        const int right = std::min(static_cast<int>(center + halfWidth + 0.5), inputSize);
        BoxTaps& tap = taps[static_cast<std::size_t>(u)];
        tap.first = right;
        tap.end = left;
        double total = 0;
        for (int i = left; i < right; ++i) {
            const bool inside = std::fabs(scale * (static_cast<double>(i) + 0.5 - center)) <= 0.5;
            const double weight = inside ? scale : 0.0;
            if (inside) {
                tap.first = std::min(tap.first, i);
                tap.end = i + 1;
            }
            total += weight;
        }
        if (tap.first >= tap.end) {
            tap = {left, left, 0.0};
            continue;
        }
        tap.weight = total > 0 && total != 1 ? scale / total : scale;
    }
    return taps;
}

BitmapHandle BoxThumbnail(const PackedView& picture, const PictureFormat& format, int width,
                          int height) {
    const Tone tone = ToneOf(format);
    if (tone == Tone::Unsupported || picture.top == nullptr || width <= 0 || height <= 0 ||
        width >= picture.width || height >= picture.height) {
        return nullptr;
    }
    const std::vector<BoxTaps> columns = BoxReductionTaps(width, picture.width);
    const std::vector<BoxTaps> rows = BoxReductionTaps(height, picture.height);
    if (MostTaps(columns) > kMostTaps || MostTaps(rows) > kMostTaps) {
        return nullptr;
    }
    const RowReducer reducer(format, tone, columns);
    const int channels = reducer.channels();
    BitmapHandle thumbnail(FreeImage_Allocate(width, height, channels * 8));
    if (!thumbnail) {
        return nullptr;
    }

    // Each thumbnail row from the picture rows under it: those rows shrink to the thumbnail's
    // width, then their columns are averaged. Only one box of rows is held at a time. FreeImage
    // counts rows from the bottom, and so do the rows here.
    const std::size_t reducedRow = static_cast<std::size_t>(width) * channels;
    const Rounding rounding(MostTaps(rows));
    ForEachRowPiece(height, 1, [&](int firstOut, int endOut, int) {
        std::vector<std::uint8_t> reduced;
        std::vector<int> sums(reducedRow);
        for (int u = firstOut; u < endOut; ++u) {
            const BoxTaps& tap = rows[static_cast<std::size_t>(u)];
            reduced.resize(reducedRow * static_cast<std::size_t>(tap.end - tap.first));
            const auto reducedAt = [&](int r) {
                return reduced.data() + reducedRow * static_cast<std::size_t>(r - tap.first);
            };
            std::fill(sums.begin(), sums.end(), 0);
            for (int r = tap.first; r < tap.end; ++r) {
                std::uint8_t* row = reducedAt(r);
                reducer.reduce(picture.row(picture.height - 1 - r), row);
                for (std::size_t i = 0; i < reducedRow; ++i) {
                    sums[i] += row[i];
                }
            }
            BYTE* out = FreeImage_GetScanLine(thumbnail.get(), u);
            for (std::size_t i = 0; i < reducedRow; ++i) {
                const double estimate = tap.weight * sums[i];
                if (rounding.decides(estimate)) {
                    out[i] = static_cast<BYTE>(ToByte(estimate));
                    continue;
                }
                double value = 0;
                for (int r = tap.first; r < tap.end; ++r) {
                    value += tap.weight * static_cast<double>(reducedAt(r)[i]);
                }
                out[i] = static_cast<BYTE>(ToByte(value));
            }
        }
    });
    return thumbnail;
}

} // namespace vantrel
