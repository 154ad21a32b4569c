#pragma once
// The LSB views of the test picture: each pixel becomes a colour that shows its least
// significant bits, or in the Diff mode where they differ from the original picture's.
#include "image/ColorModel.h"
#include "image/PixelView.h"

namespace vantrel {

// The values are the indexes of the option buttons that choose them.
enum class LsbViewMode { All = 0, Red = 1, Green = 2, Blue = 3, Diff = 4 };

// The view colour of a test pixel `test`; `original` (the original picture's pixel at the same
// place, -1 where it has none) matters only in the Diff mode.
RgbColor LsbViewColour(LsbViewMode mode, RgbColor test, RgbColor original);

// Writes the view colour of every test pixel into `view` at the same place (where the view has
// that place). The original picture is read as -1 wherever it has no pixel, so there all three
// of its LSBs count as set.
void DrawLsbView(LsbViewMode mode, const PixelView& test, const PixelView& original,
                 const MutablePixelView& view);

} // namespace vantrel
