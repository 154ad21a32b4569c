// TIFF structures, in a TIFF file and as EXIF inside JPEG, PNG and WebP: the directory chain and
// its sub-directories, value areas, strips and tiles, the thumbnail; ASCII values become texts.
#include "structure/Walk.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace vantrel::structure::detail {

namespace {

const char* TagName(std::uint16_t tag) {
    switch (tag) {
    case 0x00FE:
        return "NewSubfileType";
    case 0x0100:
        return "ImageWidth";
    case 0x0101:
        return "ImageLength";
    case 0x0102:
        return "BitsPerSample";
    case 0x0103:
        return "Compression";
    case 0x0106:
        return "PhotometricInterpretation";
    case 0x010D:
        return "DocumentName";
    case 0x010E:
        return "ImageDescription";
    case 0x010F:
        return "Make";
    case 0x0110:
        return "Model";
    case 0x0111:
        return "StripOffsets";
    case 0x0112:
        return "Orientation";
    case 0x0115:
        return "SamplesPerPixel";
    case 0x0116:
        return "RowsPerStrip";
    case 0x0117:
        return "StripByteCounts";
    case 0x011A:
        return "XResolution";
    case 0x011B:
        return "YResolution";
    case 0x011C:
        return "PlanarConfiguration";
    case 0x0128:
        return "ResolutionUnit";
    case 0x0131:
        return "Software";
    case 0x0132:
        return "DateTime";
    case 0x013B:
        return "Artist";
    case 0x013C:
        return "HostComputer";
    case 0x0140:
        return "ColorMap";
    case 0x0142:
        return "TileWidth";
    case 0x0143:
        return "TileLength";
    case 0x0144:
        return "TileOffsets";
    case 0x0145:
        return "TileByteCounts";
    case 0x014A:
        return "SubIFDs";
    case 0x0201:
        return "JPEGInterchangeFormat";
    case 0x0202:
        return "JPEGInterchangeFormatLength";
    case 0x0213:
        return "YCbCrPositioning";
    case 0x02BC:
        return "XMP";
    case 0x8298:
        return "Copyright";
    case 0x83BB:
        return "IPTC";
    case 0x8769:
        return "ExifIFD";
    case 0x8773:
        return "ICCProfile";
    case 0x8825:
        return "GPSIFD";
    case 0x9003:
        return "DateTimeOriginal";
    case 0x9004:
        return "DateTimeDigitized";
    case 0x927C:
        return "MakerNote";
    case 0x9286:
        return "UserComment";
    case 0x9C9B:
        return "XPTitle";
    case 0x9C9C:
        return "XPComment";
    case 0x9C9D:
        return "XPAuthor";
    case 0x9C9E:
        return "XPKeywords";
    case 0x9C9F:
        return "XPSubject";
    case 0xA005:
        return "InteropIFD";
    case 0xA420:
        return "ImageUniqueID";
    case 0xA430:
        return "CameraOwnerName";
    case 0xA431:
        return "BodySerialNumber";
    case 0xA433:
        return "LensMake";
    case 0xA434:
        return "LensModel";
    case 0xA435:
        return "LensSerialNumber";
    default:
        return nullptr;
    }
}

std::string TagNumber(std::uint16_t tag) {
    char text[16];
    std::snprintf(text, sizeof text, "tag 0x%04X", tag);
    return text;
}

std::string TagText(std::uint16_t tag) {
    if (const char* name = TagName(tag)) {
        return name;
    }
    char text[16];
    std::snprintf(text, sizeof text, "tag 0x%04X", tag);
    return text;
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\0' || text.back() == ' ')) {
        text.pop_back();
    }
    for (char& c : text) {
        if (c == '\0') {
            c = ' ';
        }
    }
    return text;
}

