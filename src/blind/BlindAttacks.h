#pragma once
// The four structural attacks on LSB replacement, estimated from the suspect image alone: the
// chi-square attack, RS analysis, sample pair analysis and weighted stego. Every estimate is a
// rate, message bits per sample; where a method has no answer the rate is 0 and the status says
// why. Nothing here divides by zero or returns NaN, whatever the image.
// moc cannot parse <concepts>, which Json.h (under DetectorState.h) includes; it needs nothing
// from either to read the windows that include this header.
#ifndef Q_MOC_RUN
#include "image/DetectorState.h"
#endif
#include "blind/TransparentLsb.h"
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
    // The alpha of the same pixels, laid out alike, or null: samples under alpha 0 are set aside
    // (a sprite's transparent border holds whatever colour its painter left there).
    const std::uint8_t* alpha = nullptr;
    std::uint8_t at(int x, int y) const { return top[y * stride + x * step]; }
};

// The channels of decoded pixels, each named "R", "G", "B", or the single "Y" of a grey image
// (every pixel R = G = B). Alpha is not a channel; it only marks transparent pixels, unless it is
// 0 everywhere (a 32-bit BMP's unused fourth byte).
inline constexpr int kMaxPaletteColours = 256;
struct ImageSamples {
    int width = 0;
    int height = 0;
    // A colour image of at most kMaxPaletteColours colours: a palette's entries, whose LSBs
    // the palette's maker chose, not a sensor's noise.
    bool fewColours = false;
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
    std::int64_t samples = 0; // the usable samples tested
    // The same test on the pairs {2k − 1, 2k}, which LSB replacement leaves uneven: a histogram
    // even there too is smooth by nature (a gradient), and its even LSB pairs say nothing.
    double shiftedP = 0;
    Judgement judgement;
};

// Which samples the attacks read. The structural attacks model a cover whose LSBs are noise; in a
// flat neighbourhood (all nine samples of the 3 x 3 block in one LSB pair {2k, 2k + 1}) and at
// the ends of the range (0, 1, 254, 255) they are not, and a render or a drawing is mostly such
// samples. Both tests read only the bits above the LSB, so LSB replacement never changes which
// samples are set aside: cover and stego are judged on the same samples. A transparent pixel's
// samples are set aside too.

// The class counts of RS analysis on the image and on the image with every LSB flipped, over the
// groups whose four samples are all usable.
struct RsCounts {
    std::int64_t regularM = 0, singularM = 0, regularMinusM = 0, singularMinusM = 0;
    std::int64_t flippedRegularM = 0, flippedSingularM = 0;
    std::int64_t flippedRegularMinusM = 0, flippedSingularMinusM = 0;
    std::int64_t groups = 0;
    friend bool operator==(const RsCounts&, const RsCounts&) = default;
};

// A structural attack's estimate and the class counts it came from; `None` until it has any.
template <class Counts, AttackStatus None> struct CountedResult {
    double rate = 0;
    AttackStatus status = None;
    Counts counts;
    Judgement judgement;
};
using RsResult = CountedResult<RsCounts, AttackStatus::NoGroups>;

// Over the pairs whose two samples are both usable.
struct SpaCounts {
    std::int64_t pairs = 0, x = 0, y = 0, z = 0, w = 0;
    friend bool operator==(const SpaCounts&, const SpaCounts&) = default;
};
using SpaResult = CountedResult<SpaCounts, AttackStatus::NoPairs>;

struct WsResult {
    double rate = 0;
    double betaRaw = 0;
    double bias = 0;
    AttackStatus status = AttackStatus::TooSmall;
    std::int64_t samples = 0; // the usable interior samples weighed
    Judgement judgement;
};

// The rates of the first rows alone, where a tool that embeds from the first pixel on puts a
// message too short to move the whole image's rates: the median of the RS, SPA and WS rates
// over the fewest top bands that hold kMinUsableSamples usable samples.
struct TopRowsResult {
    double rate = 0;
    int rows = 0;
    std::int64_t visible = 0;
    std::int64_t usable = 0;
    Judgement judgement;
};

// The chi-square test on the first kTopChiSquareSamples samples, flat, saturated and transparent
// ones included: a message written from the first pixel on evens the LSB pairs of a flat sky, a
// sprite's fill or the colour under its transparent border, which in a cover hold one value of
// their pair.
inline constexpr std::int64_t kTopChiSquareSamples = 4096;
struct TopChiSquareResult {
    double p = 0;
    double shiftedP = 0;
    std::int64_t samples = 0;
    Judgement judgement;
};

struct ChannelResult {
    std::string name;
    std::int64_t visible = 0; // samples not under alpha 0
    std::int64_t usable = 0;  // of those, neither flat nor saturated
    bool fewColours = false;  // the image has at most kMaxPaletteColours colours
    TopRowsResult top;
    TopChiSquareResult topChiSquare;
    ChiSquareResult chiSquare;
    RsResult rs;
    SpaResult spa;
    WsResult ws;
    bool suspicious = false;
};

