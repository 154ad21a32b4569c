#include "image/Bitmap.h"

#include <FreeImage.h>
#include <sys/mman.h>

#include <atomic>
#include <cstdint>
#include <limits>
#include <mutex>
#include <unordered_map>

namespace vantrel {

namespace {

// Pixel memory that AllocateBitmapOnLargePages mapped itself: FreeImage does not free rows it
// was handed, so the deleter unmaps them after unloading the bitmap.
struct Mapping {
    void* start = nullptr;
    std::size_t bytes = 0;
};
std::mutex mappingsMutex;
std::atomic<int> mappingCount{0};

std::unordered_map<const FIBITMAP*, Mapping>& Mappings() {
    static auto* mappings = new std::unordered_map<const FIBITMAP*, Mapping>;
    return *mappings;
}

} // namespace

void BitmapDeleter::operator()(FIBITMAP* bitmap) const noexcept {
    if (bitmap == nullptr) {
        return;
    }
    Mapping mapping;
    if (mappingCount.load() > 0) {
        // Taken out before unloading, while no other bitmap can have this address.
        const std::lock_guard lock(mappingsMutex);
        if (const auto found = Mappings().find(bitmap); found != Mappings().end()) {
            mapping = found->second;
            Mappings().erase(found);
            --mappingCount;
        }
    }
    FreeImage_Unload(bitmap);
    if (mapping.start != nullptr) {
        munmap(mapping.start, mapping.bytes);
    }
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

BitmapHandle AllocateBitmap32(int width, int height) {
    if (width <= 0 || height <= 0) {
        return nullptr;
    }
    return BitmapHandle(FreeImage_Allocate(width, height, 32));
}

BitmapHandle AllocateBitmapOnLargePages(int width, int height, int bitsPerPixel) {
    if (width <= 0 || height <= 0 || (bitsPerPixel != 24 && bitsPerPixel != 32)) {
        return nullptr;
    }
    const std::uint64_t pitch = (std::uint64_t(width) * (bitsPerPixel / 8) + 3) / 4 * 4;
    const std::uint64_t bytes = pitch * std::uint64_t(height);
    constexpr std::uint64_t kLargePage = std::uint64_t{2} << 20;
    if (bytes < 4 * kLargePage || pitch > std::uint64_t(std::numeric_limits<int>::max())) {
        return BitmapHandle(FreeImage_Allocate(width, height, bitsPerPixel, FI_RGBA_RED_MASK,
                                               FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK));
    }
    const std::size_t mappedBytes = static_cast<std::size_t>(bytes + kLargePage);
    void* start = mmap(nullptr, mappedBytes, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (start == MAP_FAILED) {
        return nullptr;
    }
    auto* rows =
        reinterpret_cast<BYTE*>((reinterpret_cast<std::uintptr_t>(start) + kLargePage - 1) &
                                ~std::uintptr_t(kLargePage - 1));
    madvise(rows, static_cast<std::size_t>(bytes), MADV_HUGEPAGE);
    FIBITMAP* bitmap = FreeImage_ConvertFromRawBitsEx(
        FALSE, rows, FIT_BITMAP, width, height, static_cast<int>(pitch),
        static_cast<unsigned>(bitsPerPixel), FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK,
        FI_RGBA_BLUE_MASK, FALSE);
    if (bitmap == nullptr) {
        munmap(start, mappedBytes);
        return nullptr;
    }
    {
        const std::lock_guard lock(mappingsMutex);
        Mappings()[bitmap] = {start, mappedBytes};
        ++mappingCount;
    }
    return BitmapHandle(bitmap);
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