// UCS-2 little-endian (the XP tags) to UTF-8.
std::string Ucs2(const std::uint8_t* bytes, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i + 1 < count; i += 2) {
        const unsigned c = bytes[i] | bytes[i + 1] << 8;
        if (c == 0) {
            break;
        }
        if (c < 0x80) {
            text += char(c);
        } else if (c < 0x800) {
            text += char(0xC0 | (c >> 6));
            text += char(0x80 | (c & 0x3F));
        } else {
            text += char(0xE0 | (c >> 12));
            text += char(0x80 | ((c >> 6) & 0x3F));
            text += char(0x80 | (c & 0x3F));
        }
    }
    return text;
}

constexpr int kTypeSize[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4, 0, 0, 8, 8, 8};

class TiffWalker {
public:
    TiffWalker(Walk& walk, std::uint64_t base, std::uint64_t length, const char* source, int depth)
        : walk_(walk), base_(base), length_(length), source_(source), depth_(depth) {}

    // A maker note's directory at `offset` from `base`, in the given byte order. Makers publish
    // none of their layouts, so what does not parse is marked in the tree and never flagged.
    void makerDirectory(std::uint64_t offset, bool little, const std::string& name,
                        std::vector<Part>& level) {
        little_ = little;
        quiet_ = maker_ = true;
        sourceText_ = "MakerNote";
        directory(offset, name, level, false);
    }

    TiffExtent run(std::vector<Part>& level) {
        TiffExtent extent;
        if (length_ < 8 || !walk_.has(base_, 8)) {
            return extent;
        }
        little_ = walk_.u8(base_) == 'I';
        if (!(walk_.matches(base_, "II") || walk_.matches(base_, "MM")) || get(2, 2) != 42) {
            return extent;
        }
        extent.valid = true;
        walk_.add(level, base_, 8, "header",
                  std::string(source_) + (little_ ? " TIFF II" : " TIFF MM"));
        end_ = 8;
        std::uint64_t next = get(4, 4);
        int index = 0;
        while (next != 0 && index < int(walk_.limits().ifdCount) && !walk_.full()) {
            const std::string name =
                (std::string(source_) == "TIFF" ? "page " : "IFD") + std::to_string(index);
            // Writers leave stale or random words in the last directory's link; a chain that
            // leads nowhere in EXIF ends there (the tree marks it), nothing is hidden by it.
            quiet_ = index > 0 && std::string(source_) != "TIFF";
            const std::size_t parts = level.size();
            next = directory(next, name, level, index == 1);
            if (quiet_ && level.size() == parts && parts > 0) {
                level.back().check = Check::Bad;
            }
            ++index;
        }
        extent.end = end_;
        extent.thumbnail = thumbnail_;
        extent.thumbnailLength = thumbnailLength_;
        return extent;
    }

private:
    std::uint64_t get(std::uint64_t offset, int size) const {
        std::uint64_t value = 0;
        for (int i = 0; i < size; ++i) {
            value |= std::uint64_t(walk_.u8(base_ + offset + i))
                     << (8 * (little_ ? i : size - 1 - i));
        }
        return value;
    }
    bool inside(std::uint64_t offset, std::uint64_t count) const {
        return offset <= length_ && count <= length_ - offset && walk_.has(base_ + offset, count);
    }
    void reach(std::uint64_t offset, std::uint64_t count) {
        if (offset <= length_ && count <= length_ - offset) {
            end_ = std::max(end_, offset + count);
        }
    }

