#include "multiwindow/PictureThumbnails.h"

#include "image/Parallel.h"
#include "image/WideVectors.h"

#include <FreeImage.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

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

std::uint64_t Lanes(const Bgr& colour) {
    return std::uint64_t{colour.blue} | std::uint64_t{colour.green} << kLaneBits |
           std::uint64_t{colour.red} << (2 * kLaneBits);
}

VANTREL_INLINE_LOOP int LaneOf(std::uint64_t lanes, int channel) {
    return static_cast<int>(lanes >> (kLaneBits * channel) & kLaneMask);
}

VANTREL_INLINE_LOOP int CodeAt(const std::uint8_t* row, int bitsPerPixel, int x) {
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

// `bytes` (at most eight) bytes from `at` as one word, the first byte in the high bits, the
// missing low bytes zero: the order in which packed rows hold their pixels.
VANTREL_INLINE_LOOP std::uint64_t BigEndianWord(const std::uint8_t* at, std::size_t bytes = 8) {
    std::uint64_t word = 0;
    if (bytes == 8) {
        std::memcpy(&word, at, sizeof word);
    } else {
        std::memcpy(&word, at, bytes);
    }
    if constexpr (std::endian::native == std::endian::little) {
        word = __builtin_bswap64(word);
    }
    return word;
}

// The set bits of pixels [first, end) of a 1-bit row of `rowBytes` bytes (pixel k of a byte
// is its bit 7 - k): up to 57 pixels at a time from a big-endian word and a popcount, where
// eight bytes can be read; the row's last bytes one at a time, by table.
VANTREL_INLINE_LOOP int SetBits(const std::uint8_t* row, int rowBytes, int first, int end) {
    int count = 0;
    int x = first;
    while (x < end && (x >> 3) + 8 <= rowBytes) {
        const int skip = x & 7;
        std::uint64_t word = BigEndianWord(row + (x >> 3));
        const int taken = std::min(end - x, 64 - skip);
        word <<= skip;
        word >>= 64 - taken;
        count += std::popcount(word);
        x += taken;
    }
    if (x >= end) {
        return count;
    }
    const int firstByte = x >> 3;
    const int lastByte = (end - 1) >> 3;
    const unsigned head = 0xFFu >> (x & 7);
    const unsigned tail = (0xFFu << (7 - ((end - 1) & 7))) & 0xFFu;
    if (firstByte == lastByte) {
        return count + kSetBits[row[firstByte] & head & tail];
    }
    count += kSetBits[row[firstByte] & head] + kSetBits[row[lastByte] & tail];
    for (int byte = firstByte + 1; byte < lastByte; ++byte) {
        count += kSetBits[row[byte]];
    }
    return count;
}

// FreeImage rounds a filtered value by truncating value + 0.5, clamped to a byte.
VANTREL_INLINE_LOOP int ToByte(double value) {
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

    double slack() const { return slack_; }

private:
    double slack_;
};

// Bytes of weights[i] x sums[i] x scale as FreeImage rounds them, where Rounding decides them
// from the integer sum; undecided[i] is 1 where it does not, and their number is returned. One
// vectorised loop for a whole row of values, where rounding them one by one was most of a
// thumbnail's work.
VANTREL_WIDE_VECTORS int RoundEstimates(const double* weights, const int* sums, std::size_t count,
                                        double scale, double slack, std::uint8_t* out,
                                        std::uint8_t* undecided) {
    int undecidedCount = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double shifted = weights[i] * static_cast<double>(sums[i]) * scale + 0.5;
        // Sums and weights are never negative, so truncation is the floor (std::floor would
        // keep the loop from vectorising), and the value at most 255.5 or so fits an int.
        const int truncated = static_cast<int>(shifted);
        const double fraction = shifted - static_cast<double>(truncated);
        out[i] = static_cast<std::uint8_t>(std::min(std::max(truncated, 0), 255));
        // Without a branch, so that the loop vectorises.
        undecided[i] = static_cast<std::uint8_t>((fraction <= slack) | (fraction >= 1.0 - slack));
        undecidedCount += undecided[i];
    }
    return undecidedCount;
}

