#include "multiwindow/PlaneKernels.h"

#include "image/BitWords.h"
#include "image/Parallel.h"
#include "image/WideVectors.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace vantrel {
namespace {

// The mask of the examined value: one bit, or the whole byte.
std::uint8_t MaskOf(const PictureIndexEntry& entry) {
    return entry.bit == kAllBits ? 0xFF : static_cast<std::uint8_t>(1u << entry.bit);
}

// 1 when a > b: a byte, so that the pixel loops stay in byte lanes.
VANTREL_INLINE_LOOP std::uint8_t Greater(unsigned a, unsigned b) {
    return static_cast<std::uint8_t>(static_cast<std::uint8_t>(a) > static_cast<std::uint8_t>(b));
}

// One row of an image taken apart into planes of blue, green, red and alpha bytes. The pixels
// are taken apart once a row for all the pictures of a pass, and every picture's rule is then a
// loop over plain byte arrays, which vectorises whatever the pixel size.
struct ChannelPlanes {
    std::array<std::uint8_t*, 4> channel{};
    const std::uint8_t* operator[](int c) const { return channel[static_cast<std::size_t>(c)]; }
};

// Splits `width` pixels of B bytes into planes; a 3-byte pixel's alpha reads 0.
template <int B>
VANTREL_INLINE_LOOP void SplitPixels(const std::uint8_t* __restrict row, int width,
                                     std::uint8_t* __restrict blue, std::uint8_t* __restrict green,
                                     std::uint8_t* __restrict red, std::uint8_t* __restrict alpha) {
    if constexpr (B == 4) {
        for (int x = 0; x < width; ++x) {
            std::uint32_t pixel;
            std::memcpy(&pixel, row + 4 * x, sizeof pixel);
            blue[x] = static_cast<std::uint8_t>(pixel);
            green[x] = static_cast<std::uint8_t>(pixel >> 8);
            red[x] = static_cast<std::uint8_t>(pixel >> 16);
            alpha[x] = static_cast<std::uint8_t>(pixel >> 24);
        }
    } else {
        for (int x = 0; x < width; ++x) {
            blue[x] = row[3 * x];
            green[x] = row[3 * x + 1];
            red[x] = row[3 * x + 2];
        }
        std::memset(alpha, 0, static_cast<std::size_t>(width));
    }
}

VANTREL_INLINE_LOOP void SplitRow(const std::uint8_t* row, int bytesPerPixel, int width,
                                  const ChannelPlanes& out) {
    const auto& c = out.channel;
    if (row == nullptr) {
        for (std::uint8_t* plane : c) {
            std::memset(plane, 0, static_cast<std::size_t>(width));
        }
    } else if (bytesPerPixel == 3) {
        SplitPixels<3>(row, width, c[kBlue], c[kGreen], c[kRed], c[kAlpha]);
    } else {
        SplitPixels<4>(row, width, c[kBlue], c[kGreen], c[kRed], c[kAlpha]);
    }
}

// Codes of the pixels [0, count) by `rule(x)`; whether any is not 0, found in the same loop
// unless `Separately` (a rule the compiler no longer vectorises with the check inside).
template <bool Separately = false, typename Rule>
VANTREL_INLINE_LOOP bool CodeRow(int count, std::uint8_t* __restrict code, const Rule& pixelRule) {
    // A copy of the rule in this frame keeps its pointers and mask in registers, and the loop
    // vectorises.
    const Rule rule = pixelRule;
    std::uint8_t any = 0;
    if constexpr (Separately) {
        for (int x = 0; x < count; ++x) {
            code[x] = rule(x);
        }
        for (int x = 0; x < count; ++x) {
            any = static_cast<std::uint8_t>(any | code[x]);
        }
    } else {
        for (int x = 0; x < count; ++x) {
            code[x] = rule(x);
            any = static_cast<std::uint8_t>(any | code[x]);
        }
    }
    return any != 0;
}

// Bit `bit` of `width` bytes packed eight pixels a byte, the first pixel in bit 7 (as 1-bit
// bitmaps hold them), eight at a time.
VANTREL_INLINE_LOOP void PackBitOfBytes(const std::uint8_t* values, int width, int bit,
                                        std::uint8_t* out) {
    const int whole = width / 8;
    for (int i = 0; i < whole; ++i) {
        std::uint64_t eight;
        std::memcpy(&eight, values + 8 * i, sizeof eight);
        out[i] = PackEight(eight >> bit & 0x0101010101010101ULL);
    }
    if (whole * 8 < width) {
        std::uint8_t last = 0;
        for (int x = whole * 8; x < width; ++x) {
            last = static_cast<std::uint8_t>(last | (values[x] >> bit & 1) << (7 - (x & 7)));
        }
        out[whole] = last;
    }
}

VANTREL_INLINE_LOOP void PackRow(const std::uint8_t* codes, int width, int bitsPerPixel,
                                 std::uint8_t* out) {
    switch (bitsPerPixel) {
    case 8:
        std::memcpy(out, codes, static_cast<std::size_t>(width));
        return;
    case 4: {
        // Two codes read as one little-endian 16-bit word: the loop then vectorises.
        const int pairs = width / 2;
        for (int i = 0; i < pairs; ++i) {
            std::uint16_t pair;
            std::memcpy(&pair, codes + 2 * i, sizeof pair);
            out[i] = static_cast<std::uint8_t>(pair << 4 | pair >> 8);
        }
        int x = 2 * pairs;
        if (x < width) {
            out[x / 2] = static_cast<std::uint8_t>(codes[x] << 4);
        }
        return;
    }
    default:
        PackBitOfBytes(codes, width, 0, out);
        return;
    }
}

// PackBitOfBytes, and how many of the bits are set.
VANTREL_WIDE_VECTORS std::uint32_t PackPlaneBitWords(const std::uint8_t* values, int width, int bit,
                                                     std::uint8_t* out) {
    PackBitOfBytes(values, width, bit, out);
    return SetBits(out, static_cast<std::size_t>(width + 7) / 8);
}

#if VANTREL_AVX2_KERNELS
// The same with AVX2, 32 pixels an instruction: the bytes of each group of eight put in reverse
// order, the bit shifted up to the top of its byte, and the tops of all 32 bytes gathered by
// movemask: pixel k of a group lands in bit 7 - k of its byte.
VANTREL_AVX2 std::uint32_t PackPlaneBitAvx2(const std::uint8_t* values, int width, int bit,
                                            std::uint8_t* out) {
    const __m256i reverse = _mm256_setr_epi8(7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8,
                                             7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8);
    const __m128i shift = _mm_cvtsi32_si128(7 - bit);
    std::uint32_t set = 0;
    int x = 0;
    for (; x + 32 <= width; x += 32) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(values + x));
        // A 16-bit shift by less than 8 moves no bit into the top of its own byte from the
        // other byte, so each byte's top is its own bit.
        const __m256i top = _mm256_sll_epi16(_mm256_shuffle_epi8(bytes, reverse), shift);
        const auto mask = static_cast<std::uint32_t>(_mm256_movemask_epi8(top));
        std::memcpy(out + x / 8, &mask, sizeof mask);
        set += static_cast<std::uint32_t>(__builtin_popcount(mask));
    }
    return set + PackPlaneBitWords(values + x, width - x, bit, out + x / 8);
}
#endif

