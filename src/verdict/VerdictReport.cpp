#include "verdict/VerdictReport.h"

#include "blind/BlindReport.h"
#include "image/Json.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

namespace vantrel {

std::string BlindCsvCells(const BlindResult& result) {
    return BlindCsvRow("", result).substr(1); // the empty path and its comma
}

} // namespace vantrel

namespace vantrel::verdict {
namespace {

std::string Figure(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", value);
    return text;
}

// "0.1234 >= 0.08", "0.01 < 0.08", "1234", or "".
std::string FigureText(const Evidence& e) {
    if (!e.figure) {
        return {};
    }
    if (!e.threshold) {
        return Figure(*e.figure);
    }
    return Figure(*e.figure) + (e.flagged ? " >= " : " < ") + Figure(*e.threshold);
}

const char* Mark(const Evidence& e) {
    return e.found                                       ? "found"
           : e.flagged                                   ? "flagged"
           : e.state.kind == DetectorState::Kind::Ok     ? "ok"
           : e.state.kind == DetectorState::Kind::Failed ? "failed"
                                                         : "n/a";
}

std::string EvidenceLine(const Evidence& e) {
    std::string line = e.analysis + " " + e.detector;
    const std::string figure = FigureText(e);
    if (!figure.empty()) {
        line += " " + figure;
    }
    if (!e.state.ok()) {
        line += " (" + StateLine(e.state) + ")";
    } else if (!e.why.empty()) {
        line += ": " + e.why;
    }
    if (!e.tool.empty()) {
        line += " [" + e.tool + "]";
    }
    return line;
}

std::string Html(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string Base64(const std::vector<std::uint8_t>& bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::uint32_t n = std::uint32_t{bytes[i]} << 16 |
                                (i + 1 < bytes.size() ? std::uint32_t{bytes[i + 1]} << 8 : 0) |
                                (i + 2 < bytes.size() ? bytes[i + 2] : 0);
        out += kDigits[n >> 18 & 63];
        out += kDigits[n >> 12 & 63];
        out += i + 1 < bytes.size() ? kDigits[n >> 6 & 63] : '=';
        out += i + 2 < bytes.size() ? kDigits[n & 63] : '=';
    }
    return out;
}

std::string VerdictOf(const FileRecord& r) {
    return r.readable() ? VerdictName(r.verdict) : "unreadable";
}

const AnalysisPart* PartNamed(const FileRecord& r, std::string_view name) {
    for (const AnalysisPart& part : r.parts) {
        if (part.name == name) {
            return &part;
        }
    }
    return nullptr;
}

} // namespace

std::string EvidenceJson(const Evidence& e) {
    JsonObject object;
    object.add("analysis", e.analysis).add("detector", e.detector);
    e.figure ? object.add("figure", *e.figure) : object.null("figure");
    e.threshold ? object.add("threshold", *e.threshold) : object.null("threshold");
    AddState(object, e.state);
    object.add("flagged", e.flagged).add("found", e.found);
    e.tool.empty() ? object.null("tool") : object.add("tool", e.tool);
    return object.add("why", e.why).str();
}

std::string RecordJson(const FileRecord& r) {
    JsonObject object;
    object.add("file", r.file).add("path", r.file).add("format", r.format);
    object.add("width", r.width).add("height", r.height);
    r.readable() ? object.add("verdict", VerdictName(r.verdict)) : object.null("verdict");
    object.raw("tools", JsonStringArray(r.tools));
    r.readable() ? object.null("error") : object.add("error", r.error);
    std::vector<std::string> evidence;
    for (const Evidence& e : r.evidence) {
        evidence.push_back(EvidenceJson(e));
    }
    object.raw("evidence", JsonArray(evidence));
    for (const AnalysisPart& part : r.parts) {
        object.raw(part.name, part.json);
    }
    object.raw("saved", JsonStringArray(r.saved));
    return object.add("seconds", r.seconds).str();
}

std::string RecordText(const FileRecord& r) {
    std::string text = r.file + ": " + VerdictOf(r);
    if (!r.tools.empty()) {
        std::string tools;
        for (const std::string& tool : r.tools) {
            tools += (tools.empty() ? "" : ", ") + tool;
        }
        text += " (" + tools + ")";
    }
    text += r.readable() ? " - " + r.format + " " + std::to_string(r.width) + " x " +
                               std::to_string(r.height)
                         : ": " + r.error;
    text += "\n";
    for (const Evidence& e : r.evidence) {
        char mark[16];
        std::snprintf(mark, sizeof mark, "  %-8s", Mark(e));
        text += mark + EvidenceLine(e) + "\n";
    }
    for (const std::string& saved : r.saved) {
        text += "  saved    " + saved + "\n";
    }
    return text;
}

std::string ScanCsvHeader(bool words) {
    const std::string blind = BlindCsvHeader();
    return "path,verdict,tools,format," + blind.substr(blind.find(',') + 1) +
           ",anomalies,anomaly_kinds" + (words ? ",steghide_passphrase" : "");
}

std::string ScanCsvRow(const FileRecord& r, bool words) {
    std::string tools;
    for (const std::string& tool : r.tools) {
        tools += (tools.empty() ? "" : ";") + tool;
    }
    std::string row = CsvField(r.file) + "," + VerdictOf(r) + "," + CsvField(tools) + "," +
                      CsvField(r.format) + ",";
    const AnalysisPart* pixels = PartNamed(r, "pixels");
    const AnalysisPart* jpeg = PartNamed(r, "jpeg");
    const AnalysisPart* attacks =
        pixels && !pixels->csv.empty() && !pixels->csv.starts_with("error") ? pixels
        : jpeg && !jpeg->csv.empty()                                        ? jpeg
                                                                            : nullptr;
    if (attacks && !attacks->csv.starts_with("error: ")) {
        row += attacks->csv;
    } else {
        // The blind columns of a file no attack read: width, height and suspicious empty, why.
        row += ",,," + CsvField(r.readable() && attacks ? attacks->csv.substr(7) : r.error) +
               std::string(25, ',');
    }
    const AnalysisPart* structure = PartNamed(r, "structure");
    row += "," + (structure && !structure->csv.empty() ? structure->csv : ",");
    if (words) {
        const AnalysisPart* steghide = PartNamed(r, "steghide");
        // Empty when no word opened it; n/a for a file steghide cannot hide in.
        const bool applies =
            steghide && !steghide->evidence.empty() &&
            steghide->evidence.front().state.kind != DetectorState::Kind::NotApplicable;
        row += "," + (applies ? steghide->csv : std::string("n/a"));
    }
    return row;
}

std::string PayloadScanJson(const extract::ScanResult& result) {
    std::vector<std::string> findings;
    for (const extract::Finding& f : result.findings) {
        if (f.tier == extract::Tier::Raw) {
            continue;
        }
        findings.push_back(extract::FindingJson(f));
    }
    return JsonObject()
        .add("verdict", extract::VerdictText(result.verdict))
        .add("layouts", result.walk.size())
        .raw("findings", JsonArray(findings))
        .str();
}

std::string PasswordsJson(const passwords::PasswordAttackResult& result) {
    std::vector<std::string> hits;
    std::size_t candidates = 0;
    for (const passwords::PasswordHit& hit : result.hits) {
        candidates += !hit.verified;
        hits.push_back(JsonObject()
                           .add("tool", hit.tool)
                           .add("password", hit.password)
                           .add("verified", hit.verified)
                           .add("proof", hit.proof)
                           .add("size", hit.payload.size())
                           .add("name", hit.name)
                           .str());
    }
    return JsonObject()
        .raw("hits", JsonArray(hits))
        .add("candidates", candidates)
        .add("tried", result.tried)
        .str();
}

std::string PasswordsCsvCell(const passwords::PasswordAttackResult& result) {
    return result.hits.empty() ? std::string() : CsvField(result.hits.front().password);
}

std::string StructureCsvCells(const structure::FileStructure& s) {
    std::string kinds;
    std::set<structure::AnomalyKind> seen;
    for (const structure::Anomaly& anomaly : s.anomalies) {
        if (seen.insert(anomaly.kind).second) {
            kinds.append(kinds.empty() ? "" : ";").append(structure::AnomalyText(anomaly.kind));
        }
    }
    return std::to_string(s.anomalies.size()) + "," + CsvField(kinds);
}

std::string ReportHtml(const std::vector<FileRecord>& records, double seconds) {
    std::map<std::string, int> verdicts{
        {"found", 0}, {"suspicious", 0}, {"clean", 0}, {"unreadable", 0}};
    std::map<std::string, int> tools;
    std::set<std::string> formats;
    for (const FileRecord& r : records) {
        ++verdicts[VerdictOf(r)];
        for (const std::string& tool : r.tools) {
            ++tools[tool];
        }
        formats.insert(r.format);
    }
    std::string html = R"(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>Vantrel scan report</title>
<style>
body{font:14px/1.4 sans-serif;margin:16px;color:#222}
h1{font-size:20px;margin:0 0 8px}
.summary span{display:inline-block;margin:0 14px 6px 0}
.pill{padding:1px 8px;border-radius:9px;color:#fff;font-weight:bold}
.found{background:#b3261e}.suspicious{background:#d97706}.clean{background:#2e7d32}
.unreadable{background:#666}
table{border-collapse:collapse;width:100%;margin-top:10px}
th,td{border-bottom:1px solid #ddd;padding:4px 6px;text-align:left;vertical-align:top}
th{background:#f3f3f3;cursor:pointer;user-select:none}
th:after{content:" \2195";color:#aaa}
td.ev{font-size:12px;color:#444}
img{max-width:64px;max-height:64px}
</style></head><body>
<h1>Vantrel scan report</h1>
<div class="summary">)";
    html += "<span><b>" + std::to_string(records.size()) + "</b> files</span>";
    for (const char* name : {"found", "suspicious", "clean", "unreadable"}) {
        const int count = verdicts[name];
        html += std::string("<span><span class=\"pill ") + name + "\">" + name + "</span> " +
                std::to_string(count) + "</span>";
    }
    char time[64];
    std::snprintf(time, sizeof time, "%.1f s", seconds);
    html += "<span>time " + std::string(time) + "</span><br>";
    for (const auto& [tool, count] : tools) {
        html += "<span>" + Html(tool) + ": " + std::to_string(count) + "</span>";
    }
    html += R"(</div>
<label>Verdict <select id="fv"><option value="">all</option><option>found</option>
<option>suspicious</option><option>clean</option><option>unreadable</option></select></label>
<label>Format <select id="ff"><option value="">all</option>)";
    for (const std::string& format : formats) {
        html += "<option>" + Html(format) + "</option>";
    }
    html += R"(</select></label>
<table id="rows"><thead><tr><th></th><th>File</th><th>Format</th><th>Size</th><th>Verdict</th>
<th>Tools</th><th>Evidence</th><th>Payloads</th></tr></thead><tbody>
)";
    for (const FileRecord& r : records) {
        const std::string verdict = VerdictOf(r);
        html += "<tr data-verdict=\"" + verdict + "\" data-format=\"" + Html(r.format) + "\"><td>";
        if (!r.thumbnail.empty()) {
            html += "<img alt=\"\" src=\"data:image/jpeg;base64," + Base64(r.thumbnail) + "\">";
        }
        std::string tools;
        for (const std::string& tool : r.tools) {
            tools += (tools.empty() ? "" : ", ") + tool;
        }
        html += "</td><td>" + Html(r.file) + "</td><td>" + Html(r.format) + "</td><td data-n=\"" +
                std::to_string(std::int64_t{r.width} * r.height) + "\">" +
                (r.readable() ? std::to_string(r.width) + " x " + std::to_string(r.height) : "") +
                "</td><td data-n=\"" +
                std::to_string(verdict == "found"        ? 0
                               : verdict == "suspicious" ? 1
                               : verdict == "clean"      ? 2
                                                         : 3) +
                "\"><span class=\"pill " + verdict + "\">" + verdict + "</span></td><td>" +
                Html(tools) + "</td><td class=\"ev\">";
        int shown = 0;
        if (!r.readable()) {
            html += Html(r.error);
        }
        for (const Evidence& e : r.evidence) {
            if ((!e.found && !e.flagged) || ++shown > 3) {
                break;
            }
            html += Html(EvidenceLine(e)) + "<br>";
        }
        if (shown == 0 && r.readable()) {
            html += "no detector reached its threshold";
        }
        html += "</td><td>";
        for (const std::string& saved : r.saved) {
            html += "<a href=\"" + Html(saved) + "\">" +
                    Html(saved.substr(saved.find_last_of('/') + 1)) + "</a><br>";
        }
        html += "</td></tr>\n";
    }
    html += R"(</tbody></table>
<script>
(function(){
var body=document.querySelector('#rows tbody');
function filter(){var v=document.getElementById('fv').value,f=document.getElementById('ff').value;
 for(var r of body.rows){r.style.display=(!v||r.dataset.verdict==v)&&(!f||r.dataset.format==f)?'':'none';}}
document.getElementById('fv').onchange=filter;document.getElementById('ff').onchange=filter;
document.querySelectorAll('#rows th').forEach(function(th,col){var up=true;th.onclick=function(){
 var rows=Array.from(body.rows);rows.sort(function(a,b){var x=a.cells[col],y=b.cells[col];
  var d=('n' in x.dataset)?(+x.dataset.n)-(+y.dataset.n):x.textContent.localeCompare(y.textContent);
  return up?d:-d;});up=!up;rows.forEach(function(r){body.appendChild(r);});};});
})();
</script></body></html>
)";
    return html;
}

} // namespace vantrel::verdict
