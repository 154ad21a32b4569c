#pragma once
// OutGuess 0.4 seen without its password, by blockiness calibration (after Fridrich, Goljan and
// Hogea, "Attacking the OutGuess", 2002): flipping the LSBs of quantized coefficients makes the
// decompressed luminance blockier across its 8x8 block edges, in proportion to the changes, and
// OutGuess's histogram corrections do not undo it. A cover is estimated by cropping the
// decompressed image by 4 pixels and compressing it again with the same table. Flipping half the
// usable coefficients at random adds blockiness to both; in the file, flips that land on
// coefficients the embedding already changed take blockiness away, so the file's slope falls
// short of the cover's by twice the share of coefficients changed: that share is the estimate.
#include "image/DetectorState.h"
#include "jpeg/JpegCoefficients.h"

#include <string>

namespace vantrel::passwords {

// Estimates at or above this flag the file: 1 of 142 clean baseline JPEGs of the corpus packages
// reached it (at most 0.034 apart from that one), every OutGuess stego made for it did (0.107 to
// 0.34, messages of 45 bytes to 3 kB).
inline constexpr double kOutguessBlockinessThreshold = 0.1;

struct OutguessBlockiness {
    DetectorState state;
    double estimate = 0; // share of the usable coefficients an embedding changed
    double threshold = kOutguessBlockinessThreshold;
    bool flagged = false;
};

OutguessBlockiness DetectOutguessBlockiness(const JpegCoefficients& jpeg);

// {"flagged", "state", ["reason"], "threshold", "estimate"}: the "outguess" object of a JPEG
// report.
std::string OutguessBlockinessJson(const OutguessBlockiness& result);

} // namespace vantrel::passwords
