#pragma once
// The first (horizontal) pass of a thumbnail: one packed picture row shrunk to the thumbnail's
// width, `channels()` bytes an output pixel in the order blue, green, red, each the byte
// FreeImage's box filter gives. One reducer for each kind of picture row, behind one interface:
// the counted rows (1-bit planes, and 4-bit pictures whose every channel is one bit of the code)
// look each tap's bytes up by how many of its pixels are set; the summed rows (a channel's
// values, the colour image, any other palette) round the taps' integer sums and add tap by tap
// only the sums too close to a rounding boundary.
#include "image/BitWords.h"
#include "multiwindow/BoxTaps.h"
#include "multiwindow/PictureTable.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace vantrel {

// How FreeImage's rescale reads a pixel's value.
enum class Tone {
    Colours,  // 24-bit: the bytes themselves
    GreyRamp, // 8-bit grey ramp, or 1-bit black and white (a set bit reads 1, scaled by 255)
    Palette,  // any palette with a colour in it: each channel through the palette
    Unsupported,
};

// A palette colour as three sums side by side: blue in bits 0-20, green 21-41, red 42-62. Up
// to 8224 colours add up without one lane spilling into the next.
constexpr int kLaneBits = 21;
constexpr std::uint64_t kLaneMask = (std::uint64_t{1} << kLaneBits) - 1;
constexpr int kMostTaps = 8000;

inline std::uint64_t Lanes(const Bgr& colour) {
    return std::uint64_t{colour.blue} | std::uint64_t{colour.green} << kLaneBits |
           std::uint64_t{colour.red} << (2 * kLaneBits);
}

VANTREL_INLINE_LOOP int LaneOf(std::uint64_t lanes, int channel) {
    return static_cast<int>(lanes >> (kLaneBits * channel) & kLaneMask);
}

class RowReducer {
public:
    // The reducer for a picture of `format` shrunk by `taps` (both must outlive it); null for a
    // palette FreeImage treats another way, or one no picture has.
    static std::unique_ptr<RowReducer> For(const PictureFormat& format,
                                           const std::vector<BoxTaps>& taps);
    virtual ~RowReducer() = default;

    int channels() const { return tone_ == Tone::GreyRamp ? 1 : 3; }

    // Reduces one packed row to `out` (channels() bytes an output pixel); `sums` and
    // `undecided` are the caller's room for as many values.
    virtual void reduce(const std::uint8_t* row, std::uint8_t* out, int* sums,
                        std::uint8_t* undecided) const = 0;

protected:
    RowReducer(const PictureFormat& format, Tone tone, const std::vector<BoxTaps>& taps);

    // How many of the 4-bit codes [first, end) have each bit of bitLanes_ set (in that order).
    VANTREL_INLINE_LOOP std::array<int, 4> bitCounts(const std::uint8_t* row, int first,
                                                     int end) const {
        std::array<int, 4> set{};
        int byte = first >> 1;
        int skip = first & 1; // nibbles of the first word before the tap
        int left = end - first;
        while (left > 0 && byte + 8 <= rowBytes_) {
            std::uint64_t word = BigEndianWord(row + byte);
            const int taken = std::min(left, 16 - skip);
            word <<= 4 * skip;
            word &= ~std::uint64_t{0} << (64 - 4 * taken);
            for (std::size_t k = 0; k < bitLanes_.size(); ++k) {
                set[k] += std::popcount(word & (0x1111111111111111ULL << bitLanes_[k].bit));
            }
            left -= taken;
            byte += 8;
            skip = 0;
        }
        for (int x = end - left; x < end; ++x) { // the row's last few bytes
            const int code = CodeAt(row, 4, x);
            for (std::size_t k = 0; k < bitLanes_.size(); ++k) {
                set[k] += code >> bitLanes_[k].bit & 1;
            }
        }
        return set;
    }

    static int Sample(const Bgr& colour, int channel) {
        return channel == 0 ? colour.blue : channel == 1 ? colour.green : colour.red;
    }

    // FreeImage's sum for `channel` of tap x whose samples add up to `sum`, when the channel has
    // a single value besides 0; negative otherwise.
    VANTREL_INLINE_LOOP double repeatedSum(int channel, std::size_t x, int sum) const {
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

    const PictureFormat& format_;
    Tone tone_;
    const std::vector<BoxTaps>& taps_;
    std::array<std::uint64_t, 256> lanes_{};
    std::vector<double> weights_;  // the distinct weights of the taps
    std::vector<int> weightIndex_; // per tap: its weight among the distinct ones
    int rowBytes_ = 0;             // of a packed input row
    struct BitLanes {
        int bit;
        std::uint64_t lanes;
    };
    bool linearCodes_ = false;       // 4-bit colours are sums of their bits' colours
    std::vector<BitLanes> bitLanes_; // the bits that add a colour, and their colours
    std::array<int, 3> single_{};    // per channel: its one value besides 0, or -1
    std::array<std::vector<std::vector<double>>, 3> repeated_; // per channel and weight

private:
    void prepareRepeatedSums();
    void prepareBitLanes();
};

// The reducers of counted and of summed rows; the counted one is null for a row it cannot count.
std::unique_ptr<RowReducer> CountedRowReducer(const PictureFormat& format, Tone tone,
                                              const std::vector<BoxTaps>& taps);
std::unique_ptr<RowReducer> SummedRowReducer(const PictureFormat& format, Tone tone,
                                             const std::vector<BoxTaps>& taps);

#if VANTREL_AVX2_KERNELS
// The sum of bytes [first, end) of each tap of an 8-bit row of `rowBytes` bytes, into `totals`,
// with AVX2 (ThumbnailAvx2.cpp).
void ByteTapSumsAvx2(const std::uint8_t* row, int rowBytes, const BoxTaps* taps, std::size_t count,
                     int* totals);
#endif

} // namespace vantrel
