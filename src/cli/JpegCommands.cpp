// The JPEG domain on the command line: the coefficients, read in a decoder process, and the
// attacks on them.
#include "blind/BlindReport.h"
#include "cli/Cli.h"
#include "jpeg/JpegVerdict.h"
#include "jpeg/LoadCoefficients.h"

#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>

namespace vantrel::cli {
namespace {

JpegCoefficients CoefficientsOrThrow(const std::string& path) {
    Result<JpegCoefficients> jpeg = LoadJpegCoefficients(path);
    if (!jpeg) {
        throw InputError(jpeg.error());
    }
    return std::move(jpeg).value();
}

// A p-value that does not exist (too few pairs) is null, not a number.
std::string PValue(double p) {
    return std::isfinite(p) ? JsonNumber(p) : std::string("null");
}

std::string JstegJson(const JstegChiSquare& attack) {
    std::string out = "{\"p_whole\": " + PValue(attack.pWhole) +
                      ", \"fraction\": " + JsonNumber(attack.fraction) +
                      ", \"usable\": " + std::to_string(attack.usable) + ", \"curve\": [";
    for (std::size_t i = 0; i < attack.curve.size(); ++i) {
        out += (i == 0 ? "" : ", ") + PValue(attack.curve[i]);
    }
    return out + "]}";
}

std::string TableJson(const std::array<std::uint16_t, 64>& table) {
    std::string out = "[";
    for (std::size_t i = 0; i < table.size(); ++i) {
        out += (i == 0 ? "" : ", ") + std::to_string(table[i]);
    }
    return out + "]";
}

std::string JpegJson(const std::string& path, const JpegCoefficients& jpeg,
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
    out += "], \"jsteg\": {";
    const char* pairings[] = {"twos", "magnitude"};
    for (std::size_t p = 0; p < 2; ++p) {
        out += std::string(p == 0 ? "" : ", ") + "\"" + pairings[p] +
               "\": {\"luminance\": " + JstegJson(analysis.jsteg[p][0]) +
               ", \"all\": " + JstegJson(analysis.jsteg[p][1]) + "}";
    }
    out += "}, \"f5\": {\"beta_per_component\": [";
    for (std::size_t i = 0; i < analysis.f5.components.size(); ++i) {
        out += (i == 0 ? "" : ", ") + JsonNumber(analysis.f5.components[i].beta);
    }
    out += "], \"beta\": " + (analysis.f5.valid ? JsonNumber(analysis.f5.beta) : "null") +
           ", \"double_compressed\": " + (analysis.doubleCompression.detected ? "true" : "false") +
           "}, \"verdict\": {\"suspicious\": " + (verdict.suspicious ? "true" : "false") +
           ", \"jsteg\": " + (verdict.jstegSuspicious ? "true" : "false") +
           ", \"f5\": " + (verdict.f5Suspicious ? "true" : "false") +
           ", \"f5_unreliable\": " + (verdict.f5Unreliable ? "true" : "false") +
           ", \"text\": " + JsonString(verdict.text) + "}}";
    return out;
}

std::string Fixed(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", value);
    return text;
}

void PrintReport(const std::string& path, const JpegCoefficients& jpeg,
                 const JpegAnalysis& analysis, const JpegVerdict& verdict) {
    std::cout << path << ": " << jpeg.width << " x " << jpeg.height
              << (jpeg.progressive ? ", progressive" : ", baseline") << ", quality "
              << analysis.quality.quality << (analysis.quality.exact ? "" : " (approximate)")
              << '\n';
    const char* pairings[] = {"twos", "magnitude"};
    for (std::size_t p = 0; p < 2; ++p) {
        std::cout << "  JSteg " << pairings[p] << ": luminance fraction "
                  << Fixed(analysis.jsteg[p][0].fraction) << ", all components fraction "
                  << Fixed(analysis.jsteg[p][1].fraction) << '\n';
    }
    std::cout << "  F5 beta: " << (analysis.f5.valid ? Fixed(analysis.f5.beta) : "n/a")
              << (analysis.doubleCompression.detected ? " (double compressed: unreliable)" : "")
              << "\n  " << verdict.text << '\n';
}

int RunJpeg(const Arguments& args) {
    if (!args.empty() && args[0] == "dump") {
        if (args.size() != 2) {
            throw UsageError("jpeg dump takes one FILE");
        }
        // One line a block: component, block row, block column, then the 64 coefficients in
        // natural order, as other readers print them.
        const JpegCoefficients jpeg = CoefficientsOrThrow(args[1]);
        for (std::size_t c = 0; c < jpeg.components.size(); ++c) {
            const JpegComponent& component = jpeg.components[c];
            for (int row = 0; row < component.heightInBlocks; ++row) {
                for (int column = 0; column < component.widthInBlocks; ++column) {
                    std::cout << c << ' ' << row << ' ' << column;
                    for (const std::int16_t value : component.block(row, column)) {
                        std::cout << ' ' << value;
                    }
                    std::cout << '\n';
                }
            }
        }
        return 0;
    }
    bool json = false;
    std::vector<std::string> paths;
    for (const std::string& arg : args) {
        if (arg == "--json") {
            json = true;
        } else if (!arg.empty() && arg[0] == '-') {
            throw UsageError("unknown option " + arg);
        } else {
            paths.push_back(arg);
        }
    }
    if (paths.empty()) {
        throw UsageError("jpeg takes at least one FILE");
    }
    int status = 0;
    for (const std::string& path : paths) {
        const Result<JpegCoefficients> jpeg = LoadJpegCoefficients(path);
        if (!jpeg) {
            status = 1;
            if (json) {
                std::cout << "{\"file\": " << JsonString(path)
                          << ", \"error\": " << JsonString(jpeg.error()) << "}" << std::endl;
            } else {
                std::cerr << "vantrel-cli: " << jpeg.error() << '\n';
            }
            continue;
        }
        const JpegAnalysis analysis = AnalyzeJpeg(*jpeg);
        const JpegVerdict verdict = JudgeJpeg(analysis);
        if (json) {
            std::cout << JpegJson(path, *jpeg, analysis, verdict) << std::endl;
        } else {
            PrintReport(path, *jpeg, analysis, verdict);
        }
    }
    return status;
}

} // namespace

std::vector<Command> JpegCommands() {
    return {{"jpeg", "FILE... [--json] | dump FILE",
             "the JPEG's quality, tables and the JSteg and F5 attacks on its coefficients",
             RunJpeg}};
}

} // namespace vantrel::cli
