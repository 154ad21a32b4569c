#pragma once
// The MSB-plane similarity of two images of the same size: the share of colour bytes (blue,
// green, red; alpha never counts) whose bit 7 agrees, and whether it reaches a threshold.
#include "image/PixelView.h"

#include <cstdint>
#include <limits>
#include <string>

namespace vantrel {

// Colour bytes compared for a width x height image: 3 a pixel, counted in 64 bits so that images
// of any size neither overflow nor fail.
std::uint64_t MsbByteTotal(int width, int height);

// 1 - differences / total; 1 for an empty image, where nothing can differ.
double MsbSimilarity(std::uint64_t differences, std::uint64_t total);

// Similarity at or above the threshold percent, compared in double precision: equality matches.
bool IsMsbMatch(double similarity, int matchPercent);

// The most differing bytes that still give a match at the threshold: exactly the count at which
// IsMsbMatch turns false, minus one.
std::uint64_t MaxDifferencesForMatch(std::uint64_t total, int matchPercent);

// The similarity as the user reads it: times 100 with two decimals and "%" (0.8734 gives
// "87.34%"); the hundredths round to nearest, halves to even.
std::string SimilarityText(double similarity);

struct MsbComparison {
    std::uint64_t differences = 0;
    std::uint64_t total = 0;
    // False when counting stopped because the differences passed the limit given (differences
    // then holds the count at that moment, not the final one), or when the views are empty or
    // of different sizes.
    bool complete = true;
    double similarity() const { return MsbSimilarity(differences, total); }
};

inline constexpr std::uint64_t kCountEverything = std::numeric_limits<std::uint64_t>::max();

// Counts the colour bytes whose bit 7 differs between two views of the same size (24- or 32-bit
// each), row by row. Stops after the first row that takes the count past `giveUpAbove`.
MsbComparison CountMsbDifferences(const PixelView& reference, const PixelView& candidate,
                                  std::uint64_t giveUpAbove = kCountEverything);

enum class MsbStop {
    WhenHopeless, // stop once the threshold is out of reach: the text is then left empty
    Never,        // count every byte, so that the text is always the true similarity
};

// Compares the standard pixels of two decoded images of the same size. Writes the similarity
// text, or "" when the comparison stopped early, and returns whether it matches the threshold.
bool CompareMsbPlanes(const PixelView& reference, const PixelView& candidate, int matchPercent,
                      std::string& similarityText, MsbStop stop = MsbStop::WhenHopeless);

} // namespace vantrel