std::uint32_t PackPlaneBit(const std::uint8_t* values, int width, int bit, std::uint8_t* out) {
#if VANTREL_AVX2_KERNELS
    if (HasAvx2()) {
        return PackPlaneBitAvx2(values, width, bit, out);
    }
#endif
    return PackPlaneBitWords(values, width, bit, out);
}

void UnpackRow(const std::uint8_t* row, int width, int bitsPerPixel, std::uint8_t* codes) {
    for (int x = 0; x < width; ++x) {
        codes[x] = static_cast<std::uint8_t>(CodeAt(row, bitsPerPixel, x));
    }
}

// The rows of the second image that meet the rows of the first. Bitmaps count rows from the
// bottom, so images of different heights meet at their bottom rows. Null for a row it lacks.
VANTREL_INLINE_LOOP const std::uint8_t* SecondRow(const PixelView& second, int y, int outHeight,
                                                  int outWidth, int* covered) {
    if (second.empty()) {
        *covered = outWidth;
        return nullptr;
    }
    const int y2 = y + second.height - outHeight;
    if (y2 < 0 || y2 >= second.height) {
        *covered = 0;
        return nullptr;
    }
    *covered = std::min(outWidth, second.width);
    return second.row(y2);
}

// Row by row, every picture of a pass from the same planes: the first image's, the second's, and
// (comparison) their difference. One per thread, reused for every row of its pieces.
class RowPass {
public:
    RowPass(PlaneKind kind, const PixelView& first, const PixelView& second, int width, int height)
        : kind_(kind), first_(first), second_(second), width_(width), height_(height),
          buffer_(static_cast<std::size_t>(width) * (3 * kSingleChannels + 1)) {
        for (int c = 0; c < kSingleChannels; ++c) {
            firstPlanes_.channel[static_cast<std::size_t>(c)] = plane(c);
            secondPlanes_.channel[static_cast<std::size_t>(c)] = plane(kSingleChannels + c);
            differences_.channel[static_cast<std::size_t>(c)] = plane(2 * kSingleChannels + c);
        }
        codes_ = plane(3 * kSingleChannels);
    }

