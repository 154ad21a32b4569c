#pragma once
// The password tools that apply to one file, each with its cover read in the decoder process:
// a JPEG's coefficients (outguess, steghide), a GIF's colour table (gifshuffle), the stored
// pixels of a PNM, PNG or BMP (outguess's PNM embedding; steghide's BMP).
#include "image/Result.h"
#include "passwords/OutguessBlockiness.h"
#include "passwords/PasswordTool.h"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vantrel::passwords {

// Every tool this build reads, in the order results list them.
std::span<const std::string_view> KnownPasswordTools();

struct FileTools {
    std::vector<std::unique_ptr<PasswordTool>> tools;
    std::vector<std::string> notApplicable; // "gifshuffle: not a GIF", one a tool asked for
    // OutGuess's detector without a password, for JPEGs when outguess was asked for.
    std::optional<OutguessBlockiness> outguessDetector;
};

// The tools of `wanted` (names from KnownPasswordTools) that apply to the file; a failure only
// when the file cannot be read or decoded at all.
Result<FileTools> LoadPasswordTools(const std::string& path, std::span<const std::string> wanted);

} // namespace vantrel::passwords
