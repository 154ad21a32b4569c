#include "multiwindow/PlaneKernels.h"

#include "image/Parallel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace vantrel {
namespace {

constexpr int kChannelOfRow[kGridRows] = {kAllColours, kRed, kGreen, kBlue, kAlpha};

// The single-channel blocks of eight pictures, in index order.
constexpr int kChannelOfBlock[4] = {kRed, kGreen, kBlue, kAlpha};

int RowOfChannel(int channel) {
    for (int row = 0; row < kGridRows; ++row) {
        if (kChannelOfRow[row] == channel) {
            return row;
        }
    }
    return kRowAllColours;
}

constexpr Bgr kBlack = Colour(0, 0, 0);
constexpr Bgr kGrewTone = Colour(255, 100, 100);
constexpr Bgr kShrankTone = Colour(100, 100, 255);
constexpr Bgr kGrewValue = Colour(200, 100, 100);
constexpr Bgr kShrankValue = Colour(100, 100, 200);

// The colour of a lit single-channel bit (and of a changed value in the comparison window).
Bgr ToneOf(int channel) {
    switch (channel) {
    case kRed:
        return Colour(255, 100, 100);
    case kGreen:
        return Colour(100, 255, 100);
    case kBlue:
        return Colour(100, 100, 255);
    default:
        return Colour(255, 255, 255);
    }
}

// Direction codes of the three-channel pictures: 0 black, 1-3 grew by one to three channels,
// 4-6 shrank by one to three.
constexpr Bgr kScoreColour[7] = {kBlack,
                                 Colour(66, 33, 33),
                                 Colour(132, 66, 66),
                                 Colour(200, 100, 100),
                                 Colour(33, 33, 66),
                                 Colour(66, 66, 132),
                                 Colour(100, 100, 200)};

// The mask of the examined value: one bit, or the whole byte.
std::uint8_t MaskOf(const PictureIndexEntry& entry) {
    return entry.bit == kAllBits ? 0xFF : static_cast<std::uint8_t>(1u << entry.bit);
}

struct Sample {
    std::uint8_t code;
    std::uint8_t changes;
};

// Reads one channel of a pixel of BytesPerPixel bytes; a 3-byte pixel's alpha reads 0. Without
// a branch (the alpha read is the blue byte, masked away), so that the pixel loops vectorise.
template <int BytesPerPixel> struct ChannelReader {
    int offset;
    std::uint8_t keep;

    explicit ChannelReader(int channel)
        : offset(BytesPerPixel == 3 && channel == kAlpha ? 0 : channel),
          keep(BytesPerPixel == 3 && channel == kAlpha ? 0 : 0xFF) {}

    std::uint8_t operator()(const std::uint8_t* pixel) const {
        return static_cast<std::uint8_t>(pixel[offset] & keep);
    }
};

// The rows of the second image that meet the rows of the first. Bitmaps count rows from the
// bottom, so images of different heights meet at their bottom rows.
struct RowSource {
    const PixelView* view;
    const std::uint8_t* zeros;
    int outHeight;

    const std::uint8_t* row(int y, int outWidth, int* covered) const {
        if (view->empty()) {
            *covered = outWidth;
            return zeros;
        }
        const int y2 = y + view->height - outHeight;
        if (y2 < 0 || y2 >= view->height) {
            *covered = 0;
            return zeros;
        }
        *covered = std::min(outWidth, view->width);
        return view->row(y2);
    }
};

void PackRow(const std::uint8_t* codes, int width, int bitsPerPixel, std::uint8_t* out) {
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
    default: {
        const int whole = width / 8;
        for (int i = 0; i < whole; ++i) {
            const std::uint8_t* c = codes + 8 * i;
            out[i] = static_cast<std::uint8_t>(c[0] << 7 | c[1] << 6 | c[2] << 5 | c[3] << 4 |
                                               c[4] << 3 | c[5] << 2 | c[6] << 1 | c[7]);
        }
        if (whole * 8 < width) {
            std::uint8_t last = 0;
            for (int x = whole * 8; x < width; ++x) {
                last = static_cast<std::uint8_t>(last | codes[x] << (7 - (x & 7)));
            }
            out[whole] = last;
        }
        return;
    }
    }
}

void UnpackRow(const std::uint8_t* row, int width, int bitsPerPixel, std::uint8_t* codes) {
    switch (bitsPerPixel) {
    case 8:
        std::memcpy(codes, row, static_cast<std::size_t>(width));
        return;
    case 4:
        for (int x = 0; x < width; ++x) {
            codes[x] = (x & 1) ? (row[x / 2] & 0x0F) : (row[x / 2] >> 4);
        }
        return;
    default:
        for (int x = 0; x < width; ++x) {
            codes[x] = (row[x / 8] >> (7 - (x & 7))) & 1;
        }
        return;
    }
}