    // Takes row y (top first) of the images apart.
    VANTREL_INLINE_LOOP void load(int y) {
        y_ = y;
        SplitRow(first_.empty() ? nullptr : first_.row(y), first_.bytesPerPixel, width_,
                 firstPlanes_);
        covered_ = width_;
        if (kind_ == PlaneKind::Planes) {
            return; // the bit-plane window reads one image
        }
        const std::uint8_t* row = SecondRow(second_, y, height_, width_, &covered_);
        SplitRow(row, second_.bytesPerPixel, covered_, secondPlanes_);
        if (kind_ == PlaneKind::Comparison) {
            // A local count: a store to a plane could otherwise change a member, as far as the
            // compiler knows, and the loop would not vectorise.
            const int covered = covered_;
            for (int c = 0; c < kSingleChannels; ++c) {
                std::uint8_t* __restrict difference = differences_.channel[c];
                const std::uint8_t* __restrict before = firstPlanes_[c];
                const std::uint8_t* __restrict after = secondPlanes_[c];
                for (int x = 0; x < covered; ++x) {
                    difference[x] = static_cast<std::uint8_t>(before[x] ^ after[x]);
                }
                // Columns the second image lacks compare as unchanged.
                std::fill(difference + covered, difference + width_, std::uint8_t{0});
            }
        }
    }

    // Writes the loaded row of picture `index` into `out` and returns its change count. With
    // `zeroed` (the picture's memory is all zero), a row of code 0 alone is left unwritten, so
    // that a picture with nothing in it never touches its memory; `written` tells which.
    VANTREL_INLINE_LOOP std::uint32_t picture(int index, const PackedView& out, bool zeroed,
                                              bool& written) {
        std::uint8_t* target = out.row(y_);
        written = true;
        if (kind_ == PlaneKind::Planes && index == kColourPicture) {
            copyColours(target);
            return 0;
        }
        const PictureIndexEntry entry = PictureIndex(index);
        const std::uint8_t m = MaskOf(entry);
        const bool single = entry.channel != kAllColours;
        if (kind_ == PlaneKind::Planes && single && entry.bit == kAllBits) {
            std::memcpy(target, firstPlanes_[entry.channel], static_cast<std::size_t>(width_));
            return 0;
        }
        if (single && entry.bit != kAllBits && kind_ != PlaneKind::Direction) {
            // A lit bit of a channel, or a changed one: packed straight from its plane.
            const ChannelPlanes& v = kind_ == PlaneKind::Comparison ? differences_ : firstPlanes_;
            // Into fresh memory, a row goes first to the side (a picture that stays black never
            // touches its pages) unless the row before was lit: then this one most likely is
            // too, and a copy would be wasted.
            bool& lastLit = lastLit_[static_cast<std::size_t>(index)];
            const bool aside = zeroed && !lastLit;
            std::uint8_t* packed = aside ? codes_ : target;
            const std::uint32_t set = PackPlaneBit(v[entry.channel], width_, entry.bit, packed);
            written = set > 0 || !aside;
            if (aside && set > 0) {
                std::memcpy(target, packed, (static_cast<std::size_t>(width_) + 7) / 8);
            }
            lastLit = set > 0;
            return kind_ == PlaneKind::Comparison ? set : 0;
        }
        const bool lit = codes(entry.channel, m);
        std::fill(codes_ + covered_, codes_ + width_, std::uint8_t{0});
        // A pixel whose channels grew and shrank alike scores 0 (black) yet counts its changes.
        const bool scored = kind_ == PlaneKind::Direction && !single;
        if (zeroed && !lit) {
            written = false;
            return scored ? changedSamples(m) : 0;
        }
        PackRow(codes_, width_, out.bitsPerPixel, target);
        if (kind_ == PlaneKind::Planes) {
            return 0;
        }
        if (scored) {
            return changedSamples(m);
        }
        // Every other code has one set bit a change (a changed bit, a changed colour channel,
        // grown or shrunk), so the packed row counts them itself.
        const std::size_t rowBytes = (static_cast<std::size_t>(width_) * out.bitsPerPixel + 7) / 8;
        return SetBits(target, rowBytes);
    }

private:
    std::uint8_t* plane(int n) {
        return buffer_.data() + static_cast<std::size_t>(n) * static_cast<std::size_t>(width_);
    }