// A reduced row added to its box's sums: the integer sum, and the weighted sum as FreeImage
// forms it, a product added at a time.
VANTREL_WIDE_VECTORS void AddRow(const std::uint8_t* reduced, std::size_t count, double weight,
                                 int* __restrict sums, double* __restrict exact) {
    for (std::size_t i = 0; i < count; ++i) {
        sums[i] += reduced[i];
        exact[i] += weight * static_cast<double>(reduced[i]);
    }
}

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

#if VANTREL_AVX2_KERNELS
// The same with AVX2: 32 bytes summed by one psadbw, a tap's last bytes masked, where the row
// has 32 bytes to read from there (its end, by the loop).
VANTREL_AVX2 void ByteTapSumsAvx2(const std::uint8_t* row, int rowBytes, const BoxTaps* taps,
                                  std::size_t count, int* totals) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i lane =
        _mm256_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20,
                         21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31);
    for (std::size_t t = 0; t < count; ++t) {
        int x = taps[t].first;
        const int end = taps[t].end;
        __m256i sums = zero;
        for (; x + 32 <= end; x += 32) {
            const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + x));
            sums = _mm256_add_epi64(sums, _mm256_sad_epu8(bytes, zero));
        }
        int sum = 0;
        if (x < end && x + 32 <= rowBytes) {
            const __m256i keep =
                _mm256_cmpgt_epi8(_mm256_set1_epi8(static_cast<char>(end - x)), lane);
            const __m256i bytes = _mm256_and_si256(
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + x)), keep);
            sums = _mm256_add_epi64(sums, _mm256_sad_epu8(bytes, zero));
            x = end;
        }
        for (; x < end; ++x) {
            sum += row[x];
        }
        const __m128i halves =
            _mm_add_epi64(_mm256_castsi256_si128(sums), _mm256_extracti128_si256(sums, 1));
        totals[t] =
            sum + static_cast<int>(_mm_cvtsi128_si64(halves) + _mm_extract_epi64(halves, 1));
    }
}
#endif

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
        scale_ = tone_ == Tone::GreyRamp && format_.bitsPerPixel == 1 ? 255.0 : 1.0;
        const long long inputWidth = taps_.empty() ? 0 : taps_.back().end;
        rowBytes_ = static_cast<int>((inputWidth * format_.bitsPerPixel + 7) / 8);
        for (const BoxTaps& tap : taps_) {
            valueWeights_.insert(valueWeights_.end(), static_cast<std::size_t>(channels()),
                                 tap.weight);
        }
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
            prepareBitLanes();
        }
        prepareBitBytes();
        // An 8-bit palette that is a ramp in its channels (a channel's values, as the bit-plane
        // window shows them): a tap's colour sums are its codes' sum times the colour of 1.
        valueLinear_ = format.bitsPerPixel == 8;
        for (std::size_t code = 0; valueLinear_ && code < 256; ++code) {
            valueLinear_ = lanes_[code] == code * lanes_[1];
        }
    }

    int channels() const { return tone_ == Tone::GreyRamp ? 1 : 3; }

    // Reduces one packed row to `out` (channels() bytes an output pixel); `sums` and
    // `undecided` are the caller's room for as many values.
    VANTREL_WIDE_VECTORS void reduce(const std::uint8_t* row, std::uint8_t* out, int* sums,
                                     std::uint8_t* undecided) const {
        if (bitBytesReady_) {
            reduceBits(row, out);
            return;
        }
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
        int left = RoundEstimates(valueWeights_.data(), sums, values, scale_, rounding_.slack(),
                                  out, undecided);
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

    // A picture whose every channel has one value besides 0, carried by one code (1-bit) or by
    // one bit of the code (4-bit colour bits): a tap's byte then depends only on its weight and
    // on how many of its pixels carry the value, so each such byte is FreeImage's repeated sum,
    // worked out once.
    void prepareBitBytes() {
        const int channels = this->channels();
        const bool grey = tone_ == Tone::GreyRamp;
        for (int channel = 0; channel < channels; ++channel) {
            const auto c = static_cast<std::size_t>(channel);
            if (single_[c] < 0) {
                return;
            }
            if (format_.bitsPerPixel == 1) {
                carriedBy_[c][1] = grey || Sample(format_.palette[1], channel) != 0;
                carriedBy_[c][0] = !grey && Sample(format_.palette[0], channel) != 0;
                continue;
            }
            // 4-bit: the channel's value must come from one bit of the code alone.
            if (format_.bitsPerPixel != 4 || !linearCodes_) {
                return;
            }
            channelBit_[c] = -1;
            for (std::size_t k = 0; k < bitLanes_.size(); ++k) {
                if (LaneOf(bitLanes_[k].lanes, channel) == 0) {
                    continue;
                }
                if (channelBit_[c] >= 0) {
                    return; // two bits add to this channel
                }
                channelBit_[c] = static_cast<int>(k);
            }
        }
        const auto most = static_cast<std::size_t>(MostTaps(taps_));
        for (int channel = 0; channel < channels; ++channel) {
            const auto c = static_cast<std::size_t>(channel);
            for (std::size_t weight = 0; weight < weights_.size(); ++weight) {
                std::vector<std::uint8_t> bytes(most + 1, 0);
                for (std::size_t count = 0; single_[c] > 0 && count <= most; ++count) {
                    const double repeated = repeated_[c][weight][count];
                    bytes[count] =
                        static_cast<std::uint8_t>(ToByte(grey ? repeated * 255.0 : repeated));
                }
                bitBytes_[c].push_back(std::move(bytes));
            }
        }
        // Each tap's table for each channel, so that a tap's byte is one lookup away.
        for (std::size_t x = 0; x < taps_.size(); ++x) {
            for (int channel = 0; channel < channels; ++channel) {
                tapBytes_.push_back(bitBytes_[static_cast<std::size_t>(channel)]
                                             [static_cast<std::size_t>(weightIndex_[x])]
                                                 .data());
            }
        }
        if (format_.bitsPerPixel == 1) {
            laneMasks_[0] = ~std::uint64_t{0};
            laneCount_ = 1;
            prepareSetBytes();
        } else {
            for (const BitLanes& lane : bitLanes_) {
                laneMasks_[laneCount_++] = 0x1111111111111111ULL << lane.bit;
            }
        }
        prepareTapEnds();
        bitBytesReady_ = true;
    }

    // Set bits from the start of a packed row up to a pixel, for pixels that never go back: the
    // row's words are counted once each as the taps move along it, and a tap's count is the
    // difference of two such prefixes. Lane k counts the bits under laneMasks_[k] (1-bit: every
    // bit; 4-bit: one bit of every code). The lanes are a fixed number, so that the counts stay
    // in registers.
    template <int Bits, std::size_t Lanes> class Prefixes {
    public:
        using Counts = std::array<int, Lanes>;

        Prefixes(const RowReducer& reducer, const std::uint8_t* row)
            : row_(row), rowBytes_(static_cast<std::size_t>(reducer.rowBytes_)) {
            for (std::size_t k = 0; k < Lanes; ++k) {
                masks_[k] = reducer.laneMasks_[k];
            }
        }

        // Goes on from word `next`, the words before it holding `below` set bits.
        VANTREL_INLINE_LOOP void resume(std::size_t next, const Counts& below) {
            next_ = next;
            below_ = below;
        }

        VANTREL_INLINE_LOOP Counts at(int pixel) {
            const auto bit = static_cast<std::size_t>(pixel) * Bits;
            const std::size_t word = bit >> 6;
            for (; next_ < word; ++next_) {
                const std::uint64_t bits = load(next_);
                for (std::size_t k = 0; k < Lanes; ++k) {
                    below_[k] += std::popcount(bits & masks_[k]);
                }
            }
            Counts counts = below_;
            if (const std::size_t shift = bit & 63; shift != 0) {
                const std::uint64_t head = load(word) & ~(~std::uint64_t{0} >> shift);
                for (std::size_t k = 0; k < Lanes; ++k) {
                    counts[k] += std::popcount(head & masks_[k]);
                }
            }
            return counts;
        }

    private:
        // Word w of the row, its first pixel in the high bits; past the row's end, zeros.
        VANTREL_INLINE_LOOP std::uint64_t load(std::size_t w) const {
            const std::size_t start = 8 * w;
            return BigEndianWord(row_ + start, std::min<std::size_t>(8, rowBytes_ - start));
        }

        const std::uint8_t* row_;
        std::size_t rowBytes_;
        std::array<std::uint64_t, Lanes> masks_{};
        std::size_t next_ = 0; // the first word not yet in below_
        Counts below_{};       // set bits of the words before it, by lane
    };

    // The set bits of codes [first, end), by lane, counted where they are.
    template <std::size_t Lanes>
    VANTREL_INLINE_LOOP std::array<int, Lanes> laneCounts(const std::uint8_t* row, int first,
                                                          int end) const {
        std::array<int, Lanes> counts{};
        if (format_.bitsPerPixel == 4) {
            const std::array<int, 4> all = bitCounts(row, first, end);
            std::copy_n(all.begin(), Lanes, counts.begin());
        } else {
            counts[0] = SetBits(row, rowBytes_, first, end);
        }
        return counts;
    }

    // 1-bit: a tap's bytes, all channels in one word, by how many of its pixels are set; one
    // table for each weight and length of tap.
    void prepareSetBytes() {
        std::vector<std::pair<int, int>> kinds; // weight index and length
        for (std::size_t x = 0; x < taps_.size(); ++x) {
            const std::pair<int, int> kind{weightIndex_[x], taps_[x].end - taps_[x].first};
            auto found = std::find(kinds.begin(), kinds.end(), kind);
            if (found == kinds.end()) {
                kinds.push_back(kind);
                std::vector<std::array<std::uint8_t, 4>> entries(
                    static_cast<std::size_t>(kind.second) + 1);
                for (int set = 0; set <= kind.second; ++set) {
                    for (std::size_t c = 0; c < static_cast<std::size_t>(channels()); ++c) {
                        const int count = (carriedBy_[c][1] ? set : 0) +
                                          (carriedBy_[c][0] ? kind.second - set : 0);
                        const std::uint8_t byte = bitBytes_[c][static_cast<std::size_t>(kind.first)]
                                                           [static_cast<std::size_t>(count)];
                        entries[static_cast<std::size_t>(set)][c] = byte;
                    }
                }
                setBytes_.push_back(std::move(entries));
                found = kinds.end() - 1;
            }
            tapSetBytes_.push_back(
                setBytes_[static_cast<std::size_t>(found - kinds.begin())].data());
        }
    }

    // Where each tap starts where the one before ends (as a reduction's boxes do but for a pixel
    // exactly between two), the first taps whose ends lie in words wholly inside the row are
    // counted by the tight loop of countTaps: its tap ends, word and mask, worked out once.
    void prepareTapEnds() {
        const auto rowWords = static_cast<std::size_t>(rowBytes_) / 8;
        int previous = 0;
        for (const BoxTaps& tap : taps_) {
            const auto bit =
                static_cast<std::size_t>(tap.end) * static_cast<std::size_t>(format_.bitsPerPixel);
            if (tap.first != previous || bit / 64 >= rowWords) {
                break;
            }
            const std::size_t shift = bit % 64;
            tapEnds_.push_back(
                {bit / 64, shift == 0 ? std::uint64_t{0} : ~(~std::uint64_t{0} >> shift)});
            previous = tap.end;
        }
    }

    // Counts of taps [0, tapEnds_.size()) by lane, handed to `take(x, counts)`; the prefixes
    // reached are left in `prefixes` and `reached` for the taps after them.
    template <int Bits, std::size_t Lanes, typename Take>
    VANTREL_INLINE_LOOP void countTaps(const std::uint8_t* row, Prefixes<Bits, Lanes>& prefixes,
                                       std::array<int, Lanes>& reached, const Take& take) const {
        std::array<std::uint64_t, Lanes> masks{};
        for (std::size_t k = 0; k < Lanes; ++k) {
            masks[k] = laneMasks_[k];
        }
        std::array<int, Lanes> below{};
        std::size_t next = 0;
        const auto word = [row](std::size_t w) { return BigEndianWord(row + 8 * w); };
        std::array<int, Lanes> before{};
        // In locals: a byte stored through `take` could be any member, as far as the compiler
        // knows, which would then be read again for every tap.
        const TapEnd* const ends = tapEnds_.data();
        const std::size_t count = tapEnds_.size();
        for (std::size_t x = 0; x < count; ++x) {
            const TapEnd end = ends[x];
            for (; next < end.word; ++next) {
                const std::uint64_t bits = word(next);
                for (std::size_t k = 0; k < Lanes; ++k) {
                    below[k] += std::popcount(bits & masks[k]);
                }
            }
            const std::uint64_t head = word(end.word) & end.mask;
            std::array<int, Lanes> counts{};
            for (std::size_t k = 0; k < Lanes; ++k) {
                const int after = below[k] + std::popcount(head & masks[k]);
                counts[k] = after - before[k];
                before[k] = after;
            }
            take(x, counts);
        }
        prefixes.resume(next, below);
        reached = before;
    }

    // Every tap's counts by lane, handed to `take(x, counts)`: the tight loop for the taps it
    // takes, prefixes for the rest.
    template <int Bits, std::size_t Lanes, typename Take>
    VANTREL_INLINE_LOOP void countAllTaps(const std::uint8_t* row, const Take& take) const {
        using Counts = std::array<int, Lanes>;
        Prefixes<Bits, Lanes> prefixes(*this, row);
        Counts atReached{}; // the prefix at the furthest pixel reached
        countTaps<Bits, Lanes>(row, prefixes, atReached, take);
        int reached = tapEnds_.empty() ? 0 : taps_[tapEnds_.size() - 1].end;
        for (std::size_t x = tapEnds_.size(); x < taps_.size(); ++x) {
            const BoxTaps& tap = taps_[x];
            Counts before = atReached;
            if (tap.first > reached) {
                before = prefixes.at(tap.first);
            } else if (tap.first < reached) {
                // Taps that share a pixel (a boundary exactly between two boxes): this one
                // starts before the last prefix, so its first pixels are counted where they are.
                const Counts shared = laneCounts<Lanes>(row, tap.first, reached);
                for (std::size_t k = 0; k < Lanes; ++k) {
                    before[k] -= shared[k];
                }
            }
            atReached = prefixes.at(tap.end);
            reached = tap.end;
            Counts counts{};
            for (std::size_t k = 0; k < Lanes; ++k) {
                counts[k] = atReached[k] - before[k];
            }
            take(x, counts);
        }
    }

    // A 1-bit row: a tap's bytes, all channels at once, by its set pixels.
    VANTREL_WIDE_VECTORS void reduceSingleBits(const std::uint8_t* row, std::uint8_t* out) const {
        const std::size_t taps = taps_.size();
        const bool colour = channels() == 3;
        const std::array<std::uint8_t, 4>* const* const tables = tapSetBytes_.data();
        countAllTaps<1, 1>(row, [=](std::size_t x, const std::array<int, 1>& set) {
            const std::uint8_t* bytes = tables[x][static_cast<std::size_t>(set[0])].data();
            if (!colour) {
                out[x] = bytes[0];
            } else if (x + 1 < taps) {
                // Four bytes at once: the fourth is the next tap's, written again next.
                std::memcpy(out + 3 * x, bytes, 4);
            } else {
                std::memcpy(out + 3 * x, bytes, 3);
            }
        });
    }

    // A 4-bit row whose channels are each carried by one bit of the code.
    template <std::size_t Lanes>
    VANTREL_INLINE_LOOP void reduceCodeBits(const std::uint8_t* row, std::uint8_t* out) const {
        const auto channels = static_cast<std::size_t>(this->channels());
        const std::array<int, 3> laneOf = channelBit_;
        const std::uint8_t* const* const allTables = tapBytes_.data();
        countAllTaps<4, Lanes>(row, [=](std::size_t x, const std::array<int, Lanes>& counts) {
            const std::uint8_t* const* tables = allTables + channels * x;
            for (std::size_t c = 0; c < channels; ++c) {
                int count = 0;
                for (std::size_t k = 0; k < Lanes; ++k) {
                    count = static_cast<int>(k) == laneOf[c] ? counts[k] : count;
                }
                out[channels * x + c] = tables[c][count];
            }
        });
    }

    // A row of codes whose every tap is counted (see prepareBitBytes); apart from the other
    // kinds of row, so that its loops keep their counts in registers.
    VANTREL_WIDE_VECTORS void reduceBits(const std::uint8_t* row, std::uint8_t* out) const {
        switch (format_.bitsPerPixel == 1 ? 0 : laneCount_) {
        case 0:
            reduceSingleBits(row, out);
            return;
        case 1:
            reduceCodeBits<1>(row, out);
            return;
        case 2:
            reduceCodeBits<2>(row, out);
            return;
        case 3:
            reduceCodeBits<3>(row, out);
            return;
        default:
            reduceCodeBits<4>(row, out);
            return;
        }
    }

    // Where each code's colour is the sum of the colours of its bits (a bit a colour channel, or
    // grown and shrunk), a tap's colour sums follow from how many of its codes have each bit
    // set: counted by popcount, a word of sixteen pixels at a time.
    void prepareBitLanes() {
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

    // The integer sums of tap x's samples, a channel at a time.
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
        if (tone_ == Tone::GreyRamp) {
            int sum = 0;
            if (bits == 1) {
                sum = SetBits(row, rowBytes_, tap.first, tap.end);
            } else {
                for (int x = tap.first; x < tap.end; ++x) {
                    sum += row[x];
                }
            }
            sums[0] = sum;
            return;
        }
        std::uint64_t lanes = 0;
        if (bits == 1) {
            const auto set =
                static_cast<std::uint64_t>(SetBits(row, rowBytes_, tap.first, tap.end));
            lanes = set * lanes_[1] +
                    (static_cast<std::uint64_t>(tap.end - tap.first) - set) * lanes_[0];
        } else if (bits == 4 && linearCodes_) {
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
        } else if (valueLinear_) {
            int sum = 0;
            for (int x = tap.first; x < tap.end; ++x) {
                sum += row[x];
            }
            lanes = static_cast<std::uint64_t>(sum) * lanes_[1];
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
            return ToByte(tone_ == Tone::GreyRamp ? repeated * 255.0 : repeated);
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
        return ToByte(tone_ == Tone::GreyRamp && bits == 1 ? value * 255.0 : value);
    }

    const PictureFormat& format_;
    Tone tone_;
    const std::vector<BoxTaps>& taps_;
    Rounding rounding_;
    std::array<std::uint64_t, 256> lanes_{};
    std::array<std::uint64_t, 256> pairLanes_{}; // 4-bit codes, two at a time
    std::vector<double> weights_;                // the distinct weights of the taps
    std::vector<int> weightIndex_;               // per tap: its weight among the distinct ones
    int rowBytes_ = 0;                           // of a packed input row
    struct BitLanes {
        int bit;
        std::uint64_t lanes;
    };
    bool valueLinear_ = false;   // 8-bit: each code's colour is the code times the colour of 1
    bool bitBytesReady_ = false; // bytes by count (see prepareBitBytes)
    // 1-bit: per channel, whether set and unset codes carry its value.
    std::array<std::array<bool, 2>, 3> carriedBy_{};
    // 4-bit: per channel, the lane of bitLanes_ that carries its value, or -1.
    std::array<int, 3> channelBit_{};
    std::vector<const std::uint8_t*> tapBytes_; // per tap and channel: its table of bytes
    std::vector<std::vector<std::array<std::uint8_t, 4>>> setBytes_; // see prepareSetBytes
    std::vector<const std::array<std::uint8_t, 4>*> tapSetBytes_;    // per tap: its setBytes_
    std::array<std::uint64_t, 4> laneMasks_{}; // the bits each lane of Prefixes counts
    struct TapEnd {
        std::size_t word;   // the word a tap ends in
        std::uint64_t mask; // and its bits before the end
    };
    std::vector<TapEnd> tapEnds_; // see prepareTapEnds
    std::size_t laneCount_ = 0;
    std::array<std::vector<std::vector<std::uint8_t>>, 3> bitBytes_; // per channel and weight
    bool linearCodes_ = false;         // 4-bit colours are sums of their bits' colours
    std::vector<BitLanes> bitLanes_;   // the bits that add a colour, and their colours
    std::vector<double> valueWeights_; // per output value (tap and channel): its tap's weight
    double scale_ = 1.0;               // a 1-bit grey sum is of ones, scaled to 255
    std::array<int, 3> single_{};      // per channel: its one value besides 0, or -1
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

struct ThumbnailMaker::Work {
    RowReducer reducer;
    Rounding rounding; // of the second (vertical) pass
};

ThumbnailMaker::ThumbnailMaker(const PictureFormat& format, int pictureWidth, int pictureHeight,
                               int width, int height)
    : format_(format), pictureHeight_(pictureHeight),
      columns_(BoxReductionTaps(width, pictureWidth)),
      rows_(BoxReductionTaps(height, pictureHeight)) {
    const Tone tone = ToneOf(format_);
    if (tone == Tone::Unsupported || columns_.empty() || rows_.empty() ||
        MostTaps(columns_) > kMostTaps || MostTaps(rows_) > kMostTaps) {
        return;
    }
    work_.reset(new Work{RowReducer(format_, tone, columns_), Rounding(MostTaps(rows_))});
    const int channels = work_->reducer.channels();
    thumbnail_.reset(FreeImage_Allocate(width, height, channels * 8));
    if (!thumbnail_) {
        return;
    }
    reducedRow_ = static_cast<std::size_t>(width) * static_cast<std::size_t>(channels);
    // What the pass leaves unwritten is a row of code 0: reduced once, from a row of zeros.
    const std::vector<std::uint8_t> blank(
        (static_cast<std::size_t>(pictureWidth) * format_.bitsPerPixel + 7) / 8, 0);
    std::vector<int> sums(reducedRow_);
    std::vector<std::uint8_t> undecided(reducedRow_);
    blankReduced_.resize(reducedRow_);
    work_->reducer.reduce(blank.data(), blankReduced_.data(), sums.data(), undecided.data());
    boxes_.resize(rows_.size());
    for (std::size_t u = 0; u < rows_.size(); ++u) {
        if (rows_[u].first >= rows_[u].end) {
            // A box without rows averages nothing: black.
            std::memset(FreeImage_GetScanLine(thumbnail_.get(), static_cast<int>(u)), 0,
                        reducedRow_);
            boxes_[u].done = true;
        }
    }
}

ThumbnailMaker::~ThumbnailMaker() = default;

std::vector<int> ThumbnailMaker::rowPieces(int least) const {
    // A piece may end where no box of rows goes on across the cut: at the top edge of a box.
    std::vector<bool> cut(static_cast<std::size_t>(pictureHeight_) + 1, true);
    for (const BoxTaps& tap : rows_) {
        // Box rows [first, end) counted from the bottom are [height - end, height - first) from
        // the top: no cut strictly inside.
        for (int y = pictureHeight_ - tap.end + 1; y < pictureHeight_ - tap.first; ++y) {
            cut[static_cast<std::size_t>(y)] = false;
        }
    }
    std::vector<int> ends;
    int start = 0;
    for (int y = 1; y <= pictureHeight_; ++y) {
        if (cut[static_cast<std::size_t>(y)] && (y - start >= least || y == pictureHeight_)) {
            ends.push_back(y);
            start = y;
        }
    }
    return ends;
}

void ThumbnailMaker::row(int y, const std::uint8_t* packed) {
    const int r = pictureHeight_ - 1 - y; // FreeImage counts rows from the bottom
    if (!thumbnail_ || r < 0 || r >= pictureHeight_) {
        return;
    }
    // The boxes of row r, in order: a row may lie in none, in one, or (a row exactly between
    // two boxes) in two.
    const auto first = std::upper_bound(rows_.begin(), rows_.end(), r,
                                        [](int row, const BoxTaps& tap) { return row < tap.end; });
    auto end = first;
    while (end != rows_.end() && end->first <= r) {
        ++end;
    }
    const std::uint8_t* reduced = blankReduced_.data();
    for (auto tap = first; tap != end; ++tap) {
        Box& box = boxes_[static_cast<std::size_t>(tap - rows_.begin())];
        if (box.done || r != tap->first + box.rowsDone) {
            box.broken = true; // out of order: the second pass's sums would round differently
            return;
        }
        if (box.rowsDone == 0) {
            box.sums.assign(reducedRow_, 0);
            box.exact.assign(reducedRow_, 0.0);
            box.reduced.resize(reducedRow_);
            box.rowSums.resize(reducedRow_);
            box.undecided.resize(reducedRow_);
        }
        if (tap == first && packed != nullptr) {
            work_->reducer.reduce(packed, box.reduced.data(), box.rowSums.data(),
                                  box.undecided.data());
            reduced = box.reduced.data();
        }
        // The second (vertical) pass's sums, kept as the rows come: the integer sum, and the
        // weighted sum added row by row from the bottom, in FreeImage's order, for values too
        // close to a rounding boundary.
        AddRow(reduced, reducedRow_, tap->weight, box.sums.data(), box.exact.data());
    }
    // Finished only now: the first box's room holds the reduced row the second one adds.
    for (auto tap = first; tap != end; ++tap) {
        const auto u = static_cast<std::size_t>(tap - rows_.begin());
        if (++boxes_[u].rowsDone == tap->end - tap->first) {
            finishRow(u);
        }
    }
}

void ThumbnailMaker::finishRow(std::size_t u) {
    const BoxTaps& tap = rows_[u];
    Box& box = boxes_[u];
    BYTE* out = FreeImage_GetScanLine(thumbnail_.get(), static_cast<int>(u));
    for (std::size_t i = 0; i < reducedRow_; ++i) {
        const double estimate = tap.weight * box.sums[i];
        out[i] =
            static_cast<BYTE>(ToByte(work_->rounding.decides(estimate) ? estimate : box.exact[i]));
    }
    box = Box{};
    box.done = true;
}

BitmapHandle ThumbnailMaker::take() {
    for (const Box& box : boxes_) {
        if (!box.done || box.broken) {
            return nullptr; // some rows never came, or not in order
        }
    }
    return std::move(thumbnail_);
}

BitmapHandle BoxThumbnail(const PackedView& picture, const PictureFormat& format, int width,
                          int height) {
    if (picture.top == nullptr || width <= 0 || height <= 0 || width >= picture.width ||
        height >= picture.height) {
        return nullptr;
    }
    ThumbnailMaker maker(format, picture.width, picture.height, width, height);
    if (!maker.ready()) {
        return nullptr;
    }
    const std::vector<int> ends = maker.rowPieces(1);
    ForEachPiece(ends, [&](int first, int end, int) {
        for (int y = end - 1; y >= first; --y) {
            maker.row(y, picture.row(y));
        }
    });
    return maker.take();
}

} // namespace vantrel
