#pragma once
// The 45 analysis pictures of the bit-plane, comparison and direction windows: which channel and
// bit each picture index examines, where it sits in the grid, in which order a run computes
// them, and the kernels that compute one picture in one pass over the rows of the source images.
//
// A picture is computed into packed codes (1, 4 or 8 bits a pixel, or 24-bit colour for the
// plain colour image) with a palette that turns each code into its colour. Code 0 is black in
// every palette, so a picture not yet computed (all zero) shows black.
#include "image/PixelView.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

inline constexpr int kPictureCount = 45;
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

// The picture index table: 0-31 one bit of red, green, blue, alpha; 32-39 one bit of the three
// colours together; 40-43 the whole byte of red, green, blue, alpha; 44 all three colours.
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

// Rows of a picture's packed codes, top row first; codes fill each byte from its high bits, as
// FreeImage's 1- and 4-bit bitmaps do.
struct PackedView {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 1;
    std::ptrdiff_t stride = 0;
    std::uint8_t* top = nullptr;
    std::uint8_t* row(int y) const { return top + static_cast<std::ptrdiff_t>(y) * stride; }
};

// Computes picture `index` of a window of the given kind into `out` (W x H of the first image,
// all of it written) and returns its change count (0 for the bit-plane window).
//
// `first` and `second` are the images as read (24- or 32-bit rows, top first; a 24-bit pixel's
// alpha reads 0). An empty view stands for an image that yields no colours: every pixel reads
// (0, 0, 0, 0). When the second image has another size, only the area both cover is compared,
// lined up at the bitmaps' first row and column (the bottom-left corner); the rest of the
// picture is black and counts nothing.
std::int64_t ComputePicture(PlaneKind kind, int index, const PixelView& first,
                            const PixelView& second, const PackedView& out);

// Receives the rows of a picture as a pass writes them, while they are still in the cache.
class PictureRowSink {
public:
    // Row y, counted from the top, in the picture's packed form; null for a row of code 0 alone
    // that the pass left unwritten (see PassRows::zeroed).
    virtual void row(int y, const std::uint8_t* packed) = 0;

protected:
    ~PictureRowSink() = default;
};

// What a pass does besides the pictures: `sinks[i]`, when there and not null, receives each row
// of `outs[i]` as it is written; the rows run in pieces ending at `pieceEnds` (counted from the
// top, ascending, the last the height), or in pieces of the pass's own choosing when empty, each
// piece from its last row to its first.
struct PassRows {
    std::span<PictureRowSink* const> sinks;
    std::span<const int> pieceEnds;
    // The pictures' memory is all zero (fresh): rows of code 0 alone are not written, so a
    // picture with nothing to show (a bit no pixel changed) never touches its memory.
    bool zeroed = false;
};

// Several pictures of one window at once, `outs[i]` for `indices[i]` (each as ComputePicture
// has it), in one pass over the rows of the images: each row is read from memory once for all
// of them. Returns the change counts in the same order.
std::vector<std::int64_t> ComputePictures(PlaneKind kind, std::span<const int> indices,
                                          const PixelView& first, const PixelView& second,
                                          std::span<const PackedView> outs,
                                          const PassRows& rows = {});

// How many pictures a window computes in one pass: all of them, so that the images are read
// from memory once. A whole pass on 24 megapixels takes a fifth of a second, less than the
// first eight pictures alone once took.
inline constexpr int kPicturesPerPass = kPictureCount;

// The number of pixels of a packed picture that are not black.
std::int64_t LitPixels(const PackedView& picture);

// Writes the colours of a packed picture into 32-bit rows (blue, green, red, alpha 0), as the
// analysis bitmap the viewer receives.
void ExpandPicture(const PackedView& picture, const PictureFormat& format,
                   const MutablePixelView& out);

} // namespace vantrel