// The rows [first, end) of a picture being computed, and a row of codes to compute them in.
struct RowRange {
    int first = 0;
    int end = 0;
    std::uint8_t* codes = nullptr;
};

// One pass over the rows of the range: `pixelRule(p1, p2)` gives each pixel's code and change
// count from the two pixels (of B1 and B2 bytes); pixels outside the second image stay black.
template <int B1, int B2, typename PixelRule>
std::int64_t RunRows(const PixelView& first, const RowSource& second, const std::uint8_t* zeros,
                     const PackedView& out, PixelRule pixelRule, const RowRange& range) {
    std::uint8_t* const code = range.codes;
    // A copy of the rule in this frame keeps its parameters in registers, and the loop over x
    // vectorises.
    const PixelRule rule = pixelRule;
    std::int64_t changes = 0;
    for (int y = range.first; y < range.end; ++y) {
        const std::uint8_t* row1 = first.empty() ? zeros : first.row(y);
        int covered = 0;
        const std::uint8_t* row2 = second.row(y, out.width, &covered);
        std::uint32_t rowChanges = 0;
        for (int x = 0; x < covered; ++x) {
            const Sample sample = rule(row1 + B1 * x, row2 + B2 * x);
            code[x] = sample.code;
            rowChanges += sample.changes;
        }
        std::fill(code + covered, code + out.width, std::uint8_t{0});
        changes += rowChanges;
        PackRow(code, out.width, out.bitsPerPixel, out.row(y));
    }
    return changes;
}

// The rule of one picture, over pixels of B1 and B2 bytes.
template <int B1, int B2>
std::int64_t Dispatch(PlaneKind kind, const PictureIndexEntry& entry, const PixelView& first,
                      const RowSource& second, const std::uint8_t* zeros, const PackedView& out,
                      const RowRange& range) {
    const std::uint8_t m = MaskOf(entry);
    const int c = entry.channel;
    const auto run = [&](auto rule) {
        return RunRows<B1, B2>(first, second, zeros, out, rule, range);
    };
    const bool single = c != kAllColours;
    // The rules hold copies of what they read, so nothing in the pixel loops can alias a write.
    const ChannelReader<B1> byte1(single ? c : kBlue);
    const ChannelReader<B2> byte2(single ? c : kBlue);

    switch (kind) {
    case PlaneKind::Planes:
        if (single && entry.bit == kAllBits) {
            return run([=](const std::uint8_t* p, const std::uint8_t*) {
                return Sample{byte1(p), 0};
            });
        }
        if (single) {
            return run([=](const std::uint8_t* p, const std::uint8_t*) {
                return Sample{static_cast<std::uint8_t>((byte1(p) & m) != 0), 0};
            });
        }
        return run([m](const std::uint8_t* p, const std::uint8_t*) {
            const int code =
                ((p[kRed] & m) != 0) << 2 | ((p[kGreen] & m) != 0) << 1 | ((p[kBlue] & m) != 0);
            return Sample{static_cast<std::uint8_t>(code), 0};
        });
    case PlaneKind::Comparison:
        if (single) {
            return run([=](const std::uint8_t* p1, const std::uint8_t* p2) {
                const auto differs = static_cast<std::uint8_t>(((byte1(p1) ^ byte2(p2)) & m) != 0);
                return Sample{differs, differs};
            });
        }
        return run([m](const std::uint8_t* p1, const std::uint8_t* p2) {
            const int red = ((p1[kRed] ^ p2[kRed]) & m) != 0;
            const int green = ((p1[kGreen] ^ p2[kGreen]) & m) != 0;
            const int blue = ((p1[kBlue] ^ p2[kBlue]) & m) != 0;
            return Sample{static_cast<std::uint8_t>(red << 2 | green << 1 | blue),
                          static_cast<std::uint8_t>(red + green + blue)};
        });
    case PlaneKind::Direction:
        if (single) {
            return run([=](const std::uint8_t* p1, const std::uint8_t* p2) {
                const int before = byte1(p1) & m;
                const int after = byte2(p2) & m;
                const auto code =
                    static_cast<std::uint8_t>((after > before) | (after < before) << 1);
                return Sample{code, static_cast<std::uint8_t>(after != before)};
            });
        }
        return run([m](const std::uint8_t* p1, const std::uint8_t* p2) {
            const int red1 = p1[kRed] & m, red2 = p2[kRed] & m;
            const int green1 = p1[kGreen] & m, green2 = p2[kGreen] & m;
            const int blue1 = p1[kBlue] & m, blue2 = p2[kBlue] & m;
            const int score = (red2 > red1) - (red2 < red1) + (green2 > green1) -
                              (green2 < green1) + (blue2 > blue1) - (blue2 < blue1);
            const int changed = (red2 != red1) + (green2 != green1) + (blue2 != blue1);
            // Codes 1-3 for a score of +1 to +3, 4-6 for -1 to -3 (see kScoreColour).
            const int code = score + (score < 0) * (3 - 2 * score);
            return Sample{static_cast<std::uint8_t>(code), static_cast<std::uint8_t>(changed)};
        });
    }
    return 0;
}

