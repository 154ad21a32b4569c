#include "search/MsbSimilarity.h"

#include "image/Bitmap.h"
#include "image/ImageLoading.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace vantrel {
namespace {

constexpr std::uint8_t kMsb = 0x80;

std::uint64_t Load64(const std::uint8_t* bytes) {
    std::uint64_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// Bit 7 of every byte, or of the blue, green and red bytes of two 4-byte pixels (little-endian:
// bytes 3 and 7 are alpha).
constexpr std::uint64_t kEveryByteMsb = 0x8080808080808080ull;
constexpr std::uint64_t kColourByteMsb = 0x0080808000808080ull;

// Packed rows of equal layout: eight bytes at a time.
std::uint64_t CountRowSameLayout(const std::uint8_t* a, const std::uint8_t* b, int width,
                                 int bytesPerPixel) {
    const std::size_t bytes = static_cast<std::size_t>(width) * bytesPerPixel;
    const std::uint64_t mask = bytesPerPixel == 4 ? kColourByteMsb : kEveryByteMsb;
    std::uint64_t count = 0;
    std::size_t i = 0;
    for (; i + 8 <= bytes; i += 8) {
        count += std::popcount((Load64(a + i) ^ Load64(b + i)) & mask);
    }
    // The tail: with 4-byte pixels the steps end on a pixel, so at most one pixel is left and its
    // alpha byte stays out; with 3-byte pixels every byte left is a colour byte.
    const std::size_t step = bytesPerPixel == 4 ? 4 : 1;
    const int coloursPerStep = bytesPerPixel == 4 ? 3 : 1;
    for (; i < bytes; i += step) {
        for (int channel = 0; channel < coloursPerStep; ++channel) {
            count += ((a[i + channel] ^ b[i + channel]) & kMsb) != 0;
        }
    }
    return count;
}

std::uint64_t CountRowMixedLayout(const std::uint8_t* a, int bytesPerPixelA, const std::uint8_t* b,
                                  int bytesPerPixelB, int width) {
    std::uint64_t count = 0;
    for (int x = 0; x < width; ++x, a += bytesPerPixelA, b += bytesPerPixelB) {
        count += (((a[0] ^ b[0]) & kMsb) >> 7) + (((a[1] ^ b[1]) & kMsb) >> 7) +
                 (((a[2] ^ b[2]) & kMsb) >> 7);
    }
    return count;
}

} // namespace

std::uint64_t MsbByteTotal(int width, int height) {
    if (width <= 0 || height <= 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * 3u;
}

double MsbSimilarity(std::uint64_t differences, std::uint64_t total) {
    if (total == 0) {
        return 1.0;
    }
    return 1.0 - static_cast<double>(differences) / static_cast<double>(total);
}

bool IsMsbMatch(double similarity, int matchPercent) {
    return similarity >= matchPercent * 0.01;
}

std::uint64_t MaxDifferencesForMatch(std::uint64_t total, int matchPercent) {
    if (IsMsbMatch(MsbSimilarity(total, total), matchPercent)) {
        return total; // threshold 0 (or below): everything matches
    }
    // An estimate from the arithmetic, then corrected against the very comparison used for the
    // verdict, so the early stop never disagrees with a full count by a rounding step.
    const double allowed = (1.0 - matchPercent * 0.01) * static_cast<double>(total);
    std::uint64_t limit = allowed <= 0 ? 0 : static_cast<std::uint64_t>(allowed);
    if (limit > total) {
        limit = total;
    }
    while (limit < total && IsMsbMatch(MsbSimilarity(limit + 1, total), matchPercent)) {
        ++limit;
    }
    while (limit > 0 && !IsMsbMatch(MsbSimilarity(limit, total), matchPercent)) {
        --limit;
    }
    return limit; // with 0 differences the similarity is 1, which matches every threshold to 100
}

std::string SimilarityText(double similarity) {
    const long long hundredths = std::llrint(similarity * 10000.0);
    char text[32];
    std::snprintf(text, sizeof text, "%s%lld.%02lld%%", hundredths < 0 ? "-" : "",
                  std::llabs(hundredths) / 100, std::llabs(hundredths) % 100);
    return text;
}

MsbComparison CountMsbDifferences(const PixelView& reference, const PixelView& candidate,
                                  std::uint64_t giveUpAbove) {
    MsbComparison result;
    result.total = MsbByteTotal(reference.width, reference.height);
    if (reference.empty() || candidate.empty() || candidate.width != reference.width ||
        candidate.height != reference.height) {
        result.complete = false; // nothing to compare: never a match
        return result;
    }
    const bool sameLayout = reference.bytesPerPixel == candidate.bytesPerPixel;
    for (int y = 0; y < reference.height; ++y) {
        result.differences +=
            sameLayout
                ? CountRowSameLayout(reference.row(y), candidate.row(y), reference.width,
                                     reference.bytesPerPixel)
                : CountRowMixedLayout(reference.row(y), reference.bytesPerPixel, candidate.row(y),
                                      candidate.bytesPerPixel, reference.width);
        if (result.differences > giveUpAbove) {
            result.complete = y + 1 == reference.height;
            return result;
        }
    }
    return result;
}

bool CompareMsbPlanes(const PixelView& a, const PixelView& b, int matchPercent,
                      std::string& similarityText, MsbStop stop) {
    const std::uint64_t total = MsbByteTotal(a.width, a.height);
    const std::uint64_t limit = stop == MsbStop::WhenHopeless
                                    ? MaxDifferencesForMatch(total, matchPercent)
                                    : kCountEverything;
    const MsbComparison counted = CountMsbDifferences(a, b, limit);
    if (!counted.complete) {
        similarityText.clear();
        return false;
    }
    const double similarity = counted.similarity();
    similarityText = SimilarityText(similarity);
    return IsMsbMatch(similarity, matchPercent);
}

} // namespace vantrel
