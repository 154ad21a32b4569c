#include "multiwindow/RowReducer.h"

#include <cstring>
#include <utility>

namespace vantrel {
namespace {

// A counted row: every channel has one value besides 0, so a tap's bytes follow from how many
// of its pixels carry the value, counted a word of pixels at a time.
class CountedReducer final : public RowReducer {
public:
    CountedReducer(const PictureFormat& format, Tone tone, const std::vector<BoxTaps>& taps)
        : RowReducer(format, tone, taps) {}

    // A picture whose every channel has one value besides 0, carried by one code (1-bit) or by
    // one bit of the code (4-bit colour bits): a tap's byte then depends only on its weight and
    // on how many of its pixels carry the value, so each such byte is FreeImage's repeated sum,
    // worked out once.
    bool prepareBitBytes() {
        const int channels = this->channels();
        const bool grey = tone_ == Tone::GreyRamp;
        for (int channel = 0; channel < channels; ++channel) {
            const auto c = static_cast<std::size_t>(channel);
            if (single_[c] < 0) {
                return false;
            }
            if (format_.bitsPerPixel == 1) {
                carriedBy_[c][1] = grey || Sample(format_.palette[1], channel) != 0;
                carriedBy_[c][0] = !grey && Sample(format_.palette[0], channel) != 0;
                continue;
            }
            // 4-bit: the channel's value must come from one bit of the code alone.
            if (format_.bitsPerPixel != 4 || !linearCodes_) {
                return false;
            }
            channelBit_[c] = -1;
            for (std::size_t k = 0; k < bitLanes_.size(); ++k) {
                if (LaneOf(bitLanes_[k].lanes, channel) == 0) {
                    continue;
                }
                if (channelBit_[c] >= 0) {
                    return false; // two bits add to this channel
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
        return true;
    }

    void reduce(const std::uint8_t* row, std::uint8_t* out, int*, std::uint8_t*) const override {
        reduceBits(row, out);
    }

private:
    // Set bits from the start of a packed row up to a pixel, for pixels that never go back: the
    // row's words are counted once each as the taps move along it, and a tap's count is the
    // difference of two such prefixes. Lane k counts the bits under laneMasks_[k] (1-bit: every
    // bit; 4-bit: one bit of every code). The lanes are a fixed number, so that the counts stay
    // in registers.
    template <int Bits, std::size_t Lanes> class Prefixes {
    public:
        using Counts = std::array<int, Lanes>;

        Prefixes(const CountedReducer& reducer, const std::uint8_t* row)
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

    // Built for both instruction sets, and apart from the summed rows' loops, so that its loops
    // keep their counts in registers.
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
};

} // namespace

std::unique_ptr<RowReducer> CountedRowReducer(const PictureFormat& format, Tone tone,
                                              const std::vector<BoxTaps>& taps) {
    auto reducer = std::make_unique<CountedReducer>(format, tone, taps);
    if (!reducer->prepareBitBytes()) {
        return nullptr;
    }
    return reducer;
}

} // namespace vantrel
