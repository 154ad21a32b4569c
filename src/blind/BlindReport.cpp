#include "blind/BlindReport.h"

#include "steghide/SteghideCrypto.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <set>

namespace vantrel {
namespace {

constexpr const char* kAllChannels[] = {"R", "G", "B", "Y"};

const ChannelResult* FindChannel(const BlindResult& result, std::string_view name) {
    for (const ChannelResult& channel : result.channels) {
        if (channel.name == name) {
            return &channel;
        }
    }
    return nullptr;
}

std::string Rate(double rate, const char* status) {
    return std::string("{\"rate\": ")
        .append(JsonNumber(rate))
        .append(", \"status\": \"")
        .append(status)
        .append("\"}");
}

std::string ChannelJson(const ChannelResult& channel) {
    std::string out = "{\"chi_square\": {\"p\": ";
    out.append(JsonNumber(channel.chiSquare.p))
        .append(", \"fraction\": ")
        .append(JsonNumber(channel.chiSquare.fraction))
        .append(", \"status\": \"")
        .append(StatusName(channel.chiSquare.status))
        .append("\"}, \"rs\": ")
        .append(Rate(channel.rs.rate, StatusName(channel.rs.status)))
        .append(", \"spa\": ")
        .append(Rate(channel.spa.rate, StatusName(channel.spa.status)))
        .append(", \"ws\": ")
        .append("{\"rate\": ")
        .append(JsonNumber(channel.ws.rate))
        .append(", \"beta_raw\": ")
        .append(JsonNumber(channel.ws.betaRaw))
        .append(", \"bias\": ")
        .append(JsonNumber(channel.ws.bias))
        .append(", \"status\": \"")
        .append(StatusName(channel.ws.status))
        .append("\"}}");
    return out;
}

std::string CsvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(text);
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    quoted += '"';
    return quoted;
}

std::string Decimals(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", value);
    return std::string(text) == "-0.0000" ? std::string("0.0000") : std::string(text);
}

const char* Bool(bool value) {
    return value ? "true" : "false";
}

std::string JpegBlindJson(const JpegBlindResult& jpeg) {
    const JpegAnalysis& a = jpeg.analysis;
    std::string out = "{\"quality\": {\"estimate\": ";
    out.append(std::to_string(a.quality.quality))
        .append(", \"exact\": ")
        .append(Bool(a.quality.exact))
        .append("}, \"jsteg_fraction\": ")
        .append(JpegJstegFractionJson(a, jpeg.verdict));
    return out.append(", \"f5\": ")
        .append(JpegF5Json(a, jpeg.verdict))
        .append(", \"verdict\": ")
        .append(JpegVerdictJson(jpeg.verdict))
        .append("}");
}

} // namespace

std::vector<std::pair<std::string, std::string>> JpegBlindRows(const JpegBlindResult& jpeg) {
    const JpegAnalysis& a = jpeg.analysis;
    std::vector<std::pair<std::string, std::string>> rows;
    for (const char* pixelAttack : {"chi-square p", "fraction", "RS", "SPA", "WS"}) {
        rows.emplace_back(pixelAttack, kNotApplicableToJpeg);
    }
    rows.emplace_back("JSteg fraction", Decimals(JstegFractionJudged(a)) +
                                            (jpeg.verdict.jstegSuspicious ? " (suspicious)" : ""));
    rows.emplace_back("F5 beta", !a.f5.valid ? std::string("picture too small")
                                             : Decimals(a.f5.beta) +
                                                   (jpeg.verdict.f5Unreliable   ? " (unreliable)"
                                                    : jpeg.verdict.f5Suspicious ? " (suspicious)"
                                                                                : ""));
    rows.emplace_back("compressed twice", a.doubleCompression.detected ? "yes" : "no");
    rows.emplace_back("quality", std::to_string(a.quality.quality) +
                                     (a.quality.exact ? "" : " (approximate)"));
    rows.emplace_back("verdict", jpeg.verdict.suspicious ? "suspicious" : "clean");
    return rows;
}

