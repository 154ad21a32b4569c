// Runs the vantrel-cli executable as a user would and checks its exit status, messages and files.
#include "image/ImageLoading.h"

#include "RunCli.h"
#include "TestData.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace vantrel {
namespace {

namespace fs = std::filesystem;

using testing::CliRun;
using testing::Data;

// The program through the shell, which reads the quoted patterns below as a user's shell
// would; standard error comes with the output.
CliRun RunCli(const std::string& arguments) {
    return testing::Shell(std::string(VANTREL_CLI) + " " + arguments + " 2>&1");
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
    ASSERT_EQ(run.status, 0) << run.out;
    const BitmapHandle written = testing::Loaded(out);
    const BitmapHandle source = testing::Loaded(Data(GetParam()));
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
    ASSERT_EQ(run.status, 0) << run.out;
    const BitmapHandle thumb = testing::Loaded(out);
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
    EXPECT_EQ(run.status, c.status) << run.out;
    EXPECT_NE(run.out.find(c.mentions), std::string::npos) << run.out;
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

// A 4 x 2 noise image (24 colour bytes) with bit 7 flipped in its first `flipped` colour bytes,
// row by row from the top: its MSB similarity to the unflipped one is 1 - flipped / 24.
std::string SaveFlipped(const fs::path& path, int flipped, int height = 2) {
    const BitmapHandle image = testing::NoiseBitmap(4, height, 24, 5);
    const MutablePixelView view = MutableViewOfBitmap(image.get());
    for (int byte = 0; byte < flipped; ++byte) {
        view.row(byte / 12)[byte % 12] ^= 0x80;
    }
    EXPECT_TRUE(FreeImage_Save(FIF_PNG, image.get(), path.c_str(), 0));
    return path.string();
}

TEST_F(CliTest, SimilarityAgainstTheThreshold) {
    const std::string reference = SaveFlipped(dir / "ref.png", 0);
    struct Case {
        int flipped;
        int threshold;
        const char* output;
    };
    for (const Case c : {Case{6, 75, "75.00%\tmatch\n"}, Case{6, 76, "75.00%\tno match\n"},
                         Case{7, 70, "70.83%\tmatch\n"}, Case{7, 71, "70.83%\tno match\n"},
                         Case{0, 100, "100.00%\tmatch\n"}, Case{24, 0, "0.00%\tmatch\n"}}) {
        const std::string candidate = SaveFlipped(dir / "candidate.png", c.flipped);
        const CliRun run = RunCli("similarity " + reference + " " + candidate + " --threshold " +
                                  std::to_string(c.threshold));
        EXPECT_EQ(run.status, 0) << run.out;
        EXPECT_EQ(run.out, c.output) << c.flipped << " at " << c.threshold;
    }
    EXPECT_EQ(RunCli("similarity " + reference + " " + SaveFlipped(dir / "tall.png", 0, 3)).out,
              "size differs\n");
}

TEST_F(CliTest, SearchListsHitsInWalkOrderAgainstTheThreshold) {
    const std::string reference = SaveFlipped(dir / "ref.png", 0);
    const std::string b = SaveFlipped(dir / "b.png", 6);  // 75 %
    const std::string c = SaveFlipped(dir / "c.png", 0);  // 100 %
    const std::string d = SaveFlipped(dir / "d.png", 12); // 50 %
    for (const auto& [threshold, output] : std::vector<std::pair<int, std::string>>{
             {75, b + "\t75.00%\n" + c + "\t100.00%\n"},
             {76, c + "\t100.00%\n"},
             {0, b + "\t75.00%\n" + c + "\t100.00%\n" + d + "\t50.00%\n"}}) {
        const CliRun run = RunCli("search " + reference + " " + dir.string() + " --threshold " +
                                  std::to_string(threshold));
        EXPECT_EQ(run.status, 0) << run.out;
        EXPECT_EQ(run.out, output) << threshold;
    }
}

// The scan takes every name a decoder reads, in any case; --pattern narrows that.
TEST_F(CliTest, ScanTakesEveryFormatTheDecoderReads) {
    for (const auto& [from, to] :
         std::vector<std::pair<const char*, const char*>>{{"pattern.png", "a.png"},
                                                          {"pattern.jpg", "b.jpeg"},
                                                          {"pattern.webp", "c.webp"},
                                                          {"pattern.tif", "d.tiff"},
                                                          {"pattern.png", "f.PNG"},
                                                          {"pattern.png", "notes.txt"}}) {
        fs::copy_file(Data(from), dir / to);
    }
    const BitmapHandle pattern = testing::Loaded(Data("pattern.png"));
    ASSERT_TRUE(FreeImage_Save(FIF_PPMRAW, pattern.get(), (dir / "e.ppm").c_str(), 0));
    for (const auto& [pattern, files] : std::vector<std::pair<std::string, int>>{
             {"", 6}, {" --pattern '*.p*'", 2}, {" --pattern '*.PNG;*.webp'", 2}}) {
        const CliRun run = RunCli("scan " + dir.string() + pattern);
        EXPECT_EQ(run.status, 0) << run.out;
        EXPECT_NE(run.out.find(std::to_string(files) + " files scanned, "), std::string::npos)
            << pattern << ": " << run.out;
        EXPECT_NE(run.out.find(", 0 could not be read"), std::string::npos) << run.out;
    }
}

} // namespace
} // namespace vantrel
