// steghide on the command line: passphrases from a word list, or every seed without one, and the
// payload of a hit written out.
#include "cli/Cli.h"
#include "image/Json.h"
#include "steghide/SteghideAttack.h"
#include "steghide/SteghideCrypto.h"
#include "steghide/SteghideInput.h"

#include <tbb/global_control.h>

#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>

namespace vantrel::cli {
namespace {

// One hit, from either search, as the output shows it.
struct HitLine {
    std::optional<std::string> passphrase;
    std::uint32_t seed = 0;
    int rank = -1; // seed hits only
    SteghideHeader header;
    const SteghidePayload* payload = nullptr;
    std::string unreadable;
    std::optional<std::string> saved;
};

std::string SeedText(std::uint32_t seed) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08" PRIx32, seed);
    return text;
}

std::string HitJson(const std::string& path, const HitLine& hit) {
    std::string out = "{\"file\": " + JsonString(path);
    out += hit.passphrase ? ", \"passphrase\": " + JsonString(*hit.passphrase)
                          : ", \"seed\": " + std::to_string(hit.seed) +
                                ", \"rank\": " + std::to_string(hit.rank);
    out += ", \"encryption\": " + JsonString(SteghideAlgorithmName(hit.header.algorithm)) +
           ", \"mode\": " + JsonString(SteghideModeName(hit.header.mode)) +
           ", \"embedded_bits\": " + std::to_string(hit.header.plainBits);
    if (hit.payload) {
        out += ", \"size\": " + std::to_string(hit.payload->data.size()) +
               ", \"name\": " + JsonString(hit.payload->name) +
               ", \"compressed\": " + (hit.payload->compressed ? "true" : "false") +
               ", \"crc_ok\": " + (hit.payload->checksumOk ? "true" : "false");
    } else {
        out += ", \"size\": null, \"name\": null, \"crc_ok\": null";
    }
    if (!hit.unreadable.empty()) {
        out += ", \"unreadable\": " + JsonString(hit.unreadable);
    }
    return out + ", \"saved\": " + (hit.saved ? JsonString(*hit.saved) : "null") + "}";
}

std::string HitText(const std::string& path, const HitLine& hit) {
    std::string out = path + ": ";
    out += hit.passphrase
               ? "passphrase \"" + *hit.passphrase + "\""
               : "seed " + SeedText(hit.seed) + " (rank " + std::to_string(hit.rank) + ")";
    out += ", " + std::string(SteghideAlgorithmName(hit.header.algorithm)) + " " +
           std::string(SteghideModeName(hit.header.mode)) + ", " +
           std::to_string(hit.header.plainBits) + " bits embedded";
    if (hit.payload) {
        out += ", \"" + hit.payload->name + "\" " + std::to_string(hit.payload->data.size()) +
               " bytes" + (hit.payload->compressed ? " compressed" : "") +
               (hit.payload->hasChecksum ? (hit.payload->checksumOk ? ", CRC ok" : ", CRC WRONG")
                                         : ", no CRC");
    } else if (!hit.unreadable.empty()) {
        out += " (" + hit.unreadable + ")";
    } else {
        out += " (encrypted: the passphrase reads it)";
    }
    if (hit.saved) {
        out += ", saved to " + *hit.saved;
    }
    return out;
}

// "12.5%, 3.1 M/s, 2:05 left" on one rewritten stderr line.
SteghideProgressCallback ProgressPrinter(const char* unit) {
    auto lock = std::make_shared<std::mutex>();
    return [unit, lock](const SteghideProgress& p) {
        const std::lock_guard<std::mutex> guard(*lock);
        char text[128];
        if (p.total > 0) {
            const double left = p.perSecond > 0 ? (p.total - p.done) / p.perSecond : 0;
            std::snprintf(text, sizeof text, "\r%s: %5.1f%%, %.0f/s, %d:%02d left   ", unit,
                          100.0 * p.done / p.total, p.perSecond, static_cast<int>(left) / 60,
                          static_cast<int>(left) % 60);
        } else {
            std::snprintf(text, sizeof text, "\r%s: %" PRIu64 " tried, %.0f/s   ", unit, p.done,
                          p.perSecond);
        }
        std::cerr << text << std::flush;
    };
}

void Save(const SteghidePayload& payload, const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(payload.data.data()),
              static_cast<std::streamsize>(payload.data.size()));
    if (!out.flush()) {
        throw InputError("cannot write " + path);
    }
}

