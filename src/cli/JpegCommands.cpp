// The JPEG domain on the command line: the coefficients, read in a decoder process, and the
// attacks on them.
#include "blind/BlindReport.h"
#include "cli/Cli.h"
#include "jpeg/JpegReport.h"
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
    const Arguments paths = TakeOperands(args, {Flag("--json", [&] { json = true; })},
                                         Unlisted::Dash, "jpeg takes at least one FILE");
    return EachPath(paths, [&](const std::string& path) {
        const Result<JpegCoefficients> jpeg = LoadJpegCoefficients(path);
        if (!jpeg) {
            if (json) {
                std::cout << "{\"file\": " << JsonString(path)
                          << ", \"error\": " << JsonString(jpeg.error()) << "}" << std::endl;
            } else {
                std::cerr << "vantrel-cli: " << jpeg.error() << '\n';
            }
            return false;
        }
        const JpegAnalysis analysis = AnalyseJpeg(*jpeg);
        const JpegVerdict verdict = JudgeJpeg(analysis);
        if (json) {
            std::cout << JpegReportJson(path, *jpeg, analysis, verdict) << std::endl;
        } else {
            std::cout << JpegReportText(path, *jpeg, analysis, verdict);
        }
        return true;
    });
}

} // namespace

std::vector<Command> JpegCommands() {
    return {{"jpeg", "FILE... [--json] | dump FILE",
             "the JPEG's quality, tables and the JSteg and F5 attacks on its coefficients",
             RunJpeg}};
}

} // namespace vantrel::cli
