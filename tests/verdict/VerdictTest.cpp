// The verdict of every fixture, from the layer once; `analyse`, the scan's JSONL, CSV and HTML
// must say the same of each file.
#include "RunCli.h"
#include "VerdictFixtures.h"
#include "verdict/Scan.h"
#include "verdict/VerdictReport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace vantrel {
namespace {

using testing::Lines;

namespace fs = std::filesystem;

// The time a file took is the one field two runs may differ in.
std::string WithoutSeconds(const std::string& json) {
    return json.substr(0, json.rfind(", \"seconds\": "));
}

std::string Verdict(const verdict::FileRecord& r) {
    return r.readable() ? verdict::VerdictName(r.verdict) : "unreadable";
}

class VerdictAgreement : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        made = fs::temp_directory_path() / ("vantrel-verdict-" + std::to_string(getpid()));
        paths = testing::VerdictCasePaths(made);
        std::ifstream in(testing::kVerdictWords, std::ios::binary);
        words = std::string((std::istreambuf_iterator<char>(in)), {});
        ScanOptions options;
        options.jobs = 2;
        options.words = words;
        ScanFiles(FilesListed(paths, {}), options, [](const verdict::FileRecord& r) {
            records.push_back(r);
            return true;
        });
    }
    static void TearDownTestSuite() { fs::remove_all(made); }

    static std::string List() {
        std::string list;
        for (const std::string& path : paths) {
            list += path + "\n";
        }
        return list;
    }

    static inline fs::path made;
    static inline std::vector<std::string> paths;
    static inline std::string words;
    static inline std::vector<verdict::FileRecord> records;
};

TEST_F(VerdictAgreement, LayerGivesEachFixtureItsVerdictAndTool) {
    ASSERT_EQ(records.size(), std::size(testing::kVerdictCases));
    for (std::size_t i = 0; i < records.size(); ++i) {
        const testing::VerdictCase& c = testing::kVerdictCases[i];
        const verdict::FileRecord& r = records[i];
        EXPECT_EQ(r.file, paths[i]);
        EXPECT_EQ(Verdict(r), c.verdict) << c.file << "\n" << verdict::RecordText(r);
        EXPECT_EQ(r.tools.empty() ? "" : r.tools.front(), std::string(c.tool)) << c.file;
        // Ranked: whatever made the verdict comes first.
        if (r.readable() && r.verdict != verdict::Verdict::Clean) {
            EXPECT_TRUE(r.evidence.front().found || r.evidence.front().flagged) << c.file;
        }
        // A detector that does not apply never counts.
        for (const verdict::Evidence& e : r.evidence) {
            EXPECT_TRUE(e.state.ok() || (!e.flagged && !e.found)) << c.file << " " << e.detector;
        }
    }
}

TEST_F(VerdictAgreement, AnalyseAndScanRowsAreTheLayersObjects) {
    const std::string wordsArgument = testing::kVerdictWords;
    std::vector<std::string> analyse = {"analyse",     "--json", "--wordlist",
                                        wordsArgument, "--jobs", "2"};
    analyse.insert(analyse.end(), paths.begin(), paths.end());
    const testing::CliRun command = testing::RunCli(analyse);
    EXPECT_EQ(command.status, 1); // the unreadable files
    const testing::CliRun jsonl =
        testing::RunCli({"scan", "--files-from", "-", "--wordlist", wordsArgument},
                        testing::CliStreams::Separate, List());
    const std::vector<std::string> a = Lines(command.out), s = Lines(jsonl.out);
    ASSERT_EQ(a.size(), records.size()) << command.err;
    ASSERT_EQ(s.size(), records.size()) << jsonl.err;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const std::string expected = WithoutSeconds(verdict::RecordJson(records[i]));
        EXPECT_EQ(WithoutSeconds(a[i]), expected);
        EXPECT_EQ(WithoutSeconds(s[i]), expected);
    }
}

