#pragma once
// What every format's walk shares: bounded reads of the file, and one place that records parts,
// anomalies and texts under the limits.
#include "bytes/ByteOrder.h"
#include "structure/FileStructure.h"

#include <cstring>

namespace vantrel::structure::detail {

class Walk {
public:
    Walk(std::span<const std::uint8_t> file, const StructureLimits& limits, FileStructure& out)
        : file_(file), limits_(limits), out_(out) {}

    std::span<const std::uint8_t> file() const { return file_; }
    std::uint64_t size() const { return file_.size(); }
    const std::uint8_t* at(std::uint64_t offset) const { return file_.data() + offset; }
    const StructureLimits& limits() const { return limits_; }
    FileStructure& out() { return out_; }

    // True when [offset, offset + length) lies inside the file, without overflow.
    bool has(std::uint64_t offset, std::uint64_t length) const {
        return offset <= file_.size() && length <= file_.size() - offset;
    }
    bool matches(std::uint64_t offset, std::string_view bytes) const {
        return has(offset, bytes.size()) &&
               std::memcmp(at(offset), bytes.data(), bytes.size()) == 0;
    }
    std::uint8_t u8(std::uint64_t o) const { return file_[o]; }
    std::uint16_t be16(std::uint64_t o) const { return bytes::Be16(at(o)); }
    std::uint32_t be32(std::uint64_t o) const { return bytes::Be32(at(o)); }
    std::uint16_t le16(std::uint64_t o) const { return bytes::Le16(at(o)); }
    std::uint32_t le32(std::uint64_t o) const { return bytes::Le32(at(o)); }

    // Every walk's first step: the format's name, and the part that spans the whole file.
    Part* root(std::string format, std::string name);
    // A part the tree may still take; nullptr once the limit is reached (the caller stops).
    Part* add(std::vector<Part>& level, std::uint64_t offset, std::uint64_t length,
              std::string kind, std::string name, Check check = Check::None);
    bool full() const { return parts_ >= limits_.maxParts; }

    void anomaly(AnomalyKind kind, std::uint64_t offset, std::uint64_t length, std::string reason);
    void text(std::string source, std::string key, std::string value, std::uint64_t offset);
    // `data-after-end` for everything from `end` on; the image ends there.
    void tail(std::uint64_t end, const char* after);
    void truncated(std::uint64_t offset, std::string reason);

    // Extra bytes for a carved item that is not one extent of the file, keyed by anomaly index.
    void ownBytes(std::vector<std::uint8_t> bytes) {
        joined_.emplace_back(out_.anomalies.size() - 1, std::move(bytes));
    }
    std::vector<std::pair<std::size_t, std::vector<std::uint8_t>>>& joined() { return joined_; }

private:
    std::span<const std::uint8_t> file_;
    const StructureLimits& limits_;
    FileStructure& out_;
    std::size_t parts_ = 0;
    std::vector<std::pair<std::size_t, std::vector<std::uint8_t>>> joined_;
};

// The format walks; each sets format, end, parts and whatever anomalies it sees.
void WalkPng(Walk& walk);
void WalkJpeg(Walk& walk, std::uint64_t start, std::vector<Part>& level, int depth,
              std::uint64_t* end);
// `thumbnails`: compare the EXIF thumbnail with the image (two decodes).
void WalkJpegFile(Walk& walk, bool thumbnails = true);
void WalkGif(Walk& walk);
void WalkBmp(Walk& walk);
void WalkWebp(Walk& walk);
void WalkTiffFile(Walk& walk);
void WalkPnm(Walk& walk);
void WalkPsd(Walk& walk);
void WalkJp2(Walk& walk);

// An EXIF/TIFF structure at `base` (its "II*\0" or "MM\0*" header) of at most `length` bytes.
// Returns the last byte any of its directories references (relative to base), or 0 if it is
// not a TIFF structure. Thumbnail and maker-note extents are noted in the tree.
struct TiffExtent {
    bool valid = false;
    std::uint64_t end = 0;       // one past the last referenced byte, relative to base
    std::uint64_t thumbnail = 0; // JPEG thumbnail offset relative to base, if any
    std::uint64_t thumbnailLength = 0;
};
TiffExtent WalkTiff(Walk& walk, std::uint64_t base, std::uint64_t length, std::vector<Part>& level,
                    const char* source, int depth);

// Checks a metadata value for a whole file inside it: an `embedded-file` anomaly when the
// payload checks walk one to its end. Text and noise are not flagged.
void CheckEmbedded(Walk& walk, std::uint64_t offset, std::uint64_t length, const char* where);
void CheckEmbeddedBytes(Walk& walk, std::span<const std::uint8_t> bytes, std::uint64_t offset,
                        const char* where);
// Palette bytes that read as prose or hold a file: entries no colour table needs. `unused`: the
// range is known to be entries no pixel shows, and the anomaly names all of it.
void CheckPalette(Walk& walk, std::uint64_t offset, std::uint64_t length, const char* where,
                  bool unused = false);

// Whether an EXIF thumbnail shows the same picture as the JPEG holding it; nothing when either
// does not decode.
std::optional<bool> ThumbnailMatches(std::span<const std::uint8_t> image,
                                     std::span<const std::uint8_t> thumbnail);

// An XMP packet's properties as texts (attributes and simple elements).
void XmpTexts(Walk& walk, std::uint64_t offset, std::uint64_t length);
// IPTC-IIM records as texts.
void IptcTexts(Walk& walk, std::uint64_t offset, std::uint64_t length);
// Photoshop image resources (8BIM blocks): IPTC and XMP inside become texts. False when one is
// cut short (flagged unless `quietCut`: a JPEG continues it in its next APP13 segment).
bool PhotoshopResources(Walk& walk, std::uint64_t offset, std::uint64_t length, Part& part,
                        bool quietCut = false);
// The length of a Photo Mechanic trailer ending at `end` (its IPTC records and 12-byte
// footer), or 0.
std::uint64_t PhotoMechanicTrailer(Walk& walk, std::uint64_t end);
// Latin-1 to UTF-8 (PNG tEXt, GIF comments), control characters kept out.
std::string Latin1(const std::uint8_t* bytes, std::size_t count);

} // namespace vantrel::structure::detail
