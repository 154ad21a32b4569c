#include "onewindow/Psnr.h"

#include "image/ColorModel.h"
#include "image/Parallel.h"
#include "onewindow/PixelWords.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace vantrel {
namespace {

using onewindow::Word;

// Squares of byte differences (at most 256² with the -1 of a missing pixel) add up in 32 bits
// for this many pixels before the sums move into 64 bits.
constexpr int kPixelsPerChunk = 16384;

struct RowSums {
    std::uint32_t red = 0;
    std::uint32_t green = 0;
    std::uint32_t blue = 0;
};

int Square(int value) {
    return value * value;
}

void AddPairs(const Word* a, const Word* b, int count, RowSums& sums) {
    for (int x = 0; x < count; ++x) {
        const int red = static_cast<int>(a[x] >> 16 & 0xFF) - static_cast<int>(b[x] >> 16 & 0xFF);
        const int green = static_cast<int>(a[x] >> 8 & 0xFF) - static_cast<int>(b[x] >> 8 & 0xFF);
        const int blue = static_cast<int>(a[x] & 0xFF) - static_cast<int>(b[x] & 0xFF);
        sums.red += static_cast<std::uint32_t>(Square(red));
        sums.green += static_cast<std::uint32_t>(Square(green));
        sums.blue += static_cast<std::uint32_t>(Square(blue));
    }
}

// Against the missing test pixel: red -1, green 0, blue 0.
void AddUnpaired(const Word* a, int count, RowSums& sums) {
    for (int x = 0; x < count; ++x) {
        sums.red += static_cast<std::uint32_t>(Square(static_cast<int>(a[x] >> 16 & 0xFF) + 1));
        sums.green += static_cast<std::uint32_t>(Square(static_cast<int>(a[x] >> 8 & 0xFF)));
        sums.blue += static_cast<std::uint32_t>(Square(static_cast<int>(a[x] & 0xFF)));
    }
}

void Absorb(RowSums& chunk, SquaredErrors& errors) {
    errors.red += chunk.red;
    errors.green += chunk.green;
    errors.blue += chunk.blue;
    chunk = {};
}

} // namespace

SquaredErrors SumSquaredErrors(const PixelView& original, const PixelView& test) {
    SquaredErrors errors;
    if (original.empty()) {
        return errors;
    }
    errors.pixels = static_cast<std::int64_t>(original.width) * original.height;
    const int paired = test.empty() ? 0 : std::min(original.width, test.width);
    // Rows in fixed pieces on every core; the sums are whole numbers, added in piece order.
    const std::vector<SquaredErrors> pieces = MapRowPieces<SquaredErrors>(
        original.height, RowsPerPiece(static_cast<std::size_t>(original.width) * 8),
        [&](int firstRow, int endRow) {
            SquaredErrors piece;
            onewindow::WordRows originalRows(original);
            onewindow::WordRows testRows(test);
            for (int y = firstRow; y < endRow; ++y) {
                const Word* a = originalRows.row(y);
                const bool testHasRow = y < test.height && paired > 0;
                const Word* b = testHasRow ? testRows.row(y) : nullptr;
                const int rowPaired = testHasRow ? paired : 0;
                for (int start = 0; start < original.width; start += kPixelsPerChunk) {
                    const int end = std::min(start + kPixelsPerChunk, original.width);
                    RowSums chunk;
                    const int pairedEnd = std::clamp(rowPaired, start, end);
                    AddPairs(a + start, b ? b + start : nullptr, pairedEnd - start, chunk);
                    AddUnpaired(a + pairedEnd, end - pairedEnd, chunk);
                    Absorb(chunk, piece);
                }
            }
            return piece;
        });
    for (const SquaredErrors& piece : pieces) {
        errors.red += piece.red;
        errors.green += piece.green;
        errors.blue += piece.blue;
    }
    return errors;
}

double ChannelPsnr(std::int64_t sum, std::int64_t pixels) {
    // Without error (which includes an empty original picture) there is no noise to measure.
    if (sum <= 0 || pixels <= 0) {
        return 100;
    }
    const double mse = static_cast<double>(sum) / static_cast<double>(pixels);
    return 20 * Log10(255 / std::sqrt(mse));
}

std::string FormatPsnrValue(double value) {
    // Zero-padded to five characters: two digits, the point, two decimals.
    char digits[64];
    std::snprintf(digits, sizeof digits, "%05.2f", std::abs(value));
    const bool negative = value < 0 && std::strcmp(digits, "00.00") != 0;
    char text[66];
    std::snprintf(text, sizeof text, "%s%s", negative ? "-" : "", digits);
    return text;
}

std::string CalcPSNR(const PixelView& original, const PixelView& test) {
    const SquaredErrors errors = SumSquaredErrors(original, test);
    return "R:" + FormatPsnrValue(ChannelPsnr(errors.red, errors.pixels)) +
           " G:" + FormatPsnrValue(ChannelPsnr(errors.green, errors.pixels)) +
           " B:" + FormatPsnrValue(ChannelPsnr(errors.blue, errors.pixels));
}

} // namespace vantrel
