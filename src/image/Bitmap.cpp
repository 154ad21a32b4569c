#include "image/Bitmap.h"

#include <FreeImage.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

namespace vantrel {

namespace {

constexpr std::size_t kLargePage = std::size_t{2} << 20;

// Smaller bitmaps come from FreeImage's own allocator: a mapping of their own would cost more
// than it saves.
constexpr std::size_t kOwnMemoryFrom = 4 * kLargePage;

} // namespace

PixelMemory::PixelMemory(std::size_t bytes) {
    if (bytes == 0) {
        return;
    }
    void* mapped = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mapped == MAP_FAILED) {
        return;
    }
    if (bytes >= kLargePage) {
        madvise(mapped, bytes, MADV_HUGEPAGE); // a hint: ordinary pages serve as well
    }
    data_ = mapped;
    size_ = bytes;
}

PixelMemory::~PixelMemory() {
    if (data_ != nullptr) {
        munmap(data_, size_);
    }
}

PixelMemory::PixelMemory(PixelMemory&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

PixelMemory& PixelMemory::operator=(PixelMemory&& other) noexcept {
    if (this != &other) {
        PixelMemory released(std::move(*this));
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

void BitmapDeleter::operator()(FIBITMAP* bitmap) noexcept {
    if (bitmap != nullptr) {
        FreeImage_Unload(bitmap);
    }
    // FreeImage never frees rows it was handed: they go after the header, and the handle is
    // left without memory for whatever bitmap it holds next.
    memory = PixelMemory();
}

BitmapHandle CloneBitmap(const FIBITMAP* bitmap) {
    if (bitmap == nullptr) {
        return nullptr;
    }
    return BitmapHandle(FreeImage_Clone(const_cast<FIBITMAP*>(bitmap)));
}

int BitmapWidth(const FIBITMAP* bitmap) {
    return bitmap ? static_cast<int>(FreeImage_GetWidth(const_cast<FIBITMAP*>(bitmap))) : 0;
}

int BitmapHeight(const FIBITMAP* bitmap) {
    return bitmap ? static_cast<int>(FreeImage_GetHeight(const_cast<FIBITMAP*>(bitmap))) : 0;
}

int BitmapBitsPerPixel(const FIBITMAP* bitmap) {
    return bitmap ? static_cast<int>(FreeImage_GetBPP(const_cast<FIBITMAP*>(bitmap))) : 0;
}

namespace {

// Rows of whole 32-bit words, as FreeImage lays out its own bitmaps; 0 for a kind of bitmap
// that is not made here or a non-positive side.
std::uint64_t PitchOf(int width, int height, int bitsPerPixel) {
    switch (bitsPerPixel) {
    case 1:
    case 4:
    case 8:
    case 24:
    case 32:
        break;
    default:
        return 0;
    }
    return width <= 0 || height <= 0 ? 0 : (std::uint64_t(width) * bitsPerPixel + 31) / 32 * 4;
}

} // namespace

BitmapHandle AllocateZeroedBitmap(int width, int height, int bitsPerPixel) {
    const std::uint64_t pitch = PitchOf(width, height, bitsPerPixel);
    const std::uint64_t bytes = pitch * std::uint64_t(height);
    if (pitch == 0) {
        return nullptr;
    }
    if (bytes < kOwnMemoryFrom || pitch > std::uint64_t(std::numeric_limits<int>::max()) ||
        bytes > std::numeric_limits<std::size_t>::max()) {
        const bool colour = bitsPerPixel >= 24;
        return BitmapHandle(
            FreeImage_Allocate(width, height, bitsPerPixel, colour ? FI_RGBA_RED_MASK : 0,
                               colour ? FI_RGBA_GREEN_MASK : 0, colour ? FI_RGBA_BLUE_MASK : 0));
    }
    return BitmapOverMemory(width, height, bitsPerPixel,
                            PixelMemory(static_cast<std::size_t>(bytes)));
}

BitmapHandle BitmapOverMemory(int width, int height, int bitsPerPixel, PixelMemory memory) {
    const std::uint64_t pitch = PitchOf(width, height, bitsPerPixel);
    if (pitch == 0 || memory.data() == nullptr ||
        pitch > std::uint64_t(std::numeric_limits<int>::max()) ||
        memory.size() / pitch < std::uint64_t(height)) {
        return nullptr;
    }
    const bool colour = bitsPerPixel >= 24;
    const unsigned red = colour ? FI_RGBA_RED_MASK : 0;
    const unsigned green = colour ? FI_RGBA_GREEN_MASK : 0;
    const unsigned blue = colour ? FI_RGBA_BLUE_MASK : 0;
    FIBITMAP* bitmap = FreeImage_ConvertFromRawBitsEx(
        FALSE, memory.data(), FIT_BITMAP, width, height, static_cast<int>(pitch),
        static_cast<unsigned>(bitsPerPixel), red, green, blue, FALSE);
    if (bitmap == nullptr) {
        return nullptr;
    }
    if (bitsPerPixel <= 8) {
        // The header comes with a palette of FreeImage's choosing; callers expect zeros.
        RGBQUAD* palette = FreeImage_GetPalette(bitmap);
        std::fill_n(reinterpret_cast<std::uint8_t*>(palette),
                    FreeImage_GetColorsUsed(bitmap) * sizeof(RGBQUAD), std::uint8_t{0});
    }
    return BitmapHandle(bitmap, BitmapDeleter{std::move(memory)});
}

MutablePixelView MutableViewOfBitmap(FIBITMAP* bitmap) {
    if (bitmap == nullptr || FreeImage_GetImageType(bitmap) != FIT_BITMAP ||
        !FreeImage_HasPixels(bitmap)) {
        return {};
    }
    const unsigned bpp = FreeImage_GetBPP(bitmap);
    if (bpp != 24 && bpp != 32) {
        return {};
    }
    const int width = static_cast<int>(FreeImage_GetWidth(bitmap));
    const int height = static_cast<int>(FreeImage_GetHeight(bitmap));
    if (width <= 0 || height <= 0) {
        return {};
    }
    const auto pitch = static_cast<std::ptrdiff_t>(FreeImage_GetPitch(bitmap));
    // FreeImage stores the bottom row first: the top row is the last scanline.
    return {width, height, static_cast<int>(bpp / 8), -pitch,
            FreeImage_GetScanLine(bitmap, height - 1)};
}

PixelView ViewOfBitmap(const FIBITMAP* bitmap) {
    return MutableViewOfBitmap(const_cast<FIBITMAP*>(bitmap));
}

} // namespace vantrel
