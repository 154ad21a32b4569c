#pragma once
// One table of files for every front end of the verdict: a clean picture and a clean JPEG, each
// kind of stego the test data holds, containers with something planted, and unreadable files.
// The layer is run on them once; the command, the scan and the window must agree with it.
#include "blind/BlindFixtures.h"

#include <FreeImage.h>

#include <filesystem>
#include <string>
#include <vector>

namespace vantrel::testing {

struct VerdictCase {
    const char* file;    // under tests/data, or made here ("made/...")
    const char* verdict; // "found", "suspicious", "clean" or "unreadable"
    const char* tool;    // the first tool named, or ""
};

inline constexpr VerdictCase kVerdictCases[] = {
    {"made/clean.png", "clean", ""},
    {"jpeg/chelsea-q85.jpg", "clean", ""},
    {"extract/stegano.png", "found", "stegano"},
    {"extract/steggy.png", "found", "steggy"},
    {"extract/stepic.png", "found", "stepic"},
    {"steghide/jpeg-default.jpg", "found", "steghide"},
    {"steghide/bmp24-default.bmp", "found", "steghide"},
    {"jpeg/chelsea-f5.jpg", "suspicious", "F5"},
    {"structure/appended-zip.png", "found", "appended ZIP"},
    {"structure/comment-zip.jpg", "found", "embedded ZIP"},
    {"structure/appended-text.jpg", "found", "appended text"},
    {"truncated.png", "unreadable", ""},
    {"jpeg/corrupt.jpg", "unreadable", ""},
};

inline const char* kVerdictWords = VANTREL_TEST_DATA "/steghide/words.txt";

// The cases' paths, in table order; the made files are written into `made`.
inline std::vector<std::string> VerdictCasePaths(const std::filesystem::path& made) {
    std::filesystem::create_directories(made);
    FreeImage_Save(FIF_PNG, NaturalImage(256, 192, 5).get(), (made / "clean.png").c_str(), 0);
    std::vector<std::string> paths;
    for (const VerdictCase& c : kVerdictCases) {
        const std::string file = c.file;
        paths.push_back(file.starts_with("made/") ? (made / file.substr(5)).string()
                                                  : std::string(VANTREL_TEST_DATA) + "/" + file);
    }
    return paths;
}

} // namespace vantrel::testing
