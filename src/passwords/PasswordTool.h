#pragma once
// What every password tool's reader offers the word-list attack: one password tried against a
// cover that the decoder process has already turned into checked flat data (coefficients,
// pixels, a palette), so no password's check ever parses the file again.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::passwords {

// A password that opens something. `verified` only where something proves the password (a
// checksum, a padding or decompression check, a payload the payload checks recognise); a header
// that merely fits, over random-looking bytes, is a candidate, never a finding.
struct PasswordHit {
    std::string tool; // "steghide", "outguess", "f5stegojs", "stegosuite", "gifshuffle"
    std::string password;
    bool verified = false;
    std::string proof;                 // what proved it, or why it stays a candidate
    std::vector<std::uint8_t> payload; // the hidden bytes, decrypted and decompressed
    std::string name;                  // the payload's file name where the tool stores one
};

// One tool's reader on one cover. `Try` is called from many threads at once.
class PasswordTool {
public:
    virtual ~PasswordTool() = default;
    virtual std::string_view name() const = 0;
    // The work one password costs, for the README and the benchmark ("an MD5 and 64 bits read").
    virtual std::string_view costPerPassword() const = 0;
    virtual std::optional<PasswordHit> Try(std::string_view password) const = 0;
};

struct PasswordProgress {
    std::uint64_t done = 0;
    double seconds = 0;
    double perSecond = 0;
};

struct PasswordAttackOptions {
    std::string fileName;   // the cover's file name, tried (with and without extension) first
    bool keepGoing = false; // false: stop at the first verified hit
    const std::atomic<bool>* cancel = nullptr;
    // On a worker thread, a few times a second at most.
    std::function<void(const PasswordProgress&)> progress;
};

struct PasswordAttackResult {
    std::vector<PasswordHit> hits; // verified first, then candidates, each in word-list order
    std::uint64_t candidates = 0;  // every candidate found; `hits` keeps the first few of each tool
    std::uint64_t tried = 0;
    double seconds = 0;
    bool cancelled = false;
};

} // namespace vantrel::passwords