// Rows [firstRow, endRow) of the plain colour image (picture 44 of the bit-plane window),
// alpha dropped.
void CopyColourRows(const PixelView& first, const PackedView& out, int firstRow, int endRow) {
    for (int y = firstRow; y < endRow; ++y) {
        std::uint8_t* target = out.row(y);
        if (first.empty()) {
            std::memset(target, 0, static_cast<std::size_t>(out.width) * 3);
            continue;
        }
        const std::uint8_t* source = first.row(y);
        if (first.bytesPerPixel == 3) {
            std::memcpy(target, source, static_cast<std::size_t>(out.width) * 3);
            continue;
        }
        for (int x = 0; x < out.width; ++x) {
            target[3 * x + kBlue] = source[4 * x + kBlue];
            target[3 * x + kGreen] = source[4 * x + kGreen];
            target[3 * x + kRed] = source[4 * x + kRed];
        }
    }
}

// Rows of picture `index` in the range; the images' zero row stands in for a missing image.
std::int64_t ComputeRows(PlaneKind kind, int index, const PixelView& first, const PixelView& second,
                         const PackedView& out, const std::uint8_t* zeros, const RowRange& range) {
    if (kind == PlaneKind::Planes && index == 44) {
        CopyColourRows(first, out, range.first, range.end);
        return 0;
    }
    // The bit-plane window reads one image: its second source is the first.
    const PixelView& other = kind == PlaneKind::Planes ? first : second;
    const RowSource rows{&other, zeros, out.height};
    const PictureIndexEntry entry = PictureIndex(index);
    const int b1 = first.empty() ? 4 : first.bytesPerPixel;
    const int b2 = other.empty() ? 4 : other.bytesPerPixel;
    if (b1 == 3 && b2 == 3) {
        return Dispatch<3, 3>(kind, entry, first, rows, zeros, out, range);
    }
    if (b1 == 3) {
        return Dispatch<3, 4>(kind, entry, first, rows, zeros, out, range);
    }
    if (b2 == 3) {
        return Dispatch<4, 3>(kind, entry, first, rows, zeros, out, range);
    }
    return Dispatch<4, 4>(kind, entry, first, rows, zeros, out, range);
}

} // namespace

PictureIndexEntry PictureIndex(int index) {
    if (index < 0 || index >= kPictureCount) {
        return {};
    }
    if (index < 40) {
        const int bit = index % 8;
        const int channel = index < 32 ? kChannelOfBlock[index / 8] : kAllColours;
        return {channel, bit, RowOfChannel(channel), 8 - bit};
    }
    const int channel = index == 44 ? kAllColours : kChannelOfBlock[index - 40];
    return {channel, kAllBits, RowOfChannel(channel), 0};
}

int PictureAt(int gridRow, int gridColumn) {
    for (int index = 0; index < kPictureCount; ++index) {
        const PictureIndexEntry entry = PictureIndex(index);
        if (entry.gridRow == gridRow && entry.gridColumn == gridColumn) {
            return index;
        }
    }
    return -1;
}

const std::array<int, kPictureCount>& PictureOrder() {
    static const std::array<int, kPictureCount> order = [] {
        std::array<int, kPictureCount> made{};
        int next = 0;
        for (int index = 40; index <= 44; ++index) {
            made[next++] = index;
        }
        for (int index = 32; index <= 39; ++index) {
            made[next++] = index;
        }
        for (int index = 0; index <= 31; ++index) {
            made[next++] = index;
        }
        return made;
    }();
    return order;
}

bool CountsSamples(int index) {
    return (index >= 32 && index <= 39) || index == 44;
}

std::int64_t ChangeTotal(int index, int width, int height) {
    const std::int64_t pixels = static_cast<std::int64_t>(width) * height;
    return CountsSamples(index) ? 3 * pixels : pixels;
}

std::string CountLabel(std::int64_t changes, std::int64_t total,
                       std::string_view thousandsSeparator) {
    if (changes < 1) {
        return "-";
    }
    const std::string digits = std::to_string(changes);
    std::string label;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            label += thousandsSeparator;
        }
        label += digits[i];
    }
    const double share = total > 0 ? 100.0 * static_cast<double>(changes) / total : 0.0;
    label += '-';
    label += std::to_string(static_cast<long long>(std::nearbyint(share)));
    label += '%';
    return label;
}

