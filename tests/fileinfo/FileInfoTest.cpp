#include "fileinfo/FileInfo.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <vector>

namespace vantrel {
namespace {

namespace fs = std::filesystem;

// Every time in these tests is read in UTC and written in the C locale's notation
// (%x = MM/DD/YY, %X = HH:MM:SS).
class FileInfoTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        std::setlocale(LC_TIME, "C");
        char pattern[] = "/tmp/vantrel-fileinfo-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(folder_, fs::perms::owner_all, ignored);
        fs::remove_all(folder_, ignored);
    }

    std::string makeFile(const std::string& name, const std::string& content = "data") {
        const std::string path = (folder_ / name).string();
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    static std::vector<std::string> linesOf(const std::string& text) {
        std::vector<std::string> lines;
        std::size_t start = 0;
        for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos;
             start = end + 2) {
            lines.push_back(text.substr(start, end - start));
        }
        lines.push_back(text.substr(start));
        return lines;
    }

    static void setModified(const std::string& path, std::time_t when) {
        const timespec times[2] = {{when, 0}, {when, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }

    fs::path folder_;
};

TEST_F(FileInfoTest, PathPartsAreCutAtTheLastSlash) {
    const struct {
        const char* path;
        const char* filename;
        const char* directory;
    } cases[] = {
        {"/home/ana/img/a.png", "a.png", "/home/ana/img/"},
        {"a.png", "a.png", ""},
        {"/a.png", "a.png", "/"},
        {"rel/sub/b.bmp", "b.bmp", "rel/sub/"},
        {"dir/", "", "dir/"},
        {"", "", ""},
        // A backslash is an ordinary character of a name here.
        {"C:\\img\\a.png", "C:\\img\\a.png", ""},
        {"/data/x\\y.png", "x\\y.png", "/data/"},
    };
    for (const auto& c : cases) {
        std::string filename = "stale";
        std::string directory = "stale";
        SplitPath(c.path, filename, directory);
        EXPECT_EQ(filename, c.filename) << c.path;
        EXPECT_EQ(directory, c.directory) << c.path;
    }
}

TEST_F(FileInfoTest, RecordOfAnExistingFile) {
    const std::string path = makeFile("a.png", "12345");
    FileInfoRecord record;
    ASSERT_TRUE(GetFileInformation(path, record));
    EXPECT_EQ(record.FullFilePath, path);
    EXPECT_EQ(record.Filename, "a.png");
    EXPECT_EQ(record.Directory, folder_.string() + "/");
    EXPECT_EQ(record.FileSize, 5);
    EXPECT_EQ(record.FileAttributes, kAttributeNormal);
    EXPECT_NE(record.LastAccessTime, 0);
    EXPECT_LE(std::abs(std::difftime(record.LastModifyTime, std::time(nullptr))), 60.0);
}

TEST_F(FileInfoTest, MissingPathStillGivesARecord) {
    const std::string path = (folder_ / "gone" / "missing.png").string();
    FileInfoRecord record;
    EXPECT_FALSE(GetFileInformation(path, record));
    EXPECT_EQ(record.Filename, "missing.png");
    EXPECT_EQ(record.Directory, (folder_ / "gone").string() + "/");
    EXPECT_EQ(record.FullFilePath, path);
    const std::vector<std::string> lines = linesOf(FileInfoText(record, ""));
    EXPECT_EQ(lines[8], "FileSize: 0");
    EXPECT_EQ(lines[9], "FileAttributes: -1");
    EXPECT_EQ(lines[11], "CreationDate: 00:00:00");
    EXPECT_EQ(lines[13], "LastAccessTime: 00:00:00");
    EXPECT_EQ(lines[22], "Comment: ");
}

TEST_F(FileInfoTest, AttributeMask) {
    const std::string normal = makeFile("plain.png");
    const std::string readOnly = makeFile("locked.png");
    ASSERT_EQ(chmod(readOnly.c_str(), 0444), 0);
    const std::string hidden = makeFile(".hidden.png");
    const std::string hiddenReadOnly = makeFile(".both.png");
    ASSERT_EQ(chmod(hiddenReadOnly.c_str(), 0400), 0);
    const std::string directory = (folder_ / "sub").string();
    fs::create_directory(directory);
    const std::string hiddenDirectory = (folder_ / ".cache").string();
    fs::create_directory(hiddenDirectory);

    const std::pair<std::string, std::int32_t> cases[] = {
        {normal, 128},         {readOnly, 1},
        {hidden, 2},           {hiddenReadOnly, 3},
        {directory, 16},       {directory + "/", 16},
        {hiddenDirectory, 18}, {(folder_ / "nothing.png").string(), -1},
    };
    for (const auto& [path, mask] : cases) {
        FileInfoRecord record;
        GetFileInformation(path, record);
        EXPECT_EQ(record.FileAttributes, mask) << path;
    }
}

TEST_F(FileInfoTest, FileOfThreeGibibytesKeepsItsSize) {
    const std::string path = makeFile("big.raw", "");
    constexpr std::int64_t kSize = std::int64_t{3} << 30;
    ASSERT_EQ(truncate(path.c_str(), kSize), 0); // sparse: no disk space taken
    FileInfoRecord record;
    ASSERT_TRUE(GetFileInformation(path, record));
    EXPECT_EQ(record.FileSize, kSize);
    EXPECT_EQ(linesOf(FileInfoText(record, ""))[8], "FileSize: 3221225472");
}

TEST_F(FileInfoTest, DateNotation) {
    std::tm midnight{};
    midnight.tm_year = 2021 - 1900;
    midnight.tm_mon = 2;
    midnight.tm_mday = 4;
    const std::time_t atMidnight = timegm(&midnight);
    EXPECT_EQ(FormatDateTime(atMidnight), "03/04/21");
    EXPECT_EQ(FormatDateTime(atMidnight + 13 * 3600 + 5 * 60 + 9), "03/04/21 13:05:09");
    EXPECT_EQ(FormatDateTime(atMidnight - 1), "03/03/21 23:59:59");
    EXPECT_EQ(FormatDateTime(atMidnight + 1), "03/04/21 00:00:01");
    EXPECT_EQ(FormatDateTime(0), "00:00:00");
}

TEST_F(FileInfoTest, FileWrittenAtMidnightShowsTheDateAlone) {
    const std::string path = makeFile("midnight.png");
    std::tm midnight{};
    midnight.tm_year = 2019 - 1900;
    midnight.tm_mon = 11;
    midnight.tm_mday = 31;
    setModified(path, timegm(&midnight));
    FileInfoRecord record;
    ASSERT_TRUE(GetFileInformation(path, record));
    const std::vector<std::string> lines = linesOf(FileInfoText(record, ""));
    EXPECT_EQ(lines[12], "LastModifyTime: 12/31/19");
    EXPECT_EQ(lines[13], "LastAccessTime: 12/31/19");
}

TEST_F(FileInfoTest, TextBlockHasTwentyThreeLines) {
    FileInfoRecord record;
    record.Filename = "a.png";
    record.Directory = "/img/";
    record.FullFilePath = "/img/a.png";
    record.FileType = "Driver";
    record.FileTypeCode = 3;
    record.VerMajor = 65535;
    record.VerNotUsedVB = 7;
    record.FileSize = 1234567;
    record.FileAttributes = 129;
    record.ProductName = "Tool";
    // Every break is CR LF, none after the comment.
    EXPECT_EQ(FileInfoText(record, "hidden note"),
              "Filename: a.png\r\nDirectory: /img/\r\nFullFilePath: /img/a.png\r\n"
              "FileType: Driver\r\nVerMajor: 65535\r\nVerMinor: 0\r\nVerRevision: 0\r\n"
              "VerNotUsedVB: 7\r\nFileSize: 1234567\r\nFileAttributes: 129\r\nFileType: 3\r\n"
              "CreationDate: 00:00:00\r\nLastModifyTime: 00:00:00\r\nLastAccessTime: 00:00:00\r\n"
              "CompanyName: \r\nFileDescription: \r\nFileVersion: \r\nInternalName: \r\n"
              "LegalCopyright: \r\nOriginalFileName: \r\nProductName: Tool\r\n"
              "ProductVersion: \r\nComment: hidden note");
}

} // namespace
} // namespace vantrel
