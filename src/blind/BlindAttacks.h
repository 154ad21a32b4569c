#pragma once
// The four structural attacks on LSB replacement, estimated from the suspect image alone: the
// chi-square attack, RS analysis, sample pair analysis and weighted stego. Every estimate is a
// rate, message bits per sample; where a method has no answer the rate is 0 and the status says
// why. Nothing here divides by zero or returns NaN, whatever the image.
#include "image/PixelView.h"
#include "image/Result.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vantrel {

enum class AttackStatus { Ok, NoGroups, NoPairs, TooSmall, NoTest };

// "ok", "no_groups", "no_pairs", "too_small" or "no_test".
const char* StatusName(AttackStatus status);

// One channel of samples: s(x, y) = top[y * stride + x * step], y = 0 the top row.
struct ChannelPlane {
    const std::uint8_t* top = nullptr;
    std::ptrdiff_t stride = 0;
    int step = 1;
    int width = 0;
    int height = 0;
    std::uint8_t at(int x, int y) const { return top[y * stride + x * step]; }
};

// The channels of decoded pixels, each named "R", "G", "B", or the single "Y" of a grey image
// (every pixel R = G = B); alpha is ignored.
struct ImageSamples {
    int width = 0;
    int height = 0;
    std::vector<std::string> names;
    std::vector<ChannelPlane> planes;
};
Result<ImageSamples> SamplesOf(const PixelView& view);

inline constexpr int kCurvePoints = 100;

struct ChiSquareResult {
    double p = 0;                             // the test on every sample
    double fraction = 0;                      // how far from the start the embedding seems to reach
    std::array<double, kCurvePoints> curve{}; // point k tests the first floor((k+1)·N/100)
    AttackStatus status = AttackStatus::NoTest;
};

// The class counts of RS analysis on the image and on the image with every LSB flipped.
struct RsCounts {
    std::int64_t regularM = 0, singularM = 0, regularMinusM = 0, singularMinusM = 0;
    std::int64_t flippedRegularM = 0, flippedSingularM = 0;
    std::int64_t flippedRegularMinusM = 0, flippedSingularMinusM = 0;
    friend bool operator==(const RsCounts&, const RsCounts&) = default;
};
struct RsResult {
    double rate = 0;
    AttackStatus status = AttackStatus::NoGroups;
    RsCounts counts;
};

struct SpaCounts {
    std::int64_t pairs = 0, x = 0, y = 0, z = 0, w = 0;
    friend bool operator==(const SpaCounts&, const SpaCounts&) = default;
};
struct SpaResult {
    double rate = 0;
    AttackStatus status = AttackStatus::NoPairs;
    SpaCounts counts;
};

struct WsResult {
    double rate = 0;
    double betaRaw = 0;
    double bias = 0;
    AttackStatus status = AttackStatus::TooSmall;
};

struct ChannelResult {
    std::string name;
    ChiSquareResult chiSquare;
    RsResult rs;
    SpaResult spa;
    WsResult ws;
    bool suspicious = false;
};

struct JpegBlindResult; // blind/BlindScan.h

struct BlindResult {
    int width = 0;
    int height = 0;
    std::vector<ChannelResult> channels;
    bool suspicious = false;
    bool cancelled = false;
    // Set for a JPEG: its coefficient attacks decide `suspicious`, `channels` stay empty and the
    // pixel attacks are not applicable.
    std::shared_ptr<const JpegBlindResult> jpeg;
};

// The thresholds at or above which a channel is suspicious.
struct VerdictThresholds {
    double rsRate = 0.08;
    double spaRate = 0.08;
    double wsRate = 0.05;
    double chiSquareP = 0.99;
};
// Which of a channel's figures reach their thresholds: the one place the thresholds are applied,
// for the verdict and for every view that marks the figures behind it.
struct FiguresOver {
    bool chiSquare = false;
    bool rs = false;
    bool spa = false;
    bool ws = false;
    bool any() const { return chiSquare || rs || spa || ws; }
};
FiguresOver FiguresOverThresholds(const ChannelResult& channel,
                                  const VerdictThresholds& thresholds = {});
bool IsSuspicious(const ChannelResult& channel, const VerdictThresholds& thresholds = {});

// Which attacks a run makes (all by default); the others keep their empty results.
enum Attack : unsigned { kChiSquare = 1, kRs = 2, kSpa = 4, kWs = 8, kAllAttacks = 15 };

struct BlindOptions {
    unsigned attacks = kAllAttacks;
    bool parallel = true; // false: one thread (a scan runs several images side by side instead)
    // Called from the working threads with the share of rows done, 0..1.
    std::function<void(double)> progress;
    // Checked between row bands; a set flag ends the run early with `cancelled`.
    const std::atomic<bool>* cancel = nullptr;
};

// All four attacks on every channel, in one pass over the rows.
BlindResult AnalyseSamples(const ImageSamples& samples, const BlindOptions& options = {});
Result<BlindResult> AnalyseBitmap(const PixelView& view, const BlindOptions& options = {});

// The closing arithmetic of each attack, from its counts.
double ChiSquareP(const std::array<std::uint64_t, 256>& histogram, int* degreesOfFreedom);
double RsRate(const RsCounts& counts);
double SpaRate(const SpaCounts& counts);
// The root of the RS equation a x² + b x + c = 0 with the defined answers for degenerate cases.
double RsRoot(double a, double b, double c);
double SpaRoot(double a, double b, double c);

// A local chi-square p per block of `blockSide` x `blockSide` samples (the blocks on the right
// and bottom edges may be smaller), the channels' statistics pooled. -1 where there is no test.
struct BlockMap {
    int columns = 0;
    int rows = 0;
    int blockSide = 0;
    std::vector<double> p; // row-major, top row first
};
// The block side that gives about `blocksOnLongSide` blocks along the longer side, at least 32.
int BlockSideFor(int width, int height, int blocksOnLongSide = 64);
BlockMap ChiSquareBlockMap(const ImageSamples& samples, int blockSide);

} // namespace vantrel
