// BMP (file header, DIB header, masks, palette, pixel array, ICC profile, and bytes none of
// them claims) and WebP (the RIFF size against the file, every chunk).
#include "structure/Walk.h"

#include <algorithm>

namespace vantrel::structure::detail {

namespace {

bool AllZero(Walk& walk, std::uint64_t offset, std::uint64_t length) {
    for (std::uint64_t i = 0; i < length; ++i) {
        if (walk.u8(offset + i) != 0) {
            return false;
        }
    }
    return true;
}

} // namespace

void WalkBmp(Walk& walk) {
    Part* root = walk.root("bmp", "BMP");
    if (!walk.has(0, 18)) {
        walk.truncated(0, "the BMP headers are cut short");
        return;
    }
    const std::uint64_t declared = walk.le32(2), pixelOffset = walk.le32(10);
    const std::uint64_t dib = walk.le32(14);
    walk.add(root->children, 0, 14, "header",
             "file header, declared size " + std::to_string(declared) + " of " +
                 std::to_string(walk.size()) + ", pixels at " + std::to_string(pixelOffset));
    const bool core = dib == 12;
    if (!(core || dib == 40 || dib == 52 || dib == 56 || dib == 64 || dib == 108 || dib == 124)) {
        walk.anomaly(AnomalyKind::BadMetadata, 14, 4,
                     "DIB header size " + std::to_string(dib) + " is none BMP defines");
        return;
    }
    if (!walk.has(14, dib)) {
        walk.truncated(14, "the DIB header is cut short");
        return;
    }
    walk.add(root->children, 14, dib, "header", "DIB header, " + std::to_string(dib) + " bytes");
    const std::int64_t width = core ? walk.le16(18) : std::int32_t(walk.le32(18));
    const std::int64_t height = core ? std::int16_t(walk.le16(20)) : std::int32_t(walk.le32(22));
    const std::uint32_t bpp = core ? walk.le16(24) : walk.le16(28);
    const std::uint32_t compression = core ? 0 : walk.le32(30);
    const std::uint64_t sizeImage = core ? 0 : walk.le32(34);
    const std::uint64_t colours = core ? 0 : walk.le32(46);
    std::uint64_t pos = 14 + dib;
    if (!core && dib == 40 && (compression == 3 || compression == 6)) {
        const std::uint64_t masks = compression == 6 ? 16 : 12;
        walk.add(root->children, pos, masks, "masks", "colour masks");
        pos += masks;
    }
    const std::uint64_t entries =
        colours ? std::min<std::uint64_t>(colours, 1u << 16) : (bpp <= 8 ? 1ull << bpp : 0);
    const std::uint64_t palette = entries * (core ? 3 : 4);
    if (palette > 0) {
        if (!walk.has(pos, palette)) {
            walk.truncated(pos, "the palette is cut short");
            return;
        }
        walk.add(root->children, pos, palette, "palette",
                 "palette, " + std::to_string(entries) + " entries");
        CheckPalette(walk, pos, palette, "the palette");
        pos += palette;
    }
    if (pixelOffset > pos && walk.has(pos, pixelOffset - pos)) {
        // Some writers align the pixel array with a few zero bytes; anything else is unclaimed.
        const std::uint64_t gap = pixelOffset - pos;
        if (gap < 4 && AllZero(walk, pos, gap)) {
            walk.add(root->children, pos, gap, "padding", "padding");
        } else {
            walk.anomaly(AnomalyKind::Gap, pos, gap,
                         std::to_string(gap) + " bytes between the headers and the pixel array");
        }
    } else if (pixelOffset < pos) {
        walk.anomaly(AnomalyKind::BadMetadata, 10, 4,
                     "the pixel array offset lies inside the headers");
    }
    const std::uint64_t rows = std::uint64_t(height < 0 ? -height : height);
    const std::uint64_t stride = ((std::uint64_t(width < 0 ? 0 : width) * bpp + 31) / 32) * 4;
    std::uint64_t pixels =
        compression == 0 || compression == 3 || compression == 6
            ? stride * rows
            : (sizeImage ? sizeImage : walk.size() - std::min(pixelOffset, walk.size()));
    std::uint64_t end = pixelOffset + pixels;
    if (!walk.has(pixelOffset, pixels)) {
        walk.add(root->children, pixelOffset, walk.size() - std::min(pixelOffset, walk.size()),
                 "pixels", "pixel array", Check::Bad);
        walk.truncated(std::min(pixelOffset, walk.size()),
                       "the pixel array of " + std::to_string(pixels) + " bytes is cut short");
        return;
    }
    walk.add(root->children, pixelOffset, pixels, "pixels", "pixel array");
    if (dib == 124 && walk.le32(14 + 56) == 0x4D424544) { // 'MBED': an embedded profile
        const std::uint64_t icc = 14 + std::uint64_t(walk.le32(14 + 112));
        const std::uint64_t iccLength = walk.le32(14 + 116);
        if (walk.has(icc, iccLength)) {
            walk.add(root->children, icc, iccLength, "profile", "ICC profile");
            if (icc > end && !AllZero(walk, end, icc - end)) {
                walk.anomaly(AnomalyKind::Gap, end, icc - end,
                             std::to_string(icc - end) +
                                 " bytes between the pixel array and the ICC profile");
            }
            end = std::max(end, icc + iccLength);
        } else {
            walk.truncated(std::min(icc, walk.size()), "the ICC profile is cut short");
            return;
        }
    }
    if (declared > walk.size()) {
        walk.anomaly(AnomalyKind::Truncated, walk.size(), 0,
                     "the file header declares " + std::to_string(declared) +
                         " bytes, the file has " + std::to_string(walk.size()));
    }
    walk.tail(end, "the pixel array");
}

namespace {

bool KnownWebpChunk(const std::uint8_t* fourcc) {
    static constexpr const char* kKnown[] = {"VP8 ", "VP8L", "VP8X", "ALPH", "ANIM",
                                             "ANMF", "ICCP", "EXIF", "XMP "};
    return std::any_of(std::begin(kKnown), std::end(kKnown),
                       [&](const char* name) { return std::memcmp(fourcc, name, 4) == 0; });
}

// The chunks of [pos, end); false when one is cut short.
bool WebpChunks(Walk& walk, std::uint64_t pos, std::uint64_t end, std::vector<Part>& level,
                int depth) {
    while (pos + 8 <= end && !walk.full()) {
        const std::uint8_t* fourcc = walk.at(pos);
        const std::uint64_t size = walk.le32(pos + 4);
        const std::string name(fourcc, fourcc + 4);
        if (size > end - pos - 8) {
            walk.add(level, pos, end - pos, "chunk", name, Check::Bad);
            walk.truncated(pos, name + " chunk of " + std::to_string(size) +
                                    " bytes runs past the RIFF data");
            return false;
        }
        Part* part = walk.add(level, pos, 8 + size, "chunk", name);
        const std::uint64_t data = pos + 8;
        if (!part) {
            return false;
        }
        if (name == "EXIF") {
            const std::uint64_t skip = walk.matches(data, std::string_view("Exif\0\0", 6)) ? 6 : 0;
            if (size < skip ||
                !WalkTiff(walk, data + skip, size - skip, part->children, "EXIF", depth + 1)
                     .valid) {
                walk.anomaly(AnomalyKind::BadMetadata, data, size,
                             "EXIF chunk does not hold a TIFF structure");
            }
        } else if (name == "XMP ") {
            XmpTexts(walk, data, size);
        } else if (name == "ANMF" && size >= 16 && depth < walk.limits().maxDepth) {
            if (!WebpChunks(walk, data + 16, data + size, part->children, depth + 1)) {
                return false;
            }
        } else if (!KnownWebpChunk(fourcc)) {
            walk.anomaly(AnomalyKind::UnknownChunk, data, size,
                         "chunk '" + name + "' (" + std::to_string(size) +
                             " bytes) is not one any common writer makes");
        }
        pos = data + size + (size & 1);
    }
    return true;
}

} // namespace

void WalkWebp(Walk& walk) {
    Part* root = walk.root("webp", "WebP");
    const std::uint64_t riffEnd = 8 + std::uint64_t(walk.le32(4));
    walk.add(root->children, 0, 12, "header",
             "RIFF WEBP, size " + std::to_string(riffEnd) + " of " + std::to_string(walk.size()));
    if (riffEnd > walk.size()) {
        WebpChunks(walk, 12, walk.size(), root->children, 0);
        walk.truncated(walk.size(), "the RIFF size is " + std::to_string(riffEnd) +
                                        " bytes, the file has " + std::to_string(walk.size()));
        return;
    }
    if (WebpChunks(walk, 12, riffEnd, root->children, 0)) {
        walk.tail(riffEnd, "the RIFF data");
    }
}

} // namespace vantrel::structure::detail