std::string BlindJson(const std::string& path, const BlindResult& result,
                      const std::string& error) {
    std::string out = "{\"path\": ";
    out.append(JsonString(path));
    if (!error.empty()) {
        return out.append(", \"width\": null, \"height\": null, \"suspicious\": null, \"error\": ")
            .append(JsonString(error))
            .append("}");
    }
    out.append(", \"width\": ")
        .append(std::to_string(result.width))
        .append(", \"height\": ")
        .append(std::to_string(result.height))
        .append(", \"suspicious\": ")
        .append(result.suspicious ? "true" : "false");
    if (result.jpeg) {
        return out.append(", \"error\": null, \"channels\": null, \"pixel_attacks\": ")
            .append(JsonString(kNotApplicableToJpeg))
            .append(", \"jpeg\": ")
            .append(JpegBlindJson(*result.jpeg))
            .append("}");
    }
    out.append(", \"error\": null, \"channels\": {");
    for (std::size_t i = 0; i < result.channels.size(); ++i) {
        out.append(i == 0 ? "" : ", ")
            .append(JsonString(result.channels[i].name))
            .append(": ")
            .append(ChannelJson(result.channels[i]));
    }
    return out.append("}}");
}

std::string BlindCsvHeader() {
    std::string header = "path,width,height,suspicious,error";
    for (const char* channel : kAllChannels) {
        for (const char* column : {"_chi_p", "_chi_fraction", "_rs", "_spa", "_ws"}) {
            header.append(",").append(channel).append(column);
        }
    }
    return header.append(
        ",jpeg_quality,jpeg_jsteg_fraction,jpeg_f5_beta,jpeg_double_compressed,jpeg_verdict");
}

std::string BlindCsvRow(const std::string& path, const BlindResult& result,
                        const std::string& error) {
    std::string row = CsvField(path);
    if (!error.empty()) {
        return row.append(",,,,").append(CsvField(error)).append(std::string(25, ','));
    }
    row.append(",")
        .append(std::to_string(result.width))
        .append(",")
        .append(std::to_string(result.height))
        .append(result.suspicious ? ",true," : ",false,");
    for (const char* name : kAllChannels) {
        const ChannelResult* channel = FindChannel(result, name);
        if (channel == nullptr) {
            row.append(",,,,,");
            continue;
        }
        for (const double value : {channel->chiSquare.p, channel->chiSquare.fraction,
                                   channel->rs.rate, channel->spa.rate, channel->ws.rate}) {
            row.append(",").append(JsonNumber(value));
        }
    }
    if (!result.jpeg) {
        return row.append(",,,,,");
    }
    const JpegAnalysis& a = result.jpeg->analysis;
    return row.append(",")
        .append(std::to_string(a.quality.quality))
        .append(",")
        .append(JsonNumber(JstegFractionJudged(a)))
        .append(",")
        .append(a.f5.valid ? JsonNumber(a.f5.beta) : std::string())
        .append(a.doubleCompression.detected ? ",true," : ",false,")
        .append(CsvField(result.jpeg->verdict.text));
}

std::string RateCell(double value, AttackStatus status) {
    if (status != AttackStatus::Ok) {
        return StatusName(status);
    }
    return Decimals(value);
}

std::string BlindTable(const BlindResult& result) {
    if (result.jpeg) {
        std::string table;
        for (const auto& [label, value] : JpegBlindRows(*result.jpeg)) {
            table.append(label)
                .append(std::string(18 - std::min<std::size_t>(label.size(), 17), ' '))
                .append(value)
                .append("\n");
        }
        return table.append(result.jpeg->verdict.text).append("\n");
    }
    std::string table = "attack    ";
    char cell[64];
    for (const ChannelResult& channel : result.channels) {
        std::snprintf(cell, sizeof cell, " %10s", channel.name.c_str());
        table += cell;
    }
    table += '\n';
    const auto addRow = [&](const char* label, auto value) {
        std::snprintf(cell, sizeof cell, "%-10s", label);
        table += cell;
        for (const ChannelResult& channel : result.channels) {
            std::snprintf(cell, sizeof cell, " %10s", value(channel).c_str());
            table += cell;
        }
        table += '\n';
    };
    addRow("chi2 p",
           [](const ChannelResult& c) { return RateCell(c.chiSquare.p, c.chiSquare.status); });
    addRow("fraction", [](const ChannelResult& c) {
        return RateCell(c.chiSquare.fraction, c.chiSquare.status);
    });
    addRow("RS", [](const ChannelResult& c) { return RateCell(c.rs.rate, c.rs.status); });
    addRow("SPA", [](const ChannelResult& c) { return RateCell(c.spa.rate, c.spa.status); });
    addRow("WS", [](const ChannelResult& c) { return RateCell(c.ws.rate, c.ws.status); });
    addRow("verdict", [](const ChannelResult& c) {
        return std::string(c.suspicious ? "suspicious" : "clean");
    });
    return table;
}