    // One directory; returns the next directory's offset in its chain (0 at the end).
    std::uint64_t directory(std::uint64_t offset, const std::string& name, std::vector<Part>& level,
                            bool ifd1) {
        if (!visited_.insert(offset).second) {
            if (quiet_) {
                return 0;
            }
            walk_.anomaly(AnomalyKind::BadMetadata, base_ + offset, 0,
                          std::string(source_) + " directory chain loops back to " +
                              std::to_string(offset));
            return 0;
        }
        if (!inside(offset, 2)) {
            outside(offset, 2, name + " lies outside the structure");
            return 0;
        }
        const std::uint64_t count = get(offset, 2);
        if (count == 0) { // an empty directory: some writers leave IFD0 so
            reach(offset, 2);
            walk_.add(level, base_ + offset, 2, "ifd",
                      std::string(source_) + " " + name + ", empty");
            return 0;
        }
        if (count > walk_.limits().ifdEntries || !inside(offset, 2 + 12 * count)) {
            outside(offset, 2 + 12 * count,
                    name + " with " + std::to_string(count) + " entries is cut short");
            return 0;
        }
        const bool hasNext = inside(offset + 2 + 12 * count, 4);
        reach(offset, 2 + 12 * count + (hasNext ? 4 : 0));
        Part* part = walk_.add(level, base_ + offset, 2 + 12 * count + (hasNext ? 4 : 0), "ifd",
                               std::string(source_) + " " + name);
        if (!part) {
            return 0;
        }
        std::vector<std::uint64_t> stripOffsets, stripCounts;
        std::uint64_t jpegAt = 0, jpegLength = 0;
        Gps gps;
        for (std::uint64_t i = 0; i < count && !walk_.full(); ++i) {
            const std::uint64_t entry = offset + 2 + 12 * i;
            const std::uint16_t tag = std::uint16_t(get(entry, 2));
            const std::uint16_t type = std::uint16_t(get(entry + 2, 2));
            const std::uint64_t n = get(entry + 4, 4);
            const int unit = type < std::size(kTypeSize) ? kTypeSize[type] : 0;
            const std::uint64_t bytes = unit ? n * unit : 0;
            const std::uint64_t value = bytes > 4 ? get(entry + 8, 4) : entry + 8;
            Part* field = walk_.add(part->children, base_ + entry, 12, "entry",
                                    maker_ ? TagNumber(tag) : TagText(tag));
            if (!field || unit == 0 || n > (1u << 30)) {
                continue;
            }
            if (!inside(value, bytes)) {
                field->check = Check::Bad;
                if (std::string(source_) == "TIFF") {
                    outside(value, bytes, TagText(tag) + " values lie outside the file");
                }
                continue;
            }
            if (bytes > 4) {
                reach(value, bytes);
                walk_.add(field->children, base_ + value, bytes, "value", "value");
            }
            // One budget of array values for the whole structure: a directory may repeat a
            // strip tag, and directories may share one huge array.
            auto numbers = [&](std::vector<std::uint64_t>& into) {
                for (std::uint64_t k = 0; k < n && values_ < kValueBudget; ++k, ++values_) {
                    into.push_back(get(value + k * unit, unit >= 4 ? 4 : unit));
                }
            };
            switch (tag) {
            case 0x8769:
            case 0x8825:
            case 0xA005:
            case 0x014A: {
                std::vector<std::uint64_t> subs;
                numbers(subs);
                const char* subName = tag == 0x8769   ? "ExifIFD"
                                      : tag == 0x8825 ? "GPS"
                                      : tag == 0xA005 ? "Interop"
                                                      : "SubIFD";
                if (depth_ < walk_.limits().maxDepth) {
                    for (const std::uint64_t sub : subs) {
                        subdirectory(sub, subName, field->children, tag == 0x8825);
                    }
                }
                break;
            }
            case 0x0111:
            case 0x0144:
                numbers(stripOffsets);
                break;
            case 0x0117:
            case 0x0145:
                numbers(stripCounts);
                break;
            case 0x0201:
                jpegAt = get(value, 4);
                break;
            case 0x0202:
                jpegLength = get(value, 4);
                break;
            case 0x02BC:
                XmpTexts(walk_, base_ + value, bytes);
                break;
            case 0x83BB:
                IptcTexts(walk_, base_ + value, bytes);
                break;
            case 0x927C:
                if (!maker_ && depth_ < walk_.limits().maxDepth) {
                    makerNote(value, bytes, *field);
                }
                break;
            default:
                textValue(tag, type, value, bytes);
                break;
            }
            if (gpsMode_) {
                gps.take(*this, tag, type, value, n);
            }
        }
        strips(stripOffsets, stripCounts, *part);
        if (jpegAt && jpegLength) {
            if (inside(jpegAt, jpegLength)) {
                reach(jpegAt, jpegLength);
                walk_.add(part->children, base_ + jpegAt, jpegLength, "thumbnail",
                          ifd1 ? "thumbnail JPEG" : "JPEG data");
                if (ifd1 || thumbnail_ == 0) {
                    thumbnail_ = jpegAt;
                    thumbnailLength_ = jpegLength;
                }
            } else {
                outside(jpegAt, jpegLength, "the JPEG thumbnail lies outside the structure");
            }
        }
        if (gpsMode_) {
            gps.emit(walk_, base_ + offset);
        }
        return hasNext ? get(offset + 2 + 12 * count, 4) : 0;
    }

