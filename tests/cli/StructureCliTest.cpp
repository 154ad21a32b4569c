// The structure command over planted and clean fixtures: what it reports, and carves that are
// the planted bytes exactly.
#include "RunCli.h"
#include "TestData.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using testing::CliRun;
using testing::Data;
using testing::RunCli;

TEST(StructureCommand, PlantedFilesAreFlaggedAndCleanOnesStayQuiet) {
    const struct {
        const char* file;
        bool flagged;
    } cases[] = {{"appended-zip.png", true}, {"appended-zip.jpg", true},
                 {"appended-zip.gif", true}, {"clean-camera.jpg", false},
                 {"clean-im.png", false},    {"clean-multipage.tif", false}};
    for (const auto& c : cases) {
        const CliRun run =
            RunCli({"structure", "--json", Data(std::string("structure/") + c.file)});
        EXPECT_EQ(run.status, 0) << c.file << run.err;
        EXPECT_EQ(run.out.find("\"anomalies\": []") == std::string::npos, c.flagged)
            << c.file << ": " << run.out.substr(0, 300);
    }
    EXPECT_EQ(RunCli({"structure", "/nonexistent/file.png"}).status, 1);
}

// What follows IEND is the archive `cat` appended: carved from the first byte after the image
// to the end of the file.
TEST(StructureCommand, CarvesTheAppendedArchiveByteForByte) {
    const fs::path folder =
        fs::temp_directory_path() / ("vantrel-carve-" + std::to_string(getpid()));
    const std::string file = Data("structure/appended-zip.png");
    const CliRun run = RunCli({"structure", file, "--carve", folder.string()});
    ASSERT_EQ(run.status, 0) << run.err;
    std::size_t carved = 0;
    const std::string whole = testing::FileBytes(file);
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        const std::string bytes = testing::FileBytes(entry.path());
        ASSERT_GT(bytes.size(), 4u);
        EXPECT_EQ(bytes.substr(0, 4), "PK\x03\x04");
        EXPECT_EQ(whole.substr(whole.size() - bytes.size()), bytes);
        ++carved;
    }
    EXPECT_EQ(carved, 1u);
    fs::remove_all(folder);
}

} // namespace
} // namespace vantrel
