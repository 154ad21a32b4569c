// JPEG: marker segments with their APPn identifiers, the scan data to EOI, EXIF with its
// thumbnail, XMP, IPTC, ICC, and the MPF images a camera stores after the first EOI.
#include "structure/JpegEnd.h"
#include "structure/Walk.h"

#include <algorithm>
#include <cstdio>

namespace vantrel::structure {

namespace detail {

namespace {

struct MpfImage {
    std::uint64_t offset = 0; // in the file
    std::uint64_t length = 0;
};

std::string MarkerName(std::uint8_t marker) {
    static constexpr std::pair<std::uint8_t, const char*> kNames[] = {
        {0xC4, "DHT"}, {0xCC, "DAC"}, {0xDA, "SOS"}, {0xDB, "DQT"}, {0xDC, "DNL"},
        {0xDD, "DRI"}, {0xDE, "DHP"}, {0xDF, "EXP"}, {0xFE, "COM"}};
    for (const auto& [m, name] : kNames) {
        if (m == marker) {
            return name;
        }
    }
    char text[16];
    if (marker >= 0xE0 && marker <= 0xEF) {
        std::snprintf(text, sizeof text, "APP%d", marker - 0xE0);
    } else if (marker >= 0xC0 && marker <= 0xCF) {
        std::snprintf(text, sizeof text, "SOF%d", marker - 0xC0);
    } else {
        std::snprintf(text, sizeof text, "marker 0x%02X", marker);
    }
    return text;
}

// An APPn identifier: printable bytes up to a NUL (or the segment's end), at most 40.
std::string Identifier(Walk& walk, std::uint64_t data, std::uint64_t length) {
    std::string id;
    for (std::uint64_t i = 0; i < length && i < 40; ++i) {
        const std::uint8_t c = walk.u8(data + i);
        if (c == 0) {
            return id;
        }
        if (c < 0x20 || c >= 0x7F) {
            return id.size() >= 4 ? id : std::string();
        }
        id += char(c);
    }
    return id.size() >= 4 ? id : std::string();
}

// The images an MPF segment lists, by the offsets it gives from its own TIFF header.
void ReadMpf(Walk& walk, std::uint64_t tiff, std::uint64_t length, std::vector<MpfImage>& out) {
    if (length < 8 || !walk.has(tiff, length)) {
        return;
    }
    const bool little = walk.matches(tiff, "II");
    auto get = [&](std::uint64_t at, int size) -> std::uint64_t {
        if (at + size > length) {
            return 0;
        }
        std::uint64_t value = 0;
        for (int i = 0; i < size; ++i) {
            value |= std::uint64_t(walk.u8(tiff + at + i)) << (8 * (little ? i : size - 1 - i));
        }
        return value;
    };
    const std::uint64_t ifd = get(4, 4);
    const std::uint64_t count = get(ifd, 2);
    for (std::uint64_t i = 0; i < count && i < 64; ++i) {
        const std::uint64_t entry = ifd + 2 + 12 * i;
        if (get(entry, 2) != 0xB002) {
            continue;
        }
        const std::uint64_t bytes = get(entry + 4, 4), at = get(entry + 8, 4);
        for (std::uint64_t k = 0; k + 16 <= bytes && k < 16 * 64; k += 16) {
            const std::uint64_t size = get(at + k + 4, 4), offset = get(at + k + 8, 4);
            if (offset != 0 && size != 0) {
                out.push_back({tiff + offset, size});
            }
        }
    }
}

bool IsKnownIdentifier(std::uint8_t marker, const std::string& id) {
    // Identifiers of writers whose APPn layout is published or widely read.
    static constexpr std::pair<std::uint8_t, const char*> kKnown[] = {
        {0xE0, "JFIF"},
        {0xE0, "JFXX"},
        {0xE1, "Exif"},
        {0xE1, "http://ns.adobe.com/xap/1.0/"},
        {0xE1, "http://ns.adobe.com/xmp/extension/"},
        {0xE2, "ICC_PROFILE"},
        {0xE2, "MPF"},
        {0xE2, "FPXR"},
        {0xEC, "Ducky"},
        {0xED, "Photoshop 3.0"},
        {0xEE, "Adobe"}};
    return std::any_of(std::begin(kKnown), std::end(kKnown), [&](const auto& known) {
        return known.first == marker && id == known.second;
    });
}

class JpegWalker {
public:
    JpegWalker(Walk& walk, int depth) : walk_(walk), depth_(depth) {}

