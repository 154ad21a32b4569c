#include "cli/Cli.h"

#include "extract/ExtractLoading.h"
#include "extract/JstegLayouts.h"
#include "extract/PayloadScan.h"
#include "image/DetectorState.h"
#include "image/Json.h"
#include "jpeg/LoadCoefficients.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace vantrel::cli {
namespace {

using namespace vantrel::extract;

std::uint64_t ParseCount(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        text.size() > 15) {
        throw UsageError("--bytes must be a whole number: " + text);
    }
    return std::stoull(text);
}

void WriteBytes(const std::vector<std::uint8_t>& bytes, const std::string& path) {
    if (path.empty()) {
        if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() ||
            std::fflush(stdout) != 0) {
            throw InputError("Could not write the stream to standard output");
        }
        return;
    }
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out.flush()) {
        throw InputError("Could not write " + path);
    }
}

int RunExtract(const Arguments& args) {
    std::string output;
    std::optional<std::uint64_t> count;
    const Arguments positional = TakeOptions(
        args,
        {Valued("--bytes", [&](const std::string& value) { count = ParseCount(value); }),
         Valued("--output", [&](const std::string& path) { output = path; })},
        Unlisted::Operands);
    if (positional.size() != 2) {
        throw UsageError("extract takes IMAGE LAYOUT");
    }
    if (const auto pairing = JstegLayoutNamed(positional[1])) {
        const Result<JpegCoefficients> jpeg = LoadJpegCoefficients(positional[0]);
        if (!jpeg) {
            throw InputError(jpeg.error());
        }
        std::vector<std::uint8_t> stream = JstegStream(*jpeg, *pairing);
        if (count && *count < stream.size()) {
            stream.resize(static_cast<std::size_t>(*count));
        }
        WriteBytes(stream, output);
        return 0;
    }
    const LayoutParse parsed = ParseLayout(positional[1]);
    if (!parsed.layout) {
        throw UsageError(parsed.error);
    }
    const Result<ExtractionImage> loaded = LoadImageForExtraction(positional[0]);
    if (!loaded) {
        throw InputError(loaded.error());
    }
    const SampleImage* image = &loaded->samples;
    const auto& channels = parsed.layout->channels;
    if (!image->channels().palette &&
        std::find(channels.begin(), channels.end(), Channel::Index) != channels.end()) {
        throw InputError(positional[0] + " has no palette index for the channel i");
    }
    WriteBytes(count ? ExtractBytes(*image, *parsed.layout, *count)
                     : ExtractWholeStream(*image, *parsed.layout),
               output);
    return 0;
}

// Each finding is a detector of its own: flagged when found. A length prefix carries the walk's
// chance that the cover alone starts as low, and the bound it was held to.
std::string JsonLine(const std::string& path, const ScanResult* result, const std::string& error) {
    std::vector<std::string> findings;
    for (std::size_t i = 0; result && i < result->findings.size(); ++i) {
        findings.push_back(FindingJson(result->findings[i]));
    }
    JsonObject line;
    line.add("path", path).add("file", path);
    result ? line.add("verdict", VerdictText(result->verdict)) : line.null("verdict");
    result ? line.null("error") : line.add("error", error);
    line.raw("findings", JsonArray(findings));
    return line.str();
}

void PrintReport(const std::string& path, const ScanResult& result) {
    std::cout << path << ": " << VerdictText(result.verdict) << " (" << result.walk.size()
              << " layouts)\n";
    std::size_t raw = 0, rank = 0;
    for (const Finding& f : result.findings) {
        if (f.tier == Tier::Raw) {
            ++raw;
            continue;
        }
        std::cout << "  " << ++rank << ". " << TierText(f.tier) << "  " << f.layout << "  "
                  << f.kind << "  offset " << f.offset << ", " << f.length << " bytes  " << f.what
                  << '\n';
        if (!f.sameAs.empty()) {
            std::cout << "     same stream as";
            for (const std::string& other : f.sameAs) {
                std::cout << ' ' << other;
            }
            std::cout << '\n';
        }
    }
    if (raw > 0) {
        std::cout << "  and " << raw << " raw signature hits (--json lists them)\n";
    }
}

void SaveFound(const ScanResult& result, const std::string& directory) {
    std::error_code code;
    std::filesystem::create_directories(directory, code);
    int rank = 0;
    for (const Finding& f : result.findings) {
        if (f.tier != Tier::Found) {
            continue;
        }
        char name[16];
        std::snprintf(name, sizeof name, "%02d-", ++rank);
        WriteBytes(f.payload,
                   (std::filesystem::path(directory) / (name + f.kind + ".bin")).string());
    }
}

int RunFind(const Arguments& args) {
    bool json = false;
    ScanOptions options;
    std::string saveDirectory;
    const Arguments paths = TakeOptions(
        args,
        {Flag("--json", [&] { json = true; }), Flag("--prime", [&] { options.prime = true; }),
         Valued(
             "--save", [&](const std::string& dir) { saveDirectory = dir; },
             "--save needs a directory")},
        Unlisted::Operands);
    if (paths.empty() || (!saveDirectory.empty() && paths.size() != 1)) {
        throw UsageError(paths.empty() ? "find takes at least one IMAGE"
                                       : "--save takes exactly one IMAGE");
    }
    return EachPath(paths, [&](const std::string& path) {
        const Result<ExtractionImage> loaded = LoadImageForExtraction(path);
        if (!loaded) {
            const std::string& error = loaded.error();
            if (json) {
                std::cout << JsonLine(path, nullptr, error) << std::endl;
            } else {
                std::cerr << "vantrel-cli: " << error << '\n';
            }
            return false;
        }
        const ScanResult result = ScanImageFile(path, loaded->samples, options);
        if (json) {
            std::cout << JsonLine(path, &result, {}) << std::endl;
        } else {
            PrintReport(path, result);
        }
        if (!saveDirectory.empty()) {
            SaveFound(result, saveDirectory);
        }
        return true;
    });
}

} // namespace

std::vector<Command> ExtractCommands() {
    return {
        {"extract", "IMAGE LAYOUT [--bytes N] [--output FILE]",
         "the byte stream of a bit layout such as b1,rgb,lsb,xy, or of a JPEG's jsteg-twos or "
         "jsteg-magnitude (whole stream unless --bytes)",
         RunExtract},
        {"find", "IMAGE... [--json] [--prime] [--save DIR]",
         "hidden payloads under every bit layout (and a JPEG's JSteg layouts), checked and ranked; "
         "--save writes the found ones",
         RunFind},
    };
}

} // namespace vantrel::cli