    // Codes of the loaded row into codes_; whether any is not 0.
    VANTREL_INLINE_LOOP bool codes(int channel, std::uint8_t m) {
        std::uint8_t* code = codes_;
        if (kind_ == PlaneKind::Direction) {
            return directionCodes(channel, m);
        }
        // A lit bit of the image, or (comparison) a changed bit: the same rule on other planes.
        const ChannelPlanes& v = kind_ == PlaneKind::Comparison ? differences_ : firstPlanes_;
        if (channel != kAllColours) {
            const std::uint8_t* values = v[channel];
            return CodeRow(covered_, code,
                           [=](int x) { return static_cast<std::uint8_t>((values[x] & m) != 0); });
        }
        const std::uint8_t* red = v[kRed];
        const std::uint8_t* green = v[kGreen];
        const std::uint8_t* blue = v[kBlue];
        return CodeRow(covered_, code, [=](int x) {
            const int r = (red[x] & m) != 0;
            const int g = (green[x] & m) != 0;
            const int b = (blue[x] & m) != 0;
            return static_cast<std::uint8_t>(r << 2 | g << 1 | b);
        });
    }

    // Direction codes: each value masked, then grown (code 1) or shrunk (code 2); three
    // channels together give a score (see kScoreColour). Every step is on bytes, so that the
    // loops keep sixteen pixels a vector rather than widening to ints.
    VANTREL_INLINE_LOOP bool directionCodes(int channel, std::uint8_t m) {
        std::uint8_t* code = codes_;
        const ChannelPlanes f = firstPlanes_;
        const ChannelPlanes s = secondPlanes_;
        if (channel != kAllColours) {
            const std::uint8_t* before = f[channel];
            const std::uint8_t* after = s[channel];
            return CodeRow(covered_, code, [=](int x) {
                const std::uint8_t grew = Greater(after[x] & m, before[x] & m);
                const std::uint8_t shrank = Greater(before[x] & m, after[x] & m);
                return static_cast<std::uint8_t>(grew | shrank << 1);
            });
        }
        const std::uint8_t* red1 = f[kRed];
        const std::uint8_t* green1 = f[kGreen];
        const std::uint8_t* blue1 = f[kBlue];
        const std::uint8_t* red2 = s[kRed];
        const std::uint8_t* green2 = s[kGreen];
        const std::uint8_t* blue2 = s[kBlue];
        return CodeRow<true>(covered_, code, [=](int x) {
            const auto grown = static_cast<std::uint8_t>(Greater(red2[x] & m, red1[x] & m) +
                                                         Greater(green2[x] & m, green1[x] & m) +
                                                         Greater(blue2[x] & m, blue1[x] & m));
            const auto shrunk = static_cast<std::uint8_t>(Greater(red1[x] & m, red2[x] & m) +
                                                          Greater(green1[x] & m, green2[x] & m) +
                                                          Greater(blue1[x] & m, blue2[x] & m));
            // A score of +1 to +3 is codes 1-3, -1 to -3 codes 4-6.
            const auto up = static_cast<std::uint8_t>(grown > shrunk ? grown - shrunk : 0);
            const auto down = static_cast<std::uint8_t>(shrunk > grown ? shrunk - grown + 3 : 0);
            return static_cast<std::uint8_t>(up | down);
        });
    }

