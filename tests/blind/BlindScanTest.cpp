// The tree scan and the blind command as a user runs them: walk order, shards, bad files, link
// loops and interrupted output.
#include "blind/BlindScan.h"
#include "BlindFixtures.h"
#include "RunCli.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vantrel {
namespace {

namespace fs = std::filesystem;

using testing::CliRun;
using testing::Shell;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

const std::string kCli = VANTREL_CLI;

class BlindScan : public ::testing::Test {
protected:
    fs::path root = fs::temp_directory_path() / ("vantrel-blind-" + std::to_string(getpid()));
    std::vector<std::string> expected; // relative paths in walk order

    void SetUp() override {
        fs::create_directories(root / "a" / "deep");
        fs::create_directories(root / "c");
        const BitmapHandle image = testing::NaturalImage(40, 30, 1);
        for (const char* name :
             {"top.png", "a/one.bmp", "a/two.png", "c/three.png", "a/deep/four.png"}) {
            ASSERT_TRUE(FreeImage_Save(FreeImage_GetFIFFromFilename(name), image.get(),
                                       (root / name).c_str(), 0));
        }
        std::ofstream(root / "bad.png") << "not an image";
        fs::create_directory_symlink("..", root / "c" / "loop"); // back to the root
        expected = {"bad.png",   "top.png",     "a/one.bmp",
                    "a/two.png", "c/three.png", "a/deep/four.png"};
    }
    void TearDown() override { fs::remove_all(root); }
};

TEST_F(BlindScan, WalkOrderOnceThroughALinkLoop) {
    std::vector<std::string> relative;
    for (const ScanFile& file : FilesUnder(root.string() + "/", {})) {
        relative.push_back(file.relative);
        EXPECT_EQ(file.path, (root / file.relative).string());
    }
    EXPECT_EQ(relative, expected);
    ScanSelection pngOnly;
    pngOnly.pattern = "*.png";
    EXPECT_EQ(FilesUnder(root.string(), pngOnly).size(), 5u);
}

TEST_F(BlindScan, ShardsCoverEveryFileExactlyOnce) {
    std::vector<std::string> many;
    for (int i = 0; i < 40; ++i) {
        many.push_back("dir" + std::to_string(i % 3) + "/image-" + std::to_string(i) + ".png");
    }
    for (int count = 1; count <= 6; ++count) {
        std::multiset<std::string> seen;
        for (int index = 1; index <= count; ++index) {
            for (const ScanFile& file : FilesListed(many, {"", index, count})) {
                seen.insert(file.relative);
            }
        }
        EXPECT_EQ(seen, std::multiset<std::string>(many.begin(), many.end())) << count;
    }
    EXPECT_EQ(ShardHash(""), 0xcbf29ce484222325ULL); // FNV-1a 64 offset basis
    EXPECT_EQ(ShardHash("a"), 0xaf63dc4c8601ec8cULL);
}

TEST_F(BlindScan, RowsInListOrderWithTheBadFileAsARow) {
    const std::vector<ScanFile> files = FilesUnder(root.string(), {});
    std::vector<std::string> order;
    ScanFiles(files, 3, [&](const ScanRow& row) {
        order.push_back(row.path);
        EXPECT_EQ(row.result.ok(), row.path.find("bad.png") == std::string::npos)
            << row.result.error();
        EXPECT_TRUE(!row.result || row.result->channels.size() == 3u);
        return true;
    });
    ASSERT_EQ(order.size(), files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(order[i], files[i].path);
    }
    // A writer that gives up after two rows ends the scan there.
    EXPECT_EQ(ScanFiles(files, 2, [](const ScanRow&) { return false; }), 1u);
}

TEST_F(BlindScan, CommandLineFormatsShardsAndExitStatus) {
    const std::string dir = root.string();
    const CliRun jsonl = Shell(kCli + " scan " + dir + " --jobs 2 2>/dev/null");
    EXPECT_EQ(jsonl.status, 1); // the bad file
    const std::vector<std::string> rows = Lines(jsonl.out);
    ASSERT_EQ(rows.size(), expected.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_TRUE(rows[i].starts_with("{\"path\": \"" + dir + "/" + expected[i] + "\""))
            << rows[i];
    }
    EXPECT_NE(rows[0].find("\"error\": \"Could not decode"), std::string::npos) << rows[0];
    EXPECT_NE(rows[1].find("\"channels\": {\"R\": {\"chi_square\""), std::string::npos);

    // CSV shards concatenate to the whole scan: one header, every row once.
    const std::string whole = Shell(kCli + " scan " + dir + " --format csv 2>/dev/null").out;
    std::string joined;
    for (int k = 1; k <= 3; ++k) {
        joined += Shell(kCli + " scan " + dir + " --format csv --shard " + std::to_string(k) +
                        "/3 2>/dev/null")
                      .out;
    }
    std::vector<std::string> a = Lines(whole), b = Lines(joined);
    ASSERT_EQ(a.size(), expected.size() + 1);
    EXPECT_TRUE(a[0].starts_with("path,width,height,suspicious,error,R_chi_p"));
    EXPECT_EQ(b[0], a[0]);
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    EXPECT_EQ(a, b);

    // A list on standard input, blank lines skipped; all good files: status 0.
    const CliRun listed = Shell("printf '" + dir + "/top.png\\n\\n" + dir + "/c/three.png\\n' | " +
                                kCli + " scan --files-from - --format jsonl 2>/dev/null");
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(Lines(listed.out).size(), 2u);
    EXPECT_EQ(Shell(kCli + " scan " + dir + " --shard 4/3 2>/dev/null").status, 2);
}

TEST_F(BlindScan, InterruptedScanKeepsWholeRows) {
    const BitmapHandle image = testing::NaturalImage(300, 200, 2);
    for (int i = 0; i < 60; ++i) {
        FreeImage_Save(FIF_BMP, image.get(),
                       (root / ("many-" + std::to_string(i) + ".bmp")).c_str(), 0);
    }
    const std::string output = (root / "rows.jsonl").string();
    const pid_t child = fork();
    if (child == 0) {
        execl(kCli.c_str(), kCli.c_str(), "scan", root.c_str(), "--jobs", "1", "--output",
              output.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    std::size_t rows = 0;
    for (int wait = 0; wait < 600 && rows < 4; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::ifstream in(output);
        rows = static_cast<std::size_t>(std::count(std::istreambuf_iterator<char>(in), {}, '\n'));
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    std::ifstream in(output);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    ASSERT_GE(Lines(text).size(), 4u);
    EXPECT_TRUE(text.ends_with("}\n")); // whole rows only
    for (const std::string& line : Lines(text)) {
        EXPECT_TRUE(line.starts_with("{\"path\": ") && line.ends_with("}")) << line;
    }
    // A reader that closes early: the scan ends without hanging, the rows read are whole.
    const CliRun head =
        Shell(kCli + " scan " + root.string() + " --jobs 1 2>/dev/null | head -n 2");
    EXPECT_EQ(Lines(head.out).size(), 2u);
}

TEST_F(BlindScan, BlindCommandInArgumentOrder) {
    const std::string top = (root / "top.png").string(), bad = (root / "bad.png").string();
    const CliRun json =
        Shell(kCli + " blind " + top + " " + bad + " " + top + " --json 2>/dev/null");
    EXPECT_EQ(json.status, 1);
    const std::vector<std::string> lines = Lines(json.out);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], lines[2]);
    EXPECT_TRUE(lines[1].starts_with("{\"path\": \"" + bad + "\", \"width\": null")) << lines[1];
    const CliRun text = Shell(kCli + " blind " + top);
    EXPECT_EQ(text.status, 0);
    EXPECT_NE(text.out.find(top + ": 40 x 30, "), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("\nWS  "), std::string::npos) << text.out;
}

// A clean cover from cjpeg and the same cover through f5stego: the JPEG verdict decides, the
// pixel attacks read as not applicable, and CSV rows keep the header's columns.
TEST(BlindJpeg, BlindAndScanGiveJpegsTheCoefficientAttacks) {
    const struct {
        const char* name;
        bool suspicious;
    } cases[] = {{"chelsea-q85.jpg", false}, {"chelsea-f5.jpg", true}};
    const std::string dir = std::string(VANTREL_TEST_DATA) + "/jpeg/";
    std::string list;
    for (const auto& c : cases) {
        const std::string json = Shell(kCli + " blind --json " + dir + c.name).out;
        EXPECT_NE(json.find(std::string("\"suspicious\": ") + (c.suspicious ? "true" : "false") +
                            ", \"error\": null, \"channels\": null, \"pixel_attacks\": \"" +
                            kNotApplicableToJpeg + "\""),
                  std::string::npos)
            << json;
        EXPECT_NE(json.find(c.suspicious ? "\"f5\": true" : "\"f5\": false"), std::string::npos);
        list += dir + c.name + "\\n";
    }
    const std::vector<std::string> rows =
        Lines(Shell("printf '" + list + "' | " + kCli + " scan --files-from - --format csv").out);
    ASSERT_EQ(rows.size(), 3u);
    const auto columns = [](const std::string& row) { // commas outside quoted fields
        int commas = 0;
        bool quoted = false;
        for (const char c : row) {
            quoted ^= c == '"';
            commas += c == ',' && !quoted;
        }
        return commas;
    };
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(columns(rows[i + 1]), columns(rows[0])) << rows[i + 1];
        // The verdict, then the structure's columns: no anomaly in either file.
        EXPECT_TRUE(rows[i + 1].ends_with(cases[i].suspicious ? "(suspicious)\",0," : "\",0,"))
            << rows[i + 1];
        EXPECT_NE(rows[i + 1].find(cases[i].suspicious ? ",true,,,,,," : ",false,,,,,,"),
                  std::string::npos);
    }
}

// The passphrases are those tools/make_steghide_fixtures.sh gave steghide embed; the appended
// archive is a ZIP written after the PNG's IEND. The clean PNG is the NaturalImage cover, which
// the pixel attacks pass, so only the new columns can make a file suspicious.
TEST_F(BlindScan, StructureAndSteghideColumns) {
    const std::string data = VANTREL_TEST_DATA;
    const struct {
        std::string path, suspicious, anomalies, kinds, passphrase;
    } cases[] = {
        {data + "/structure/appended-zip.png", "true", "1", "data-after-end", "n/a"},
        {(root / "clean.png").string(), "false", "0", "", "n/a"},
        {(root / "clean.bmp").string(), "false", "0", "", ""},
        {data + "/steghide/jpeg-default.jpg", "true", "0", "", "vantrel"},
        {data + "/steghide/bmp24-default.bmp", "true", "0", "", "rosebud"},
    };
    const BitmapHandle cover = testing::NaturalImage(256, 192, 5);
    for (const char* name : {"clean.png", "clean.bmp"}) {
        ASSERT_TRUE(FreeImage_Save(FreeImage_GetFIFFromFilename(name), cover.get(),
                                   (root / name).c_str(), 0));
    }
    std::ofstream(root / "words.txt") << "password\nrosebud\r\nvantrel\n";
    std::string list;
    for (const auto& c : cases) {
        list += c.path + "\\n";
    }
    const std::string scan = "printf '" + list + "' | " + kCli + " scan --files-from - " +
                             "--steghide-wordlist " + (root / "words.txt").string();
    const std::vector<std::string> csv = Lines(Shell(scan + " --format csv 2>/dev/null").out);
    const std::vector<std::string> jsonl = Lines(Shell(scan + " 2>/dev/null").out);
    ASSERT_EQ(csv.size(), std::size(cases) + 1);
    ASSERT_EQ(jsonl.size(), std::size(cases));
    EXPECT_TRUE(csv[0].ends_with(",anomalies,anomaly_kinds,steghide_passphrase"));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        const std::string& row = csv[i + 1];
        EXPECT_TRUE(row.starts_with(c.path + ",")) << row;
        EXPECT_NE(row.find("," + c.suspicious + ","), std::string::npos) << row;
        EXPECT_TRUE(row.ends_with("," + c.anomalies + "," + c.kinds + "," + c.passphrase)) << row;
        EXPECT_NE(jsonl[i].find("\"suspicious\": " + c.suspicious), std::string::npos);
        EXPECT_NE(jsonl[i].find("\"structure\": {\"file\": "), std::string::npos) << jsonl[i];
        const bool hit = !c.passphrase.empty() && c.passphrase != "n/a";
        EXPECT_EQ(jsonl[i].ends_with("\"steghide\": null}"), !hit) << jsonl[i];
        EXPECT_EQ(jsonl[i].find("\"steghide\": {\"passphrase\": \"" + c.passphrase +
                                "\", \"encryption\": \"rijndael-128\", \"mode\": \"cbc\", "
                                "\"size\": 45, \"name\": \"msg.txt\"}") != std::string::npos,
                  hit)
            << jsonl[i];
    }
}

} // namespace
} // namespace vantrel
