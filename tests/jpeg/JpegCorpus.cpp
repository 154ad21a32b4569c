// Measures the JPEG attacks on a corpus made by tools/make_jpeg_fixtures.sh corpus DIR: clean,
// double-compressed, F5 and OutGuess files, and JSteg stegos made here from the clean ones.
// Prints, per method and tool, detected of stegos and flagged of clean files, and the median and
// 90th percentile of |estimate - truth|. Usage: jpeg_corpus DIR [-v]
#include "JpegTestSupport.h"

#include "jpeg/JpegVerdict.h"
#include "jpeg/ReadCoefficients.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

using namespace vantrel;
namespace fs = std::filesystem;

namespace {

bool verbose = false;

struct Tally {
    int files = 0;
    int flagged = 0;
    int unreliable = 0;
    std::vector<double> errors;
};

double Quantile(std::vector<double> values, double q) {
    if (values.empty()) {
        return std::nan("");
    }
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(q * static_cast<double>(values.size() - 1) + 0.5)];
}

std::vector<fs::path> Files(const fs::path& folder) {
    std::vector<fs::path> files;
    if (fs::is_directory(folder)) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

Result<JpegCoefficients> Read(const fs::path& path) {
    return ReadJpegCoefficients(test::ReadBytes(path.string()));
}

void Print(const std::string& name, const Tally& t) {
    std::printf("%-28s %4d files  flagged %4d  F5 unreliable %4d", name.c_str(), t.files, t.flagged,
                t.unreliable);
    if (!t.errors.empty()) {
        std::printf("  |err| median %.3f p90 %.3f", Quantile(t.errors, 0.5),
                    Quantile(t.errors, 0.9));
    }
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: jpeg_corpus DIR [-v]\n");
        return 2;
    }
    verbose = argc > 2;
    const fs::path root = argv[1];
    std::map<std::string, Tally> tallies;
    const auto judge = [&](const std::string& group, const fs::path& path,
                           const JpegCoefficients& jpeg, double truth, double JpegAnalysis::*,
                           bool f5Truth) {
        const JpegAnalysis analysis = AnalyseJpeg(jpeg);
        const JpegVerdict verdict = JudgeJpeg(analysis);
        Tally& t = tallies[group];
        ++t.files;
        t.flagged += verdict.suspicious;
        t.unreliable += verdict.f5Unreliable;
        if (f5Truth && !std::isnan(truth)) {
            t.errors.push_back(std::abs(analysis.f5.beta - truth));
        }
        if (verbose) {
            std::printf("%-10s %-40s q%3d%s dc %.3f truth %.3f | %s\n", group.c_str(),
                        path.filename().c_str(), analysis.quality.quality,
                        analysis.quality.exact ? " " : "~", analysis.doubleCompression.residual,
                        truth, verdict.text.c_str());
        }
    };
    std::mt19937 random(21);
    for (const fs::path& path : Files(root / "clean")) {
        Result<JpegCoefficients> jpeg = Read(path);
        if (!jpeg) {
            std::printf("%s: %s\n", path.c_str(), jpeg.error().c_str());
            continue;
        }
        judge("clean", path, *jpeg, 0, nullptr, true);
        for (const double share : {0.05, 0.1, 0.25, 0.5, 1.0}) {
            for (const JstegPairing pairing : {JstegPairing::Twos, JstegPairing::Magnitude}) {
                JpegCoefficients stego = *jpeg;
                test::EmbedJsteg(stego, pairing, JstegScope::AllComponents, share, random);
                const JstegChiSquare attack =
                    JstegChiSquareAttack(stego, pairing, JstegScope::AllComponents);
                const std::string group =
                    std::string("jsteg-") + (pairing == JstegPairing::Twos ? "twos" : "magnitude");
                Tally& t = tallies[group];
                ++t.files;
                t.flagged += JudgeJpeg(AnalyseJpeg(stego)).jstegSuspicious;
                t.errors.push_back(std::abs(attack.fraction - share));
            }
        }
    }
    for (const fs::path& path : Files(root / "double")) {
        Result<JpegCoefficients> jpeg = Read(path);
        if (jpeg) {
            judge("double", path, *jpeg, 0, nullptr, false);
        }
    }
    for (const char* tool : {"f5", "outguess"}) {
        for (const fs::path& path : Files(root / tool)) {
            Result<JpegCoefficients> stego = Read(path);
            std::string name = path.filename().string();
            const std::string coverName = name.substr(0, name.rfind("-m")) + ".jpg";
            Result<JpegCoefficients> cover = Read(root / "clean" / coverName);
            if (!stego || !cover) {
                continue;
            }
            // OutGuess compresses its cover again, so its coefficients are not the cover's.
            const bool comparable = std::string(tool) == "f5";
            const double truth =
                comparable ? test::ChangedNonzeroShare(*cover, *stego) : std::nan("");
            judge(tool, path, *stego, truth, nullptr, comparable);
        }
    }
    for (const auto& [name, tally] : tallies) {
        Print(name, tally);
    }
    return 0;
}
