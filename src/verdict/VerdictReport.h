#pragma once
// The words of a file's verdict: the readable block `analyse` prints, the JSON object every front
// end writes (one a line), the scan's CSV row, and the self-contained HTML report.
#include "extract/PayloadScan.h"
#include "passwords/PasswordTool.h"
#include "structure/FileStructure.h"
#include "verdict/Verdict.h"

#include <string>
#include <vector>

namespace vantrel {
struct BlindResult;
}

namespace vantrel::verdict {

// {"analysis", "detector", "figure", "threshold", "state", ["reason"], "flagged", "found",
// "tool", "why"}.
std::string EvidenceJson(const Evidence& evidence);

// {"file", "path" (the same, for scan readers of old), "format", "width", "height", "verdict"
// (null when unreadable), "tools", "error", "evidence", then each analysis's own object under
// its name, then "saved"}.
std::string RecordJson(const FileRecord& record);

// The verdict line ("FILE: found (steghide) - jpeg 640 x 480"), then one line an evidence,
// detectors that do not apply last.
std::string RecordText(const FileRecord& record);

// The scan's CSV: "path,verdict,tools,format,", the blind columns (BlindCsvHeader without its
// path), "anomalies,anomaly_kinds", then with a word list "steghide_passphrase".
std::string ScanCsvHeader(bool words);
std::string ScanCsvRow(const FileRecord& record, bool words);

// One HTML page, nothing fetched: a summary (files, per verdict, per tool, time), a row per file
// (verdict coloured, tools, top evidence, links to saved payloads, the thumbnail inline), filters
// by verdict and format, columns that sort on a click.
std::string ReportHtml(const std::vector<FileRecord>& records, double seconds);

// The parts' own objects and cells, as the analyses' entries write them.
std::string PayloadScanJson(const extract::ScanResult& result);
std::string PasswordsJson(const passwords::PasswordAttackResult& result);
std::string PasswordsCsvCell(const passwords::PasswordAttackResult& result);
std::string StructureCsvCells(const structure::FileStructure& structure);

} // namespace vantrel::verdict

namespace vantrel {
// BlindCsvRow's cells after its path.
std::string BlindCsvCells(const BlindResult& result);
} // namespace vantrel