struct JpegBlindResult; // blind/BlindFile.h

struct BlindResult {
    int width = 0;
    int height = 0;
    std::vector<ChannelResult> channels;
    bool suspicious = false;
    bool cancelled = false;
    // Set for a JPEG: its coefficient attacks decide `suspicious`, `channels` stay empty and the
    // pixel attacks are not applicable.
    std::shared_ptr<const JpegBlindResult> jpeg;
    TransparentLsbResult transparentLsb;
};

// The thresholds at or above which an attack that applies flags its channel, each set for about
// 0.3% false alarms among the clean lossless files it applies to, in the corpus of
// tools/make_corpus.sh (2,368 PNG, GIF, BMP, TIFF and WebP files: photographs, renders, icons,
// sprites, palette images, small figures, 16-bit and grey). Beside each: the files it flags
// there, of those it applies to. The tail is a few kinds whose LSBs are noise by making:
// pixel-noise renders, a noisy upscaled render, lossy WebP.
inline constexpr double kChiSquarePThreshold = 0.99; // 0 of 774 (gradients fail the shifted check)
inline constexpr double kRsRateThreshold = 0.6;      // 3 of 870 (0.34%)
inline constexpr double kSpaRateThreshold = 0.7;     // 3 of 870 (0.34%)
inline constexpr double kWsRateThreshold = 0.42;     // 2 of 870 (0.23%)
inline constexpr double kTopRowsRateThreshold = 0.6; // 3 of 1,201 (0.25%)
inline constexpr double kTopChiSquarePThreshold = 0.99; // 2 of 869 (0.23%)
// LSB replacement evens the first samples of every colour channel at once, while a clean image's
// channels rarely come out even together: of the 714 clean files where the first-samples test
// applies, no colour one reaches 0.06 in all three channels (the highest: 0.058). A colour image
// whose three channels all reach this p is flagged in each, though none reaches the threshold
// above alone.
inline constexpr double kTopChiSquareJointP = 0.4;
// Below this many usable samples in a channel (128 x 128 of busy texture) the rates' spread on
// clean covers is wider than any useful threshold.
inline constexpr std::int64_t kMinUsableSamples = 16384;
// A channel whose usable samples are less than half of its visible ones is a drawing or a render:
// what is left are the anti-aliased edges between flat areas, where the rates of clean files run
// from −1 to 3.
inline constexpr double kMinUsableShare = 0.5;
// The chi-square attack does not apply when the shifted pairing's p reaches this.
inline constexpr double kMaxShiftedChiSquareP = 0.05;

struct VerdictThresholds {
    double rsRate = kRsRateThreshold;
    double spaRate = kSpaRateThreshold;
    double wsRate = kWsRateThreshold;
    double chiSquareP = kChiSquarePThreshold;
    double topRowsRate = kTopRowsRateThreshold;
    double topChiSquareP = kTopChiSquarePThreshold;
    double topChiSquareJointP = kTopChiSquareJointP;
    std::int64_t minUsableSamples = kMinUsableSamples;
    double minUsableShare = kMinUsableShare;
    double maxShiftedP = kMaxShiftedChiSquareP;
};
// Decides each attack's state, threshold and flag, and the channel's verdict: the one place the
// thresholds are applied.
void JudgeChannel(ChannelResult& channel, const VerdictThresholds& thresholds = {});
// The first-samples chi-square of a colour image's channels together: when every one of three or
// more channels applies and reaches `topChiSquareJointP`, each is flagged at that threshold.
// Returns whether any channel is suspicious afterwards.
bool JudgeChannelsTogether(std::vector<ChannelResult>& channels,
                           const VerdictThresholds& thresholds = {});
// Every attack of every channel not applicable for `why`, nothing flagged: for pixels a lossy
// coder made (a lossy WebP), whose LSBs are the decoder's rounding, not stored samples. The
// caller knows the format; the attacks see only pixels.
void JudgeNotApplicable(BlindResult& result, const std::string& why);
// Which of a channel's attacks flagged it, for every view that marks the figures behind the
// verdict.
struct FiguresOver {
    bool chiSquare = false;
    bool rs = false;
    bool spa = false;
    bool ws = false;
    bool top = false;
    bool topChiSquare = false;
    bool any() const { return chiSquare || rs || spa || ws || top || topChiSquare; }
};
FiguresOver FiguresFlagged(const ChannelResult& channel);

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
// The transparent-LSB detector on the pixels the samples came from: AnalyseBitmap runs it, a
// caller that keeps the samples for more (the window's block map) adds it after AnalyseSamples.
void AddTransparentLsbs(BlindResult& result, const PixelView& view);

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
