#pragma once
// Ownership of FreeImage bitmaps. Every bitmap lives in a BitmapHandle; the deleter is the only
// place that calls FreeImage_Unload. FIBITMAP is declared here, not included, so that window
// files never see FreeImage.h.
#include "image/PixelView.h"

#include <memory>

struct FIBITMAP;

namespace vantrel {

struct BitmapDeleter {
    void operator()(FIBITMAP* bitmap) const noexcept;
};

using BitmapHandle = std::unique_ptr<FIBITMAP, BitmapDeleter>;

// A copy of the bitmap (pixels and metadata), or null for null.
BitmapHandle CloneBitmap(const FIBITMAP* bitmap);

int BitmapWidth(const FIBITMAP* bitmap);  // 0 for null
int BitmapHeight(const FIBITMAP* bitmap); // 0 for null
int BitmapBitsPerPixel(const FIBITMAP* bitmap);

// A new 32-bit bitmap, all bytes zero; null for a non-positive side or when memory is refused.
BitmapHandle AllocateBitmap32(int width, int height);

// A new 24- or 32-bit bitmap, all bytes zero, whose rows live in 2 MB pages when it is large:
// filling a fresh 36 MB bitmap through 4 KB pages costs more in page faults than in copying.
// Null for a non-positive side, another depth, or when memory is refused.
BitmapHandle AllocateBitmapOnLargePages(int width, int height, int bitsPerPixel);

// The rows of a standard 24- or 32-bit bitmap, top (display) row first. Empty for null or for
// any other kind of bitmap.
PixelView ViewOfBitmap(const FIBITMAP* bitmap);
MutablePixelView MutableViewOfBitmap(FIBITMAP* bitmap);

} // namespace vantrel
