#include "cli/Cli.h"

#include "blind/BlindFile.h"
#include "blind/BlindReport.h"

#include <iostream>

namespace vantrel::cli {
namespace {

// One file's JSON object or CSV row, its channels or its failure.
std::string RowLine(bool csv, const std::string& path, const Result<BlindResult>& result) {
    static const BlindResult kNone;
    const BlindResult& shown = result ? *result : kNone;
    return csv ? BlindCsvRow(path, shown, result.error()) : BlindJson(path, shown, result.error());
}

int RunBlind(const Arguments& args) {
    bool json = false;
    const Arguments paths = TakeOperands(args, {Flag("--json", [&] { json = true; })},
                                         Unlisted::DoubleDash, "blind takes at least one IMAGE");
    return EachPath(paths, [&](const std::string& path) {
        const Result<BlindResult> result = AnalyseFile(path);
        if (json) {
            std::cout << RowLine(false, path, result) << std::endl;
        } else if (result) {
            std::cout << BlindText(path, *result) << std::endl;
        } else {
            std::cout << std::flush;
            std::cerr << "vantrel-cli: " << result.error() << std::endl;
        }
        return bool(result);
    });
}

} // namespace

std::vector<Command> BlindCommands() {
    return {
        {"blind", "IMAGE... [--json]",
         "chi-square, RS, SPA and WS estimates of LSB replacement per channel, with a verdict; "
         "a JPEG (FF D8 FF) gets the JSteg and F5 attacks on its coefficients instead; "
         "--json gives one JSON object a line",
         RunBlind},
    };
}

} // namespace vantrel::cli