    void subdirectory(std::uint64_t offset, const char* name, std::vector<Part>& level, bool gps) {
        const bool was = gpsMode_, wasQuiet = quiet_;
        gpsMode_ = gps;
        // Phones and geotaggers point at GPS and interoperability directories carelessly; a
        // pointer that leads nowhere reads nothing and hides nothing.
        quiet_ = quiet_ || (std::string(source_) != "TIFF" && std::string_view(name) != "ExifIFD");
        ++depth_;
        const std::string previous = sourceText_;
        sourceText_ = std::string(source_) + " " + name;
        directory(offset, name, level, false);
        sourceText_ = previous;
        --depth_;
        gpsMode_ = was;
        quiet_ = wasQuiet;
    }

    void strips(const std::vector<std::uint64_t>& offsets, const std::vector<std::uint64_t>& counts,
                Part& part) {
        const std::size_t n = std::min(offsets.size(), counts.size());
        if (n == 0) {
            return;
        }
        std::uint64_t first = UINT64_MAX, last = 0, missing = 0, farthest = 0;
        for (std::size_t i = 0; i < n; ++i) {
            if (!inside(offsets[i], counts[i])) {
                ++missing;
                farthest = std::max(farthest, offsets[i] + counts[i]);
                continue;
            }
            reach(offsets[i], counts[i]);
            first = std::min(first, offsets[i]);
            last = std::max(last, offsets[i] + counts[i]);
        }
        if (first < last) {
            walk_.add(part.children, base_ + first, last - first, "pixels",
                      std::to_string(n) + (n == 1 ? " strip or tile" : " strips or tiles"));
        }
        if (missing > 0) {
            outside(farthest, 0,
                    std::to_string(missing) + " of " + std::to_string(n) +
                        " strips or tiles lie outside the file");
        }
    }

    // A range the structure cannot hold: in a TIFF file whose end cuts it, the file is
    // truncated; elsewhere the metadata is wrong.
    void outside(std::uint64_t offset, std::uint64_t count, const std::string& reason) {
        if (quiet_) {
            return;
        }
        if (std::string(source_) == "TIFF" && base_ + offset + count > walk_.size()) {
            walk_.truncated(std::min(base_ + offset, walk_.size()), reason);
        } else {
            walk_.anomaly(AnomalyKind::BadMetadata, base_ + std::min(offset, length_), 0,
                          std::string(source_) + ": " + reason);
        }
    }

