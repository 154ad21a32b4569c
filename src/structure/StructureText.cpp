// The structure as one JSON object and as a readable report, so that every front end prints
// the same thing.
#include "structure/FileStructure.h"

#include "image/EnumText.h"
#include "image/Json.h"

#include <openssl/evp.h>

#include <array>
#include <cstdio>

namespace vantrel::structure {

namespace {

const char* CheckText(Check check) {
    return check == Check::Ok ? "ok" : check == Check::Bad ? "bad" : "none";
}

std::string PartJson(const Part& part) {
    std::vector<std::string> children;
    for (const Part& child : part.children) {
        children.push_back(PartJson(child));
    }
    return JsonObject()
        .add("offset", part.offset)
        .add("length", part.length)
        .add("kind", part.kind)
        .add("name", part.name)
        .add("check", CheckText(part.check))
        .raw("children", JsonArray(children))
        .str();
}

template <typename T, typename F> std::string List(const std::vector<T>& items, F each) {
    std::vector<std::string> elements;
    for (std::size_t i = 0; i < items.size(); ++i) {
        elements.push_back(each(items[i], i));
    }
    return JsonArray(elements);
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
    static constexpr const char* kTexts[] = {
        "data-after-end",     "truncated",      "crc-mismatch",  "idat-excess",
        "idat-trailer",       "unknown-chunk",  "gap",           "bad-metadata",
        "thumbnail-mismatch", "palette-unused", "embedded-file", "hidden-frame"};
    return EnumText<AnomalyKind::HiddenFrame>(kind, kTexts, AnomalyKind::HiddenFrame);
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
    JsonObject out;
    out.add("file", file).add("size", s.size).add("format", s.format).add("end", s.end);
    out.raw("parts", List(s.parts, [](const Part& p, std::size_t) { return PartJson(p); }));
    // Every anomaly is a finding the calibration counts; quiet parts (padding) are not.
    out.raw("anomalies", List(s.anomalies, [](const Anomaly& a, std::size_t) {
                return JsonObject()
                    .add("kind", AnomalyText(a.kind))
                    .add("offset", a.offset)
                    .add("length", a.length)
                    .add("reason", a.reason)
                    .add("flagged", true)
                    .str();
            }));
    out.raw("texts", List(s.texts, [](const Text& t, std::size_t) {
                return JsonObject()
                    .add("source", t.source)
                    .add("key", t.key)
                    .add("value", t.value)
                    .add("offset", t.offset)
                    .str();
            }));
    out.raw("carved", List(s.carved, [&](const Carved& c, std::size_t i) {
                JsonObject carved;
                carved.add("offset", c.offset)
                    .add("length", c.length)
                    .add("type", c.type)
                    .add("from", c.from)
                    .add("sha256", c.sha256);
                if (i < saved.size() && !saved[i].empty()) {
                    carved.add("saved", saved[i]);
                } else {
                    carved.null("saved");
                }
                return carved.str();
            }));
    JsonObject info;
    if (s.info.ihdrTrueSize) {
        info.raw("ihdr_true_size", JsonArray({std::to_string(s.info.ihdrTrueSize->first),
                                              std::to_string(s.info.ihdrTrueSize->second)}));
    } else {
        info.null("ihdr_true_size");
    }
    if (const auto& idat = s.info.idat) {
        info.raw("idat", JsonObject()
                             .add("chunks", idat->chunks)
                             .add("compressed", idat->compressed)
                             .add("inflated", idat->inflated)
                             .add("needed", idat->needed)
                             .add("stream_ended", idat->streamEnded)
                             .add("capped", idat->capped)
                             .str());
    } else {
        info.null("idat");
    }
    return out.raw("info", info.str()).str();
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