    // The colour channels that changed: what a three-channel direction picture counts.
    VANTREL_INLINE_LOOP std::uint32_t changedSamples(std::uint8_t m) const {
        std::uint32_t changed = 0;
        for (const int c : {kRed, kGreen, kBlue}) {
            const std::uint8_t* before = firstPlanes_[c];
            const std::uint8_t* after = secondPlanes_[c];
            for (int x = 0; x < covered_; ++x) {
                changed += ((before[x] ^ after[x]) & m) != 0;
            }
        }
        return changed;
    }

    // The plain colour image (kColourPicture of the bit-plane window), alpha dropped.
    VANTREL_INLINE_LOOP void copyColours(std::uint8_t* target) const {
        if (first_.empty()) {
            std::memset(target, 0, static_cast<std::size_t>(width_) * 3);
            return;
        }
        const std::uint8_t* source = first_.row(y_);
        if (first_.bytesPerPixel == 3) {
            std::memcpy(target, source, static_cast<std::size_t>(width_) * 3);
            return;
        }
        // The width in a local: a store could otherwise change the member, as far as the
        // compiler knows, and the loop would not vectorise.
        const int width = width_;
        std::uint8_t* __restrict out = target;
        for (int x = 0; x < width; ++x) {
            out[3 * x] = source[4 * x];
            out[3 * x + 1] = source[4 * x + 1];
            out[3 * x + 2] = source[4 * x + 2];
        }
    }

    PlaneKind kind_;
    const PixelView& first_;
    const PixelView& second_;
    int width_;
    int height_;
    std::vector<std::uint8_t> buffer_;
    ChannelPlanes firstPlanes_;
    ChannelPlanes secondPlanes_;
    ChannelPlanes differences_;
    std::uint8_t* codes_ = nullptr;
    std::array<bool, kPictureCount> lastLit_{}; // per picture: the row before was lit
    int y_ = 0;
    int covered_ = 0;
};

// Rows [firstRow, endRow) of the wanted pictures, their change counts added to `counted`.
VANTREL_WIDE_VECTORS void ComputeRowPiece(RowPass& pass, std::span<const int> indices,
                                          std::span<const PackedView> outs, const PassRows& rows,
                                          const std::vector<std::size_t>& wanted, int firstRow,
                                          int endRow, std::vector<std::int64_t>& counted) {
    // From the last row of the piece to its first: the bottom row up, as bitmaps store them and
    // as a sink that sums rows (a thumbnail) adds them.
    for (int y = endRow - 1; y >= firstRow; --y) {
        pass.load(y);
        for (std::size_t w = 0; w < wanted.size(); ++w) {
            const std::size_t i = wanted[w];
            bool written = true;
            counted[w] += pass.picture(indices[i], outs[i], rows.zeroed, written);
            if (i < rows.sinks.size() && rows.sinks[i] != nullptr) {
                rows.sinks[i]->row(y, written ? outs[i].row(y) : nullptr);
            }
        }
    }
}

// The row pieces of a pass: the caller's, when they cover the rows in order; fixed pieces of
// about kBytesPerRowPiece of image otherwise.
std::vector<int> PieceEnds(std::span<const int> asked, int width, int height) {
    bool usable = !asked.empty() && asked.back() == height;
    for (std::size_t i = 0; usable && i < asked.size(); ++i) {
        usable = asked[i] > (i == 0 ? 0 : asked[i - 1]);
    }
    if (usable) {
        return {asked.begin(), asked.end()};
    }
    return RowPieceEnds(height, RowsPerPiece(static_cast<std::size_t>(width) * 4));
}

// The colour of pixel x of a picture row, `codes` holding the row unpacked unless it is 24-bit.
Bgr ColourAt(const std::uint8_t* row, const std::uint8_t* codes, const PictureFormat& format,
             int bitsPerPixel, int x) {
    return bitsPerPixel == 24 ? Bgr{row[3 * x + kBlue], row[3 * x + kGreen], row[3 * x + kRed]}
                              : format.palette[codes[x]];
}

} // namespace

