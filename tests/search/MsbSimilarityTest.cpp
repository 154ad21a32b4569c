#include "SearchFixtures.h"

#include "search/MsbSimilarity.h"

#include <gtest/gtest.h>

#include <vector>

namespace vantrel {
namespace {

using testing::MakeBitmap;
using testing::Pattern;
using testing::Rgb;

TEST(CompareMsbPlanes, TwoByOneExampleIsHalfSimilar) {
    // The first pixel agrees; the second differs in bit 7 of all three channels: 3 of 6 bytes.
    const auto reference = MakeBitmap(2, 1, 24, [](int x, int) {
        return x == 0 ? Rgb{10, 20, 30} : Rgb{0x10, 0x20, 0x30};
    });
    const auto candidate = MakeBitmap(2, 1, 24, [](int x, int) {
        return x == 0 ? Rgb{11, 21, 31} : Rgb{0x90, 0xA0, 0xB0};
    });
    std::string text;
    EXPECT_TRUE(
        CompareMsbPlanes(ViewOfBitmap(reference.get()), ViewOfBitmap(candidate.get()), 50, text));
    EXPECT_EQ(text, "50.00%");
    text = "untouched";
    EXPECT_FALSE(CompareMsbPlanes(ViewOfBitmap(reference.get()), ViewOfBitmap(candidate.get()), 51,
                                  text, MsbStop::Never));
    EXPECT_EQ(text, "50.00%");
}

TEST(CompareMsbPlanes, AlphaNeverCounts) {
    const auto colours = [](int x, int y) { return Pattern(x, y, 7); };
    const auto rgb = MakeBitmap(9, 5, 24, colours);
    const auto opaque = MakeBitmap(9, 5, 32, colours, 0xFF);
    const auto clear = MakeBitmap(9, 5, 32, colours, 0x00);
    std::string text;
    EXPECT_TRUE(CompareMsbPlanes(ViewOfBitmap(rgb.get()), ViewOfBitmap(opaque.get()), 100, text));
    EXPECT_EQ(text, "100.00%");
    EXPECT_TRUE(CompareMsbPlanes(ViewOfBitmap(opaque.get()), ViewOfBitmap(clear.get()), 100, text));
    EXPECT_EQ(text, "100.00%");
    EXPECT_TRUE(CompareMsbPlanes(ViewOfBitmap(clear.get()), ViewOfBitmap(rgb.get()), 100, text));
}

// The row kernels against a plain count of every byte, for both layouts and their mixes, at
// widths that leave tails after the eight-byte steps.
TEST(CountMsbDifferences, AgreesWithAByteByByteCount) {
    for (int width : {1, 2, 3, 5, 8, 13}) {
        for (int bppA : {24, 32}) {
            for (int bppB : {24, 32}) {
                const auto a =
                    MakeBitmap(width, 3, bppA, [](int x, int y) { return Pattern(x, y, 3); });
                const auto b =
                    MakeBitmap(width, 3, bppB, [](int x, int y) { return Pattern(x, y, 4); });
                std::uint64_t expected = 0;
                for (int y = 0; y < 3; ++y) {
                    for (int x = 0; x < width; ++x) {
                        const Rgb p = Pattern(x, y, 3);
                        const Rgb q = Pattern(x, y, 4);
                        expected += ((p.red ^ q.red) >> 7) + ((p.green ^ q.green) >> 7) +
                                    ((p.blue ^ q.blue) >> 7);
                    }
                }
                const MsbComparison counted =
                    CountMsbDifferences(ViewOfBitmap(a.get()), ViewOfBitmap(b.get()));
                EXPECT_TRUE(counted.complete);
                EXPECT_EQ(counted.differences, expected) << width << " " << bppA << "/" << bppB;
                EXPECT_EQ(counted.total, static_cast<std::uint64_t>(width) * 3 * 3);
            }
        }
    }
}

TEST(CountMsbDifferences, DifferentSizesAreNeverCompared) {
    const auto a = MakeBitmap(4, 3, 24, [](int x, int y) { return Pattern(x, y, 1); });
    const auto b = MakeBitmap(4, 2, 24, [](int x, int y) { return Pattern(x, y, 1); });
    EXPECT_FALSE(CountMsbDifferences(ViewOfBitmap(a.get()), ViewOfBitmap(b.get())).complete);
    std::string text = "kept";
    EXPECT_FALSE(CompareMsbPlanes(ViewOfBitmap(a.get()), ViewOfBitmap(b.get()), 0, text));
    EXPECT_EQ(text, "");
}

// The early stop must give the very verdict of a full count at every threshold.
TEST(CompareMsbPlanes, EarlyStopAgreesWithTheFullCount) {
    const auto reference = MakeBitmap(23, 17, 24, [](int x, int y) { return Pattern(x, y, 5); });
    for (int changedRows : {0, 1, 3, 9, 17}) {
        const auto candidate = MakeBitmap(23, 17, 24, [&](int x, int y) {
            return y < changedRows ? Pattern(x, y, 6) : Pattern(x, y, 5);
        });
        for (int threshold = 0; threshold <= 100; ++threshold) {
            std::string full;
            std::string early;
            const bool fullMatch =
                CompareMsbPlanes(ViewOfBitmap(reference.get()), ViewOfBitmap(candidate.get()),
                                 threshold, full, MsbStop::Never);
            const bool earlyMatch = CompareMsbPlanes(
                ViewOfBitmap(reference.get()), ViewOfBitmap(candidate.get()), threshold, early);
            EXPECT_EQ(earlyMatch, fullMatch) << changedRows << " rows at " << threshold;
            if (earlyMatch) {
                EXPECT_EQ(early, full);
            }
        }
    }
}

TEST(MaxDifferencesForMatch, IsTheLastCountThatMatches) {
    for (std::uint64_t total : {1ull, 3ull, 6ull, 300ull, 921600ull, 3000000001ull}) {
        for (int threshold = 0; threshold <= 100; ++threshold) {
            const std::uint64_t limit = MaxDifferencesForMatch(total, threshold);
            EXPECT_TRUE(IsMsbMatch(MsbSimilarity(limit, total), threshold))
                << total << " at " << threshold;
            if (limit < total) {
                EXPECT_FALSE(IsMsbMatch(MsbSimilarity(limit + 1, total), threshold))
                    << total << " at " << threshold;
            }
        }
    }
}

TEST(SimilarityText, HundredthsOfAPercent) {
    EXPECT_EQ(SimilarityText(1.0), "100.00%");
    EXPECT_EQ(SimilarityText(0.8734), "87.34%");
    EXPECT_EQ(SimilarityText(0.0), "0.00%");
    EXPECT_EQ(SimilarityText(0.5), "50.00%");
    EXPECT_EQ(SimilarityText(0.91266), "91.27%");
    EXPECT_EQ(SimilarityText(0.00004), "0.00%");
}

// More than 715 million pixels: a 32-bit byte total would wrap. The rows of the view all alias one
// buffer, so the test needs only one row of memory.
TEST(CountMsbDifferences, HugeImagesNeitherOverflowNorFail) {
    constexpr int kWidth = 1'000'000;
    constexpr int kHeight = 720;
    EXPECT_EQ(MsbByteTotal(kWidth, kHeight), 2'160'000'000ull);
    EXPECT_EQ(MsbByteTotal(40000, 30000), 3'600'000'000ull);
    std::vector<std::uint8_t> referenceRow(static_cast<std::size_t>(kWidth) * 3, 0x11);
    std::vector<std::uint8_t> candidateRow = referenceRow;
    for (std::size_t i = 0; i < candidateRow.size() / 2; ++i) {
        candidateRow[i] ^= 0x80; // the left half of every row differs in every colour byte
    }
    const PixelView reference{kWidth, kHeight, 3, 0, referenceRow.data()};
    const PixelView candidate{kWidth, kHeight, 3, 0, candidateRow.data()};
    const MsbComparison counted = CountMsbDifferences(reference, candidate);
    EXPECT_TRUE(counted.complete);
    EXPECT_EQ(counted.total, 2'160'000'000ull);
    EXPECT_EQ(counted.differences, 1'080'000'000ull);
    EXPECT_EQ(SimilarityText(counted.similarity()), "50.00%");
}

} // namespace
} // namespace vantrel
