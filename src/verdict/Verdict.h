#pragma once
// One answer per file: every analysis that applies to the file, by its real format, run on what
// one decoder request brought back, and their evidence joined into one verdict. The analyses never
// call each other; this layer stands above them, and a new analysis joins by one entry in its
// table (Verdict.cpp).
#include "image/DetectorState.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::verdict {

// `found`: a payload read out and proved, a verified password, a carved file. `suspicious`: a
// detector that applies reached its threshold, or the container holds what no writer puts there.
enum class Verdict { Clean, Suspicious, Found };
const char* VerdictName(Verdict verdict); // "clean", "suspicious", "found"

// One detector's answer about the file, as every front end lists it.
struct Evidence {
    std::string analysis; // the table entry's name: the window that shows it
    std::string detector; // "R rs", "jsteg", "data-after-end", "b1,rgb,lsb,xy" ...
    std::optional<double> figure;
    std::optional<double> threshold;
    DetectorState state;
    bool flagged = false; // ok and the figure reached its threshold (or an anomaly was seen)
    bool found = false;   // proved: read out, verified, carved
    std::string tool;     // the tool the evidence points to, where known
    std::string why;      // one line
};

// Found first, then flagged, then the rest that apply, then what does not apply or failed.
int EvidenceRank(const Evidence& evidence);

// Hidden bytes an analysis read out, for --save and the report's links.
struct Payload {
    std::string name; // a file name (no folders) to save it under
    std::vector<std::uint8_t> bytes;
};

// One analysis's part of a file's record.
struct AnalysisPart {
    std::string name; // the key of its own object in the file's JSON
    std::string json; // its own object, as its own command prints it
    std::string csv;  // its cells of the scan's CSV row, comma-joined (see ScanCsvHeader)
    std::vector<Evidence> evidence;
    std::vector<Payload> payloads;
};

struct FileRecord {
    std::string file;
    std::string format = "unknown"; // by the signature, not the name
    int width = 0;
    int height = 0;
    Verdict verdict = Verdict::Clean;
    std::vector<std::string> tools;      // distinct, in evidence order
    std::vector<Evidence> evidence;      // ranked
    std::vector<AnalysisPart> parts;     // in table order
    std::string error;                   // why the file could not be read; empty when it was
    std::vector<std::uint8_t> thumbnail; // a small JPEG of the picture, when asked for
    std::vector<std::string> saved;      // where payloads were written, with --save
    double seconds = 0;

    bool readable() const { return error.empty(); }
};

struct Options {
    // One password a line, held for the whole run; null: no password tool runs.
    const std::string* words = nullptr;
    int threads = 0;           // cores one file may use (0: all); a scan gives each job its share
    int thumbnailSide = 0;     // the long side of the record's thumbnail, 0 for none
    std::string saveDirectory; // where payloads go, empty for nowhere
    const std::atomic<bool>* cancel = nullptr;
};

// The analyses of the table, in order, by name.
std::vector<std::string> AnalysisNames();

FileRecord AnalyseFile(const std::string& path, const Options& options = {});

} // namespace vantrel::verdict
