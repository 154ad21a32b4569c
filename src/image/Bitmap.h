#pragma once
// Ownership of FreeImage bitmaps and of the pixel memory under them. Every bitmap lives in a
// BitmapHandle; its deleter is the only place that calls FreeImage_Unload, and it also frees
// pixel rows the bitmap was built over, so a bitmap and its memory always go together.
// FIBITMAP is declared here, not included, so that window files never see FreeImage.h.
#include "image/PixelView.h"

#include <cstddef>
#include <memory>

struct FIBITMAP;

namespace vantrel {

struct Size {
    int width = 0;
    int height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

// Zero-filled pixel memory straight from the system: pages are only touched when written, and
// large blocks use 2 MB pages where the system allows, so no clearing pass runs and filling a
// fresh 36 MB bitmap does not cost more in page faults than in copying.
class PixelMemory {
public:
    PixelMemory() = default;
    explicit PixelMemory(std::size_t bytes);
    ~PixelMemory();
    PixelMemory(PixelMemory&& other) noexcept;
    PixelMemory& operator=(PixelMemory&& other) noexcept;
    PixelMemory(const PixelMemory&) = delete;
    PixelMemory& operator=(const PixelMemory&) = delete;

    std::uint8_t* data() const { return static_cast<std::uint8_t*>(data_); }
    std::size_t size() const { return size_; }

private:
    void* data_ = nullptr;
    std::size_t size_ = 0;
};

struct BitmapDeleter {
    PixelMemory memory; // the rows of a bitmap made over memory of its own; empty otherwise
    void operator()(FIBITMAP* bitmap) noexcept;
};

using BitmapHandle = std::unique_ptr<FIBITMAP, BitmapDeleter>;

// A copy of the bitmap (pixels and metadata), or null for null.
BitmapHandle CloneBitmap(const FIBITMAP* bitmap);

int BitmapWidth(const FIBITMAP* bitmap);  // 0 for null
int BitmapHeight(const FIBITMAP* bitmap); // 0 for null
int BitmapBitsPerPixel(const FIBITMAP* bitmap);

// A new bitmap of 1, 4, 8, 24 or 32 bits a pixel, all bytes zero (a palette of zeros), over
// PixelMemory when it is large. Null for a non-positive side or when memory is refused.
BitmapHandle AllocateZeroedBitmap(int width, int height, int bitsPerPixel);
// The same kind of bitmap over rows already filled: `memory` (at least height rows of whole
// 32-bit words) becomes the bitmap's, bottom row first. Null when it is too small.
BitmapHandle BitmapOverMemory(int width, int height, int bitsPerPixel, PixelMemory memory);

// The rows of a standard 24- or 32-bit bitmap, top (display) row first. Empty for null or for
// any other kind of bitmap.
PixelView ViewOfBitmap(const FIBITMAP* bitmap);
MutablePixelView MutableViewOfBitmap(FIBITMAP* bitmap);

// The size a thumbnail with long side L takes: the derived side rounded to nearest, ties to even.
Size FitLongSideSize(int width, int height, int longSide);

// A new bitmap whose longer side is L pixels, made with the box filter; null for null or when
// the rescale is refused (a side that rounds to 0).
BitmapHandle FitLongSide(const FIBITMAP* bitmap, int longSide);

// Converts a decoded bitmap of any kind to the standard 24/32-bit form, keeping its metadata.
// 24- and 32-bit bitmaps come back unchanged. Null when FreeImage cannot convert it.
BitmapHandle ToStandardBitmap(BitmapHandle bitmap);

// Writes the bitmap's colours, top row first, as 4-byte blue, green, red, 0xFF pixels into the
// rows at `destination` (width x height pixels, `stride` bytes apart). Palette bitmaps are read
// through their colour table. False when the bitmap is null or of a kind that has no colours.
bool CopyBitmapToBgrx(const FIBITMAP* bitmap, std::uint8_t* destination, std::ptrdiff_t stride);

} // namespace vantrel
