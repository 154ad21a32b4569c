// The blind command as a user runs it: files in argument order, a bad file as a row, JPEGs given
// the coefficient attacks.
#include "BlindFixtures.h"
#include "RunCli.h"
#include "blind/BlindFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace vantrel {
namespace {

namespace fs = std::filesystem;

using testing::CliRun;
using testing::Lines;
using testing::Shell;

const std::string kCli = VANTREL_CLI;

TEST(BlindCommand, InArgumentOrder) {
    const fs::path root =
        fs::temp_directory_path() / ("vantrel-blindcmd-" + std::to_string(getpid()));
    fs::create_directories(root);
    ASSERT_TRUE(FreeImage_Save(FIF_PNG, testing::NaturalImage(40, 30, 1).get(),
                               (root / "top.png").c_str(), 0));
    std::ofstream(root / "bad.png") << "not an image";
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
    fs::remove_all(root);
}

// A clean cover from cjpeg and the same cover through f5stego: the JPEG verdict decides and the
// pixel attacks read as not applicable.
TEST(BlindCommand, JpegsGetTheCoefficientAttacks) {
    const struct {
        const char* name;
        bool suspicious;
    } cases[] = {{"chelsea-q85.jpg", false}, {"chelsea-f5.jpg", true}};
    const std::string dir = std::string(VANTREL_TEST_DATA) + "/jpeg/";
    for (const auto& c : cases) {
        const std::string json = Shell(kCli + " blind --json " + dir + c.name).out;
        EXPECT_NE(json.find(std::string("\"suspicious\": ") + (c.suspicious ? "true" : "false") +
                            ", \"error\": null, \"channels\": null, \"pixel_attacks\": \"" +
                            kNotApplicableToJpeg + "\""),
                  std::string::npos)
            << json;
        EXPECT_NE(json.find(c.suspicious ? "\"f5\": true" : "\"f5\": false"), std::string::npos);
    }
}

} // namespace
} // namespace vantrel