TEST_F(VerdictAgreement, CsvAndHtmlReportSayTheSame) {
    const std::string report = (made / "report.html").string();
    const testing::CliRun csv =
        testing::RunCli({"scan", "--files-from", "-", "--format", "csv", "--wordlist",
                         testing::kVerdictWords, "--report", report},
                        testing::CliStreams::Separate, List());
    const std::vector<std::string> rows = Lines(csv.out);
    ASSERT_EQ(rows.size(), records.size() + 1) << csv.err;
    EXPECT_EQ(rows[0], verdict::ScanCsvHeader(true));
    std::ifstream in(report);
    const std::string html((std::istreambuf_iterator<char>(in)), {});
    std::size_t at = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(rows[i + 1], verdict::ScanCsvRow(records[i], true));
        EXPECT_TRUE(rows[i + 1].starts_with(paths[i] + "," + Verdict(records[i]) + ","));
        // The passphrase column: n/a only where steghide cannot hide (neither JPEG nor BMP).
        const bool cover = records[i].format == "jpeg" || records[i].format == "bmp";
        EXPECT_EQ(rows[i + 1].ends_with(",n/a"), !cover) << rows[i + 1];
        at = html.find("<tr data-verdict=\"" + Verdict(records[i]) + "\"", at);
        ASSERT_NE(at, std::string::npos) << "no row for " << paths[i];
        EXPECT_NE(html.find(paths[i], at), std::string::npos);
        ++at;
    }
    EXPECT_EQ(html.find("<tr data-verdict=", at), std::string::npos); // no more rows than files
    EXPECT_EQ(html.find("http"), std::string::npos);                  // nothing to fetch
}

// In a real browser, where there is one: the filter by verdict hides every other row.
TEST_F(VerdictAgreement, ReportFiltersInChromium) {
    if (!fs::exists("/usr/bin/chromium")) {
        GTEST_SKIP() << "no /usr/bin/chromium";
    }
    std::string html = verdict::ReportHtml(records, 1.0);
    html.insert(html.rfind("</body>"), "<script>var v=document.getElementById('fv');"
                                       "v.value='found';v.onchange();</script>");
    const fs::path page = made / "filtered.html";
    std::ofstream(page) << html;
    const std::string dom = testing::Shell("timeout 60 chromium --headless --no-sandbox "
                                           "--disable-gpu --dump-dom file://" +
                                           page.string() + " 2>/dev/null")
                                .out;
    std::size_t shown = 0, found = 0;
    for (std::size_t at = dom.find("<tr data-verdict="); at != std::string::npos;
         at = dom.find("<tr data-verdict=", at + 1)) {
        shown += dom.substr(at, dom.find('>', at) - at).find("display: none") == std::string::npos;
    }
    for (const verdict::FileRecord& r : records) {
        found += Verdict(r) == "found";
    }
    EXPECT_GT(found, 0u);
    EXPECT_EQ(shown, found) << dom.substr(0, 400);
}

// A password header that merely fits (no checksum behind it) is listed for the analyst, but turns
// up by chance on clean covers too: it must neither flag the file nor name the tool.
TEST(VerdictCandidates, UnverifiedPasswordsLeaveTheFileClean) {
    std::ifstream in(VANTREL_TEST_DATA "/passwords/words.txt", std::ios::binary);
    const std::string words((std::istreambuf_iterator<char>(in)), {});
    verdict::Options options;
    options.words = &words;
    for (const char* file : {"/passwords/f5-binary.jpg", "/passwords/og-binary.jpg"}) {
        const verdict::FileRecord r =
            verdict::AnalyseFile(VANTREL_TEST_DATA + std::string(file), options);
        EXPECT_EQ(Verdict(r), "clean") << file;
        EXPECT_TRUE(r.tools.empty()) << file;
        EXPECT_TRUE(std::any_of(
            r.evidence.begin(), r.evidence.end(),
            [](const auto& e) { return e.why.find("candidate password") != std::string::npos; }))
            << file << "\n"
            << verdict::RecordText(r);
    }
}

} // namespace
} // namespace vantrel