int RunSteghide(const Arguments& args) {
    std::optional<std::string> wordList, output;
    std::string path;
    bool seedSearch = false, json = false;
    int jobs = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) {
                throw UsageError(arg + " needs a value");
            }
            return args[++i];
        };
        if (arg == "--wordlist") {
            wordList = value();
        } else if (arg == "--output") {
            output = value();
        } else if (arg == "--jobs") {
            jobs = ParseInt(value(), "--jobs");
            if (jobs < 1) {
                throw UsageError("--jobs takes a count of at least 1");
            }
        } else if (arg == "--seed-search") {
            seedSearch = true;
        } else if (arg == "--json") {
            json = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw UsageError("unknown option " + arg);
        } else if (path.empty()) {
            path = arg;
        } else {
            throw UsageError("steghide takes one FILE");
        }
    }
    if (path.empty()) {
        throw UsageError("steghide takes one FILE");
    }
    std::optional<tbb::global_control> threads;
    if (jobs > 0) {
        threads.emplace(tbb::global_control::max_allowed_parallelism,
                        static_cast<std::size_t>(jobs));
    }
    Result<SteghideCover> cover = LoadSteghideCover(path);
    if (!cover) {
        throw InputError(cover.error());
    }
    std::ifstream wordFile;
    std::istream* words = nullptr;
    if (wordList) {
        if (*wordList == "-") {
            words = &std::cin;
        } else {
            wordFile.open(*wordList, std::ios::binary);
            if (!wordFile) {
                throw InputError("cannot read the word list " + *wordList);
            }
            words = &wordFile;
        }
    }
    SteghideWordListOptions wordOptions;
    wordOptions.fileName = path;
    if (wordList) {
        wordOptions.progress = ProgressPrinter("passphrases");
    }
    const SteghideWordListResult byWord = SteghideWordListAttack(*cover, words, wordOptions);
    SteghideSeedSearchResult bySeed;
    if (seedSearch) {
        SteghideSeedSearchOptions seedOptions;
        seedOptions.progress = ProgressPrinter("seeds");
        bySeed = SteghideSeedSearch(*cover, seedOptions);
    }
    if (wordOptions.progress || seedSearch) {
        std::cerr << '\n';
    }

    std::vector<HitLine> hits;
    for (const SteghidePassphraseHit& hit : byWord.hits) {
        hits.push_back({hit.passphrase, hit.seed, -1, hit.header,
                        hit.payload ? &*hit.payload : nullptr, hit.unreadable, std::nullopt});
    }
    for (const SteghideSeedHit& hit : bySeed.hits) {
        hits.push_back({std::nullopt,
                        hit.seed,
                        hit.rank,
                        hit.header,
                        hit.payload ? &*hit.payload : nullptr,
                        {},
                        std::nullopt});
    }
    if (output) {
        for (HitLine& hit : hits) {
            if (hit.payload) {
                Save(*hit.payload, *output);
                hit.saved = *output;
                break;
            }
        }
    }
    for (const HitLine& hit : hits) {
        std::cout << (json ? HitJson(path, hit) : HitText(path, hit)) << '\n';
    }
    if (hits.empty() && !json) {
        std::cout << path << ": no steghide data found (" << byWord.tried << " passphrases"
                  << (seedSearch ? ", " + std::to_string(bySeed.searched) + " seeds" : "") << ")\n";
    }
    return hits.empty() ? 3 : 0;
}

} // namespace

std::vector<Command> SteghideCommands() {
    return {{"steghide",
             "FILE [--wordlist FILE|-] [--seed-search] [--jobs N] [--output FILE] [--json]",
             "steghide data in a JPEG or BMP: the empty passphrase, the file's name and a word "
             "list, or all 2^32 seeds without one; exit 3 when nothing is found",
             RunSteghide}};
}

} // namespace vantrel::cli
