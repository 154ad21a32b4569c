#pragma once
// Images and directory trees built in code for the search tests.
#include "image/Bitmap.h"

#include <FreeImage.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

namespace vantrel::testing {

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
};

// A 24- or 32-bit bitmap; colourOf gets display coordinates (row 0 at the top). 32-bit pixels
// get the alpha given.
inline BitmapHandle MakeBitmap(int width, int height, int bitsPerPixel,
                               const std::function<Rgb(int x, int y)>& colourOf,
                               std::uint8_t alpha = 255) {
    BitmapHandle bitmap(FreeImage_Allocate(width, height, bitsPerPixel));
    const MutablePixelView view = MutableViewOfBitmap(bitmap.get());
    for (int y = 0; y < height; ++y) {
        std::uint8_t* pixel = view.row(y);
        for (int x = 0; x < width; ++x, pixel += view.bytesPerPixel) {
            const Rgb colour = colourOf(x, y);
            pixel[kBlue] = colour.blue;
            pixel[kGreen] = colour.green;
            pixel[kRed] = colour.red;
            if (view.bytesPerPixel == 4) {
                pixel[kAlpha] = alpha;
            }
        }
    }
    return bitmap;
}

// An 8-bit palette bitmap: indices row by row from the top.
inline BitmapHandle MakePaletteBitmap(int width, int height, const std::vector<Rgb>& palette,
                                      const std::vector<std::uint8_t>& indices) {
    BitmapHandle bitmap(FreeImage_Allocate(width, height, 8));
    RGBQUAD* table = FreeImage_GetPalette(bitmap.get());
    for (std::size_t i = 0; i < 256; ++i) {
        const Rgb colour = i < palette.size() ? palette[i] : Rgb{};
        table[i] = RGBQUAD{colour.blue, colour.green, colour.red, 0};
    }
    for (int y = 0; y < height; ++y) {
        BYTE* row = FreeImage_GetScanLine(bitmap.get(), height - 1 - y);
        for (int x = 0; x < width; ++x) {
            row[x] = indices[static_cast<std::size_t>(y * width + x)];
        }
    }
    return bitmap;
}

// A smooth, varied picture: different seeds give different MSB planes.
inline Rgb Pattern(int x, int y, unsigned seed) {
    const unsigned mixed = (static_cast<unsigned>(x) * 73856093u) ^
                           (static_cast<unsigned>(y) * 19349663u) ^ (seed * 83492791u);
    return {static_cast<std::uint8_t>(mixed), static_cast<std::uint8_t>(mixed >> 8),
            static_cast<std::uint8_t>(mixed >> 16)};
}

// The colour with `bits` flipped in each channel.
inline Rgb Flip(Rgb colour, std::uint8_t bits) {
    return {static_cast<std::uint8_t>(colour.red ^ bits),
            static_cast<std::uint8_t>(colour.green ^ bits),
            static_cast<std::uint8_t>(colour.blue ^ bits)};
}

// Saves in the format of the file name's extension (png, bmp, tif, gif, jpg); throws on failure.
inline void SaveImage(const FIBITMAP* bitmap, const std::filesystem::path& path) {
    const std::string name = path.string();
    const FREE_IMAGE_FORMAT format = FreeImage_GetFIFFromFilename(name.c_str());
    if (format == FIF_UNKNOWN ||
        !FreeImage_Save(format, const_cast<FIBITMAP*>(bitmap), name.c_str(), 0)) {
        throw std::runtime_error("cannot save " + name);
    }
}

// A fresh directory under the system's temporary directory, removed with everything in it.
class TempTree {
public:
    TempTree() {
        static std::atomic<int> counter{0};
        root_ = std::filesystem::temp_directory_path() /
                ("vantrel-search-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
    }
    ~TempTree() {
        std::error_code ignored;
        // Directories a test made unreadable must be opened again before they can be removed.
        for (auto it = std::filesystem::recursive_directory_iterator(
                 root_, std::filesystem::directory_options::skip_permission_denied, ignored);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
            if (!it->is_symlink(ignored) && it->is_directory(ignored)) {
                std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, ignored);
            }
        }
        std::filesystem::remove_all(root_, ignored);
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::filesystem::path& root() const { return root_; }
    std::string path(const std::string& relative = {}) const {
        return relative.empty() ? root_.string() : (root_ / relative).string();
    }
    // Creates the directory (and its parents).
    std::string directory(const std::string& relative) const {
        std::filesystem::create_directories(root_ / relative);
        return path(relative);
    }
    void write(const std::string& relative, const std::string& bytes) const {
        std::ofstream(root_ / relative, std::ios::binary) << bytes;
    }

private:
    std::filesystem::path root_;
};

} // namespace vantrel::testing
