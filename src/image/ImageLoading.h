#pragma once
// The open-image flow's core: which decoder a file name asks for, decoding, and the thumbnail
// rule. Paths are UTF-8 byte strings (the file system's own bytes on this platform).
#include "image/Bitmap.h"

#include <string>

namespace vantrel {

struct FormatChoice {
    int format = -1; // a FREE_IMAGE_FORMAT value
    int flags = 0;
    bool fromTable = false; // false when the name matched no row and the raw decoder is the guess
    friend bool operator==(const FormatChoice&, const FormatChoice&) = default;
};

struct Size {
    int width = 0;
    int height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

// The decoder and load flags chosen from the last four characters of the path, compared
// case-sensitively with the extension table.
FormatChoice ImageFormatFor(const std::string& path);

// The load flags the extension table gives a format (JPEG accurate, raw display, 0 otherwise).
int LoadFlagsFor(int format);

// Cuts the text at its first NUL, in place, and returns it.
std::string& TrimAtNul(std::string& text);

// Decodes the file. The table's decoder comes first; when the name matches no row, or that
// decoder fails, the format is identified from the file's content. Whatever was decoded comes
// back as a standard 24-bit bitmap, or 32-bit where the image has transparency, with its
// metadata. Null when nothing could decode it; `error`, when given, then holds a one-line
// reason naming the file.
BitmapHandle LoadImageFile(const std::string& path, std::string* error = nullptr);

// The same decoding inside this process, without any isolation.
BitmapHandle DecodeImageInProcess(const std::string& path, std::string* error = nullptr);

// The image size from the file's header alone, without decoding pixels where the format allows
// it (otherwise by decoding). Zero when the file cannot be read.
Size ReadImageSize(const std::string& path, std::string* error = nullptr);
Size ReadImageSizeInProcess(const std::string& path, std::string* error = nullptr);

// Converts a decoded bitmap of any kind to the standard 24/32-bit form, keeping its metadata.
// 24- and 32-bit bitmaps come back unchanged. Null when FreeImage cannot convert it.
BitmapHandle ToStandardBitmap(BitmapHandle bitmap);

// The size a thumbnail with long side L takes: the derived side rounded to nearest, ties to even.
Size FitLongSideSize(int width, int height, int longSide);

// A new bitmap whose longer side is L pixels, made with the box filter; null for null or when
// the rescale is refused (a side that rounds to 0).
BitmapHandle FitLongSide(const FIBITMAP* bitmap, int longSide);

// Writes the bitmap's colours, top row first, as 4-byte blue, green, red, 0xFF pixels into the
// rows at `destination` (width x height pixels, `stride` bytes apart). Palette bitmaps are read
// through their colour table. False when the bitmap is null or of a kind that has no colours.
bool CopyBitmapToBgrx(const FIBITMAP* bitmap, std::uint8_t* destination, std::ptrdiff_t stride);

struct LoadedImage {
    BitmapHandle bitmap;
    std::string path;
    int width = 0;
    int height = 0;

    // Takes the bitmap and reads its size (0 x 0 for null).
    void assign(BitmapHandle newBitmap, std::string newPath);
    void reset();
};

} // namespace vantrel
