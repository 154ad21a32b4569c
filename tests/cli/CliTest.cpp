// Runs the vantrel-cli executable as a user would and checks its exit status, messages and files.
#include "image/ImageLoading.h"

#include "TestData.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace vantrel {
namespace {

namespace fs = std::filesystem;

using testing::Data;

struct CliRun {
    int status = -1;
    std::string output; // stdout and stderr together
};

CliRun RunCli(const std::string& arguments) {
    const std::string command = std::string(VANTREL_CLI) + " " + arguments + " 2>&1";
    CliRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    std::array<char, 4096> buffer{};
    while (fgets(buffer.data(), static_cast<int>(buffer.size()), pipe) != nullptr) {
        run.output += buffer.data();
    }
    const int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

class CliTest : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("vantrel-cli-test-" + std::to_string(getpid()));
    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override { fs::remove_all(dir); }
};

class PictureReproducesFile : public CliTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(PictureReproducesFile, EveryPixel) {
    const std::string out = (dir / "out.png").string();
    const CliRun run = RunCli("picture " + Data(GetParam()) + " " + out);
    ASSERT_EQ(run.status, 0) << run.output;
    const BitmapHandle written = LoadImageFile(out);
    const BitmapHandle source = LoadImageFile(Data(GetParam()));
    ASSERT_TRUE(written && source);
    EXPECT_EQ(BitmapBitsPerPixel(written.get()), 24);
    EXPECT_EQ(testing::Colours(written.get()), testing::Colours(source.get()));
}

// A palette GIF comes out through its colour table.
INSTANTIATE_TEST_SUITE_P(Formats, PictureReproducesFile,
                         ::testing::Values("pattern24.png", "pattern.png", "pattern.bmp",
                                           "pattern.tif", "pattern.gif"));

TEST_F(CliTest, ThumbnailHasTheLongSide) {
    const std::string out = (dir / "thumb.png").string();
    const CliRun run = RunCli("thumbnail " + Data("pattern24.png") + " 100 " + out);
    ASSERT_EQ(run.status, 0) << run.output;
    const BitmapHandle thumb = LoadImageFile(out);
    EXPECT_EQ(BitmapWidth(thumb.get()), 100);
    EXPECT_EQ(BitmapHeight(thumb.get()), 75);
}

struct StatusCase {
    const char* arguments;
    int status;
    const char* mentions;
};

class ExitStatus : public CliTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(ExitStatus, TellsWhatWentWrong) {
    const StatusCase& c = GetParam();
    std::string arguments = c.arguments;
    const auto data = arguments.find("DATA/");
    if (data != std::string::npos) {
        arguments.replace(data, 5, std::string(VANTREL_TEST_DATA) + "/");
    }
    const auto out = arguments.find("OUT");
    if (out != std::string::npos) {
        arguments.replace(out, 3, (dir / "x.png").string());
    }
    const CliRun run = RunCli(arguments);
    EXPECT_EQ(run.status, c.status) << run.output;
    EXPECT_NE(run.output.find(c.mentions), std::string::npos) << run.output;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExitStatus,
    ::testing::Values(StatusCase{"--help", 0, "thumbnail"}, StatusCase{"", 2, "Usage"},
                      StatusCase{"nonsense", 2, "unknown command"},
                      StatusCase{"picture onlyone", 2, "usage"},
                      StatusCase{"thumbnail DATA/pattern.png zero OUT", 2, "whole number"},
                      StatusCase{"picture DATA/text.png OUT", 1, "text.png"},
                      StatusCase{"picture DATA/truncated.png OUT", 1, "truncated.png"},
                      StatusCase{"picture DATA/no-such-file.png OUT", 1, "no-such-file.png"}));

} // namespace
} // namespace vantrel