std::string BlindText(const std::string& path, const BlindResult& result) {
    std::string text = path;
    text.append(": ")
        .append(std::to_string(result.width))
        .append(" x ")
        .append(std::to_string(result.height))
        .append(result.jpeg ? ", JPEG" : "")
        .append(result.suspicious ? ", suspicious\n" : ", clean\n");
    return text.append(BlindTable(result));
}

namespace {

const BlindResult& Shown(const ScanRow& row) {
    static const BlindResult kNone;
    return row.result ? *row.result : kNone;
}

std::string AnomalyKinds(const structure::FileStructure& s) {
    std::string kinds;
    std::set<structure::AnomalyKind> seen;
    for (const structure::Anomaly& anomaly : s.anomalies) {
        if (seen.insert(anomaly.kind).second) {
            kinds.append(kinds.empty() ? "" : ";").append(structure::AnomalyText(anomaly.kind));
        }
    }
    return kinds;
}

std::string SteghideJson(const ScanSteghide& cell) {
    if (!cell.hit) {
        return "null";
    }
    const SteghidePassphraseHit& hit = *cell.hit;
    return "{\"passphrase\": " + JsonString(hit.passphrase) +
           ", \"encryption\": " + JsonString(SteghideAlgorithmName(hit.header.algorithm)) +
           ", \"mode\": " + JsonString(SteghideModeName(hit.header.mode)) + ", \"size\": " +
           (hit.payload ? std::to_string(hit.payload->data.size()) : std::string("null")) +
           ", \"name\": " + (hit.payload ? JsonString(hit.payload->name) : std::string("null")) +
           "}";
}

} // namespace

std::string ScanCsvHeader(bool steghide) {
    return BlindCsvHeader() + ",anomalies,anomaly_kinds" + (steghide ? ",steghide_passphrase" : "");
}

std::string ScanCsvRow(const ScanRow& row, bool steghide) {
    std::string out = BlindCsvRow(row.path, Shown(row), row.result.error());
    if (row.structure) {
        out.append(",").append(std::to_string(row.structure->anomalies.size()));
        out.append(",").append(CsvField(AnomalyKinds(*row.structure)));
    } else {
        out.append(",,").append(CsvField("error: " + row.structure.error()));
    }
    if (steghide && row.steghide) {
        const ScanSteghide& cell = *row.steghide;
        out.append(",").append(!cell.applies         ? std::string("n/a")
                               : !cell.error.empty() ? CsvField("error: " + cell.error)
                               : cell.hit            ? CsvField(cell.hit->passphrase)
                                                     : std::string());
    } else if (steghide) {
        out.append(",");
    }
    return out;
}

std::string ScanJson(const ScanRow& row, bool steghide) {
    std::string out = BlindJson(row.path, Shown(row), row.result.error());
    out.pop_back(); // the closing brace
    out.append(", \"structure\": ")
        .append(row.structure ? structure::StructureJson(*row.structure, row.path)
                              : "{\"error\": " + JsonString(row.structure.error()) + "}");
    if (steghide) {
        out.append(", \"steghide\": ").append(row.steghide ? SteghideJson(*row.steghide) : "null");
    }
    return out.append("}");
}

} // namespace vantrel
