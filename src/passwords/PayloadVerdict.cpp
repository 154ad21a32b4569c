#include "passwords/PayloadVerdict.h"

#include "extract/PayloadChecks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace vantrel::passwords {
namespace {

constexpr int kClasses = 28; // a-z, white space, anything else

int ClassOf(std::uint8_t c) {
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') {
        return (c | 0x20) - 'a';
    }
    return c == ' ' || c == '\n' || c == '\t' || c == '\r' ? 26 : 27;
}

// log2 of English's pair and first-class probabilities, counted by tools/make_english_bigrams.py
// and smoothed by one so no pair is impossible.
struct EnglishModel {
    double pair[kClasses][kClasses]{};
    double first[kClasses]{};
    EnglishModel() {
        static constexpr int kCounts[kClasses][kClasses] = {
#include "passwords/EnglishBigrams.inc"
        };
        double total = 0;
        double column[kClasses]{};
        for (int a = 0; a < kClasses; ++a) {
            double row = 0;
            for (int b = 0; b < kClasses; ++b) {
                row += kCounts[a][b];
                column[b] += kCounts[a][b];
            }
            total += row;
            for (int b = 0; b < kClasses; ++b) {
                pair[a][b] = std::log2((kCounts[a][b] + 1.0) / (row + kClasses));
            }
        }
        for (int b = 0; b < kClasses; ++b) {
            first[b] = std::log2((column[b] + 1.0) / (total + kClasses));
        }
    }
};

const EnglishModel& English() {
    static const EnglishModel model;
    return model;
}

} // namespace

const ByteNoise& UniformBytes() {
    static const ByteNoise uniform = [] {
        ByteNoise noise;
        noise.fill(1.0 / 256);
        return noise;
    }();
    return uniform;
}

EnglishScore::EnglishScore(const ByteNoise& noise) {
    // English is modelled on the classes and takes the noise's own odds within a class, so the
    // ratio is the class probabilities' alone.
    std::array<double, kClasses> odds{};
    for (int c = 0; c < 256; ++c) {
        odds[static_cast<std::size_t>(ClassOf(static_cast<std::uint8_t>(c)))] +=
            noise[static_cast<std::size_t>(c)];
    }
    for (std::size_t k = 0; k < odds.size(); ++k) {
        classNoiseBits_[k] = std::log2(odds[k]);
    }
}

void EnglishScore::Add(std::uint8_t c) {
    const EnglishModel& english = English();
    const int k = ClassOf(c);
    bits_ += (previous_ < 0 ? english.first[k] : english.pair[previous_][k]) -
             classNoiseBits_[static_cast<std::size_t>(k)];
    previous_ = k;
}

double EnglishEvidence(std::span<const std::uint8_t> text, const ByteNoise& noise) {
    EnglishScore score(noise);
    for (const std::uint8_t c : text) {
        score.Add(c);
    }
    return score.bits();
}

PayloadVerdict JudgeText(std::span<const std::uint8_t> text, const ByteNoise& noise) {
    const double bits = EnglishEvidence(text, noise);
    char what[96];
    std::snprintf(what, sizeof what, "English text (%.0f bits of evidence)", bits);
    return {bits >= kEnglishProofBits, what, bits};
}

PayloadVerdict JudgePayload(std::span<const std::uint8_t> payload) {
    PayloadVerdict verdict;
    verdict.what = extract::DescribePayload(payload, &verdict.recognised);
    if (!verdict.recognised) {
        const PayloadVerdict english = JudgeText(payload, UniformBytes());
        if (english.recognised) {
            return english;
        }
    }
    return verdict;
}

bool PromisingStart(std::span<const std::uint8_t> start) {
    if (std::all_of(start.begin(), start.end(), TextByte)) {
        return true;
    }
    // The signatures of the formats a hidden file most often is, compared as far as both go.
    static constexpr std::string_view kSignatures[] = {"PK\x03\x04",
                                                       "\x1f\x8b",
                                                       "\x89PNG",
                                                       "\xff\xd8\xff",
                                                       "GIF8",
                                                       "%PDF",
                                                       "BZh",
                                                       "7z\xbc\xaf",
                                                       "\x7f"
                                                       "ELF",
                                                       "BM",
                                                       "RIFF",
                                                       "II*",
                                                       "MM\x00*",
                                                       "Rar!",
                                                       "\xfd"
                                                       "7zXZ",
                                                       "\x78\x9c",
                                                       "\x78\xda",
                                                       "\x78\x01"};
    return std::any_of(std::begin(kSignatures), std::end(kSignatures), [&](std::string_view sig) {
        const std::size_t n = std::min(sig.size(), start.size());
        return n > 0 && std::equal(start.begin(), start.begin() + static_cast<std::ptrdiff_t>(n),
                                   sig.begin(), [](std::uint8_t a, char b) {
                                       return a == static_cast<std::uint8_t>(b);
                                   });
    });
}

} // namespace vantrel::passwords
