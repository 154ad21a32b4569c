// The tree scan as a user runs it: walk order, shards, bad files, link loops and interrupted
// output. What each row says is checked against the layer in VerdictTest.
#include "verdict/Scan.h"
#include "RunCli.h"
#include "blind/BlindFixtures.h"

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
using testing::Lines;
using testing::Shell;

const std::string kCli = VANTREL_CLI;

ScanOptions Jobs(int jobs) {
    ScanOptions options;
    options.jobs = jobs;
    return options;
}

class Scan : public ::testing::Test {
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

TEST_F(Scan, WalkOrderOnceThroughALinkLoop) {
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

TEST_F(Scan, ShardsCoverEveryFileExactlyOnce) {
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

// --jobs N keeps the scan to N cores, a core a job; without it every job shares every core.
TEST(JobCores, EqualSharesInOrderOrNoPinning) {
    using Cores = std::vector<std::vector<int>>;
    const struct {
        int jobs, cores;
        std::vector<int> allowed;
        Cores expected;
    } cases[] = {
        {1, 1, {0, 1}, {{0}}},
        {2, 2, {0, 1}, {{0}, {1}}},
        {1, 2, {0, 1}, {}},
        {2, 8, {0, 1, 2, 3, 4, 5, 6, 7}, {{0, 1, 2, 3}, {4, 5, 6, 7}}},
        {3, 8, {0, 1, 2, 3, 4, 5, 6, 7}, {{0, 1}, {2, 3}, {4, 5}}},
        {2, 2, {1, 3, 5}, {{1}, {3}}},
        {3, 3, {0, 1}, {}},
        {4, 4, {0, 1, 2}, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(JobCores(c.jobs, c.cores, c.allowed), c.expected) << c.jobs << " " << c.cores;
    }
}

TEST_F(Scan, RowsInListOrderWithTheBadFileAsARow) {
    const std::vector<ScanFile> files = FilesUnder(root.string(), {});
    std::vector<std::string> order;
    ScanFiles(files, Jobs(3), [&](const verdict::FileRecord& row) {
        order.push_back(row.file);
        EXPECT_EQ(row.readable(), row.file.find("bad.png") == std::string::npos) << row.error;
        EXPECT_TRUE(!row.readable() || row.width == 40);
        return true;
    });
    ASSERT_EQ(order.size(), files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(order[i], files[i].path);
    }
    // A writer that gives up after two rows ends the scan there.
    EXPECT_EQ(ScanFiles(files, Jobs(2), [](const verdict::FileRecord&) { return false; }), 1u);
}

TEST_F(Scan, CommandLineFormatsShardsAndExitStatus) {
    const std::string dir = root.string();
    const CliRun jsonl = Shell(kCli + " scan " + dir + " --jobs 2 2>/dev/null");
    EXPECT_EQ(jsonl.status, 1); // the bad file
    const std::vector<std::string> rows = Lines(jsonl.out);
    ASSERT_EQ(rows.size(), expected.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_TRUE(rows[i].starts_with("{\"file\": \"" + dir + "/" + expected[i] + "\""))
            << rows[i];
    }
    EXPECT_NE(rows[0].find("\"error\": \"Could not decode"), std::string::npos) << rows[0];
    EXPECT_NE(rows[1].find("\"channels\": {\"R\": {\"chi_square\""), std::string::npos);
    EXPECT_NE(rows[1].find("\"path\": \"" + dir + "/top.png\""), std::string::npos);

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
    EXPECT_TRUE(
        a[0].starts_with("path,verdict,tools,format,width,height,suspicious,error,R_chi_p"));
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

TEST_F(Scan, InterruptedScanKeepsWholeRows) {
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
        EXPECT_TRUE(line.starts_with("{\"file\": ") && line.ends_with("}")) << line;
    }
    // A reader that closes early: the scan ends without hanging, the rows read are whole.
    const CliRun head =
        Shell(kCli + " scan " + root.string() + " --jobs 1 2>/dev/null | head -n 2");
    EXPECT_EQ(Lines(head.out).size(), 2u);
}

} // namespace
} // namespace vantrel
