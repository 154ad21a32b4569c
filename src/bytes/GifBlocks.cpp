#include "bytes/GifBlocks.h"

namespace vantrel::bytes {

GifFirstImage FindFirstGifImage(std::span<const std::uint8_t> file) {
    // The header (6 bytes) and the logical screen descriptor (7), whose packed byte says whether
    // a global table follows.
    constexpr std::size_t kHead = 13;
    if (file.size() < kHead) {
        return {};
    }
    std::size_t at = kHead + GifColourTableBytes(file[10]);
    while (at < file.size()) {
        if (file[at] == 0x2C) {
            return {GifImageSearch::Found, at};
        }
        if (file[at] != 0x21) {
            return {file[at] == 0x3B ? GifImageSearch::NoImage : GifImageSearch::UnknownBlock, 0};
        }
        at += 2; // introducer and label
        // The extension's data sub-blocks, each led by its length, up to an empty one.
        while (at < file.size() && file[at] != 0) {
            at += std::size_t{file[at]} + 1;
        }
        ++at;
    }
    return {};
}

} // namespace vantrel::bytes
