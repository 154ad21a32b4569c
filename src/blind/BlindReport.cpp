#include "blind/BlindReport.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

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

// The attack's own figures are already in `object`; its judgement follows them.
std::string Judged(JsonObject& object, AttackStatus status, const Judgement& judgement) {
    object.add("status", StatusName(status));
    AddState(object, judgement.state);
    return object.add("flagged", judgement.flagged).add("threshold", judgement.threshold).str();
}

std::string ChannelJson(const ChannelResult& channel) {
    JsonObject chi, rs, spa, ws, top, topChi;
    chi.add("p", channel.chiSquare.p)
        .add("fraction", channel.chiSquare.fraction)
        .add("shifted_p", channel.chiSquare.shiftedP);
    rs.add("rate", channel.rs.rate);
    spa.add("rate", channel.spa.rate);
    ws.add("rate", channel.ws.rate)
        .add("beta_raw", channel.ws.betaRaw)
        .add("bias", channel.ws.bias);
    top.add("rate", channel.top.rate).add("rows", channel.top.rows);
    topChi.add("p", channel.topChiSquare.p).add("shifted_p", channel.topChiSquare.shiftedP);
    return JsonObject()
        .raw("chi_square", Judged(chi, channel.chiSquare.status, channel.chiSquare.judgement))
        .raw("rs", Judged(rs, channel.rs.status, channel.rs.judgement))
        .raw("spa", Judged(spa, channel.spa.status, channel.spa.judgement))
        .raw("ws", Judged(ws, channel.ws.status, channel.ws.judgement))
        .raw("top_rows",
             Judged(top, channel.top.rows > 0 ? AttackStatus::Ok : AttackStatus::NoGroups,
                    channel.top.judgement))
        .raw("top_chi_square",
             Judged(topChi,
                    channel.topChiSquare.samples > 0 ? AttackStatus::Ok : AttackStatus::NoTest,
                    channel.topChiSquare.judgement))
        .add("visible_samples", channel.visible)
        .add("usable_samples", channel.usable)
        .str();
}

} // namespace

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

namespace {

std::string Decimals(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", value);
    return std::string(text) == "-0.0000" ? std::string("0.0000") : std::string(text);
}

std::string JpegBlindJson(const JpegBlindResult& jpeg) {
    const JpegAnalysis& a = jpeg.analysis;
    JsonObject quality;
    quality.add("estimate", a.quality.quality).add("exact", a.quality.exact);
    return JsonObject()
        .raw("quality", quality.str())
        .raw("jsteg_fraction", JpegJstegFractionJson(a, jpeg.verdict))
        .raw("f5", JpegF5Json(a, jpeg.verdict))
        .raw("verdict", JpegVerdictJson(jpeg.verdict))
        .str();
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
    JsonObject out;
    out.add("path", path);
    if (!error.empty()) {
        return out.null("width").null("height").null("suspicious").add("error", error).str();
    }
    out.add("width", result.width)
        .add("height", result.height)
        .add("suspicious", result.suspicious);
    out.null("error");
    if (result.jpeg) {
        return out.null("channels")
            .add("pixel_attacks", kNotApplicableToJpeg)
            .raw("jpeg", JpegBlindJson(*result.jpeg))
            .str();
    }
    JsonObject channels;
    for (const ChannelResult& channel : result.channels) {
        channels.raw(channel.name, ChannelJson(channel));
    }
    JsonObject transparent;
    transparent.add("changes", result.transparentLsb.changes)
        .add("pairs", result.transparentLsb.counts.pairs);
    AddState(transparent, result.transparentLsb.judgement.state);
    transparent.add("flagged", result.transparentLsb.judgement.flagged)
        .add("threshold", result.transparentLsb.judgement.threshold);
    return out.raw("channels", channels.str()).raw("transparent_lsb", transparent.str()).str();
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

std::string JudgedCell(double value, AttackStatus status, const Judgement& judgement) {
    return judgement.state.ok() || status != AttackStatus::Ok ? RateCell(value, status) : "n/a";
}

std::string ChannelStateLine(const ChannelResult& channel) {
    for (const Judgement* judgement : {&channel.chiSquare.judgement, &channel.rs.judgement,
                                       &channel.spa.judgement, &channel.ws.judgement}) {
        if (!judgement->state.ok()) {
            return StateLine(judgement->state);
        }
    }
    return {};
}

bool ChannelApplies(const ChannelResult& channel) {
    return channel.chiSquare.judgement.state.ok() || channel.rs.judgement.state.ok() ||
           channel.spa.judgement.state.ok() || channel.ws.judgement.state.ok() ||
           channel.top.judgement.state.ok() || channel.topChiSquare.judgement.state.ok();
}

std::string BlindVerdictLine(const BlindResult& result) {
    if (result.suspicious) {
        return "suspicious";
    }
    if (result.jpeg) {
        return "clean";
    }
    const auto inapplicable =
        std::find_if(result.channels.begin(), result.channels.end(),
                     [](const ChannelResult& c) { return !ChannelApplies(c); });
    if (inapplicable == result.channels.end()) {
        return "clean";
    }
    const std::string line = ChannelStateLine(*inapplicable);
    if (std::none_of(result.channels.begin(), result.channels.end(), ChannelApplies)) {
        return line;
    }
    return "clean; " + inapplicable->name + " " + line;
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
    addRow("chi2 p", [](const ChannelResult& c) {
        return JudgedCell(c.chiSquare.p, c.chiSquare.status, c.chiSquare.judgement);
    });
    addRow("fraction", [](const ChannelResult& c) {
        return JudgedCell(c.chiSquare.fraction, c.chiSquare.status, c.chiSquare.judgement);
    });
    addRow("RS", [](const ChannelResult& c) {
        return JudgedCell(c.rs.rate, c.rs.status, c.rs.judgement);
    });
    addRow("SPA", [](const ChannelResult& c) {
        return JudgedCell(c.spa.rate, c.spa.status, c.spa.judgement);
    });
    addRow("WS", [](const ChannelResult& c) {
        return JudgedCell(c.ws.rate, c.ws.status, c.ws.judgement);
    });
    addRow("top rows", [](const ChannelResult& c) {
        return JudgedCell(c.top.rate, c.top.rows > 0 ? AttackStatus::Ok : AttackStatus::NoGroups,
                          c.top.judgement);
    });
    addRow("verdict", [](const ChannelResult& c) {
        return std::string(c.suspicious ? "suspicious" : ChannelApplies(c) ? "clean" : "n/a");
    });
    for (const ChannelResult& channel : result.channels) {
        const std::string line = ChannelStateLine(channel);
        if (!line.empty()) {
            table.append(channel.name).append(": ").append(line).append("\n");
        }
    }
    return table;
}

std::string BlindText(const std::string& path, const BlindResult& result) {
    std::string text = path;
    text.append(": ")
        .append(std::to_string(result.width))
        .append(" x ")
        .append(std::to_string(result.height))
        .append(result.jpeg ? ", JPEG" : "")
        .append(", ")
        .append(BlindVerdictLine(result))
        .append("\n");
    return text.append(BlindTable(result));
}

} // namespace vantrel
