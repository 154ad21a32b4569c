#pragma once
// The scan of an image: every layout of the walk read for its first bytes, identical streams
// reported once, each stream checked, the tools' framings decoded, findings ranked.
#include "extract/BitStream.h"
#include "extract/PayloadChecks.h"

#include <functional>
#include <string>
#include <vector>

namespace vantrel::extract {

enum class Verdict : std::uint8_t { Nothing, Weak, Found };
const char* VerdictText(Verdict verdict);

struct ScanOptions {
    bool all = true;    // the eight orders and bits 1-8; otherwise bits 1-4 in xy order
    bool prime = false; // the prime-indexed pixels too (with `all`)
    std::size_t prefixBytes = 256;
    CheckLimits limits;
    // Called between blocks of layouts with the share done; false stops the scan.
    std::function<bool(double)> progress;
};

struct ScanResult {
    std::vector<Layout> walk;
    std::vector<Finding> findings; // ranked: tier, strength, length, then walk order
    Verdict verdict = Verdict::Nothing;
    bool cancelled = false;
};

ScanResult ScanImage(const SampleImage& image, const ScanOptions& options = {});

// Found where any finding is found, else weak where any is weak.
Verdict VerdictOf(const std::vector<Finding>& findings);

// Ranking order: true when `a` comes before `b`.
bool RanksBefore(const Finding& a, const Finding& b);

// One finding as every report writes it (`find --json`, the verdict's payload object).
std::string FindingJson(const Finding& finding);

} // namespace vantrel::extract