std::int64_t ComputePicture(PlaneKind kind, int index, const PixelView& first,
                            const PixelView& second, const PackedView& out) {
    return ComputePictures(kind, std::span<const int>(&index, 1), first, second,
                           std::span<const PackedView>(&out, 1))
        .front();
}

std::vector<std::int64_t> ComputePictures(PlaneKind kind, std::span<const int> indices,
                                          const PixelView& first, const PixelView& second,
                                          std::span<const PackedView> outs, const PassRows& rows) {
    std::vector<std::int64_t> changes(indices.size(), 0);
    std::vector<std::size_t> wanted;
    for (std::size_t i = 0; i < indices.size() && i < outs.size(); ++i) {
        const PackedView& out = outs[i];
        if (out.width > 0 && out.height > 0 && out.top != nullptr && indices[i] >= 0 &&
            indices[i] < kPictureCount) {
            wanted.push_back(i);
        }
    }
    if (wanted.empty()) {
        return changes;
    }
    const int width = outs[wanted.front()].width;
    const int height = outs[wanted.front()].height;
    for (const std::size_t i : wanted) {
        if (outs[i].width != width || outs[i].height != height) {
            // Pictures of different sizes share no rows: each takes its own pass.
            for (const std::size_t j : wanted) {
                changes[j] = ComputePicture(kind, indices[j], first, second, outs[j]);
            }
            return changes;
        }
    }
    // Each piece of rows computes every wanted picture row by row, while the row of the images is
    // still in the cache; the pieces are fixed and the counts whole numbers, so the totals never
    // depend on how many threads ran.
    const std::vector<int> ends = PieceEnds(rows.pieceEnds, width, height);
    const auto pieces = MapPieces<std::vector<std::int64_t>>(ends, [&](int firstRow, int endRow) {
        RowPass pass(kind, first, second, width, height);
        std::vector<std::int64_t> counted(wanted.size(), 0);
        ComputeRowPiece(pass, indices, outs, rows, wanted, firstRow, endRow, counted);
        return counted;
    });
    for (const std::vector<std::int64_t>& piece : pieces) {
        for (std::size_t w = 0; w < wanted.size(); ++w) {
            changes[wanted[w]] += piece[w];
        }
    }
    return changes;
}

std::int64_t LitPixels(const PackedView& picture) {
    std::int64_t lit = 0;
    std::vector<std::uint8_t> codes(static_cast<std::size_t>(std::max(picture.width, 0)));
    for (int y = 0; y < picture.height; ++y) {
        const std::uint8_t* row = picture.row(y);
        if (picture.bitsPerPixel == 24) {
            for (int x = 0; x < picture.width; ++x) {
                lit += (row[3 * x] | row[3 * x + 1] | row[3 * x + 2]) != 0;
            }
            continue;
        }
        UnpackRow(row, picture.width, picture.bitsPerPixel, codes.data());
        lit += picture.width - std::count(codes.begin(), codes.end(), std::uint8_t{0});
    }
    return lit;
}

void ExpandPicture(const PackedView& picture, const PictureFormat& format,
                   const MutablePixelView& out) {
    const int width = std::min(picture.width, out.width);
    const int height = std::min(picture.height, out.height);
    std::vector<std::uint8_t> codes(static_cast<std::size_t>(std::max(picture.width, 0)));
    for (int y = 0; y < height; ++y) {
        std::uint8_t* target = out.row(y);
        const std::uint8_t* source = picture.row(y);
        if (picture.bitsPerPixel != 24) {
            UnpackRow(source, picture.width, picture.bitsPerPixel, codes.data());
        }
        for (int x = 0; x < width; ++x) {
            const Bgr colour = ColourAt(source, codes.data(), format, picture.bitsPerPixel, x);
            std::uint8_t* pixel = target + out.bytesPerPixel * x;
            pixel[kBlue] = colour.blue;
            pixel[kGreen] = colour.green;
            pixel[kRed] = colour.red;
            if (out.bytesPerPixel == 4) {
                pixel[kAlpha] = 0;
            }
        }
    }
}

} // namespace vantrel
