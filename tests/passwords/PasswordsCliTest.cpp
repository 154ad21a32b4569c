// The passwords command on stegos the real outguess 0.4, gifshuffle 2.0 and stegosuite 0.9 made
// (tools/make_password_fixtures.sh): each is cracked from the script's word list and its payload
// compared byte for byte with what the script embedded; wrong lists and clean covers prove
// nothing; unreadable files fail in one line.
#include "RunCli.h"
#include "TestData.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace vantrel {
namespace {

using testing::CliRun;
using testing::Data;
using testing::FileBytes;
using testing::RunCli;

std::string Stego(const std::string& name) {
    return Data("passwords/" + name);
}

TEST(PasswordsCommand, CracksAndReadsWhatTheToolsEmbedded) {
    const std::string fox = FileBytes(Stego("msg.txt"));
    struct Case {
        std::string file;
        std::string hit;              // the start of the hit's JSON
        std::string payload;          // what --save writes; empty: a candidate, never saved
        std::string name = "payload"; // the saved file's suffix: the tool's stored name
    } const cases[] = {
        {"og-default.jpg", R"({"tool": "outguess", "password": "vantrel", "verified": true)", fox},
        {"og-two.jpg", R"({"tool": "outguess", "password": "two words", "verified": true)", fox},
        {"og-pixels.png", R"({"tool": "outguess", "password": "pixels", "verified": true)", fox},
        {"og-pixels.bmp", R"({"tool": "outguess", "password": "pixels", "verified": true)", fox},
        {"og-grey.pnm", R"({"tool": "outguess", "password": "greyish", "verified": true)", fox},
        {"og-binary.jpg",
         R"({"tool": "outguess", "password": "noise", "verified": false, "size": 16)", ""},
        {"f5-colour.jpg", R"({"tool": "f5stegojs", "password": "vantrel", "verified": true)", fox},
        {"f5-grey.jpg", R"({"tool": "f5stegojs", "password": "two words", "verified": true)", fox},
        {"f5-padded.jpg", R"({"tool": "f5stegojs", "password": "padded", "verified": true)", fox},
        {"f5-binary.jpg",
         R"({"tool": "f5stegojs", "password": "noise", "verified": false, "size": 16)", ""},
        {"ss-message.png", R"({"tool": "stegosuite", "password": "suite spot", "verified": true)",
         "meet me at six"},
        {"ss-file.bmp",
         R"({"tool": "stegosuite", "password": "suitcase", "verified": true, "size": 45, )"
         R"("name": "msg.txt")",
         fox, "msg.txt"},
        {"ss-file.gif",
         R"({"tool": "stegosuite", "password": "gif suite", "verified": true, "size": 45, )"
         R"("name": "msg.txt")",
         fox, "msg.txt"},
        {"ss-file.jpg",
         R"({"tool": "stegosuite", "password": "jpeg suite", "verified": true, "size": 45, )"
         R"("name": "msg.txt")",
         fox, "msg.txt"},
        {"gs-plain.gif", R"({"tool": "gifshuffle", "password": "", "verified": true)",
         "meet me at six"},
        {"gs-ice.gif", R"({"tool": "gifshuffle", "password": "swordfish", "verified": true)",
         "meet me at six"},
        {"gs-ice-v1.gif", R"({"tool": "gifshuffle", "password": "oldstyle", "verified": true)",
         "meet me at six"},
        // Short compressed messages cannot gather a proof's evidence against the code book.
        {"gs-compressed.gif",
         R"({"tool": "gifshuffle", "password": "", "verified": false, "size": 30)", ""},
        {"gs-both.gif",
         R"({"tool": "gifshuffle", "password": "hushhush", "verified": false, "size": 30)", ""},
    };
    const std::string saveDir = ::testing::TempDir() + "passwords-saved";
    ASSERT_EQ(std::system(("mkdir -p '" + saveDir + "'").c_str()), 0);
    for (const Case& c : cases) {
        const CliRun run = RunCli({"passwords", Stego(c.file), "--wordlist", Stego("words.txt"),
                                   "--json", "--save", saveDir, "--jobs", "2"});
        EXPECT_EQ(run.status, c.payload.empty() ? 3 : 0) << c.file << run.err;
        EXPECT_NE(run.out.find(c.hit), std::string::npos) << run.out;
        const std::string tool = c.file[0] == 'o'            ? "outguess"
                                 : c.file[0] == 'f'          ? "f5stegojs"
                                 : c.file.starts_with("ss-") ? "stegosuite"
                                                             : "gifshuffle";
        const std::string saved = saveDir + "/" + c.file + "." + tool + "." + c.name;
        EXPECT_EQ(FileBytes(saved), c.payload) << c.file;
    }
}

TEST(PasswordsCommand, WrongListsAndCleanCoversProveNothing) {
    struct Case {
        std::string file;
        std::string words;
    } const cases[] = {
        {Stego("og-default.jpg"), "Vantrel\nvantrel \nrosebud\n"},
        {Stego("gs-ice.gif"), "Swordfish\nswordfis\n"},
        {Stego("gs-ice-v1.gif"), "swordfish\noldstyle1\n"},
        {Stego("f5-colour.jpg"), "Vantrel\nvantrel \nnoise\n"},
        {Stego("f5-cover.jpg"), FileBytes(Stego("words.txt"))},
        {Stego("ss-message.png"), "Suite spot\nsuite spot \nsuitcase\n"},
        {Stego("ss-file.bmp"), "Suitcase\nsuite spot\n"},
        {Stego("ss-file.gif"), "gif suite \nGif suite\nsuitcase\n"},
        // "jpfg suitd" has the sum of "jpeg suite", so its walk: only the key tells them apart.
        {Stego("ss-file.jpg"), "jpeg suitf\nJpeg suite\njpeg suite \njpfg suitd\n"},
        {Stego("cover.gif"), FileBytes(Stego("words.txt"))},
        {Data("jpeg/chelsea-q75.jpg"), FileBytes(Stego("words.txt"))},
        {Data("pattern24.png"), FileBytes(Stego("words.txt"))},
        {Data("pattern.bmp"), FileBytes(Stego("words.txt"))},
    };
    for (const Case& c : cases) {
        const CliRun run = RunCli({"passwords", c.file, "--wordlist", "-", "--json"},
                                  testing::CliStreams::Separate, c.words);
        EXPECT_EQ(run.status, 3) << c.file << run.err;
        EXPECT_EQ(run.out.find("\"verified\": true"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("\"tried\": "), std::string::npos) << run.out;
    }
}

TEST(PasswordsCommand, UnreadableFilesFailInOneLine) {
    const std::string cut = ::testing::TempDir() + "cut.gif";
    {
        std::ofstream out(cut, std::ios::binary);
        out << FileBytes(Stego("gs-ice.gif")).substr(0, 40);
    }
    // Cut in its pixels: stegosuite's reading needs every index.
    const std::string cutPixels = ::testing::TempDir() + "cut-pixels.gif";
    {
        std::ofstream out(cutPixels, std::ios::binary);
        out << FileBytes(Stego("ss-file.gif")).substr(0, 1500);
    }
    for (const std::string& file : {Data("jpeg/truncated.jpg"), Data("jpeg/corrupt.jpg"),
                                    Data("empty.png"), cut, cutPixels, Data("no-such-file.gif")}) {
        const CliRun run = RunCli({"passwords", file, "--wordlist", Stego("words.txt")});
        EXPECT_EQ(run.status, 1) << file << run.out;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    const CliRun usage = RunCli({"passwords", Stego("gs-ice.gif"), "--wordlist", Stego("words.txt"),
                                 "--tools", "outguess,f5"});
    EXPECT_EQ(usage.status, 2);
}

} // namespace
} // namespace vantrel
