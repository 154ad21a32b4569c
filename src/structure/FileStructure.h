#pragma once
// The container of an image file, part by part: what each part is, where the image ends, what
// lies where no writer puts anything, the metadata texts, and the regions worth carving. Runs in
// the decoder process only: every byte it reads is the suspect file's.
#include "image/Result.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::structure {

enum class Check : std::uint8_t { None, Ok, Bad };

// One node of the tree format -> segment -> field.
struct Part {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    std::string kind; // chunk, segment, marker, ifd, entry, header, palette, pixels, ...
    std::string name; // IHDR, APP1 Exif, IFD0, Make, ...
    Check check = Check::None;
    std::vector<Part> children;
};

enum class AnomalyKind : std::uint8_t {
    DataAfterEnd,
    Truncated,
    CrcMismatch,
    IdatExcess,
    IdatTrailer,
    UnknownChunk,
    Gap,
    BadMetadata,
    ThumbnailMismatch,
    PaletteUnused,
    EmbeddedFile,
    HiddenFrame, // an animation frame no viewer ever shows
};

// "data-after-end", "truncated", ...
const char* AnomalyText(AnomalyKind kind);

struct Anomaly {
    AnomalyKind kind = AnomalyKind::DataAfterEnd;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    std::string reason; // one line
};

// A metadata text, listed for the reader and never an anomaly by itself.
struct Text {
    std::string source; // EXIF IFD0, XMP, IPTC, COM, tEXt, zTXt, iTXt, GIF comment, PNM, GPS
    std::string key;
    std::string value; // UTF-8
    std::uint64_t offset = 0;
};

// Lowercase hex SHA-256: the digest a carved item carries, and what a carve is checked against.
std::string Sha256Hex(std::span<const std::uint8_t> bytes);

struct Carved {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    std::string type;     // from the payload checks' structure walk: zip, png, ..., text, data
    std::string what;     // the check's one-line description
    std::size_t from = 0; // index into anomalies
    std::string sha256;   // lowercase hex of the carved bytes
    // The carved bytes where they are not one extent of the file (sub-blocks joined, an
    // inflated text); empty when the extent offset/length is the payload.
    std::vector<std::uint8_t> bytes;
};

struct IdatTotals {
    std::uint64_t chunks = 0;
    std::uint64_t compressed = 0;
    std::uint64_t inflated = 0; // as far as the cap let the inflate go
    std::uint64_t needed = 0;   // what IHDR's size and format need
    bool streamEnded = false;   // the zlib stream reached its end (Adler-32 checked)
    bool capped = false;        // the inflate stopped at the cap: the data holds at least this
};

struct StructureInfo {
    // The width and height the image really has where IHDR says otherwise (a stale CRC solved,
    // or image data for more rows than declared).
    std::optional<std::pair<std::uint32_t, std::uint32_t>> ihdrTrueSize;
    std::optional<IdatTotals> idat;
};

struct FileStructure {
    std::string format = "unknown"; // png, jpeg, gif, bmp, webp, tiff, pnm, psd, jp2, j2k
    std::uint64_t size = 0;
    std::uint64_t end = 0; // where the image's last byte is followed (== size when nothing follows)
    std::vector<Part> parts;
    std::vector<Anomaly> anomalies;
    std::vector<Text> texts;
    std::vector<Carved> carved;
    StructureInfo info;
};

// Bounds for untrusted input; every one of them is reached only by a hostile or broken file.
struct StructureLimits {
    std::uint64_t inflateMargin = 16ull << 20; // IDAT inflated past what IHDR needs
    std::uint64_t inflateTotal = 1ull << 30;   // IDAT inflated in all
    std::uint64_t textInflate = 4ull << 20;    // one compressed text chunk
    std::uint64_t carveFollow = 256ull << 20;  // bytes a carved type check may follow
    std::size_t maxParts = 200000;             // parts of all levels together
    std::size_t maxTexts = 10000;
    std::size_t maxAnomalies = 1000;
    int maxDepth = 8;                         // nested containers (EXIF in JPEG in MPF ...)
    std::uint32_t ifdEntries = 4096;          // entries of one TIFF directory
    std::size_t ifdCount = 1024;              // directories of one TIFF structure
    std::uint32_t sizeSearchWidth = 1u << 16; // widths tried when both IHDR sides are unknown
};

Result<FileStructure> WalkStructure(std::span<const std::uint8_t> file,
                                    const StructureLimits& limits = {});

// One JSON object: {"file", "size", "format", "end", "parts", "anomalies", "texts", "carved",
// "info"}. `saved` names the carved files written, one a carved item, or is empty.
std::string StructureJson(const FileStructure& structure, std::string_view file,
                          const std::vector<std::string>& saved = {});

// A readable report: anomalies first, then the part tree, texts and carved items.
std::string StructureReport(const FileStructure& structure, std::string_view file);

} // namespace vantrel::structure
