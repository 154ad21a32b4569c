// Every password tool on the command line: one word list against each file, the tools that apply
// to it chosen by its content, and what each verified password reads written out.
#include "cli/Cli.h"
#include "image/Json.h"
#include "passwords/PasswordCovers.h"
#include "passwords/WordListAttack.h"

#include <tbb/global_control.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>

namespace vantrel::cli {
namespace {

using passwords::PasswordHit;

struct Options {
    std::vector<std::string> files;
    std::optional<std::string> wordList;
    std::vector<std::string> tools;
    std::optional<std::string> saveDir;
    bool json = false;
    bool keepGoing = false;
    int jobs = 0;
};

std::vector<std::string> SplitTools(const std::string& list) {
    std::vector<std::string> tools;
    std::stringstream in(list);
    for (std::string tool; std::getline(in, tool, ',');) {
        const auto known = passwords::KnownPasswordTools();
        if (std::find(known.begin(), known.end(), tool) == known.end()) {
            throw UsageError("--tools: no reader for '" + tool + "' in this build");
        }
        tools.push_back(tool);
    }
    return tools;
}

Options ParseOptions(const Arguments& args) {
    Options options;
    options.files = TakeOptions(
        args,
        {Valued("--wordlist", [&](const std::string& value) { options.wordList = value; }),
         Valued("--tools", [&](const std::string& value) { options.tools = SplitTools(value); }),
         Valued("--save", [&](const std::string& value) { options.saveDir = value; }),
         CountOption("--jobs", options.jobs, "--jobs takes a count of at least 1"),
         Flag("--json", [&] { options.json = true; }),
         Flag("--keep-going", [&] { options.keepGoing = true; })},
        Unlisted::DashButLone);
    if (options.files.empty() || !options.wordList) {
        throw UsageError("passwords takes at least one FILE and --wordlist");
    }
    if (options.tools.empty()) {
        const auto known = passwords::KnownPasswordTools();
        options.tools.assign(known.begin(), known.end());
    }
    return options;
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// DIR/FILE.TOOL.payload (or the name the tool stored), so hits of several files never collide.
std::string Save(const PasswordHit& hit, const std::string& file, const std::string& dir) {
    const std::string path = dir + "/" + BaseName(file) + "." + hit.tool + "." +
                             (hit.name.empty() ? "payload" : BaseName(hit.name));
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(hit.payload.data()),
              static_cast<std::streamsize>(hit.payload.size()));
    if (!out.flush()) {
        throw InputError("cannot write " + path);
    }
    return path;
}

std::string HitJson(const PasswordHit& hit, const std::optional<std::string>& saved) {
    JsonObject object;
    object.add("tool", hit.tool).add("password", hit.password).add("verified", hit.verified);
    object.add("size", hit.payload.size());
    hit.name.empty() ? object.null("name") : object.add("name", hit.name);
    saved ? object.add("saved", *saved) : object.null("saved");
    object.add("proof", hit.proof);
    return object.str();
}

std::string HitText(const std::string& file, const PasswordHit& hit,
                    const std::optional<std::string>& saved) {
    return file + ": " + hit.tool + " password \"" + hit.password + "\" " +
           (hit.verified ? "verified" : "candidate") + " (" + hit.proof + "), " +
           std::to_string(hit.payload.size()) + " bytes" +
           (hit.name.empty() ? "" : " \"" + hit.name + "\"") +
           (saved ? ", saved to " + *saved : "");
}

passwords::PasswordAttackOptions AttackOptions(const std::string& file, bool keepGoing) {
    passwords::PasswordAttackOptions options;
    options.fileName = file;
    options.keepGoing = keepGoing;
    if (isatty(STDERR_FILENO)) {
        options.progress = [](const passwords::PasswordProgress& p) {
            std::fprintf(stderr, "\rpasswords: %llu tried, %.0f/s   ",
                         static_cast<unsigned long long>(p.done), p.perSecond);
        };
    }
    return options;
}

// One file: 0 a verified hit, 3 none, 1 unreadable.
int RunFile(const std::string& file, const Options& options, const std::string* bufferedWords) {
    const Result<passwords::FileTools> tools = passwords::LoadPasswordTools(file, options.tools);
    if (!tools) {
        if (options.json) {
            std::cout << JsonObject().add("file", file).add("error", tools.error()).str() << '\n';
        }
        std::cerr << "vantrel-cli: " << tools.error() << '\n';
        return 1;
    }
    std::ifstream wordFile;
    std::istringstream wordCopy;
    std::istream* words = &std::cin;
    if (bufferedWords) {
        wordCopy.str(*bufferedWords);
        words = &wordCopy;
    } else if (*options.wordList != "-") {
        wordFile.open(*options.wordList, std::ios::binary);
        if (!wordFile) {
            throw InputError("cannot read the word list " + *options.wordList);
        }
        words = &wordFile;
    }
    std::vector<const passwords::PasswordTool*> drive;
    for (const auto& tool : tools->tools) {
        drive.push_back(tool.get());
    }
    const passwords::PasswordAttackResult result =
        passwords::WordListAttack(drive, words, AttackOptions(file, options.keepGoing));
    if (isatty(STDERR_FILENO)) {
        std::cerr << '\n';
    }
    std::vector<std::string> hitsJson;
    bool verified = false;
    for (const PasswordHit& hit : result.hits) {
        std::optional<std::string> saved;
        if (options.saveDir && hit.verified) {
            saved = Save(hit, file, *options.saveDir);
        }
        verified = verified || hit.verified;
        if (options.json) {
            hitsJson.push_back(HitJson(hit, saved));
        } else {
            std::cout << HitText(file, hit, saved) << '\n';
        }
    }
    if (options.json) {
        JsonObject object;
        object.add("file", file)
            .raw("hits", JsonArray(hitsJson))
            .add("candidates", result.candidates)
            .add("tried", result.tried)
            .raw("not_applicable", JsonStringArray(tools->notApplicable));
        if (tools->outguessDetector) {
            object.raw("outguess", passwords::OutguessBlockinessJson(*tools->outguessDetector));
        }
        std::cout << object.str() << '\n';
    } else {
        std::cout << file << ": " << (verified ? "" : "no verified password; ") << result.tried
                  << " passwords tried, " << result.candidates << " candidates";
        for (const std::string& skipped : tools->notApplicable) {
            std::cout << "; " << skipped;
        }
        if (const auto& detector = tools->outguessDetector) {
            char estimate[64];
            std::snprintf(estimate, sizeof estimate, "%.3f", detector->estimate);
            std::cout << "; outguess blockiness "
                      << (detector->state.ok()
                              ? std::string(estimate) + (detector->flagged ? " (flagged)" : "")
                              : StateLine(detector->state));
        }
        std::cout << '\n';
    }
    return verified ? 0 : 3;
}

int RunPasswords(const Arguments& args) {
    const Options options = ParseOptions(args);
    std::optional<tbb::global_control> threads;
    if (options.jobs > 0) {
        threads.emplace(tbb::global_control::max_allowed_parallelism,
                        static_cast<std::size_t>(options.jobs));
    }
    // Standard input can be read once: with several files it is kept for all of them.
    std::optional<std::string> buffered;
    if (*options.wordList == "-" && options.files.size() > 1) {
        buffered.emplace(std::istreambuf_iterator<char>(std::cin),
                         std::istreambuf_iterator<char>());
    }
    bool unreadable = false, found = false;
    for (const std::string& file : options.files) {
        const int status = RunFile(file, options, buffered ? &*buffered : nullptr);
        unreadable = unreadable || status == 1;
        found = found || status == 0;
    }
    return unreadable ? 1 : found ? 0 : 3;
}

} // namespace

std::vector<Command> PasswordCommands() {
    return {
        {"passwords",
         "FILE... --wordlist FILE|- [--tools steghide,outguess,f5stegojs,stegosuite,gifshuffle] "
         "[--json] "
         "[--save DIR] [--jobs N] [--keep-going]",
         "passwords of steghide, outguess, f5stegojs, stegosuite and gifshuffle from a word list "
         "(the "
         "empty one and "
         "the file's name first), verified where something proves them; exit 0 with a "
         "verified password, 3 with none, 1 when a file cannot be read",
         RunPasswords}};
}

} // namespace vantrel::cli
