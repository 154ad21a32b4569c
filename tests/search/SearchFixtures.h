#pragma once
// Images and directory trees built in code for the search tests.
#include "image/Bitmap.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace vantrel::testing {

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
};

// A 24- or 32-bit bitmap; colourOf gets display coordinates (row 0 at the top). 32-bit pixels
// get the alpha given.
BitmapHandle MakeBitmap(int width, int height, int bitsPerPixel,
                        const std::function<Rgb(int x, int y)>& colourOf, std::uint8_t alpha = 255);

// An 8-bit palette bitmap: indices row by row from the top.
BitmapHandle MakePaletteBitmap(int width, int height, const std::vector<Rgb>& palette,
                               const std::vector<std::uint8_t>& indices);

// A smooth, varied picture: different seeds give different MSB planes.
Rgb Pattern(int x, int y, unsigned seed);

// Saves in the format of the file name's extension (png, bmp, tif, gif, jpg); throws on failure.
void SaveImage(const FIBITMAP* bitmap, const std::filesystem::path& path);

// A fresh directory under the system's temporary directory, removed with everything in it.
class TempTree {
public:
    TempTree();
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::filesystem::path& root() const { return root_; }
    std::string path(const std::string& relative = {}) const;
    // Creates the directory (and its parents).
    std::string directory(const std::string& relative) const;
    void write(const std::string& relative, const std::string& bytes) const;

private:
    std::filesystem::path root_;
};

} // namespace vantrel::testing
