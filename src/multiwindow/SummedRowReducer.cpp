#include "multiwindow/RowReducer.h"

#include <cstring>

namespace vantrel {
namespace {

// The sum of bytes [first, end) of each tap of an 8-bit row, into `totals`.
VANTREL_WIDE_VECTORS void ByteTapSumsLoop(const std::uint8_t* row, const BoxTaps* taps,
                                          std::size_t count, int* totals) {
    for (std::size_t t = 0; t < count; ++t) {
        int sum = 0;
        for (int x = taps[t].first; x < taps[t].end; ++x) {
            sum += row[x];
        }
        totals[t] = sum;
    }
}

void ByteTapSums(const std::uint8_t* row, [[maybe_unused]] int rowBytes, const BoxTaps* taps,
                 std::size_t count, int* totals) {
#if VANTREL_AVX2_KERNELS
    if (HasAvx2()) {
        ByteTapSumsAvx2(row, rowBytes, taps, count, totals);
        return;
    }
#endif
    ByteTapSumsLoop(row, taps, count, totals);
}

// A summed row: each tap's integer sums, rounded where they decide FreeImage's byte, and the
// byte by FreeImage's own tap-by-tap sum where they do not.
class SummedReducer final : public RowReducer {
public:
    SummedReducer(const PictureFormat& format, Tone tone, const std::vector<BoxTaps>& taps)
        : RowReducer(format, tone, taps), rounding_(MostTaps(taps)) {
        for (const BoxTaps& tap : taps_) {
            valueWeights_.insert(valueWeights_.end(), static_cast<std::size_t>(channels()),
                                 tap.weight);
        }
        // Two 4-bit codes share a byte: their colours added up at once, from a table small
        // enough to stay in the first-level cache beside those of the other pictures.
        if (format.bitsPerPixel == 4) {
            for (std::size_t pair = 0; pair < pairLanes_.size(); ++pair) {
                pairLanes_[pair] = lanes_[pair >> 4] + lanes_[pair & 15];
            }
        }
        // An 8-bit palette that is a ramp in its channels (a channel's values, as the bit-plane
        // window shows them): a tap's colour sums are its codes' sum times the colour of 1.
        valueLinear_ = format.bitsPerPixel == 8;
        for (std::size_t code = 0; valueLinear_ && code < 256; ++code) {
            valueLinear_ = lanes_[code] == code * lanes_[1];
        }
    }

    void reduce(const std::uint8_t* row, std::uint8_t* out, int* sums,
                std::uint8_t* undecided) const override {
        reduceSums(row, out, sums, undecided);
    }

private:
    // Built for both instruction sets, with the tap loops it inlines.
    VANTREL_WIDE_VECTORS void reduceSums(const std::uint8_t* row, std::uint8_t* out, int* sums,
                                         std::uint8_t* undecided) const {
        const int channels = this->channels();
        const std::size_t taps = taps_.size();
        if (format_.bitsPerPixel == 8 && (tone_ == Tone::GreyRamp || valueLinear_)) {
            // Each tap's byte sum first, into the last of the room; each is read before the
            // tap's channels are written over it, and no tap's channels reach a later sum.
            int* totals = sums + static_cast<std::size_t>(channels - 1) * taps;
            ByteTapSums(row, rowBytes_, taps_.data(), taps, totals);
            for (std::size_t x = 0; channels == 3 && x < taps; ++x) {
                const std::uint64_t lanes = static_cast<std::uint64_t>(totals[x]) * lanes_[1];
                for (int channel = 0; channel < 3; ++channel) {
                    sums[3 * x + static_cast<std::size_t>(channel)] = LaneOf(lanes, channel);
                }
            }
        } else {
            for (std::size_t x = 0; x < taps; ++x) {
                tapSums(row, x, sums + static_cast<std::size_t>(channels) * x);
            }
        }
        const std::size_t values = valueWeights_.size();
        int left =
            RoundEstimates(valueWeights_.data(), sums, values, rounding_.slack(), out, undecided);
        for (std::size_t i = 0; left > 0 && i < values; ++i) {
            // Eight flags at a time past the decided ones.
            if (i % 8 == 0 && i + 8 <= values) {
                std::uint64_t eight = 0;
                std::memcpy(&eight, undecided + i, sizeof eight);
                if (eight == 0) {
                    i += 7;
                    continue;
                }
            }
            if (undecided[i] != 0) {
                --left;
                const std::size_t x = i / static_cast<std::size_t>(channels);
                const int channel = static_cast<int>(i % static_cast<std::size_t>(channels));
                out[i] = static_cast<std::uint8_t>(exactByte(row, x, channel, sums[i]));
            }
        }
    }

