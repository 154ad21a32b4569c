#include "jpeg/JpegReport.h"

#include "image/Json.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vantrel {
namespace {

const char* JsonBool(bool value) {
    return value ? "true" : "false";
}

// A p-value that does not exist (too few pairs) is null, not a number.
std::string PValue(double p) {
    return std::isfinite(p) ? JsonNumber(p) : std::string("null");
}

std::string JstegJson(const JstegChiSquare& attack) {
    std::vector<std::string> curve;
    for (const double p : attack.curve) {
        curve.push_back(PValue(p));
    }
    return JsonObject()
        .raw("p_whole", PValue(attack.pWhole))
        .add("fraction", attack.fraction)
        .add("usable", attack.usable)
        .raw("curve", JsonArray(curve))
        .add("wrong_pairing_fraction", attack.wrongFraction)
        .str();
}

// The keys every detector's object ends with.
void AddJudgement(JsonObject& object, const DetectorState& state, bool flagged, double threshold) {
    AddState(object, state);
    object.add("flagged", flagged).add("threshold", threshold);
}

std::string TableJson(const std::array<std::uint16_t, 64>& table) {
    std::string out = "[";
    for (std::size_t i = 0; i < table.size(); ++i) {
        out += (i == 0 ? "" : ", ") + std::to_string(table[i]);
    }
    return out + "]";
}

// Comments promise no encoding; read as Latin-1 they always make valid UTF-8 JSON.
std::string Latin1ToUtf8(const std::string& bytes) {
    std::string out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return out;
}

std::string ReportJson(const std::string& path, const JpegCoefficients& jpeg,
                       const JpegAnalysis& analysis, const JpegVerdict& verdict) {
    std::string out = "{\"file\": " + JsonString(path) +
                      ", \"width\": " + std::to_string(jpeg.width) +
                      ", \"height\": " + std::to_string(jpeg.height) +
                      ", \"progressive\": " + (jpeg.progressive ? "true" : "false");
    out += ", \"quality\": {\"estimate\": " + std::to_string(analysis.quality.quality) +
           ", \"exact\": " + (analysis.quality.exact ? "true" : "false") + "}, \"tables\": {";
    bool first = true;
    for (std::size_t t = 0; t < jpeg.quantTables.size(); ++t) {
        if (jpeg.quantTablePresent[t]) {
            out += (first ? "\"" : ", \"") + std::to_string(t) +
                   "\": " + TableJson(jpeg.quantTables[t]);
            first = false;
        }
    }
    out += "}, \"components\": [";
    for (std::size_t i = 0; i < jpeg.components.size(); ++i) {
        const JpegComponent& c = jpeg.components[i];
        out += std::string(i == 0 ? "" : ", ") + "{\"id\": " + std::to_string(c.id) +
               ", \"sampling\": [" + std::to_string(c.hSampling) + ", " +
               std::to_string(c.vSampling) + "], \"table\": " + std::to_string(c.quantTableIndex) +
               ", \"blocks\": [" + std::to_string(c.widthInBlocks) + ", " +
               std::to_string(c.heightInBlocks) + "]}";
    }
    JsonObject jsteg;
    const char* pairings[] = {"twos", "magnitude"};
    for (std::size_t p = 0; p < 2; ++p) {
        jsteg.raw(pairings[p], JsonObject()
                                   .raw("luminance", JstegJson(analysis.jsteg[p][0]))
                                   .raw("all", JstegJson(analysis.jsteg[p][1]))
                                   .str());
    }
    jsteg.add("fraction", verdict.jstegFraction);
    AddJudgement(jsteg, verdict.jstegState, verdict.jstegSuspicious, kJstegSuspiciousFraction);
    out += "], \"jsteg\": " + jsteg.str() + ", \"f5\": " + JpegF5Json(analysis, verdict) +
           ", \"trailer\": " +
           (jpeg.trailerLength == 0
                ? std::string("null")
                : "{\"offset\": " + std::to_string(jpeg.trailerOffset) +
                      ", \"length\": " + std::to_string(jpeg.trailerLength) + "}") +
           ", \"comments\": [";
    for (std::size_t i = 0; i < jpeg.comments.size(); ++i) {
        out += (i == 0 ? "" : ", ") + JsonString(Latin1ToUtf8(jpeg.comments[i]));
    }
    out += "], \"verdict\": " + JpegVerdictJson(verdict) + "}";
    return out;
}

std::string Fixed(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", value);
    return text;
}

} // namespace

std::string JpegVerdictJson(const JpegVerdict& verdict) {
    return std::string("{\"suspicious\": ")
        .append(JsonBool(verdict.suspicious))
        .append(", \"jsteg\": ")
        .append(JsonBool(verdict.jstegSuspicious))
        .append(", \"f5\": ")
        .append(JsonBool(verdict.f5Suspicious))
        .append(", \"f5_unreliable\": ")
        .append(JsonBool(verdict.f5Unreliable))
        .append(", \"text\": ")
        .append(JsonString(verdict.text))
        .append("}");
}

