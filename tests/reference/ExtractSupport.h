#pragma once
// Images made in code for the extraction tests, and the inverse of a layout: a writer that hides
// bytes the way the layout reads them.
#include "extract/BitLayout.h"
#include "extract/BitStream.h"
#include "image/Bitmap.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel::extract::testing {

// A 24- or 32-bit bitmap whose samples follow a smooth, noisy field, like a photograph's.
BitmapHandle NaturalBitmap(int width, int height, int bitsPerPixel, unsigned seed);

// Hides `bytes` in the bitmap's samples under `layout`: the next bit goes where the reader
// takes it from. False when the bitmap is too small.
bool Embed(FIBITMAP* bitmap, const Layout& layout, const std::vector<std::uint8_t>& bytes);

Layout LayoutOf(const char* text);

// Payloads whose checks are known: a PNG, a one-member ZIP, a deflate stream (windowBits as for
// zlib's deflateInit2: 15 zlib, 31 gzip, -15 raw), prose, and a length-prefixed random block.
using Bytes = std::vector<std::uint8_t>;
extern const std::string kProse;
Bytes Png();
Bytes Zip();
Bytes Deflated(const Bytes& input, int windowBits);
Bytes LengthPrefixed();
std::vector<std::uint8_t> BytesOf(const std::string& text);

} // namespace vantrel::extract::testing