    // Walks from SOI; true when EOI was reached, with *end one past it.
    bool run(std::uint64_t start, std::vector<Part>& level, std::uint64_t* end) {
        walk_.add(level, start, 2, "marker", "SOI", Check::Ok);
        std::uint64_t pos = start + 2;
        while (!walk_.full()) {
            if (!walk_.has(pos, 2)) {
                walk_.truncated(pos, "the JPEG ends before EOI");
                return false;
            }
            if (walk_.u8(pos) != 0xFF) {
                // Bytes between segments: skip to the next marker, and say so.
                const void* next = std::memchr(walk_.at(pos), 0xFF, walk_.size() - pos);
                const std::uint64_t to =
                    next ? std::uint64_t(static_cast<const std::uint8_t*>(next) - walk_.at(0))
                         : walk_.size();
                walk_.anomaly(AnomalyKind::Gap, pos, to - pos,
                              std::to_string(to - pos) + " bytes between JPEG segments");
                pos = to;
                continue;
            }
            std::uint64_t marker = pos;
            while (walk_.has(marker + 1, 1) && walk_.u8(marker + 1) == 0xFF) {
                ++marker; // fill bytes
            }
            if (!walk_.has(marker, 2)) {
                walk_.truncated(pos, "the JPEG ends before EOI");
                return false;
            }
            const std::uint8_t code = walk_.u8(marker + 1);
            if (code == 0xD9) {
                walk_.add(level, marker, 2, "marker", "EOI", Check::Ok);
                *end = marker + 2;
                return true;
            }
            if ((code >= 0xD0 && code <= 0xD7) || code == 0x01) {
                walk_.add(level, marker, 2, "marker", "RST");
                pos = marker + 2;
                continue;
            }
            if (code == 0x00 || code == 0xD8 || !walk_.has(marker + 2, 2)) {
                walk_.truncated(marker, "no JPEG marker segment at " + std::to_string(marker));
                return false;
            }
            const std::uint64_t length = walk_.be16(marker + 2);
            if (length < 2 || !walk_.has(marker + 2, length)) {
                walk_.add(level, marker, walk_.size() - marker, "segment", MarkerName(code),
                          Check::Bad);
                walk_.truncated(marker, MarkerName(code) + " segment is cut short");
                return false;
            }
            Part* part = walk_.add(level, marker, 2 + length, "segment", MarkerName(code));
            if (!part) {
                return false;
            }
            segment(code, marker + 4, length - 2, *part);
            pos = marker + 2 + length;
            if (code == 0xDA) {
                pos = scan(pos, level);
                if (pos == 0) {
                    return false;
                }
            }
        }
        return false;
    }

    std::vector<MpfImage>& mpf() { return mpf_; }
    // The EXIF thumbnail's extent when it is a JPEG (length 0 when there is none).
    const MpfImage& thumbnail() const { return thumbnail_; }

private:
    void segment(std::uint8_t code, std::uint64_t data, std::uint64_t length, Part& part) {
        // Resources longer than a segment run on in the next APP13; anything else there means
        // the cut resource really is cut.
        const bool continues = code == 0xED && Identifier(walk_, data, length) == "Photoshop 3.0";
        if (cutResource_ && !continues) {
            walk_.anomaly(AnomalyKind::BadMetadata, cutResource_, 0,
                          "a Photoshop resource is cut short");
        }
        if (cutResource_ && continues) {
            cutResource_ = 0;
            return;
        }
        cutResource_ = 0;
        if (code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC &&
            length >= 5) {
            part.name += " " + std::to_string(walk_.be16(data + 3)) + "x" +
                         std::to_string(walk_.be16(data + 1));
            return;
        }
        if (code == 0xFE) {
            walk_.text("COM", "Comment", Latin1(walk_.at(data), length), data);
            CheckEmbedded(walk_, data, length, "COM segment");
            return;
        }
        if (code < 0xE0 || code > 0xEF) {
            return;
        }
        const std::string id = Identifier(walk_, data, length);
        if (id.empty()) {
            walk_.anomaly(AnomalyKind::UnknownChunk, data, length,
                          MarkerName(code) + " segment of " + std::to_string(length) +
                              " bytes has no identifier");
            return;
        }
        part.name += " " + id;
        const std::uint64_t body = data + std::min<std::uint64_t>(id.size() + 1, length);
        const std::uint64_t bodyLength = data + length - body;
        if (code == 0xE1 && id == "Exif") {
            const std::uint64_t tiff = data + 6;
            if (length < 6 || !exif(tiff, length - 6, part)) {
                walk_.anomaly(AnomalyKind::BadMetadata, data, length,
                              "APP1 Exif segment does not hold a TIFF structure");
            }
        } else if (code == 0xE1 && id == "http://ns.adobe.com/xap/1.0/") {
            XmpTexts(walk_, body, bodyLength);
        } else if (code == 0xE2 && id == "MPF") {
            ReadMpf(walk_, body, bodyLength, mpf_);
        } else if (code == 0xED && id == "Photoshop 3.0") {
            if (!PhotoshopResources(walk_, body, bodyLength, part, true)) {
                cutResource_ = data;
            }
        } else if (!IsKnownIdentifier(code, id)) {
            // Camera makers' own segments are many and unpublished: only a whole file inside one
            // is worth a line.
            CheckEmbedded(walk_, body, bodyLength, (MarkerName(code) + " " + id).c_str());
        }
    }

