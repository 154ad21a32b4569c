#pragma once
// The table of the 45 analysis pictures of the bit-plane, comparison and direction windows: which
// channel and bit each picture index examines, where it sits in the grid, in which order a run
// computes them, how each is kept (its format and palette), its count label, and which pictures
// are made of others' channels. The kernels that compute them are in PlaneKernels.h.
#include "image/PixelView.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// The picture index table: 0-31 one bit of red, green, blue, alpha (eight a channel); 32-39 one
// bit of the three colours together; 40-43 the whole byte of red, green, blue, alpha; 44 all
// three colours.
inline constexpr int kBitsPerChannel = 8;
inline constexpr int kSingleChannels = 4; // red, green, blue, alpha
inline constexpr int kFirstColourBitPicture = kSingleChannels * kBitsPerChannel;
inline constexpr int kFirstWholeBytePicture = kFirstColourBitPicture + kBitsPerChannel;
inline constexpr int kColourPicture = kFirstWholeBytePicture + kSingleChannels;
inline constexpr int kPictureCount = kColourPicture + 1;
inline constexpr int kGridRows = 5;
inline constexpr int kGridColumns = 9;

// Which window a picture belongs to: the same index means the same channel and bit in all three.
enum class PlaneKind { Planes, Comparison, Direction };

// The channel(s) a picture examines: a byte offset of a pixel (kBlue ... kAlpha) or all three
// colour channels together.
inline constexpr int kAllColours = -1;
// The "bit" of a picture that examines whole byte values.
inline constexpr int kAllBits = -1;

// Grid rows, top to bottom.
enum GridRow { kRowAllColours = 0, kRowRed, kRowGreen, kRowBlue, kRowAlpha };

struct PictureIndexEntry {
    int channel = kAllColours; // kRed, kGreen, kBlue, kAlpha or kAllColours
    int bit = kAllBits;        // 0-7, or kAllBits
    int gridRow = 0;           // GridRow
    int gridColumn = 0;        // 0 = all bits, 1 = bit 7, ..., 8 = bit 0
    friend bool operator==(const PictureIndexEntry&, const PictureIndexEntry&) = default;
};

// The channel and bit of picture `index`, and its grid cell (see the table above).
PictureIndexEntry PictureIndex(int index);

// The index shown in a grid cell (the inverse of PictureIndex's place).
int PictureAt(int gridRow, int gridColumn);

// The order of a run: the whole-byte pictures first, then the colour bit planes, then the
// single-channel bit planes.
const std::array<int, kPictureCount>& PictureOrder();

// True for the pictures that count one change per colour channel (32-39 and 44); their share is
// taken of three samples a pixel.
bool CountsSamples(int index);

// What a share of changes is taken of: the pixel total W*H, or the sample total 3*W*H.
std::int64_t ChangeTotal(int index, int width, int height);

// The count label: "-" with no change, otherwise the count in groups of three digits joined by
// the thousands separator, "-", and the share as a whole percent (halves to even), "1,234-12%".
std::string CountLabel(std::int64_t changes, std::int64_t total,
                       std::string_view thousandsSeparator = ",");

struct Bgr {
    std::uint8_t blue = 0;
    std::uint8_t green = 0;
    std::uint8_t red = 0;
    friend bool operator==(const Bgr&, const Bgr&) = default;
};

constexpr Bgr Colour(int red, int green, int blue) {
    return {static_cast<std::uint8_t>(blue), static_cast<std::uint8_t>(green),
            static_cast<std::uint8_t>(red)};
}

// How a picture is kept: packed codes of `bitsPerPixel` bits (1, 4 or 8) with their colours, or
// (bitsPerPixel 24) the colours themselves.
struct PictureFormat {
    int bitsPerPixel = 1;
    std::array<Bgr, 256> palette{};
    // The codes a picture can hold are 0 to codes - 1 (every code the bits allow when 0).
    int codes = 0;
};

PictureFormat FormatOf(PlaneKind kind, int index);

// The pictures whose blue, green and red are each the same channel of another picture, the same
// value carried by the same pixels (a colour bit plane and the bit planes of its three channels;
// the colour image and its three channels): any box average of such a picture is those of its
// sources put together. The sources for blue, green and red, or nothing.
std::optional<std::array<int, 3>> ChannelSources(PlaneKind kind, int index);

} // namespace vantrel