std::string JpegF5Json(const JpegAnalysis& analysis, const JpegVerdict& verdict) {
    std::vector<std::string> perComponent;
    for (const F5ComponentEstimate& component : analysis.f5.components) {
        perComponent.push_back(JsonNumber(component.beta));
    }
    JsonObject f5;
    f5.raw("beta_per_component", JsonArray(perComponent));
    if (analysis.f5.valid) {
        f5.add("beta", analysis.f5.beta);
    } else {
        f5.null("beta");
    }
    f5.add("double_compressed", analysis.doubleCompression.detected);
    f5.add("calibration_residual", analysis.doubleCompression.residual);
    f5.add("nonzero", F5Nonzero(analysis.f5));
    std::vector<std::string> perMode;
    for (const double beta : F5ModeBetas(analysis.f5)) {
        perMode.push_back(JsonNumber(beta));
    }
    f5.raw("beta_per_mode", JsonArray(perMode));
    f5.add("beta_least_mode", verdict.f5LeastModeBeta);
    AddJudgement(f5, verdict.f5State, verdict.f5Suspicious, kF5SuspiciousBeta);
    return f5.str();
}

std::string JpegJstegFractionJson(const JpegAnalysis& analysis, const JpegVerdict& verdict) {
    JsonObject jsteg;
    const char* pairings[] = {"twos", "magnitude"};
    for (std::size_t p = 0; p < 2; ++p) {
        jsteg.raw(pairings[p], JsonObject()
                                   .add("luminance", analysis.jsteg[p][0].fraction)
                                   .add("all", analysis.jsteg[p][1].fraction)
                                   .str());
    }
    jsteg.add("fraction", verdict.jstegFraction);
    AddJudgement(jsteg, verdict.jstegState, verdict.jstegSuspicious, kJstegSuspiciousFraction);
    return jsteg.str();
}

double JstegFractionJudged(const JpegAnalysis& analysis) {
    double fraction = 0;
    for (const auto& pairing : analysis.jsteg) {
        for (const JstegChiSquare& attack : pairing) {
            fraction = std::max(fraction, attack.fraction);
        }
    }
    return fraction;
}

std::string JpegReportJson(const std::string& path, const JpegCoefficients& jpeg,
                           const JpegAnalysis& analysis, const JpegVerdict& verdict) {
    return ReportJson(path, jpeg, analysis, verdict);
}

std::string JpegTrailerText(const JpegCoefficients& jpeg) {
    std::string text = jpeg.trailerLength == 0
                           ? std::string("nothing after EOI")
                           : std::to_string(jpeg.trailerLength) + " bytes after EOI at offset " +
                                 std::to_string(jpeg.trailerOffset);
    return text + ", " + std::to_string(jpeg.comments.size()) +
           (jpeg.comments.size() == 1 ? " comment" : " comments");
}

std::string JpegSamplingText(const JpegCoefficients& jpeg) {
    static const char* const kNames[] = {"Y", "Cb", "Cr", "K"};
    std::string text;
    for (std::size_t i = 0; i < jpeg.components.size(); ++i) {
        const JpegComponent& c = jpeg.components[i];
        if (i > 0) {
            text += ", ";
        }
        text += jpeg.components.size() == 1 ? std::string("Y")
                : i < 4                     ? std::string(kNames[i])
                                            : std::string("#").append(std::to_string(c.id));
        text.append(" ")
            .append(std::to_string(c.hSampling))
            .append("x")
            .append(std::to_string(c.vSampling))
            .append(" (table ")
            .append(std::to_string(c.quantTableIndex))
            .append(")");
    }
    return text;
}

std::string JpegReportText(const std::string& path, const JpegCoefficients& jpeg,
                           const JpegAnalysis& analysis, const JpegVerdict& verdict) {
    std::string text = path + ": " + std::to_string(jpeg.width) + " x " +
                       std::to_string(jpeg.height) +
                       (jpeg.progressive ? ", progressive" : ", baseline") + ", quality " +
                       std::to_string(analysis.quality.quality) +
                       (analysis.quality.exact ? "" : " (approximate)") + "\n  sampling " +
                       JpegSamplingText(jpeg) + "\n";
    const char* pairings[] = {"twos", "magnitude"};
    for (std::size_t p = 0; p < 2; ++p) {
        text += std::string("  JSteg ") + pairings[p] + ": luminance fraction " +
                Fixed(analysis.jsteg[p][0].fraction) + ", all components fraction " +
                Fixed(analysis.jsteg[p][1].fraction) + "\n";
    }
    text += "  " + JpegTrailerText(jpeg) + "\n";
    for (const std::string& comment : jpeg.comments) {
        std::string line = Latin1ToUtf8(comment);
        // One comment a line, whatever it holds.
        std::replace_if(
            line.begin(), line.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
        text += "  comment: " + line + "\n";
    }
    const auto state = [](const DetectorState& s) {
        return s.ok() ? std::string() : " (" + StateLine(s) + ")";
    };
    return text + "  JSteg fraction judged: " + Fixed(verdict.jstegFraction) +
           state(verdict.jstegState) +
           "\n  F5 beta: " + (analysis.f5.valid ? Fixed(analysis.f5.beta) : "n/a") +
           state(verdict.f5State) + "\n  " + verdict.text + "\n";
}

} // namespace vantrel
