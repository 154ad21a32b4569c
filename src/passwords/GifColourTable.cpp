#include "passwords/GifColourTable.h"

#include "bytes/FormatSniff.h"
#include "bytes/GifBlocks.h"

namespace vantrel::passwords {
namespace {

// The header (6 bytes) and the logical screen descriptor (7), whose packed byte says whether a
// global table follows and its size.
constexpr std::size_t kHead = 13;

Result<std::span<const std::uint8_t>> GlobalTable(std::span<const std::uint8_t> file) {
    if (bytes::SniffFormat(file) != bytes::FileFormat::Gif) {
        return Failure("not a GIF");
    }
    if (file.size() < kHead) {
        return Failure("a GIF cut short in its header");
    }
    const std::size_t bytes = bytes::GifColourTableBytes(file[10]);
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
    // The first image descriptor: position, size, packed byte, then its local table if any.
    const bytes::GifFirstImage image = bytes::FindFirstGifImage(file);
    switch (image.result) {
    case bytes::GifImageSearch::Found:
        break;
    case bytes::GifImageSearch::NoImage:
        return Failure("a GIF without an image");
    case bytes::GifImageSearch::UnknownBlock:
        return Failure("a GIF block of no kind");
    case bytes::GifImageSearch::CutShort:
        return Failure("a GIF cut short before its first image");
    }
    const std::size_t at = image.offset;
    if (file.size() < at + 10) {
        return Failure("a GIF cut short before its first image");
    }
    const std::uint8_t* descriptor = file.data() + at;
    const std::size_t local = bytes::GifColourTableBytes(descriptor[9]);
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
