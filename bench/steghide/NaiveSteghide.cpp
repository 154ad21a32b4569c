#include "NaiveSteghide.h"

namespace vantrel::bench {

bool NaiveMagicAt(const SteghideCover& cover, std::uint32_t seed) {
    if (SteghideSamplesFor(cover, kSteghideMagicBits) >= cover.values.size()) {
        return false;
    }
    SteghideBitReader<LargeDrawTable> reader(cover, seed);
    return reader.Bits(kSteghideMagicBits) == kSteghideMagic;
}

} // namespace vantrel::bench