    bool exif(std::uint64_t tiff, std::uint64_t length, Part& part) {
        const TiffExtent extent = WalkTiff(walk_, tiff, length, part.children, "EXIF", depth_ + 1);
        if (!extent.valid) {
            return false;
        }
        if (extent.thumbnailLength > 0) {
            const std::uint64_t at = tiff + extent.thumbnail;
            thumbnail_ = {at, extent.thumbnailLength};
            if (!walk_.matches(at, "\xff\xd8\xff")) {
                thumbnail_ = {};
                walk_.anomaly(AnomalyKind::BadMetadata, at, extent.thumbnailLength,
                              "the EXIF thumbnail is not a JPEG");
                CheckEmbedded(walk_, at, extent.thumbnailLength, "the EXIF thumbnail");
            }
        }
        return true;
    }

    // Entropy-coded data runs to the first marker that is neither a stuffed 0xFF nor a restart.
    std::uint64_t scan(std::uint64_t from, std::vector<Part>& level) {
        const std::uint8_t* bytes = walk_.at(0);
        const std::uint64_t size = walk_.size();
        std::uint64_t pos = from;
        while (pos < size) {
            const void* hit = std::memchr(bytes + pos, 0xFF, size - pos);
            if (!hit) {
                break;
            }
            pos = std::uint64_t(static_cast<const std::uint8_t*>(hit) - bytes);
            if (pos + 1 >= size) {
                break;
            }
            const std::uint8_t next = bytes[pos + 1];
            if (next == 0x00 || (next >= 0xD0 && next <= 0xD7) || next == 0xFF) {
                pos += next == 0xFF ? 1 : 2;
                continue;
            }
            walk_.add(level, from, pos - from, "scan", "scan data");
            return pos;
        }
        walk_.add(level, from, size - from, "scan", "scan data", Check::Bad);
        walk_.truncated(from, "the scan data runs to the end of the file without EOI");
        return 0;
    }

    Walk& walk_;
    int depth_;
    std::vector<MpfImage> mpf_;
    MpfImage thumbnail_;
    std::uint64_t cutResource_ = 0; // the APP13 segment whose last resource runs on
};

} // namespace

void WalkJpeg(Walk& walk, std::uint64_t start, std::vector<Part>& level, int depth,
              std::uint64_t* end) {
    JpegWalker(walk, depth).run(start, level, end);
}

void WalkJpegFile(Walk& walk, bool thumbnails) {
    FileStructure& out = walk.out();
    Part* root = walk.root("jpeg", "JPEG");
    JpegWalker first(walk, 0);
    std::uint64_t end = 0;
    if (!first.run(0, root->children, &end)) {
        return;
    }
    if (const MpfImage& thumb = first.thumbnail();
        thumbnails && thumb.length > 0 && walk.has(thumb.offset, thumb.length)) {
        const auto matches =
            ThumbnailMatches(walk.file().first(end), {walk.at(thumb.offset), thumb.length});
        if (matches && !*matches) {
            walk.anomaly(AnomalyKind::ThumbnailMismatch, thumb.offset, thumb.length,
                         "the EXIF thumbnail shows another picture than the image");
        }
    }
    // A camera's further images (MPF) follow the first EOI where the MPF segment says; each is
    // walked to its own EOI, and only what follows the last of them is data after the end.
    std::vector<MpfImage> images = first.mpf();
    std::sort(images.begin(), images.end(),
              [](const MpfImage& a, const MpfImage& b) { return a.offset < b.offset; });
    std::uint64_t last = end;
    int index = 1;
    for (const MpfImage& image : images) {
        if (image.offset < last || !walk.matches(image.offset, "\xff\xd8\xff") ||
            index > walk.limits().maxDepth * 8) {
            continue;
        }
        if (image.offset > last) {
            walk.anomaly(AnomalyKind::Gap, last, image.offset - last,
                         std::to_string(image.offset - last) +
                             " bytes between images that MPF lists");
        }
        Part* part = walk.add(root->children, image.offset, image.length, "image",
                              "MPF image " + std::to_string(++index));
        if (!part) {
            break;
        }
        std::uint64_t imageEnd = 0;
        JpegWalker further(walk, 1);
        if (!further.run(image.offset, part->children, &imageEnd)) {
            return;
        }
        part->length = imageEnd - image.offset;
        last = imageEnd;
    }
    walk.tail(last, last == end ? "EOI" : "the last MPF image's EOI");
    out.end = end;
}

} // namespace detail

JpegTrailer JpegTrailerOf(std::span<const std::uint8_t> file) {
    FileStructure out;
    out.size = file.size();
    const StructureLimits limits;
    detail::Walk walk(file, limits, out);
    detail::WalkJpegFile(walk, false);
    const auto after = std::find_if(out.anomalies.begin(), out.anomalies.end(),
                                    [](auto& a) { return a.kind == AnomalyKind::DataAfterEnd; });
    const std::uint64_t offset = after == out.anomalies.end() ? file.size() : after->offset;
    return {offset, file.size() - offset};
}

} // namespace vantrel::structure