PictureFormat FormatOf(PlaneKind kind, int index) {
    const PictureIndexEntry entry = PictureIndex(index);
    const bool single = entry.channel != kAllColours;
    const bool wholeByte = entry.bit == kAllBits;
    PictureFormat format;
    auto& palette = format.palette;
    if (kind == PlaneKind::Direction) {
        format.bitsPerPixel = 4;
        if (single) {
            palette[1] = wholeByte ? kGrewValue : kGrewTone;
            palette[2] = wholeByte ? kShrankValue : kShrankTone;
        } else {
            std::copy(std::begin(kScoreColour), std::end(kScoreColour), palette.begin());
        }
    } else if (kind == PlaneKind::Planes && index == 44) {
        format.bitsPerPixel = 24;
    } else if (kind == PlaneKind::Planes && single && wholeByte) {
        format.bitsPerPixel = 8;
        for (int value = 0; value < 256; ++value) {
            const int red = entry.channel == kRed || entry.channel == kAlpha ? value : 0;
            const int green = entry.channel == kGreen || entry.channel == kAlpha ? value : 0;
            const int blue = entry.channel == kBlue || entry.channel == kAlpha ? value : 0;
            palette[value] = Colour(red, green, blue);
        }
    } else if (single) {
        // A lit bit, or (comparison) a changed value.
        format.bitsPerPixel = 1;
        palette[1] = ToneOf(entry.channel);
    } else {
        // One bit a colour channel: red, green and blue each full or off.
        format.bitsPerPixel = 4;
        for (int code = 0; code < 8; ++code) {
            palette[code] = Colour(code & 4 ? 255 : 0, code & 2 ? 255 : 0, code & 1 ? 255 : 0);
        }
    }
    return format;
}

std::int64_t ComputePicture(PlaneKind kind, int index, const PixelView& first,
                            const PixelView& second, const PackedView& out) {
    return ComputePictures(kind, std::span<const int>(&index, 1), first, second,
                           std::span<const PackedView>(&out, 1))
        .front();
}

std::vector<std::int64_t> ComputePictures(PlaneKind kind, std::span<const int> indices,
                                          const PixelView& first, const PixelView& second,
                                          std::span<const PackedView> outs) {
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
    // The row an image without colours reads: (0, 0, 0, 0) at every pixel.
    const std::vector<std::uint8_t> zeros(static_cast<std::size_t>(width) * 4, 0);
    // Each piece of rows computes every wanted picture while its image rows are still in the
    // cache; the pieces are fixed and the counts whole numbers, so the totals never depend on
    // how many threads ran.
    const auto pieces = MapRowPieces<std::vector<std::int64_t>>(
        height, RowsPerPiece(static_cast<std::size_t>(width) * 4), [&](int firstRow, int endRow) {
            std::vector<std::uint8_t> codes(static_cast<std::size_t>(width));
            const RowRange range{firstRow, endRow, codes.data()};
            std::vector<std::int64_t> counted(wanted.size(), 0);
            for (std::size_t w = 0; w < wanted.size(); ++w) {
                const std::size_t i = wanted[w];
                counted[w] =
                    ComputeRows(kind, indices[i], first, second, outs[i], zeros.data(), range);
            }
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
    if (picture.bitsPerPixel == 24) {
        for (int y = 0; y < picture.height; ++y) {
            const std::uint8_t* row = picture.row(y);
            for (int x = 0; x < picture.width; ++x) {
                lit += (row[3 * x] | row[3 * x + 1] | row[3 * x + 2]) != 0;
            }
        }
        return lit;
    }
    std::vector<std::uint8_t> codes(static_cast<std::size_t>(std::max(picture.width, 0)));
    for (int y = 0; y < picture.height; ++y) {
        UnpackRow(picture.row(y), picture.width, picture.bitsPerPixel, codes.data());
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
        if (picture.bitsPerPixel == 24) {
            for (int x = 0; x < width; ++x) {
                std::uint8_t* pixel = target + out.bytesPerPixel * x;
                pixel[kBlue] = source[3 * x + kBlue];
                pixel[kGreen] = source[3 * x + kGreen];
                pixel[kRed] = source[3 * x + kRed];
                if (out.bytesPerPixel == 4) {
                    pixel[kAlpha] = 0;
                }
            }
            continue;
        }
        UnpackRow(source, picture.width, picture.bitsPerPixel, codes.data());
        for (int x = 0; x < width; ++x) {
            const Bgr colour = format.palette[codes[x]];
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
