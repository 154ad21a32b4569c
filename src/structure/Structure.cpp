#include "bytes/FormatSniff.h"
#include "extract/PayloadChecks.h"
#include "structure/Walk.h"

#include <algorithm>
#include <cstdio>

namespace vantrel::structure {

namespace detail {

Part* Walk::root(std::string format, std::string name) {
    out_.format = std::move(format);
    return add(out_.parts, 0, size(), "file", std::move(name));
}

Part* Walk::add(std::vector<Part>& level, std::uint64_t offset, std::uint64_t length,
                std::string kind, std::string name, Check check) {
    if (parts_ >= limits_.maxParts) {
        return nullptr;
    }
    ++parts_;
    // A part a cut file promises beyond its end is shown as far as the file goes.
    offset = std::min<std::uint64_t>(offset, size());
    length = std::min<std::uint64_t>(length, size() - offset);
    Part& part = level.emplace_back();
    part.offset = offset;
    part.length = length;
    part.kind = std::move(kind);
    part.name = std::move(name);
    part.check = check;
    return &part;
}

void Walk::anomaly(AnomalyKind kind, std::uint64_t offset, std::uint64_t length,
                   std::string reason) {
    if (out_.anomalies.size() >= limits_.maxAnomalies) {
        return;
    }
    // Offsets a broken file names beyond its end point at the end, so readers need not check.
    offset = std::min<std::uint64_t>(offset, size());
    length = std::min<std::uint64_t>(length, size() - offset);
    out_.anomalies.push_back({kind, offset, length, OneLine(reason)});
}

void Walk::text(std::string source, std::string key, std::string value, std::uint64_t offset) {
    if (out_.texts.size() >= limits_.maxTexts) {
        return;
    }
    out_.texts.push_back({std::move(source), std::move(key), std::move(value), offset});
}

// Shorter fill is padding only where it runs to the end of the file.
constexpr std::uint64_t kMinFillBeforeData = 16;

void Walk::tail(std::uint64_t end, const char* after) {
    out_.end = std::min<std::uint64_t>(end, size());
    // Photo Mechanic keeps its IPTC edits in a trailer after any image: metadata, not a payload.
    std::uint64_t last = size();
    if (const std::uint64_t trailer = PhotoMechanicTrailer(*this, size());
        trailer > 0 && size() - trailer >= end && !out_.parts.empty()) {
        last = size() - trailer;
        add(out_.parts.front().children, last, trailer, "trailer", "Photo Mechanic trailer");
        IptcTexts(*this, last, trailer - 12);
    }
    // What an aligning writer, a transfer in text mode or a flash card's erased blocks leave
    // after an image hides nothing: one fill byte repeated, or a line end. Only what follows
    // such a run is data after the end.
    std::uint64_t filled = end;
    if (end < last) {
        const std::uint8_t fill = u8(end);
        if (fill == 0 || fill == 0x1A || fill == 0xFF) {
            filled = std::uint64_t(
                std::find_if(at(end), at(last), [fill](std::uint8_t c) { return c != fill; }) -
                at(0));
            // A few such bytes before other data are that data's own first bytes, not fill.
            if (filled < last && filled - end < kMinFillBeforeData) {
                filled = end;
            }
        } else if (last - end <= 2 && std::all_of(at(end), at(last), [](std::uint8_t c) {
                       return c == '\n' || c == '\r';
                   })) {
            filled = last;
        }
    }
    if (filled > end && !out_.parts.empty()) {
        char name[32];
        std::snprintf(name, sizeof name, "padding 0x%02X", u8(end));
        add(out_.parts.front().children, end, filled - end, "padding", name);
    }
    if (filled < last) {
        anomaly(AnomalyKind::DataAfterEnd, filled, last - filled,
                std::to_string(last - filled) + " bytes after " + after +
                    (filled > end ? " and " + std::to_string(filled - end) + " bytes of padding"
                                  : std::string()));
    }
}

void Walk::truncated(std::uint64_t offset, std::string reason) {
    out_.end = size();
    anomaly(AnomalyKind::Truncated, offset, size() > offset ? size() - offset : 0,
            std::move(reason));
}

std::string Latin1(const std::uint8_t* bytes, std::size_t count) {
    std::string text;
    text.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t c = bytes[i];
        if (c < 0x80) {
            text += (c < 0x20 && c != '\n' && c != '\t') ? ' ' : char(c);
        } else {
            text += char(0xC0 | (c >> 6));
            text += char(0x80 | (c & 0x3F));
        }
    }
    return text;
}

namespace {

struct PayloadType {
    std::string kind;
    std::string what;
    bool whole = false; // a file walked by its structure to its end, from the first byte
};

bool FilePayload(const std::string& kind) {
    return kind != "text" && kind != "length-prefixed" && kind != "magic" && kind != "zlib";
}

PayloadType TypeOf(std::span<const std::uint8_t> bytes, const StructureLimits& limits, bool magic) {
    extract::StreamBytes stream(bytes);
    extract::CheckLimits checks;
    checks.follow = limits.carveFollow;
    checks.inflated = limits.carveFollow;
    checks.magic = magic;
    const auto findings = extract::CheckStream(stream, 1, checks);
    PayloadType type;
    for (const extract::Finding& finding : findings) {
        if (finding.offset != 0 || finding.tier != extract::Tier::Found) {
            continue;
        }
        const bool file = FilePayload(finding.kind);
        if (type.kind.empty() || (file && !type.whole)) {
            type.kind = finding.kind;
            type.what = finding.what;
            type.whole = file && finding.length == bytes.size();
        }
    }
    if (!type.kind.empty()) {
        return type;
    }
    const bool printable = !bytes.empty() && std::all_of(bytes.begin(), bytes.end(), [](auto c) {
        return (c >= 0x20 && c < 0x7F) || c == '\n' || c == '\r' || c == '\t' || c >= 0x80;
    });
    type.kind = printable ? "text" : "data";
    type.what = printable ? "printable bytes" : "data";
    for (const extract::Finding& finding : findings) {
        if (finding.kind == "magic") {
            type.what = finding.what;
        }
    }
    return type;
}

} // namespace

void CheckEmbeddedBytes(Walk& walk, std::span<const std::uint8_t> bytes, std::uint64_t offset,
                        const char* where) {
    if (bytes.size() < 16) {
        return;
    }
    const PayloadType type = TypeOf(bytes, walk.limits(), false);
    if (!FilePayload(type.kind) || type.kind == "data") {
        return;
    }
    walk.anomaly(AnomalyKind::EmbeddedFile, offset, bytes.size(),
                 std::string(where) + " holds a " + type.what);
}

void CheckEmbedded(Walk& walk, std::uint64_t offset, std::uint64_t length, const char* where) {
    if (!walk.has(offset, length)) {
        return;
    }
    CheckEmbeddedBytes(walk, {walk.at(offset), length}, offset, where);
}

void CheckPalette(Walk& walk, std::uint64_t offset, std::uint64_t length, const char* where,
                  bool unused) {
    if (!walk.has(offset, length) || length < 24) {
        return;
    }
    // Colours are no prose: a run of 24 or more letters and spaces in a table is a message.
    std::uint64_t run = 0, best = 0, bestEnd = 0;
    for (std::uint64_t i = 0; i < length; ++i) {
        const std::uint8_t c = walk.u8(offset + i);
        run = (c >= 0x20 && c < 0x7F) ? run + 1 : 0;
        if (run > best) {
            best = run;
            bestEnd = i + 1;
        }
    }
    const std::uint64_t start = offset + bestEnd - best;
    if (best >= 24 && extract::ReadsLikeProse({walk.at(start), best})) {
        walk.anomaly(AnomalyKind::PaletteUnused, unused ? offset : start, unused ? length : best,
                     std::string(where) + (unused ? " entries no pixel uses" : " entries") +
                         " hold " + std::to_string(best) + " bytes of text");
        return;
    }
    // A file in the table starts with one of the strong signatures; a few tries at most.
    static constexpr std::string_view kStarts[] = {"PK\x03\x04",
                                                   "\x1f\x8b\x08",
                                                   "7z\xbc\xaf",
                                                   "\x89PNG",
                                                   "BZh",
                                                   "%PDF-",
                                                   "\x7f"
                                                   "ELF",
                                                   "GIF8"};
    int tries = 0;
    for (std::uint64_t i = 0; i + 16 <= length && tries < 8; ++i) {
        const bool start =
            std::any_of(std::begin(kStarts), std::end(kStarts),
                        [&](std::string_view s) { return walk.matches(offset + i, s); });
        if (!start) {
            continue;
        }
        ++tries;
        const PayloadType type = TypeOf({walk.at(offset + i), length - i}, walk.limits(), false);
        if (FilePayload(type.kind) && type.kind != "data") {
            walk.anomaly(AnomalyKind::PaletteUnused, offset + i, length - i,
                         std::string(where) + " entries hold a " + type.what);
            return;
        }
    }
}

} // namespace detail

