// The jpeg command over fixtures made by the real tools: the verdict a user reads, and the
// coefficients the decoder process hands over, against libjpeg's own transcoder.
#include "RunCli.h"
#include "TestData.h"

#include <gtest/gtest.h>

#include <string>

namespace vantrel {
namespace {

using testing::CliRun;
using testing::Data;
using testing::RunCli;

struct VerdictCase {
    const char* file;
    int status;
    const char* expected; // a part of the JSON object (or the message) that must be there
};

TEST(JpegCommand, VerdictsOfCleanStegoAndTwiceSavedFiles) {
    const VerdictCase cases[] = {
        {"chelsea-q85.jpg", 0, "\"suspicious\": false, \"jsteg\": false, \"f5\": false"},
        {"chelsea-f5.jpg", 0, "\"suspicious\": true, \"jsteg\": false, \"f5\": true"},
        // Compressed twice: calibrated through the estimated first table, judged and clean.
        {"chelsea-double-80-95.jpg", 0, "\"f5\": false, \"f5_unreliable\": false"},
        // The quality estimate reads the tables cjpeg wrote at the quality it was given.
        {"chelsea-q75.jpg", 0, "\"estimate\": 75, \"exact\": true"},
        {"corrupt.jpg", 1, "\"error\": "},
    };
    for (const VerdictCase& c : cases) {
        const CliRun run = RunCli({"jpeg", "--json", Data(std::string("jpeg/") + c.file)});
        EXPECT_EQ(run.status, c.status) << c.file << run.err;
        EXPECT_NE(run.out.find(c.expected), std::string::npos) << c.file << ": " << run.out;
    }
    const CliRun notJpeg = RunCli({"jpeg", Data("pattern.png")});
    EXPECT_EQ(notJpeg.status, 1);
    EXPECT_NE(notJpeg.err.find("pattern.png"), std::string::npos) << notJpeg.err;
}

} // namespace
} // namespace vantrel
