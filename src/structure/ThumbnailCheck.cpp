// Whether an EXIF thumbnail shows the picture it belongs to: both decoded small (the main image
// by libjpeg's DCT scaling, which skips most of the inverse transform), the thumbnail's letterbox
// cropped to the main image's shape, and their 8 x 8 grey means compared.
#include "image/Bitmap.h"
#include "structure/Walk.h"

#include <FreeImage.h>

#include <array>
#include <cmath>

namespace vantrel::structure::detail {

namespace {

constexpr int kGrid = 8;

BitmapHandle DecodeJpeg(std::span<const std::uint8_t> bytes, int atLeast) {
    FIMEMORY* memory =
        FreeImage_OpenMemory(const_cast<BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
    if (!memory) {
        return {};
    }
    // The high word asks the JPEG reader for a picture scaled down to about that size.
    BitmapHandle bitmap(FreeImage_LoadFromMemory(FIF_JPEG, memory, atLeast << 16));
    FreeImage_CloseMemory(memory);
    return bitmap;
}

using Grid = std::array<double, kGrid * kGrid>;

// `late` puts an odd bar's extra row or column before the picture rather than after it.
std::optional<Grid> GreyGrid(FIBITMAP* bitmap, double aspect, bool late) {
    if (!bitmap) {
        return std::nullopt;
    }
    int width = int(FreeImage_GetWidth(bitmap)), height = int(FreeImage_GetHeight(bitmap));
    // A thumbnail of a fixed size (160 x 120) carries bars where the picture's shape differs.
    int left = 0, top = 0, right = width, bottom = height;
    if (aspect > 0) {
        if (double(width) / height > aspect) {
            const int inner = int(std::lrint(height * aspect));
            left = (width - inner + late) / 2;
            right = left + inner;
        } else {
            const int inner = int(std::lrint(width / aspect));
            top = (height - inner + late) / 2;
            bottom = top + inner;
        }
    }
    if (right - left < kGrid || bottom - top < kGrid) {
        return std::nullopt;
    }
    BitmapHandle cropped(FreeImage_Copy(bitmap, left, top, right, bottom));
    BitmapHandle grey(cropped ? FreeImage_ConvertToGreyscale(cropped.get()) : nullptr);
    BitmapHandle small(grey ? FreeImage_Rescale(grey.get(), kGrid, kGrid, FILTER_BOX) : nullptr);
    if (!small || FreeImage_GetBPP(small.get()) != 8) {
        return std::nullopt;
    }
    Grid grid{};
    for (int y = 0; y < kGrid; ++y) {
        const BYTE* row = FreeImage_GetScanLine(small.get(), y);
        for (int x = 0; x < kGrid; ++x) {
            grid[y * kGrid + x] = row[x];
        }
    }
    return grid;
}

// Flat pictures have no shape to correlate: their brightness must agree instead. A thumbnail
// of the same picture correlates above 0.9 even after an editor's recompression.
bool Similar(const Grid& a, const Grid& b) {
    constexpr double n = kGrid * kGrid;
    double meanA = 0, meanB = 0;
    for (int i = 0; i < kGrid * kGrid; ++i) {
        meanA += a[i] / n;
        meanB += b[i] / n;
    }
    double cross = 0, varA = 0, varB = 0, distance = 0;
    for (int i = 0; i < kGrid * kGrid; ++i) {
        cross += (a[i] - meanA) * (b[i] - meanB);
        varA += (a[i] - meanA) * (a[i] - meanA);
        varB += (b[i] - meanB) * (b[i] - meanB);
        distance += std::abs(a[i] - b[i]) / n;
    }
    const bool flat = varA < 64 * n || varB < 64 * n;
    const double correlation = flat ? 1.0 : cross / std::sqrt(varA * varB);
    return correlation >= 0.5 || distance <= 12;
}

} // namespace

std::optional<bool> ThumbnailMatches(std::span<const std::uint8_t> image,
                                     std::span<const std::uint8_t> thumbnail) {
    const BitmapHandle small = DecodeJpeg(thumbnail, 0);
    if (!small) {
        return std::nullopt;
    }
    const BitmapHandle main =
        DecodeJpeg(image, int(std::max(FreeImage_GetWidth(small.get()), 64u)));
    if (!main) {
        return std::nullopt;
    }
    const double aspect = double(FreeImage_GetWidth(main.get())) / FreeImage_GetHeight(main.get());
    const auto a = GreyGrid(main.get(), 0, false);
    if (!a) {
        return std::nullopt;
    }
    bool compared = false;
    for (const bool late : {false, true}) {
        if (const auto b = GreyGrid(small.get(), aspect, late)) {
            compared = true;
            if (Similar(*a, *b)) {
                return true;
            }
        }
    }
    return compared ? std::optional<bool>(false) : std::nullopt;
}

} // namespace vantrel::structure::detail
