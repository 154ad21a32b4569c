#include "jpeg/JpegFigures.h"

namespace vantrel {

BlockActivity NonzeroAcPerBlock(const JpegComponent& component) {
    BlockActivity map;
    const std::size_t blocks = static_cast<std::size_t>(component.widthInBlocks) *
                               static_cast<std::size_t>(component.heightInBlocks);
    if (component.widthInBlocks <= 0 || component.heightInBlocks <= 0 ||
        component.coefficients.size() < blocks * 64) {
        return map; // a component that does not hold its blocks has no map
    }
    map.columns = component.widthInBlocks;
    map.rows = component.heightInBlocks;
    map.nonzeroAc.resize(blocks);
    const std::int16_t* block = component.coefficients.data();
    for (std::size_t b = 0; b < blocks; ++b, block += 64) {
        int count = 0;
        for (int i = 1; i < 64; ++i) { // natural index 0 is DC
            count += block[i] != 0;
        }
        map.nonzeroAc[b] = static_cast<std::uint8_t>(count);
    }
    return map;
}

std::vector<std::uint8_t> ActivityGreyLevels(const BlockActivity& map) {
    std::vector<std::uint8_t> grey(map.nonzeroAc.size());
    for (std::size_t i = 0; i < grey.size(); ++i) {
        // (c * 255 + 31) / 63: 63 is odd, so no count lands on a half
        grey[i] = static_cast<std::uint8_t>((map.nonzeroAc[i] * 255 + 31) / 63);
    }
    return grey;
}

} // namespace vantrel
