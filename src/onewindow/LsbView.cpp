#include "onewindow/LsbView.h"

#include "image/Parallel.h"
#include "onewindow/PixelWords.h"

#include <algorithm>

namespace vantrel {
namespace {

using onewindow::kBlueLsbBit;
using onewindow::kGreenLsbBit;
using onewindow::kLsbBits;
using onewindow::kOpaque;
using onewindow::kRedLsbBit;
using onewindow::Word;
using onewindow::WordOf;

constexpr Word kUnmarked = WordOf(200, 200, 200);

// Every channel whose bit is set in `bits` (0x010101 masks) becomes 255, the others 0.
constexpr Word FullChannels(Word bits) {
    return kOpaque | (bits & kLsbBits) * 255;
}

template <LsbViewMode Mode> constexpr Word ViewWord(Word test, Word original) {
    if constexpr (Mode == LsbViewMode::All) {
        return FullChannels(test);
    } else if constexpr (Mode == LsbViewMode::Red) {
        return test & kRedLsbBit ? WordOf(200, 0, 0) : kUnmarked;
    } else if constexpr (Mode == LsbViewMode::Green) {
        return test & kGreenLsbBit ? WordOf(0, 100, 0) : kUnmarked;
    } else if constexpr (Mode == LsbViewMode::Blue) {
        return test & kBlueLsbBit ? WordOf(0, 0, 200) : kUnmarked;
    } else {
        return FullChannels(test ^ original);
    }
}

// A place the original picture doesn't have reads as -1: all bits, so all LSBs, set.
constexpr Word kMissingOriginal = 0xFFFFFFFFu;

template <LsbViewMode Mode>
void DrawRows(const PixelView& test, const PixelView& original, const MutablePixelView& view) {
    const int width = std::min(test.width, view.width);
    const int height = std::min(test.height, view.height);
    // Each row stands alone: fixed pieces of rows on every core.
    ForEachRowPiece(height, RowsPerPiece(static_cast<std::size_t>(width) * 8),
                    [&](int firstRow, int endRow, int) {
                        onewindow::WordRows testRows(test);
                        onewindow::WordRows originalRows(original);
                        onewindow::WordRowWriter viewRows(view);
                        for (int y = firstRow; y < endRow; ++y) {
                            const Word* in = testRows.row(y);
                            Word* out = viewRows.row(y);
                            int x = 0;
                            if constexpr (Mode == LsbViewMode::Diff) {
                                if (y < original.height) {
                                    const Word* other = originalRows.row(y);
                                    for (const int shared = std::min(width, original.width);
                                         x < shared; ++x) {
                                        out[x] = ViewWord<Mode>(in[x], other[x]);
                                    }
                                }
                            }
                            for (; x < width; ++x) {
                                out[x] = ViewWord<Mode>(in[x], kMissingOriginal);
                            }
                            viewRows.commit(y);
                        }
                    });
}

} // namespace

RgbColor LsbViewColour(LsbViewMode mode, RgbColor test, RgbColor original) {
    const Word t = onewindow::WordFromRgbColor(test);
    const Word o = onewindow::WordFromRgbColor(original);
    switch (mode) {
    case LsbViewMode::All:
        return onewindow::RgbColorFromWord(ViewWord<LsbViewMode::All>(t, o));
    case LsbViewMode::Red:
        return onewindow::RgbColorFromWord(ViewWord<LsbViewMode::Red>(t, o));
    case LsbViewMode::Green:
        return onewindow::RgbColorFromWord(ViewWord<LsbViewMode::Green>(t, o));
    case LsbViewMode::Blue:
        return onewindow::RgbColorFromWord(ViewWord<LsbViewMode::Blue>(t, o));
    case LsbViewMode::Diff:
        break;
    }
    return onewindow::RgbColorFromWord(ViewWord<LsbViewMode::Diff>(t, o));
}

void DrawLsbView(LsbViewMode mode, const PixelView& test, const PixelView& original,
                 const MutablePixelView& view) {
    if (test.empty() || view.empty()) {
        return;
    }
    switch (mode) {
    case LsbViewMode::All:
        return DrawRows<LsbViewMode::All>(test, original, view);
    case LsbViewMode::Red:
        return DrawRows<LsbViewMode::Red>(test, original, view);
    case LsbViewMode::Green:
        return DrawRows<LsbViewMode::Green>(test, original, view);
    case LsbViewMode::Blue:
        return DrawRows<LsbViewMode::Blue>(test, original, view);
    case LsbViewMode::Diff:
        break;
    }
    DrawRows<LsbViewMode::Diff>(test, original, view);
}

} // namespace vantrel
