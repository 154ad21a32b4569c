// PNM (header, comments, raster; a stream of several images is one file), PSD (sections and
// image resources) and JPEG 2000 (boxes, and the code-stream's tile-parts to EOC).
#include "structure/Walk.h"

#include <algorithm>
#include <cctype>

namespace vantrel::structure::detail {

namespace {

bool Space(std::uint8_t c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

class PnmReader {
public:
    PnmReader(Walk& walk, std::uint64_t pos) : walk_(walk), pos_(pos) {}

    // Whitespace and comments, comments becoming texts.
    void skip() {
        while (pos_ < walk_.size()) {
            const std::uint8_t c = walk_.u8(pos_);
            if (c == '#') {
                const std::uint64_t start = pos_ + 1;
                while (pos_ < walk_.size() && walk_.u8(pos_) != '\n' && walk_.u8(pos_) != '\r') {
                    ++pos_;
                }
                walk_.text("PNM", "comment", Latin1(walk_.at(start), pos_ - start), start);
            } else if (Space(c)) {
                ++pos_;
            } else {
                return;
            }
        }
    }
    bool number(std::uint64_t* value, bool single = false) {
        skip();
        std::uint64_t v = 0;
        const std::uint64_t start = pos_;
        while (pos_ < walk_.size() && std::isdigit(walk_.u8(pos_)) && v < (1ull << 40) &&
               (!single || pos_ == start)) {
            v = v * 10 + (walk_.u8(pos_++) - '0');
        }
        *value = v;
        return pos_ > start;
    }
    std::uint64_t& pos() { return pos_; }

private:
    Walk& walk_;
    std::uint64_t pos_;
};

// One PNM image from `start`; one past its last byte, or 0 when cut short.
std::uint64_t PnmImage(Walk& walk, std::uint64_t start, std::vector<Part>& level) {
    const char kind = char(walk.u8(start + 1));
    PnmReader reader(walk, start + 2);
    std::uint64_t width = 0, height = 0, maxval = 1, depth = kind == '3' || kind == '6' ? 3 : 1;
    if (kind == '7') {
        // PAM: KEY value lines up to ENDHDR.
        while (reader.pos() < walk.size()) {
            reader.skip();
            std::uint64_t& p = reader.pos();
            std::string key;
            while (p < walk.size() && !Space(walk.u8(p)) && key.size() < 16) {
                key += char(walk.u8(p++));
            }
            if (key == "ENDHDR") {
                while (p < walk.size() && walk.u8(p) != '\n') {
                    ++p;
                }
                ++p;
                break;
            }
            std::uint64_t value = 0;
            if (key == "WIDTH" || key == "HEIGHT" || key == "DEPTH" || key == "MAXVAL") {
                reader.number(&value);
                (key == "WIDTH"    ? width
                 : key == "HEIGHT" ? height
                 : key == "DEPTH"  ? depth
                                   : maxval) = value;
            } else {
                while (p < walk.size() && walk.u8(p) != '\n') {
                    ++p;
                }
            }
        }
    } else {
        const bool hasMax = kind != '1' && kind != '4';
        if (!reader.number(&width) || !reader.number(&height) ||
            (hasMax && !reader.number(&maxval))) {
            walk.truncated(start, "the PNM header is cut short");
            return 0;
        }
        ++reader.pos(); // the one whitespace byte before the raster
    }
    const std::uint64_t rasterAt = reader.pos();
    walk.add(level, start, rasterAt - start, "header",
             std::string("P") + kind + " " + std::to_string(width) + "x" + std::to_string(height));
    const std::uint64_t samples = width * height * depth;
    if (width == 0 || height == 0 || depth == 0 || width > (1u << 24) || height > (1u << 24) ||
        depth > 16 || maxval == 0) {
        walk.anomaly(AnomalyKind::BadMetadata, start, rasterAt - start,
                     "the PNM header is not sane");
        return 0;
    }
    std::uint64_t end = 0;
    if (kind >= '4') {
        const std::uint64_t bytes =
            kind == '4' ? (width + 7) / 8 * height : samples * (maxval > 255 ? 2 : 1);
        if (!walk.has(rasterAt, bytes)) {
            walk.add(level, rasterAt, walk.size() - std::min(rasterAt, walk.size()), "pixels",
                     "raster", Check::Bad);
            walk.truncated(std::min(rasterAt, walk.size()), "the PNM raster is cut short");
            return 0;
        }
        end = rasterAt + bytes;
    } else {
        // ASCII samples: plain PBM digits may run together.
        for (std::uint64_t i = 0; i < samples; ++i) {
            std::uint64_t value = 0;
            if (!reader.number(&value, kind == '1')) {
                walk.truncated(reader.pos(), "the PNM raster ends after " + std::to_string(i) +
                                                 " of " + std::to_string(samples) + " samples");
                return 0;
            }
        }
        end = reader.pos();
    }
    walk.add(level, rasterAt, end - rasterAt, "pixels", "raster");
    return end;
}

} // namespace

void WalkPnm(Walk& walk) {
    FileStructure& out = walk.out();
    Part* root = walk.root("pnm", "PNM");
    std::uint64_t pos = 0, end = 0;
    for (int images = 0; images < 1000 && !walk.full(); ++images) {
        end = PnmImage(walk, pos, root->children);
        if (end == 0) {
            return;
        }
        pos = end;
        while (pos < walk.size() && Space(walk.u8(pos))) {
            ++pos;
        }
        if (!(walk.has(pos, 3) && walk.u8(pos) == 'P' && walk.u8(pos + 1) >= '1' &&
              walk.u8(pos + 1) <= '7' && Space(walk.u8(pos + 2)))) {
            break;
        }
    }
    walk.tail(pos == walk.size() ? pos : end, "the PNM raster");
    out.end = end;
}

void WalkPsd(Walk& walk) {
    Part* root = walk.root("psd", "PSD");
    if (!walk.has(0, 26)) {
        walk.truncated(0, "the PSD header is cut short");
        return;
    }
    const std::uint16_t version = walk.be16(4);
    const std::uint64_t channels = walk.be16(12), height = walk.be32(14), width = walk.be32(18);
    const std::uint64_t depth = walk.be16(22);
    walk.add(root->children, 0, 26, "header",
             std::string(version == 2 ? "PSB " : "PSD ") + std::to_string(width) + "x" +
                 std::to_string(height));
    std::uint64_t pos = 26;
    const char* sections[] = {"colour mode data", "image resources", "layer and mask information"};
    for (int s = 0; s < 3; ++s) {
        const int field = (s == 2 && version == 2) ? 8 : 4;
        if (!walk.has(pos, field)) {
            walk.truncated(pos, std::string("the ") + sections[s] + " section is cut short");
            return;
        }
        const std::uint64_t length =
            field == 8 ? std::uint64_t(walk.be32(pos)) << 32 | walk.be32(pos + 4) : walk.be32(pos);
        if (!walk.has(pos + field, length)) {
            walk.add(root->children, pos, walk.size() - pos, "section", sections[s], Check::Bad);
            walk.truncated(pos, std::string("the ") + sections[s] + " section is cut short");
            return;
        }
        Part* part = walk.add(root->children, pos, field + length, "section", sections[s]);
        if (s == 1 && part) {
            PhotoshopResources(walk, pos + field, length, *part);
        }
        pos += field + length;
    }
    if (!walk.has(pos, 2)) {
        walk.truncated(pos, "the image data is cut short");
        return;
    }
    const std::uint16_t compression = walk.be16(pos);
    const std::uint64_t rows = channels * height, rowBytes = (width * depth + 7) / 8;
    std::uint64_t data = 0;
    if (compression == 0) {
        data = rows * rowBytes;
    } else if (compression == 1) {
        const int entry = version == 2 ? 4 : 2;
        if (rows > (1u << 28) || !walk.has(pos + 2, rows * entry)) {
            walk.truncated(pos, "the image data's row lengths are cut short");
            return;
        }
        data = rows * entry;
        for (std::uint64_t r = 0; r < rows; ++r) {
            data += entry == 4 ? walk.be32(pos + 2 + 4 * r) : walk.be16(pos + 2 + 2 * r);
        }
    } else {
        data = walk.size() - pos - 2; // deflated data has no length of its own here
    }
    if (!walk.has(pos + 2, data)) {
        walk.add(root->children, pos, walk.size() - pos, "pixels", "image data", Check::Bad);
        walk.truncated(pos, "the image data is cut short");
        return;
    }
    walk.add(root->children, pos, 2 + data, "pixels", "image data");
    walk.tail(pos + 2 + data, "the image data");
}

namespace {

// A code-stream from SOC: main header segments, tile-parts by their Psot, then EOC. One past
// EOC, or 0 when cut short.
std::uint64_t CodeStream(Walk& walk, std::uint64_t pos, std::uint64_t end,
                         std::vector<Part>& level) {
    walk.add(level, pos, 2, "marker", "SOC");
    pos += 2;
    for (int segments = 0; segments < 1000000 && pos + 2 <= end && !walk.full(); ++segments) {
        const std::uint16_t marker = walk.be16(pos);
        if (marker == 0xFFD9) {
            walk.add(level, pos, 2, "marker", "EOC", Check::Ok);
            return pos + 2;
        }
        if (pos + 4 > end || (marker >> 8) != 0xFF) {
            break;
        }
        if (marker == 0xFF90 && pos + 12 <= end) {
            const std::uint64_t psot = walk.be32(pos + 6);
            // Psot 0: the last tile-part, running to EOC at the code-stream's end.
            const std::uint64_t length = psot ? psot : (end >= pos + 2 ? end - 2 - pos : 0);
            if (length < 12 || length > end - pos) {
                break;
            }
            walk.add(level, pos, length, "tile-part",
                     "tile-part " + std::to_string(walk.be16(pos + 4)));
            pos += length;
            continue;
        }
        const std::uint64_t length = walk.be16(pos + 2);
        if (length < 2 || pos + 2 + length > end) {
            break;
        }
        walk.add(level, pos, 2 + length, "segment", "marker " + std::to_string(marker & 0xFF));
        pos += 2 + length;
    }
    walk.truncated(pos, "the JPEG 2000 code-stream ends before EOC");
    return 0;
}

bool KnownBox(const std::string& type) {
    static constexpr const char* kKnown[] = {
        "jP  ", "ftyp", "jp2h", "ihdr", "colr", "bpcc", "pclr", "cmap", "cdef", "res ", "resc",
        "resd", "jp2c", "jp2i", "xml ", "uuid", "uinf", "ulst", "url ", "rreq", "asoc", "lbl ",
        "nlst", "jpch", "jplh", "cgrp", "opct", "ftbl", "flst", "dtbl", "roid", "iprp"};
    return std::any_of(std::begin(kKnown), std::end(kKnown),
                       [&](const char* k) { return type == k; });
}

bool SuperBox(const std::string& type) {
    return type == "jp2h" || type == "res " || type == "uinf" || type == "jpch" || type == "jplh" ||
           type == "cgrp" || type == "asoc" || type == "ftbl";
}

// Boxes of [pos, end); one past the last, or 0 when cut short.
std::uint64_t Boxes(Walk& walk, std::uint64_t pos, std::uint64_t end, std::vector<Part>& level,
                    int depth) {
    while (pos + 8 <= end && !walk.full()) {
        std::uint64_t length = walk.be32(pos), header = 8;
        const std::string type(walk.at(pos + 4), walk.at(pos + 8));
        if (!std::all_of(type.begin(), type.end(), [](char c) { return c >= 0x20 && c < 0x7F; })) {
            return pos; // not a box: whatever follows is after the end
        }
        if (length == 1) {
            if (pos + 16 > end) {
                break;
            }
            length = std::uint64_t(walk.be32(pos + 8)) << 32 | walk.be32(pos + 12);
            header = 16;
        } else if (length == 0) {
            length = end - pos;
        }
        if (length < header || length > end - pos) {
            walk.add(level, pos, end - pos, "box", type, Check::Bad);
            walk.truncated(pos, "box '" + type + "' of " + std::to_string(length) +
                                    " bytes is cut short");
            return 0;
        }
        Part* part = walk.add(level, pos, length, "box", type);
        if (!part) {
            return 0;
        }
        const std::uint64_t data = pos + header, boxEnd = pos + length;
        if (SuperBox(type) && depth < walk.limits().maxDepth) {
            if (Boxes(walk, data, boxEnd, part->children, depth + 1) == 0) {
                return 0;
            }
        } else if (type == "jp2c") {
            const std::uint64_t eoc = CodeStream(walk, data, boxEnd, part->children);
            if (eoc == 0) {
                return 0;
            }
            if (eoc < boxEnd) {
                walk.anomaly(AnomalyKind::Gap, eoc, boxEnd - eoc,
                             std::to_string(boxEnd - eoc) +
                                 " bytes after EOC in the code-stream box");
            }
        } else if (type == "xml ") {
            XmpTexts(walk, data, boxEnd - data);
        } else if (type == "uuid" && boxEnd - data > 16 &&
                   walk.matches(
                       data, "\xbe\x7a\xcf\xcb\x97\xa9\x42\xe8\x9c\x71\x99\x94\x91\xe3\xaf\xac")) {
            XmpTexts(walk, data + 16, boxEnd - data - 16);
        } else if (!KnownBox(type)) {
            walk.anomaly(AnomalyKind::UnknownChunk, data, boxEnd - data,
                         "box '" + type + "' is not one any common writer makes");
        }
        pos = boxEnd;
    }
    if (pos < end && end - pos < 8) {
        walk.truncated(pos, "a box header is cut short");
        return 0;
    }
    return pos;
}

} // namespace

void WalkJp2(Walk& walk) {
    FileStructure& out = walk.out();
    Part* root = walk.add(out.parts, 0, walk.size(), "file", "JPEG 2000");
    if (walk.matches(0, "\xff\x4f\xff\x51")) {
        out.format = "j2k";
        if (const std::uint64_t end = CodeStream(walk, 0, walk.size(), root->children)) {
            walk.tail(end, "EOC");
        }
        return;
    }
    out.format = "jp2";
    const std::uint64_t end = Boxes(walk, 0, walk.size(), root->children, 0);
    if (end == 0) {
        return;
    }
    if (std::none_of(root->children.begin(), root->children.end(),
                     [](const Part& box) { return box.name == "jp2c"; })) {
        walk.truncated(end, "the file ends before the code-stream box");
        return;
    }
    walk.tail(end, "the last box");
}

} // namespace vantrel::structure::detail