    void textValue(std::uint16_t tag, std::uint16_t type, std::uint64_t value,
                   std::uint64_t bytes) {
        const std::uint8_t* at = walk_.at(base_ + value);
        const std::string source = sourceText_.empty() ? std::string(source_) : sourceText_;
        if (type == 2 && !gpsMode_) {
            std::string text = Trimmed(Latin1(at, bytes));
            if (!text.empty()) {
                walk_.text(source, TagText(tag), text, base_ + value);
            }
            CheckEmbedded(walk_, base_ + value, bytes, TagText(tag).c_str());
        } else if (tag == 0x9286 && bytes > 8) {
            const bool unicode = std::memcmp(at, "UNICODE", 7) == 0;
            std::string text =
                unicode ? Ucs2(at + 8, bytes - 8) : Trimmed(Latin1(at + 8, bytes - 8));
            if (!text.empty()) {
                walk_.text(source, "UserComment", text, base_ + value);
            }
            CheckEmbedded(walk_, base_ + value + 8, bytes - 8, "UserComment");
        } else if (tag >= 0x9C9B && tag <= 0x9C9F) {
            walk_.text(source, TagText(tag), Ucs2(at, bytes), base_ + value);
        }
    }

    // Where a maker's directory starts and what its offsets count from, by the maker's header.
    void makerNote(std::uint64_t value, std::uint64_t bytes, Part& field) {
        field.name = "MakerNote";
        const std::uint64_t at = base_ + value;
        auto starts = [&](std::string_view id) {
            return walk_.matches(at, id) && bytes > id.size();
        };
        const std::uint64_t end = value + bytes; // relative to base_
        std::uint64_t base = base_, length = length_, ifd = value;
        bool little = little_;
        std::string maker;
        if (starts(std::string_view("Nikon\0\x02", 7)) ||
            starts(std::string_view("Nikon\0\x03", 7))) {
            // A TIFF structure of its own 10 bytes in, its offsets from its own header.
            if (bytes < 18 || !(walk_.matches(at + 10, "II") || walk_.matches(at + 10, "MM"))) {
                field.check = Check::Bad;
                return;
            }
            maker = "Nikon";
            base = at + 10;
            length = bytes - 10;
            little = walk_.u8(base) == 'I';
            TiffWalker header(walk_, base, length, source_, depth_ + 1);
            header.little_ = little;
            ifd = header.get(4, 4);
        } else if (starts("OLYMPUS\0") || starts(std::string_view("OM SYSTEM\0", 10))) {
            const std::uint64_t skip = walk_.u8(at) == 'O' && walk_.u8(at + 1) == 'M' ? 16 : 12;
            maker = "Olympus";
            base = at;
            length = bytes;
            little = walk_.matches(at + skip - 4, "II");
            ifd = skip;
        } else if (starts("FUJIFILM") || starts("GENERALE")) {
            // Little-endian whatever the EXIF order, offsets from the note's own start.
            maker = "Fujifilm";
            base = at;
            length = bytes;
            little = true;
            ifd = bytes >= 12 ? walk_.le32(at + 8) : bytes;
        } else {
            // Notes that are a directory (Canon) or one after a header, with offsets from the
            // EXIF structure's header like every other directory.
            static constexpr std::pair<std::string_view, std::uint64_t> kHeaders[] = {
                {std::string_view("OLYMP\0", 6), 8},
                {std::string_view("SONY DSC \0\0\0", 12), 12},
                {std::string_view("SONY CAM \0\0\0", 12), 12},
                {std::string_view("Panasonic\0\0\0", 12), 12},
                {std::string_view("Nikon\0\x01", 7), 8},
                {std::string_view("AOC\0", 4), 6},
                {std::string_view("QVC\0", 4), 6},
                {std::string_view("SIGMA\0", 6), 10},
                {std::string_view("FOVEON\0", 7), 10},
                {std::string_view("Ricoh", 5), 8},
                {std::string_view("SANYO\0", 6), 8},
                {std::string_view("LEICA\0", 6), 8},
                {std::string_view("Apple iOS\0", 10), 14}};
            for (const auto& [id, skip] : kHeaders) {
                if (starts(id)) {
                    maker = std::string(id.substr(0, id.find_first_of(std::string_view("\0 ", 2))));
                    ifd = value + skip;
                    if (id == std::string_view("AOC\0", 4) &&
                        (walk_.matches(at + 4, "II") || walk_.matches(at + 4, "MM"))) {
                        little = walk_.u8(at + 4) == 'I';
                    }
                    if (id == std::string_view("Apple iOS\0", 10)) {
                        base = at;
                        length = bytes;
                        ifd = skip;
                        little = walk_.matches(at + 12, "II");
                    }
                    break;
                }
            }
            if (ifd >= end) {
                field.check = Check::Bad;
                return;
            }
        }
        field.name = maker.empty() ? "MakerNote" : "MakerNote " + maker;
        TiffWalker note(walk_, base, length, source_, depth_ + 1);
        const std::size_t before = field.children.size();
        note.makerDirectory(ifd, little, maker.empty() ? "maker IFD" : maker + " IFD",
                            field.children);
        if (field.children.size() == before) {
            field.check = Check::Bad; // not a directory after all: the value stays a value
        }
    }

