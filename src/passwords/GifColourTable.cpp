#include "passwords/GifColourTable.h"

#include "bytes/FormatSniff.h"

namespace vantrel::passwords {
namespace {

// The header (6 bytes) and the logical screen descriptor (7), whose packed byte says whether a
// global table follows and its size.
constexpr std::size_t kHead = 13;

std::size_t TableBytes(std::uint8_t packed) {
    return (packed & 0x80) == 0 ? 0 : std::size_t{3} << ((packed & 7) + 1);
}

Result<std::span<const std::uint8_t>> GlobalTable(std::span<const std::uint8_t> file) {
    if (bytes::SniffFormat(file) != bytes::FileFormat::Gif) {
        return Failure("not a GIF");
    }
    if (file.size() < kHead) {
        return Failure("a GIF cut short in its header");
    }
    const std::size_t bytes = TableBytes(file[10]);
    if (file.size() < kHead + bytes) {
        return Failure("a GIF cut short in its colour table");
    }
    return file.subspan(kHead, bytes);
}

} // namespace

Result<std::vector<std::uint8_t>> EncodeGifColourTable(std::span<const std::uint8_t> file,
                                                       std::int64_t) {
    const Result<std::span<const std::uint8_t>> table = GlobalTable(file);
    if (!table) {
        return Failure(table.error());
    }
    if (table->empty()) {
        return Failure("a GIF without a global colour table");
    }
    return std::vector<std::uint8_t>(table->begin(), table->end());
}

Result<std::vector<std::uint8_t>> EncodeGifFrameTable(std::span<const std::uint8_t> file,
                                                      std::int64_t) {
    const Result<std::span<const std::uint8_t>> global = GlobalTable(file);
    if (!global) {
        return Failure(global.error());
    }
    // Extensions (0x21, a label, then sub-blocks up to an empty one) come before the first image
    // descriptor (0x2C: position, size, packed byte, then its local table if any).
    std::size_t at = kHead + global->size();
    const auto cut = [] { return Failure("a GIF cut short before its first image"); };
    for (;;) {
        if (at >= file.size()) {
            return cut();
        }
        if (file[at] == 0x2C) {
            break;
        }
        if (file[at] != 0x21) {
            return Failure(file[at] == 0x3B ? "a GIF without an image" : "a GIF block of no kind");
        }
        at += 2;
        while (at < file.size() && file[at] != 0) {
            at += std::size_t{file[at]} + 1;
        }
        ++at;
    }
    if (file.size() < at + 10) {
        return cut();
    }
    const std::uint8_t* descriptor = file.data() + at;
    const std::size_t local = TableBytes(descriptor[9]);
    if (file.size() < at + 10 + local) {
        return Failure("a GIF cut short in its first image's colour table");
    }
    const std::span<const std::uint8_t> table = local ? file.subspan(at + 10, local) : *global;
    if (table.empty()) {
        return Failure("a GIF image without a colour table");
    }
    std::vector<std::uint8_t> out(table.begin(), table.end());
    out.insert(out.end(), descriptor + 5, descriptor + 9); // width and height, little-endian
    return out;
}

} // namespace vantrel::passwords
