#pragma once
// LSBs set under transparent pixels. A sprite or an icon usually stores one colour beneath its
// transparent border, so neighbouring transparent pixels share their colour to the last bit. A
// tool that writes its message from the first pixel on, whatever the alpha, leaves that colour's
// upper bits alone and its LSBs flipping at random; the structural attacks cannot see it, since
// the samples sit in one LSB pair (and they set transparent samples aside).
#include "image/DetectorState.h"
#include "image/PixelView.h"

#include <array>
#include <cstdint>

namespace vantrel {

// Over horizontally neighbouring pairs of fully transparent pixels.
struct TransparentLsbCounts {
    std::int64_t pairs = 0;
    std::array<std::int64_t, 3> sameUpperBits{}; // per colour channel, B, G, R
    std::array<std::int64_t, 3> lsbChanges{};    // of those, the pairs whose LSBs differ
    friend bool operator==(const TransparentLsbCounts&, const TransparentLsbCounts&) = default;
};

struct TransparentLsbResult {
    TransparentLsbCounts counts;
    // The smallest share, over the colour channels, of same-upper-bits pairs whose LSBs differ.
    double changes = 0;
    Judgement judgement;
};

// Set so that no clean file of the corpus comes near: 0 of its 520 PNGs with at least 256
// transparent pairs reach 0.02 (the highest is 0.014); steggy's 45,000-byte message under an
// icon's border reads 0.31 to 0.37.
inline constexpr double kTransparentLsbThreshold = 0.1;
inline constexpr std::int64_t kMinTransparentPairs = 4096;
// Below it the colours under the transparency are a picture (a cut-out that kept its
// background), whose LSBs are noise of their own.
inline constexpr double kMinSameUpperBitsShare = 0.9;

TransparentLsbCounts CountTransparentLsbs(const PixelView& view);
TransparentLsbResult JudgeTransparentLsbs(const TransparentLsbCounts& counts);

} // namespace vantrel
