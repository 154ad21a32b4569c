// The JPEG statistics on hand-worked coefficient arrays, against the naive reference, and on
// real covers and stegos.
#include "JpegTestSupport.h"
#include "NaiveJpeg.h"

#include "jpeg/JpegScanOrder.h"
#include "jpeg/JpegVerdict.h"
#include "jpeg/ReadCoefficients.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <tuple>
#include <vector>

namespace vantrel {
namespace {

using test::JpegFixture;
using test::ReadJpegOrFail;

// A frame of zero coefficients laid out as libjpeg lays it out.
JpegCoefficients Frame(int width, int height, std::vector<std::pair<int, int>> sampling) {
    JpegCoefficients jpeg;
    jpeg.width = width;
    jpeg.height = height;
    for (const auto& [h, v] : sampling) {
        jpeg.maxHSampling = std::max(jpeg.maxHSampling, h);
        jpeg.maxVSampling = std::max(jpeg.maxVSampling, v);
    }
    jpeg.quantTablePresent[0] = true;
    jpeg.quantTables[0].fill(1);
    for (const auto& [h, v] : sampling) {
        JpegComponent& c = jpeg.components.emplace_back();
        c.hSampling = h;
        c.vSampling = v;
        c.width = (width * h + jpeg.maxHSampling - 1) / jpeg.maxHSampling;
        c.height = (height * v + jpeg.maxVSampling - 1) / jpeg.maxVSampling;
        c.widthInBlocks = (c.width + 7) / 8;
        c.heightInBlocks = (c.height + 7) / 8;
        c.coefficients.resize(static_cast<std::size_t>(c.widthInBlocks * c.heightInBlocks) * 64);
    }
    return jpeg;
}

// (component, block row, block column) in the order visited.
std::vector<std::tuple<int, int, int>> Visits(const JpegCoefficients& jpeg, bool luminanceOnly) {
    std::vector<std::tuple<int, int, int>> visits;
    ForEachBlockInScanOrder(jpeg, luminanceOnly, [&](const std::int16_t* block) {
        for (std::size_t c = 0; c < jpeg.components.size(); ++c) {
            const auto& values = jpeg.components[c].coefficients;
            if (block >= values.data() && block < values.data() + values.size()) {
                const int index = static_cast<int>((block - values.data()) / 64);
                const int perRow = jpeg.components[c].widthInBlocks;
                visits.emplace_back(static_cast<int>(c), index / perRow, index % perRow);
            }
        }
    });
    return visits;
}

TEST(JpegScanOrder, McuByMcuWithEachComponentsBlocksInRaster) {
    using V = std::tuple<int, int, int>;
    // 24 x 16 at 4:2:0: two MCUs; the second covers luminance column 2 only (column 3 is a dummy
    // block the file does not keep) and chroma column 1.
    const JpegCoefficients jpeg = Frame(24, 16, {{2, 2}, {1, 1}, {1, 1}});
    EXPECT_EQ(Visits(jpeg, false), (std::vector<V>{{0, 0, 0},
                                                   {0, 0, 1},
                                                   {0, 1, 0},
                                                   {0, 1, 1},
                                                   {1, 0, 0},
                                                   {2, 0, 0},
                                                   {0, 0, 2},
                                                   {0, 1, 2},
                                                   {1, 0, 1},
                                                   {2, 0, 1}}));
    EXPECT_EQ(Visits(jpeg, true),
              (std::vector<V>{{0, 0, 0}, {0, 0, 1}, {0, 1, 0}, {0, 1, 1}, {0, 0, 2}, {0, 1, 2}}));
    // One component is one non-interleaved scan: raster order, whatever its sampling says.
    EXPECT_EQ(Visits(Frame(16, 16, {{2, 2}}), false),
              (std::vector<V>{{0, 0, 0}, {0, 0, 1}, {0, 1, 0}, {0, 1, 1}}));
}

// Twos: pair (2,3) holds 10 and 10, pair (-2,-1) 6 and 14: chi2 = (6 - 10)^2 / 10 = 1.6, df 1,
// p = Q(1/2, 0.8) = erfc(sqrt(0.8)). Magnitude: (2,3) as before; (-2,-3) expects 3 < 5 and drops
// out, -1 is unusable: one pair, df 0, no p.
TEST(JstegChiSquare, HandWorkedCounts) {
    JpegCoefficients jpeg = Frame(8, 8, {{1, 1}});
    std::vector<int> values;
    values.insert(values.end(), 10, 2);
    values.insert(values.end(), 10, 3);
    values.insert(values.end(), 6, -2);
    values.insert(values.end(), 14, -1);
    for (std::size_t z = 0; z < values.size(); ++z) {
        jpeg.components[0].coefficients[kZigzagToNatural[z + 1]] =
            static_cast<std::int16_t>(values[z]);
    }
    jpeg.components[0].coefficients[0] = 3; // DC: never counted
    const JstegChiSquare twos =
        JstegChiSquareAttack(jpeg, JstegPairing::Twos, JstegScope::Luminance);
    EXPECT_EQ(twos.usable, 40u);
    EXPECT_NEAR(twos.pWhole, std::erfc(std::sqrt(0.8)), 1e-12);
    // Until the prefix holds both pairs' five expected no point has df >= 1.
    EXPECT_TRUE(std::isnan(twos.curve[0]));
    const JstegChiSquare magnitude =
        JstegChiSquareAttack(jpeg, JstegPairing::Magnitude, JstegScope::AllComponents);
    EXPECT_EQ(magnitude.usable, 26u);
    EXPECT_TRUE(std::isnan(magnitude.pWhole));
    EXPECT_EQ(magnitude.fraction, 0.0);
}

TEST(JstegBits, UsableCoefficientsInZigzagOrder) {
    JpegCoefficients jpeg = Frame(8, 8, {{1, 1}});
    auto& c = jpeg.components[0].coefficients;
    c[1] = 2;  // zigzag 1
    c[8] = -3; // zigzag 2
    c[16] = 1; // zigzag 3: unusable in both pairings
    c[9] = -1; // zigzag 4: usable as twos only (-1 = ...11111111)
    EXPECT_EQ(JstegBits(jpeg, JstegPairing::Twos, JstegScope::Luminance),
              (std::vector<std::uint8_t>{0, 1, 1}));
    EXPECT_EQ(JstegBits(jpeg, JstegPairing::Magnitude, JstegScope::Luminance),
              (std::vector<std::uint8_t>{0, 1}));
    const std::vector<std::uint8_t> bits = {1, 0, 0, 0, 0, 0, 1, 1, 1};
    EXPECT_EQ(PackBits(bits, true), std::vector<std::uint8_t>{0x83});
    EXPECT_EQ(PackBits(bits, false), std::vector<std::uint8_t>{0xC1});
}

// Read in pieces of any size, resuming inside a block, the bytes are the whole stream's packing.
TEST(JstegByteReader, PiecesJoinToThePackedBits) {
    const struct {
        const char* fixture;
        JstegPairing pairing;
        JstegScope scope;
        std::size_t piece;
    } cases[] = {
        {"chelsea-q85.jpg", JstegPairing::Twos, JstegScope::AllComponents, 1},
        {"chelsea-q85.jpg", JstegPairing::Magnitude, JstegScope::AllComponents, 7},
        {"chelsea-q85-444.jpg", JstegPairing::Twos, JstegScope::Luminance, 4096},
        {"chelsea-grey-q85.jpg", JstegPairing::Magnitude, JstegScope::AllComponents, 3},
        {"chelsea-q85-progressive.jpg", JstegPairing::Twos, JstegScope::AllComponents, 1 << 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fixture);
        const JpegCoefficients jpeg = ReadJpegOrFail(JpegFixture(c.fixture));
        const std::vector<std::uint8_t> whole = PackBits(JstegBits(jpeg, c.pairing, c.scope), true);
        JstegByteReader reader(jpeg, c.pairing, c.scope);
        std::vector<std::uint8_t> joined, piece(c.piece);
        while (const std::size_t got = reader.read(piece)) {
            joined.insert(joined.end(), piece.begin(), piece.begin() + std::ptrdiff_t(got));
        }
        ASSERT_GT(whole.size(), 1000u);
        EXPECT_EQ(joined, whole);
    }
}

TEST(F5Calibration, BetaFormulaByHand) {
    // h(1)(H(0) - h(0)) + (H(1) - h(1))(h(2) - h(1)) = 60 * 20 + (-10)(-30) = 1500;
    // h(1)^2 + (h(2) - h(1))^2 = 3600 + 900 = 4500.
    EXPECT_NEAR(F5Beta({100, 50, 20}, {80, 60, 30}), 1.0 / 3, 1e-15);
}

TEST(F5Calibration, DcOnlyBlocksDecompressFlat) {
    JpegCoefficients jpeg = Frame(12, 8, {{1, 1}});
    auto& c = jpeg.components[0];
    c.coefficients[0] = 8;    // 8 * 2 / 8 = +2
    c.coefficients[64] = 200; // 200 * 2 / 8 = +50 ... times the table below
    std::array<std::uint16_t, 64> table{};
    table.fill(2);
    table[0] = 2;
    std::vector<std::uint8_t> plane = DecompressPlane(c, table);
    ASSERT_EQ(plane.size(), 96u);
    EXPECT_EQ(plane[0], 130);
    EXPECT_EQ(plane[8], 178);
    table[0] = 10; // 128 + 250 clips
    plane = DecompressPlane(c, table);
    EXPECT_EQ(plane[11], 255);
    EXPECT_EQ(plane[95], 255);
}

// Exact halves, which float error would send either way, go to even.
TEST(F5Calibration, ExactHalvesRoundToEven) {
    struct Row {
        int natural; // the one nonzero coefficient besides DC 0
        int value;
        std::uint16_t step;
        std::array<std::uint8_t, 8> firstRow;
    };
    for (const Row& row : {
             Row{0, 4, 5, {130, 130, 130, 130, 130, 130, 130, 130}},  // 128 + 2.5
             Row{0, 12, 5, {136, 136, 136, 136, 136, 136, 136, 136}}, // 128 + 7.5
             Row{0, -4, 5, {126, 126, 126, 126, 126, 126, 126, 126}}, // 128 - 2.5
             Row{4, 4, 1, {128, 128, 128, 128, 128, 128, 128, 128}},  // 128 +- 0.5
             Row{4, 12, 1, {130, 126, 126, 130, 130, 126, 126, 130}}, // 128 +- 1.5
         }) {
        JpegCoefficients jpeg = Frame(8, 8, {{1, 1}});
        jpeg.components[0].coefficients[static_cast<std::size_t>(row.natural)] =
            static_cast<std::int16_t>(row.value);
        std::array<std::uint16_t, 64> table{};
        table.fill(row.step);
        const std::vector<std::uint8_t> plane = DecompressPlane(jpeg.components[0], table);
        EXPECT_TRUE(std::equal(row.firstRow.begin(), row.firstRow.end(), plane.begin()))
            << row.natural << " " << row.value;
    }
}

TEST(F5Calibration, MatchesTheNaiveReference) {
    for (const char* name : {"chelsea-q75.jpg", "chelsea-f5.jpg", "chelsea-grey-q85.jpg"}) {
        const JpegCoefficients jpeg = ReadJpegOrFail(JpegFixture(name));
        const JpegComponent& luma = jpeg.components[0];
        const auto& table = jpeg.quantTables[static_cast<std::size_t>(luma.quantTableIndex)];
        // Float sums settle the pixels near a half in double, and exact halves go to even: one
        // pixel off moves beta by about 1e-3.
        EXPECT_EQ(DecompressPlane(luma, table), test::NaiveDecompressPlane(luma, table)) << name;
        EXPECT_NEAR(F5CalibratedBeta(jpeg).beta, test::NaiveF5Beta(luma, table), 1e-12) << name;
    }
}

using Kind = DetectorState::Kind;

struct FixtureVerdict {
    const char* name;
    bool suspicious;
    bool doubleCompressed;
    Kind jsteg = Kind::Ok;
    Kind f5 = Kind::Ok;
    int firstQuality = 0; // of a file compressed twice, as estimated; 0: none estimated
};

class Verdicts : public testing::TestWithParam<FixtureVerdict> {};

TEST_P(Verdicts, OfRealFiles) {
    const JpegAnalysis analysis = AnalyseJpeg(ReadJpegOrFail(JpegFixture(GetParam().name)));
    const JpegVerdict verdict = JudgeJpeg(analysis);
    EXPECT_EQ(verdict.suspicious, GetParam().suspicious) << verdict.text;
    EXPECT_EQ(analysis.doubleCompression.detected, GetParam().doubleCompressed)
        << analysis.doubleCompression.residual;
    EXPECT_EQ(analysis.primary.confident ? analysis.primary.quality : 0, GetParam().firstQuality)
        << analysis.primary.misfit << " of " << analysis.primary.singleMisfit;
    EXPECT_EQ(verdict.f5Unreliable, GetParam().doubleCompressed && GetParam().firstQuality == 0);
    EXPECT_EQ(verdict.jstegState.kind, GetParam().jsteg) << verdict.jstegState.reason;
    EXPECT_EQ(verdict.f5State.kind, GetParam().f5) << verdict.f5State.reason;
}

constexpr Kind kNotApplicable = Kind::NotApplicable;

INSTANTIATE_TEST_SUITE_P(
    Fixtures, Verdicts,
    testing::Values(FixtureVerdict{"chelsea-q75.jpg", false, false},
                    FixtureVerdict{"chelsea-q85.jpg", false, false},
                    FixtureVerdict{"chelsea-q95.jpg", false, false},
                    FixtureVerdict{"chelsea-q85-444.jpg", false, false},
                    FixtureVerdict{"chelsea-q85-progressive.jpg", false, false},
                    FixtureVerdict{"chelsea-grey-q85.jpg", false, false},
                    FixtureVerdict{"chelsea-q99.jpg", false, false, Kind::Ok, kNotApplicable},
                    FixtureVerdict{"chelsea-double-80-95.jpg", false, true, Kind::Ok, Kind::Ok, 80},
                    FixtureVerdict{"chelsea-f5.jpg", true, false}));

// A thumbnail: too few coefficients for either attack.
TEST(Verdicts, SmallPicturesAreNotJudged) {
    JpegCoefficients jpeg = Frame(64, 48, {{1, 1}});
    std::mt19937 random(5);
    for (std::size_t i = 0; i < jpeg.components[0].coefficients.size(); ++i) {
        jpeg.components[0].coefficients[i] = static_cast<std::int16_t>(random() % 9) - 4;
    }
    const JpegVerdict verdict = JudgeJpeg(AnalyseJpeg(jpeg));
    EXPECT_EQ(verdict.jstegState.kind, kNotApplicable);
    EXPECT_EQ(verdict.f5State.kind, kNotApplicable);
    EXPECT_FALSE(verdict.suspicious);
}

TEST(F5Calibration, EstimatesTheShareF5Changed) {
    const JpegCoefficients cover = ReadJpegOrFail(JpegFixture("chelsea-q85.jpg"));
    const JpegCoefficients stego = ReadJpegOrFail(JpegFixture("chelsea-f5.jpg"));
    const double truth = test::ChangedNonzeroShare(cover, stego);
    ASSERT_GT(truth, 0.15);
    const F5Estimate estimate = F5CalibratedBeta(stego);
    EXPECT_TRUE(JudgeJpeg(AnalyseJpeg(stego)).f5Suspicious);
    EXPECT_NEAR(estimate.beta, truth, 0.1);
}

// F5's shrinkage (a share of the nonzero AC coefficients one step nearer zero) on a photo saved at
// 80 and again at 95: calibrated with the estimated first table, beta follows the share.
TEST(F5Calibration, JudgesAFileCompressedTwice) {
    const JpegCoefficients cover = ReadJpegOrFail(JpegFixture("chelsea-double-80-95.jpg"));
    for (const double share : {0.0, 0.25, 0.5}) {
        JpegCoefficients stego = cover;
        std::mt19937 random(11);
        std::vector<std::int16_t>& luminance = stego.components[0].coefficients;
        for (std::size_t i = 0; i < luminance.size(); ++i) {
            std::int16_t& c = luminance[i];
            if (i % 64 != 0 && c != 0 && random() % 1000 < share * 1000) {
                c = static_cast<std::int16_t>(c > 0 ? c - 1 : c + 1);
            }
        }
        const JpegAnalysis analysis = AnalyseJpeg(stego);
        const JpegVerdict verdict = JudgeJpeg(analysis);
        EXPECT_TRUE(analysis.doubleCompression.detected) << share;
        EXPECT_EQ(analysis.primary.confident, true)
            << share << " q" << analysis.primary.quality << " misfit " << analysis.primary.misfit
            << " single " << analysis.primary.singleMisfit << " residual "
            << analysis.primary.residual;
        EXPECT_EQ(verdict.f5Suspicious, share > 0) << share << ": " << verdict.text;
        EXPECT_NEAR(analysis.f5.beta, share, 0.1) << share;
    }
}

// Sequential JSteg over half the usable coefficients, both pairings, written to a file and read
// back: the attack sees at least about half, the cover nothing.
TEST(JstegChiSquare, FindsSequentialEmbeddingInAWrittenFile) {
    const std::string path = JpegFixture("chelsea-q85.jpg");
    const JpegCoefficients cover = ReadJpegOrFail(path);
    std::mt19937 random(3);
    for (const JstegPairing pairing : {JstegPairing::Twos, JstegPairing::Magnitude}) {
        EXPECT_LE(JstegChiSquareAttack(cover, pairing, JstegScope::AllComponents).fraction, 0.03);
        JpegCoefficients stego = cover;
        test::EmbedJsteg(stego, pairing, JstegScope::AllComponents, 0.5, random);
        const std::vector<std::uint8_t> file =
            test::WriteCoefficients(test::ReadBytes(path), stego);
        const Result<JpegCoefficients> reread = ReadJpegCoefficients(file);
        ASSERT_TRUE(reread.ok()) << reread.error();
        for (std::size_t c = 0; c < 3; ++c) {
            EXPECT_EQ(reread->components[c].coefficients, stego.components[c].coefficients);
        }
        const JstegChiSquare attack =
            JstegChiSquareAttack(*reread, pairing, JstegScope::AllComponents);
        // The fraction runs over the message's end while the unchanged rest keeps p above 0.5.
        EXPECT_GE(attack.fraction, 0.45);
        EXPECT_LE(attack.fraction, 0.8);
        EXPECT_GT(attack.curve[30], 0.5);
        EXPECT_LT(attack.pWhole, 0.5);
        EXPECT_TRUE(JudgeJpeg(AnalyseJpeg(*reread)).jstegSuspicious);
    }
}

} // namespace
} // namespace vantrel