namespace {

bool Carvable(AnomalyKind kind) {
    switch (kind) {
    case AnomalyKind::DataAfterEnd:
    case AnomalyKind::IdatTrailer:
    case AnomalyKind::UnknownChunk:
    case AnomalyKind::Gap:
    case AnomalyKind::PaletteUnused:
    case AnomalyKind::EmbeddedFile:
    case AnomalyKind::ThumbnailMismatch:
        return true;
    default:
        return false;
    }
}

void Carve(detail::Walk& walk) {
    FileStructure& out = walk.out();
    for (std::size_t i = 0; i < out.anomalies.size(); ++i) {
        const Anomaly& anomaly = out.anomalies[i];
        if (!Carvable(anomaly.kind) || anomaly.length == 0) {
            continue;
        }
        Carved carved;
        carved.offset = anomaly.offset;
        carved.length = anomaly.length;
        carved.from = i;
        for (auto& [index, bytes] : walk.joined()) {
            if (index == i) {
                carved.bytes = std::move(bytes);
            }
        }
        std::span<const std::uint8_t> payload = carved.bytes;
        if (carved.bytes.empty()) {
            if (!walk.has(anomaly.offset, anomaly.length)) {
                continue;
            }
            payload = {walk.at(anomaly.offset), anomaly.length};
        }
        carved.length = payload.size();
        const detail::PayloadType type = detail::TypeOf(payload, walk.limits(), true);
        carved.type = type.kind;
        carved.what = type.what;
        carved.sha256 = Sha256Hex(payload);
        out.carved.push_back(std::move(carved));
    }
}

} // namespace

Result<FileStructure> WalkStructure(std::span<const std::uint8_t> file,
                                    const StructureLimits& limits) {
    FileStructure out;
    out.size = file.size();
    out.end = file.size();
    detail::Walk walk(file, limits, out);
    using bytes::FileFormat;
    static constexpr std::pair<FileFormat, void (*)(detail::Walk&)> kWalks[] = {
        {FileFormat::Png, detail::WalkPng},
        {FileFormat::Jpeg, [](detail::Walk& w) { detail::WalkJpegFile(w); }},
        {FileFormat::Gif, detail::WalkGif},
        {FileFormat::Bmp, detail::WalkBmp},
        {FileFormat::Webp, detail::WalkWebp},
        {FileFormat::Tiff, detail::WalkTiffFile},
        {FileFormat::Pnm, detail::WalkPnm},
        {FileFormat::Psd, detail::WalkPsd},
        {FileFormat::Jp2, detail::WalkJp2},
        {FileFormat::CodeStream, detail::WalkJp2},
    };
    const FileFormat format = bytes::SniffFormat(file);
    for (const auto& [known, walkFormat] : kWalks) {
        if (known == format) {
            walkFormat(walk);
        }
    }
    Carve(walk);
    return out;
}

} // namespace vantrel::structure
