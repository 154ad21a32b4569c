#pragma once
// Whether bytes a password decoded are the hidden message: the payload checks' word (a format
// recognised from its start, or prose) is the only proof for tools that store no checksum, and a
// cheap look at the first bytes decides whether the rest is worth decoding at all.
#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace vantrel::passwords {

struct PayloadVerdict {
    bool recognised = false;
    std::string what;    // "PNG image", "text", "binary data", ...
    double evidence = 0; // bits of English evidence, where that was the test
};

// The probability of each byte value in what a wrong password decodes.
using ByteNoise = std::array<double, 256>;
const ByteNoise& UniformBytes();

// Evidence, in bits, that `text` is English rather than bytes drawn from `noise`: log2 of the
// likelihood ratio of a letter-pair model of English to the noise. Whatever the noise decodes,
// the chance it scores t bits or more is at most 2^-t (Markov's inequality on the ratio), which
// makes the score a proof with a known false-alarm rate even for text too short for the prose
// checks.
double EnglishEvidence(std::span<const std::uint8_t> text, const ByteNoise& noise);

// The same score a byte at a time, for decoders that give up on a reading as it sinks.
class EnglishScore {
public:
    explicit EnglishScore(const ByteNoise& noise);
    void Add(std::uint8_t c);
    double bits() const { return bits_; }

private:
    std::array<double, 28> classNoiseBits_{}; // log2 of the noise's odds of each class
    int previous_ = -1;
    double bits_ = 0;
};

// Enough evidence to call a password proved: one wrong reading in 2^kEnglishProofBits passes.
inline constexpr double kEnglishProofBits = 32;

// A format the payload checks recognise at the start, or English against random bytes.
PayloadVerdict JudgePayload(std::span<const std::uint8_t> payload);
// English alone, against the given noise (a decoder that turns random bits into letters).
PayloadVerdict JudgeText(std::span<const std::uint8_t> text, const ByteNoise& noise);

// A byte of text in any ASCII-compatible encoding: printable, tab, line ends, or any byte of a
// multi-byte character.
inline bool TextByte(std::uint8_t c) {
    return (c >= 0x20 && c != 0x7f) || c == '\t' || c == '\n' || c == '\r';
}

// The first bytes of a message worth decoding to the end: text so far, or the start of one of
// the file signatures the payload checks recognise. A wrong password passes with a chance of
// about (100/256)^n after n bytes.
bool PromisingStart(std::span<const std::uint8_t> start);

} // namespace vantrel::passwords
