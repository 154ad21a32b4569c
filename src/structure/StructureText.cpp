// The structure as one JSON object and as a readable report, so that every front end prints
// the same thing.
#include "structure/FileStructure.h"

#include "image/Json.h"

#include <openssl/evp.h>

#include <array>
#include <cstdio>

namespace vantrel::structure {

namespace {

void Quote(std::string& out, std::string_view text) {
    out += JsonString(text);
}

const char* CheckText(Check check) {
    return check == Check::Ok ? "ok" : check == Check::Bad ? "bad" : "none";
}

void PartJson(std::string& out, const Part& part) {
    out += "{\"offset\": " + std::to_string(part.offset) +
           ", \"length\": " + std::to_string(part.length) + ", \"kind\": ";
    Quote(out, part.kind);
    out += ", \"name\": ";
    Quote(out, part.name);
    out += ", \"check\": \"";
    out += CheckText(part.check);
    out += "\", \"children\": [";
    for (std::size_t i = 0; i < part.children.size(); ++i) {
        out += i ? ", " : "";
        PartJson(out, part.children[i]);
    }
    out += "]}";
}

template <typename T, typename F>
void List(std::string& out, const char* key, const std::vector<T>& items, F each) {
    out += ", \"";
    out += key;
    out += "\": [";
    for (std::size_t i = 0; i < items.size(); ++i) {
        out += i ? ", " : "";
        each(items[i], i);
    }
    out += "]";
}

void PartLines(std::string& out, const Part& part, int depth) {
    char line[96];
    std::snprintf(line, sizeof line, "%*s%10llu %10llu  ", 2 * depth, "",
                  static_cast<unsigned long long>(part.offset),
                  static_cast<unsigned long long>(part.length));
    out += line;
    out += part.kind + " " + part.name;
    out += part.check == Check::Bad ? "  [bad]\n" : part.check == Check::Ok ? "  [ok]\n" : "\n";
    for (const Part& child : part.children) {
        PartLines(out, child, depth + 1);
    }
}

} // namespace

const char* AnomalyText(AnomalyKind kind) {
    switch (kind) {
    case AnomalyKind::DataAfterEnd:
        return "data-after-end";
    case AnomalyKind::Truncated:
        return "truncated";
    case AnomalyKind::CrcMismatch:
        return "crc-mismatch";
    case AnomalyKind::IdatExcess:
        return "idat-excess";
    case AnomalyKind::IdatTrailer:
        return "idat-trailer";
    case AnomalyKind::UnknownChunk:
        return "unknown-chunk";
    case AnomalyKind::Gap:
        return "gap";
    case AnomalyKind::BadMetadata:
        return "bad-metadata";
    case AnomalyKind::ThumbnailMismatch:
        return "thumbnail-mismatch";
    case AnomalyKind::PaletteUnused:
        return "palette-unused";
    case AnomalyKind::EmbeddedFile:
        break;
    }
    return "embedded-file";
}

std::string Sha256Hex(std::span<const std::uint8_t> bytes) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr);
    static const char* const kHex = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}

std::string StructureJson(const FileStructure& s, std::string_view file,
                          const std::vector<std::string>& saved) {
    std::string out = "{\"file\": ";
    Quote(out, file);
    out += ", \"size\": " + std::to_string(s.size) + ", \"format\": ";
    Quote(out, s.format);
    out += ", \"end\": " + std::to_string(s.end);
    List(out, "parts", s.parts, [&](const Part& p, std::size_t) { PartJson(out, p); });
    List(out, "anomalies", s.anomalies, [&](const Anomaly& a, std::size_t) {
        out += "{\"kind\": \"";
        out += AnomalyText(a.kind);
        out += "\", \"offset\": " + std::to_string(a.offset) +
               ", \"length\": " + std::to_string(a.length) + ", \"reason\": ";
        Quote(out, a.reason);
        out += "}";
    });
    List(out, "texts", s.texts, [&](const Text& t, std::size_t) {
        out += "{\"source\": ";
        Quote(out, t.source);
        out += ", \"key\": ";
        Quote(out, t.key);
        out += ", \"value\": ";
        Quote(out, t.value);
        out += ", \"offset\": " + std::to_string(t.offset) + "}";
    });
    List(out, "carved", s.carved, [&](const Carved& c, std::size_t i) {
        out += "{\"offset\": " + std::to_string(c.offset) +
               ", \"length\": " + std::to_string(c.length) + ", \"type\": ";
        Quote(out, c.type);
        out += ", \"from\": " + std::to_string(c.from) + ", \"sha256\": \"" + c.sha256 +
               "\", \"saved\": ";
        if (i < saved.size() && !saved[i].empty()) {
            Quote(out, saved[i]);
        } else {
            out += "null";
        }
        out += "}";
    });
    out += ", \"info\": {\"ihdr_true_size\": ";
    if (s.info.ihdrTrueSize) {
        out += "[" + std::to_string(s.info.ihdrTrueSize->first) + ", " +
               std::to_string(s.info.ihdrTrueSize->second) + "]";
    } else {
        out += "null";
    }
    out += ", \"idat\": ";
    if (const auto& idat = s.info.idat) {
        out += "{\"chunks\": " + std::to_string(idat->chunks) +
               ", \"compressed\": " + std::to_string(idat->compressed) +
               ", \"inflated\": " + std::to_string(idat->inflated) +
               ", \"needed\": " + std::to_string(idat->needed) +
               ", \"stream_ended\": " + (idat->streamEnded ? "true" : "false") +
               ", \"capped\": " + (idat->capped ? "true" : "false") + "}";
    } else {
        out += "null";
    }
    out += "}}";
    return out;
}

std::string StructureReport(const FileStructure& s, std::string_view file) {
    std::string out = std::string(file) + ": " + s.format + ", " + std::to_string(s.size) +
                      " bytes, the image ends at " + std::to_string(s.end) + "\n";
    if (s.anomalies.empty()) {
        out += "no anomalies\n";
    }
    for (const Anomaly& a : s.anomalies) {
        out += "  ";
        out += AnomalyText(a.kind);
        out += " at " + std::to_string(a.offset) + ", " + std::to_string(a.length) +
               " bytes: " + a.reason + "\n";
    }
    if (s.info.ihdrTrueSize) {
        out += "true size " + std::to_string(s.info.ihdrTrueSize->first) + "x" +
               std::to_string(s.info.ihdrTrueSize->second) + "\n";
    }
    if (const auto& idat = s.info.idat) {
        out += "image data: " + std::to_string(idat->chunks) + " IDAT chunks, " +
               std::to_string(idat->compressed) + " bytes compressed, " +
               std::to_string(idat->inflated) + (idat->capped ? "+" : "") + " inflated, " +
               std::to_string(idat->needed) + " needed\n";
    }
    out += "parts (offset, length):\n";
    for (const Part& part : s.parts) {
        PartLines(out, part, 1);
    }
    if (!s.texts.empty()) {
        out += "texts:\n";
    }
    for (const Text& t : s.texts) {
        out += "  " + t.source + " " + t.key + ": " + OneLine(t.value) + "\n";
    }
    for (const Carved& c : s.carved) {
        out += "carved " + std::to_string(c.offset) + ", " + std::to_string(c.length) +
               " bytes: " + c.type + " (" + c.what + "), sha256 " + c.sha256 + "\n";
    }
    return out;
}

} // namespace vantrel::structure
