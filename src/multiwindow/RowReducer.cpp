#include "multiwindow/RowReducer.h"

namespace vantrel {
namespace {

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

} // namespace

std::unique_ptr<RowReducer> RowReducer::For(const PictureFormat& format,
                                            const std::vector<BoxTaps>& taps) {
    const Tone tone = ToneOf(format);
    if (tone == Tone::Unsupported) {
        return nullptr;
    }
    if (std::unique_ptr<RowReducer> counted = CountedRowReducer(format, tone, taps)) {
        return counted;
    }
    // Every 1-bit picture is counted: a 1-bit palette with two lit values in one channel is no
    // picture's, and FreeImage's own rescale serves it.
    return format.bitsPerPixel == 1 ? nullptr : SummedRowReducer(format, tone, taps);
}

RowReducer::RowReducer(const PictureFormat& format, Tone tone, const std::vector<BoxTaps>& taps)
    : format_(format), tone_(tone), taps_(taps) {
    prepareRepeatedSums();
    const long long inputWidth = taps_.empty() ? 0 : taps_.back().end;
    rowBytes_ = static_cast<int>((inputWidth * format_.bitsPerPixel + 7) / 8);
    for (int code = 0; code < 256; ++code) {
        lanes_[static_cast<std::size_t>(code)] =
            Lanes(format.palette[static_cast<std::size_t>(code)]);
    }
    if (format.bitsPerPixel == 4) {
        prepareBitLanes();
    }
}

// Black adds nothing to FreeImage's tap-by-tap sum, so where a channel has one value besides
// 0 that sum depends only on how many taps have the value: it is looked up, not re-added.
void RowReducer::prepareRepeatedSums() {
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
                const int sample = Sample(format_.palette[static_cast<std::size_t>(code)], channel);
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

// Where each code's colour is the sum of the colours of its bits (a bit a colour channel, or
// grown and shrunk), a tap's colour sums follow from how many of its codes have each bit
// set: counted by popcount, a word of sixteen pixels at a time.
void RowReducer::prepareBitLanes() {
    const int codes = format_.codes > 0 ? format_.codes : 16;
    bool linear = tone_ == Tone::Palette && lanes_[0] == 0;
    for (int code = 1; linear && code < codes; ++code) {
        std::uint64_t sum = 0;
        for (int bit = 0; bit < 4; ++bit) {
            sum += (code >> bit & 1) != 0 ? lanes_[std::size_t{1} << bit] : 0;
        }
        linear = sum == lanes_[static_cast<std::size_t>(code)];
    }
    for (int bit = 0; linear && bit < 4 && (1 << bit) < codes; ++bit) {
        if (lanes_[std::size_t{1} << bit] != 0) {
            bitLanes_.push_back({bit, lanes_[std::size_t{1} << bit]});
        }
    }
    linearCodes_ = linear;
}

} // namespace vantrel