    // The sum of the colours of 4-bit codes [first, end), from their bits.
    VANTREL_INLINE_LOOP std::uint64_t linearLanes(const std::uint8_t* row, int first,
                                                  int end) const {
        const std::array<int, 4> set = bitCounts(row, first, end);
        std::uint64_t lanes = 0;
        for (std::size_t k = 0; k < bitLanes_.size(); ++k) {
            lanes += static_cast<std::uint64_t>(set[k]) * bitLanes_[k].lanes;
        }
        return lanes;
    }

    // The integer sums of tap x's samples, a channel at a time, where reduceSums has no faster
    // way: colour bytes, 4-bit codes, an 8-bit palette that is no ramp.
    VANTREL_INLINE_LOOP void tapSums(const std::uint8_t* row, std::size_t tapIndex,
                                     int* sums) const {
        const BoxTaps& tap = taps_[tapIndex];
        const int bits = format_.bitsPerPixel;
        if (tone_ == Tone::Colours) {
            int blue = 0, green = 0, red = 0;
            for (const std::uint8_t* pixel = row + 3 * tap.first; pixel < row + 3 * tap.end;
                 pixel += 3) {
                blue += pixel[0];
                green += pixel[1];
                red += pixel[2];
            }
            sums[0] = blue;
            sums[1] = green;
            sums[2] = red;
            return;
        }
        std::uint64_t lanes = 0;
        if (bits == 4 && linearCodes_) {
            lanes = linearLanes(row, tap.first, tap.end);
        } else if (bits == 4) {
            int first = tap.first;
            int end = tap.end;
            if (first < end && (first & 1) != 0) {
                lanes += lanes_[static_cast<std::size_t>(CodeAt(row, 4, first++))];
            }
            if (first < end && (end & 1) != 0) {
                lanes += lanes_[static_cast<std::size_t>(CodeAt(row, 4, --end))];
            }
            for (int pair = first >> 1; pair < end >> 1; ++pair) {
                lanes += pairLanes_[row[pair]];
            }
        } else {
            for (int x = tap.first; x < tap.end; ++x) {
                lanes += lanes_[row[x]];
            }
        }
        for (int channel = 0; channel < 3; ++channel) {
            sums[channel] = LaneOf(lanes, channel);
        }
    }

    // The byte FreeImage's tap-by-tap sum gives, for a value too close to a rounding boundary
    // to decide from the integer sum.
    VANTREL_INLINE_LOOP int exactByte(const std::uint8_t* row, std::size_t tapIndex, int channel,
                                      int sum) const {
        const BoxTaps& tap = taps_[tapIndex];
        const int bits = format_.bitsPerPixel;
        if (const double repeated = repeatedSum(channel, tapIndex, sum);
            tone_ != Tone::Colours && repeated >= 0) {
            return ToByte(repeated);
        }
        double value = 0;
        if (tone_ == Tone::Palette && bits == 4) {
            // Each code's weighted sample worked out first (the same product FreeImage forms),
            // so the loop is the chain of additions alone: it runs often, on the two-valued
            // channels of the direction pictures.
            std::array<double, 16> weighted{};
            for (std::size_t code = 0; code < weighted.size(); ++code) {
                weighted[code] =
                    tap.weight * static_cast<double>(Sample(format_.palette[code], channel));
            }
            for (int x = tap.first; x < tap.end; ++x) {
                value += weighted[static_cast<std::size_t>(CodeAt(row, 4, x))];
            }
            return ToByte(value);
        }
        for (int x = tap.first; x < tap.end; ++x) {
            int sample = 0;
            if (tone_ == Tone::Colours) {
                sample = row[3 * x + channel];
            } else if (tone_ == Tone::GreyRamp) {
                sample = CodeAt(row, bits, x);
            } else {
                sample = Sample(format_.palette[static_cast<std::size_t>(CodeAt(row, bits, x))],
                                channel);
            }
            value += tap.weight * static_cast<double>(sample);
        }
        return ToByte(value);
    }

    Rounding rounding_;
    std::array<std::uint64_t, 256> pairLanes_{}; // 4-bit codes, two at a time
    bool valueLinear_ = false; // 8-bit: each code's colour is the code times the colour of 1
    std::vector<double> valueWeights_; // per output value (tap and channel): its tap's weight
};

} // namespace

std::unique_ptr<RowReducer> SummedRowReducer(const PictureFormat& format, Tone tone,
                                             const std::vector<BoxTaps>& taps) {
    return std::make_unique<SummedReducer>(format, tone, taps);
}

} // namespace vantrel