    struct Gps {
        char latitudeRef = 0, longitudeRef = 0;
        double latitude = 0, longitude = 0;
        bool hasLatitude = false, hasLongitude = false;

        void take(TiffWalker& w, std::uint16_t tag, std::uint16_t type, std::uint64_t value,
                  std::uint64_t n) {
            if ((tag == 1 || tag == 3) && type == 2 && n >= 1) {
                (tag == 1 ? latitudeRef : longitudeRef) = char(w.walk_.u8(w.base_ + value));
            } else if ((tag == 2 || tag == 4) && type == 5 && n == 3) {
                double degrees = 0, scale = 1;
                for (int k = 0; k < 3; ++k, scale *= 60) {
                    const double num = double(w.get(value + 8 * k, 4));
                    const double den = double(w.get(value + 8 * k + 4, 4));
                    degrees += den > 0 ? num / den / scale : 0;
                }
                (tag == 2 ? latitude : longitude) = degrees;
                (tag == 2 ? hasLatitude : hasLongitude) = true;
            }
        }
        void emit(Walk& walk, std::uint64_t offset) const {
            if (!hasLatitude || !hasLongitude) {
                return;
            }
            char text[64];
            std::snprintf(text, sizeof text, "%.6f, %.6f",
                          latitudeRef == 'S' ? -latitude : latitude,
                          longitudeRef == 'W' ? -longitude : longitude);
            walk.text("GPS", "position", text, offset);
        }
    };

    Walk& walk_;
    std::uint64_t base_, length_;
    const char* source_;
    std::string sourceText_;
    int depth_;
    bool little_ = false;
    bool gpsMode_ = false;
    bool quiet_ = false; // no anomalies: what fails is marked in the tree
    bool maker_ = false; // a maker's directory: tag numbers are the maker's own
    std::uint64_t end_ = 0;
    std::uint64_t thumbnail_ = 0, thumbnailLength_ = 0;
    std::set<std::uint64_t> visited_;
    static constexpr std::uint64_t kValueBudget = 1u << 22;
    std::uint64_t values_ = 0;
};

} // namespace

TiffExtent WalkTiff(Walk& walk, std::uint64_t base, std::uint64_t length, std::vector<Part>& level,
                    const char* source, int depth) {
    return TiffWalker(walk, base, length, source, depth).run(level);
}

void WalkTiffFile(Walk& walk) {
    FileStructure& out = walk.out();
    Part* root = walk.root("tiff", "TIFF");
    const std::size_t before = out.anomalies.size();
    const TiffExtent extent = WalkTiff(walk, 0, walk.size(), root->children, "TIFF", 0);
    const bool cut = std::any_of(out.anomalies.begin() + before, out.anomalies.end(),
                                 [](const Anomaly& a) { return a.kind == AnomalyKind::Truncated; });
    if (cut) {
        return;
    }
    walk.tail(extent.end, "the last byte the TIFF directories reference");
    out.end = extent.end;
}

} // namespace vantrel::structure::detail
