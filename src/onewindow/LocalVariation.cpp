#include "onewindow/LocalVariation.h"

#include "image/Parallel.h"
#include "onewindow/PixelWords.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace vantrel {
namespace {

using onewindow::Word;

// For channel values 0 to 255 the deviation never exceeds 126.
constexpr int kDeviations = 128;

std::array<std::uint8_t, kDeviations> MakeGreyTable() {
    std::array<std::uint8_t, kDeviations> greys{};
    for (int d = 0; d < kDeviations; ++d) {
        const int q = d * d;
        const int t =
            q <= 0 ? 255
                   : static_cast<int>(std::lrint(20 * Log10(255 / std::sqrt(double(q))) * 2.5));
        greys[static_cast<std::size_t>(d)] = static_cast<std::uint8_t>(255 - t);
    }
    return greys;
}

const std::array<std::uint8_t, kDeviations>& GreyTable() {
    static const std::array<std::uint8_t, kDeviations> table = MakeGreyTable();
    return table;
}

// A sum of nine non-negative values divided by 9, rounded to nearest: an exact ninth never ends
// in one half, so adding 4 before the integer division rounds as the floating-point way does.
constexpr int NinthRounded(int sum) {
    return (sum + 4) / 9;
}

int ShiftOf(VariationChannel channel) {
    switch (channel) {
    case VariationChannel::Red:
        return 16;
    case VariationChannel::Green:
        return 8;
    case VariationChannel::Blue:
        break;
    }
    return 0;
}

} // namespace

int VariationGrey(int deviation) {
    return GreyTable()[static_cast<std::size_t>(std::clamp(deviation, 0, kDeviations - 1))];
}

BlockVariation VariationOfBlock(const std::array<int, 9>& values) {
    int sum = 0;
    for (const int value : values) {
        sum += value;
    }
    BlockVariation block;
    block.mean = static_cast<int>(std::lrint(sum / 9.0));
    int deviations = 0;
    for (const int value : values) {
        deviations += std::abs(value - block.mean);
    }
    block.deviation = static_cast<int>(std::lrint(deviations / 9.0));
    block.grey = VariationGrey(block.deviation);
    return block;
}

namespace {

// Rows [firstY, endY) of the map (each 1 <= y <= height - 2) from the channel values of rows
// firstY - 1 to endY; pieces of rows are independent, so they run on any thread.
void DrawVariationRows(const PixelView& test, int shift, const MutablePixelView& view, int firstY,
                       int endY) {
    const int width = test.width;
    const auto& greys = GreyTable();
    const auto columns = static_cast<std::size_t>(width);
    // The channel values of three consecutive rows, reused as the block moves down.
    std::vector<std::uint8_t> planes(3 * columns);
    onewindow::WordRows rows(test);
    auto extract = [&](int y) {
        const Word* row = rows.row(y);
        std::uint8_t* plane = planes.data() + static_cast<std::size_t>(y % 3) * columns;
        for (std::size_t x = 0; x < columns; ++x) {
            plane[x] = static_cast<std::uint8_t>(row[x] >> shift);
        }
    };
    extract(firstY - 1);
    extract(firstY);
    // Per row, in 8- and 16-bit lanes so that the loops over x vectorise: the block means, the
    // absolute deviations added one block position at a time, their ninths; then the greys.
    const std::size_t inner = columns - 2;
    std::vector<std::uint16_t> columnSums(columns);
    std::vector<std::uint8_t> means(inner);
    std::vector<std::uint16_t> deviations(inner);
    std::vector<std::uint8_t> meanDeviations(inner);
    onewindow::WordRowWriter out(view);
    const int lastX = std::min(width - 2, view.width - 1);
    for (int y = firstY; y < endY; ++y) {
        extract(y + 1);
        const std::uint8_t* rowsOfBlock[3] = {
            planes.data() + static_cast<std::size_t>((y - 1) % 3) * columns,
            planes.data() + static_cast<std::size_t>(y % 3) * columns,
            planes.data() + static_cast<std::size_t>((y + 1) % 3) * columns,
        };
        for (std::size_t x = 0; x < columns; ++x) {
            columnSums[x] = static_cast<std::uint16_t>(rowsOfBlock[0][x] + rowsOfBlock[1][x] +
                                                       rowsOfBlock[2][x]);
        }
        // means[i] and deviations[i] belong to the pixel at x = i + 1.
        for (std::size_t i = 0; i < inner; ++i) {
            means[i] = static_cast<std::uint8_t>(
                NinthRounded(columnSums[i] + columnSums[i + 1] + columnSums[i + 2]));
            deviations[i] = 0;
        }
        for (const std::uint8_t* plane : rowsOfBlock) {
            for (std::size_t dx = 0; dx < 3; ++dx) {
                const std::uint8_t* values = plane + dx;
                for (std::size_t i = 0; i < inner; ++i) {
                    const std::uint8_t value = values[i];
                    const std::uint8_t mean = means[i];
                    deviations[i] = static_cast<std::uint16_t>(
                        deviations[i] +
                        static_cast<std::uint8_t>(std::max(value, mean) - std::min(value, mean)));
                }
            }
        }
        for (std::size_t i = 0; i < inner; ++i) {
            meanDeviations[i] = static_cast<std::uint8_t>(NinthRounded(deviations[i]));
        }
        Word* target = out.row(y);
        for (int x = 1; x <= lastX; ++x) {
            const Word grey = greys[meanDeviations[static_cast<std::size_t>(x - 1)]];
            target[x] = onewindow::kOpaque | grey * 0x010101u;
        }
        out.commit(y);
    }
}

} // namespace

void DrawLocalVariation(const PixelView& test, VariationChannel channel,
                        const MutablePixelView& view) {
    const int width = test.width;
    const int height = test.height;
    if (test.empty() || view.empty() || width < 3 || height < 3) {
        return;
    }
    const int shift = ShiftOf(channel);
    // Map rows 1 to min(height - 2, view.height - 1), shared out in fixed pieces.
    const int endY = std::min(height - 1, view.height);
    if (endY <= 1) {
        return;
    }
    // A piece re-reads the two rows above its first: pieces of about 1 MB keep that small.
    ForEachRowPiece(
        endY - 1, RowsPerPiece(static_cast<std::size_t>(width) * 4, 1 << 20),
        [&](int first, int end, int) { DrawVariationRows(test, shift, view, first + 1, end + 1); });
}

} // namespace vantrel
