// The file verdict on the command line: `analyse` for a few files, `scan` for a tree, both on
// verdict::AnalyseFile, so a file gets the same answer whichever way it is asked.
#include "cli/Cli.h"

#include "files/DirectoryWalk.h"
#include "image/ImageLoading.h"
#include "verdict/Scan.h"
#include "verdict/VerdictReport.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>

#include <unistd.h>

namespace vantrel::cli {
namespace {

using namespace vantrel::verdict;

// The whole word list, held once for every file's attacks.
std::string ReadWordList(const std::string& path) {
    std::ifstream words(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(words)), {});
    if (!words.is_open() || (!words.good() && !words.eof())) {
        throw InputError("Cannot read the word list " + path);
    }
    return text;
}

struct ScanArguments {
    std::string directory;
    std::string filesFrom;
    std::string output;
    bool csv = false;
    int jobs = DecoderPoolCapacity(); // one a decoder process: more would wait for one
    int cores = 0;                    // every core, unless --jobs names how many
    std::string wordList;
    std::string report;
    std::string saveDirectory;
    ScanSelection selection;
};

// --jobs N is also N cores, as make -jN; without it the jobs share every core.
Option JobsOption(int& jobs, int& cores) {
    Option option = CountOption("--jobs", jobs, "--jobs must be at least 1");
    option.take = [take = std::move(option.take), &jobs, &cores](const std::string& value) {
        take(value);
        cores = jobs;
    };
    return option;
}

ScanArguments ParseScan(const Arguments& args) {
    ScanArguments scan;
    const auto into = [](std::string& field) {
        return [&field](const std::string& value) { field = value; };
    };
    const Arguments positional = TakeOptions(
        args,
        {Valued("--pattern", into(scan.selection.pattern)), JobsOption(scan.jobs, scan.cores),
         Valued("--format",
                [&](const std::string& format) {
                    if (format != "csv" && format != "jsonl") {
                        throw UsageError("--format is csv or jsonl");
                    }
                    scan.csv = format == "csv";
                }),
         Valued("--output", into(scan.output)), Valued("--wordlist", into(scan.wordList)),
         Valued("--steghide-wordlist", into(scan.wordList)), Valued("--report", into(scan.report)),
         Valued("--save", into(scan.saveDirectory)), Valued("--files-from", into(scan.filesFrom)),
         Valued("--shard",
                [&](const std::string& shard) {
                    const std::size_t slash = shard.find('/');
                    if (slash == std::string::npos) {
                        throw UsageError("--shard is K/N");
                    }
                    scan.selection.shardIndex = ParseInt(shard.substr(0, slash), "K of --shard");
                    scan.selection.shardCount = ParseInt(shard.substr(slash + 1), "N of --shard");
                    if (scan.selection.shardCount < 1 || scan.selection.shardIndex < 1 ||
                        scan.selection.shardIndex > scan.selection.shardCount) {
                        throw UsageError("--shard K/N needs 1 <= K <= N");
                    }
                })},
        Unlisted::DoubleDash);
    if (scan.filesFrom.empty() == (positional.size() != 1) || positional.size() > 1) {
        throw UsageError("scan takes one DIR, or --files-from FILE instead");
    }
    if (!positional.empty()) {
        scan.directory = positional[0];
    }
    return scan;
}

std::vector<std::string> ReadLines(std::istream& in) {
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<ScanFile> FilesToScan(const ScanArguments& scan) {
    if (scan.filesFrom.empty()) {
        if (const DirectoryListing top = ListDirectory(scan.directory); !top.readable) {
            throw InputError("Cannot read directory " + scan.directory + ": " + top.error);
        }
        return FilesUnder(scan.directory, scan.selection, [](const std::string& message) {
            std::cerr << "vantrel-cli: " << message << '\n';
        });
    }
    if (scan.filesFrom == "-") {
        return FilesListed(ReadLines(std::cin), scan.selection);
    }
    std::ifstream list(scan.filesFrom);
    if (!list) {
        throw InputError("Cannot read the file list " + scan.filesFrom);
    }
    return FilesListed(ReadLines(list), scan.selection);
}

// Files done, files per second and time left on stderr: a bar rewritten in place on a terminal,
// otherwise a line every ten seconds.
class ScanProgress {
public:
    explicit ScanProgress(std::size_t total) : total_(total), terminal_(isatty(STDERR_FILENO)) {}

    void update(std::size_t done) {
        const auto now = Clock::now();
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        const double gap = std::chrono::duration<double>(now - shown_).count();
        if (done < total_ && gap < (terminal_ ? 0.1 : 10.0)) {
            return;
        }
        shown_ = now;
        const double rate = elapsed > 0 ? done / elapsed : 0;
        const double left = rate > 0 ? (total_ - done) / rate : 0;
        constexpr int kBar = 30;
        const int filled = total_ > 0 ? static_cast<int>(kBar * done / total_) : kBar;
        char line[160];
        std::snprintf(line, sizeof line, "%zu/%zu files, %.1f files/s, %.0f s left", done, total_,
                      rate, left);
        if (terminal_) {
            std::fprintf(stderr, "\r\033[K[%s%s] ", std::string(filled, '#').c_str(),
                         std::string(kBar - filled, '.').c_str());
        }
        std::fputs(terminal_ ? line : (std::string(line) + "\n").c_str(), stderr);
        std::fflush(stderr);
    }
    void finish() {
        if (terminal_) {
            std::fputs("\n", stderr);
        }
    }

private:
    using Clock = std::chrono::steady_clock;
    std::size_t total_;
    bool terminal_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point shown_ = start_;
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out.flush()) {
        throw InputError("Could not write " + path);
    }
}

int RunScan(const Arguments& args) {
    const auto start = std::chrono::steady_clock::now();
    const ScanArguments scan = ParseScan(args);
    const std::vector<ScanFile> files = FilesToScan(scan);
    std::unique_ptr<std::FILE, FileCloser> opened;
    std::FILE* out = stdout;
    if (!scan.output.empty()) {
        opened.reset(std::fopen(scan.output.c_str(), "w"));
        if (!opened) {
            throw InputError("Cannot write " + scan.output);
        }
        out = opened.get();
    }
    ScanOptions options;
    options.jobs = scan.jobs;
    options.cores = scan.cores;
    options.saveDirectory = scan.saveDirectory;
    options.thumbnailSide = scan.report.empty() ? 0 : 64;
    if (!scan.wordList.empty()) {
        options.words = ReadWordList(scan.wordList);
    }
    const bool words = options.words.has_value();
    // Only the first shard carries the CSV header, so that the shards' outputs concatenate.
    if (scan.csv && scan.selection.shardIndex == 1) {
        std::fprintf(out, "%s\n", ScanCsvHeader(words).c_str());
        std::fflush(out);
    }
    ScanProgress progress(files.size());
    std::map<std::string, std::size_t> counts;
    std::size_t done = 0;
    bool writeFailed = false;
    std::vector<verdict::FileRecord> kept;
    ScanFiles(files, options, [&](const verdict::FileRecord& record) {
        const std::string line = scan.csv ? ScanCsvRow(record, words) : RecordJson(record);
        // One row a write and a flush: an interrupted scan keeps every row it finished.
        if (std::fprintf(out, "%s\n", line.c_str()) < 0 || std::fflush(out) != 0) {
            writeFailed = true;
            return false;
        }
        ++counts[record.readable() ? VerdictName(record.verdict) : "unreadable"];
        if (!scan.report.empty()) {
            kept.push_back(record);
        }
        progress.update(++done);
        return true;
    });
    progress.finish();
    if (writeFailed) {
        throw InputError("Could not write the scan's rows to " +
                         (scan.output.empty() ? std::string("standard output") : scan.output));
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!scan.report.empty()) {
        WriteFile(scan.report, ReportHtml(kept, seconds));
    }
    std::fprintf(stderr,
                 "%zu files scanned, %zu found, %zu suspicious, %zu clean, %zu could not be read "
                 "(%.1f s)\n",
                 done, counts["found"], counts["suspicious"], counts["clean"], counts["unreadable"],
                 seconds);
    return counts["unreadable"] > 0 ? 1 : 0;
}

int RunAnalyse(const Arguments& args) {
    bool json = false;
    ScanOptions options;
    options.jobs = 1;
    const Arguments paths = TakeOperands(
        args,
        {Flag("--json", [&] { json = true; }),
         Valued("--wordlist", [&](const std::string& file) { options.words = ReadWordList(file); }),
         Valued("--save", [&](const std::string& dir) { options.saveDirectory = dir; }),
         JobsOption(options.jobs, options.cores)},
        Unlisted::DoubleDash, "analyse takes at least one FILE");
    int status = 0;
    ScanFiles(FilesListed(paths, {}), options, [&](const verdict::FileRecord& record) {
        status = record.readable() ? status : 1;
        std::cout << (json ? RecordJson(record) + "\n" : RecordText(record)) << std::flush;
        return true;
    });
    return status;
}

} // namespace

std::vector<Command> VerdictCommands() {
    return {
        {"analyse", "FILE... [--json] [--wordlist FILE] [--save DIR] [--jobs N]",
         "every analysis that applies to the file by its signature (structure, the pixel or JPEG "
         "attacks, the payload finder, steghide with a word list) joined into one verdict: "
         "found, suspicious or clean, the tools named where known, then the evidence ranked; "
         "--json gives one object a line, --save writes the payloads read out",
         RunAnalyse},
        {"scan",
         "DIR|--files-from FILE|- [--pattern GLOB] [--jobs N] [--format csv|jsonl] "
         "[--output FILE] [--shard K/N] [--wordlist FILE] [--save DIR] [--report FILE.html]",
         "analyse of every image under DIR (or listed), one row a file in walk order; "
         "DIR gives every file whose extension a decoder reads, in any case, and --pattern "
         "narrows that; --shard K/N keeps the files whose FNV-1a 64 hash of the relative path is "
         "K-1 mod N; JSONL rows are analyse's objects (\"path\" kept beside \"file\"), CSV rows "
         "add verdict and tools to the blind columns; --report writes one self-contained HTML "
         "page; --steghide-wordlist is the old name of --wordlist",
         RunScan},
    };
}

} // namespace vantrel::cli
