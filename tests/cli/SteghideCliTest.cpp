// The steghide command on stegos the real steghide 0.5.1 made (tools/make_steghide_fixtures.sh):
// the passphrases are the ones the script embedded with, the payload the script's sentence.
#include "RunCli.h"
#include "TestData.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace vantrel {
namespace {

using testing::CliRun;
using testing::Data;
using testing::RunCli;

std::string Steghide(const std::string& name) {
    return Data("steghide/" + name);
}

TEST(SteghideCommand, HitsMissesAndUnreadableFiles) {
    struct Case {
        std::string file;
        std::string words; // fed on standard input
        int status;
        const char* expected; // a part of standard output, or of standard error for status 1
    } const cases[] = {
        {Steghide("jpeg-default.jpg"), "password\nvantrel\n", 0,
         "\"passphrase\": \"vantrel\", \"encryption\": \"rijndael-128\", \"mode\": \"cbc\""},
        {Steghide("bmp8-default.bmp"), "greyhound\r\n", 0, "\"passphrase\": \"greyhound\""},
        {Steghide("bmp24-none.bmp"), "x\nopensesame", 0,
         "\"encryption\": \"none\", \"mode\": \"cbc\", \"embedded_bits\": "},
        {Steghide("bmp1-default.bmp"), "monochrome\n", 0, "\"crc_ok\": true"},
        {Steghide("jpeg-default.jpg"), "vantrel2\nVantrel\n", 3, ""},
        {Steghide("cover.jpg"), "vantrel\nsecret\n", 3, ""},
        {Steghide("cover24.bmp"), "rosebud\n", 3, ""},
        {Data("jpeg/corrupt.jpg"), "", 1, "corrupt.jpg"},
        {Data("jpeg/truncated.jpg"), "", 1, "truncated.jpg"},
        {Steghide("words.txt"), "", 1, "neither a JPEG nor a BMP"},
        {Steghide("no-such-file.bmp"), "", 1, "no-such-file.bmp"},
    };
    for (const Case& c : cases) {
        const CliRun run = RunCli({"steghide", c.file, "--wordlist", "-", "--json"},
                                  testing::CliStreams::Separate, c.words);
        EXPECT_EQ(run.status, c.status) << c.file << ": " << run.err;
        EXPECT_NE((c.status == 1 ? run.err : run.out).find(c.expected), std::string::npos)
            << c.file << ": " << run.out << run.err;
        if (c.status == 3) {
            EXPECT_EQ(run.out, "") << c.file;
        }
    }
}

TEST(SteghideCommand, SavesThePayloadByteForByte) {
    const std::string saved = ::testing::TempDir() + "steghide-payload.txt";
    std::remove(saved.c_str());
    // The file name is tried as a passphrase without a word list: jpeg-none.jpg's is "secret".
    const std::string named = ::testing::TempDir() + "secret.jpg";
    {
        std::ifstream in(Steghide("jpeg-none.jpg"), std::ios::binary);
        std::ofstream out(named, std::ios::binary);
        out << in.rdbuf();
    }
    const CliRun run = RunCli({"steghide", named, "--output", saved});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("passphrase \"secret\", none cbc"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"msg.txt\" 45 bytes"), std::string::npos) << run.out;
    EXPECT_EQ(testing::FileBytes(saved), "The quick brown fox jumps over the lazy dog.\n");
    std::remove(saved.c_str());
    std::remove(named.c_str());
}

} // namespace
} // namespace vantrel
