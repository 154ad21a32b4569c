#include "passwords/GifColourTable.h"

#include "bytes/FormatSniff.h"

namespace vantrel::passwords {

Result<std::vector<std::uint8_t>> EncodeGifColourTable(std::span<const std::uint8_t> file,
                                                       std::int64_t) {
    // The header (6 bytes) and the logical screen descriptor (7), whose packed byte says whether
    // a global table follows and its size.
    constexpr std::size_t kHead = 13;
    if (bytes::SniffFormat(file) != bytes::FileFormat::Gif) {
        return Failure("not a GIF");
    }
    if (file.size() < kHead) {
        return Failure("a GIF cut short in its header");
    }
    const std::uint8_t packed = file[10];
    if ((packed & 0x80) == 0) {
        return Failure("a GIF without a global colour table");
    }
    const std::size_t bytes = std::size_t{3} << ((packed & 7) + 1);
    if (file.size() < kHead + bytes) {
        return Failure("a GIF cut short in its colour table");
    }
    return std::vector<std::uint8_t>(file.begin() + kHead,
                                     file.begin() + static_cast<std::ptrdiff_t>(kHead + bytes));
}

} // namespace vantrel::passwords
