// The attacks against hand-worked counts, against the formulas written out pixel by pixel, on
// inputs too small for a method, and on scenes with LSB replacement of known rate.
#include "blind/BlindAttacks.h"
#include "BlindFixtures.h"
#include "blind/BlindReport.h"

#include "reference/NaiveBlind.h"

#include <gtest/gtest.h>

#include "TestData.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace vantrel {
namespace {

using testing::Analysed;
using testing::EmbedLsb;
using testing::GreyBitmap;
using testing::MakeBitmap;
using testing::NaturalImage;

void ExpectNear(double actual, double expected, const char* what) {
    EXPECT_NEAR(actual, expected, 1e-9 * std::max(1.0, std::abs(expected))) << what;
}

void ExpectNoNan(const ChannelResult& c) {
    for (const double value : {c.chiSquare.p, c.chiSquare.fraction, c.rs.rate, c.spa.rate,
                               c.ws.rate, c.ws.betaRaw, c.ws.bias}) {
        EXPECT_TRUE(std::isfinite(value)) << c.name;
    }
}

TEST(BlindAttacks, ChiSquareOfTwoCategoriesIsTheErrorFunction) {
    std::array<std::uint64_t, 256> histogram{};
    histogram[0] = 10; // e = 5: takes part, (10 − 5)² / 5 = 5
    histogram[2] = 6;  // e = 5, (6 − 5)² / 5 = 0.2
    histogram[3] = 4;
    histogram[4] = 9; // e = 4.5: left out
    int df = -1;
    // Q(1/2, x) = erfc(√x)
    ExpectNear(ChiSquareP(histogram, &df), std::erfc(std::sqrt(5.2 / 2)), "p");
    EXPECT_EQ(df, 1);
    histogram[2] = histogram[3] = 0;
    EXPECT_EQ(ChiSquareP(histogram, &df), 0.0);
    EXPECT_EQ(df, 0);
}

TEST(BlindAttacks, RsCountsOfOneGroup) {
    // f = 20; M gives 22 (regular), −M gives 20. Flipped: f = 22, M 20 (singular), −M 26
    // (regular). d0 = 1, d1 = −1, dn0 = 0, dn1 = 1: a = 0, x = −c/b = 1/3, rate −2.
    const BlindResult result = Analysed(GreyBitmap(4, 1, {10, 20, 21, 30}).get());
    ASSERT_EQ(result.channels.size(), 1u);
    const RsResult& rs = result.channels[0].rs;
    EXPECT_EQ(result.channels[0].name, "Y");
    const RsCounts expected{1, 0, 0, 0, 0, 1, 1, 0, 1};
    EXPECT_TRUE(rs.counts == expected);
    ExpectNear(rs.rate, -2, "rate");
}

TEST(BlindAttacks, SpaOfHandWorkedPairs) {
    struct Case {
        int width, height;
        std::vector<int> values;
        SpaCounts counts;
        double rate;
    };
    const Case cases[] = {
        // (4, 5): v odd, u < v: Y, and W. p² − 2p + 2 = 0 has no root: p = −b/γ = 1.
        {2, 1, {4, 5}, {1, 0, 1, 0, 1}, 1.0},
        // (6, 6) Z, (6, 9) Y: p² − 4p + 2 = 0, roots 2 ± √2.
        {3, 1, {6, 6, 9}, {2, 0, 1, 1, 0}, 2 - std::sqrt(2.0)},
        // (3, 8): X, γ = 0: p = −c/b = 1.
        {2, 1, {3, 8}, {1, 1, 0, 0, 0}, 1.0},
        // Columns too: (1, 2) X, (1, 4) X, (2, 5) Y, (4, 5) Y and W. p²/2 = 0: p = 0.
        {2, 2, {1, 2, 4, 5}, {4, 2, 2, 0, 1}, 0.0},
    };
    // Pairs inside one LSB pair or at the range's ends are set aside by the kernel: only the
    // pair (3, 8) is counted there; the others check the closing arithmetic on their counts.
    for (const Case& c : cases) {
        ExpectNear(SpaRate(c.counts), c.rate, "SPA rate");
    }
    const BlindResult result = Analysed(GreyBitmap(2, 1, {3, 8}).get());
    EXPECT_TRUE(result.channels.at(0).spa.counts == cases[2].counts);
}

TEST(BlindAttacks, WsOfOneInteriorSample) {
    // s = 5, F = (2·20 − 21) / 4 = 4.75: β_raw = 0.25. Parity: cross −4, diagonal +2,
    // F(e) = −2.5 = B. β = 0.25 + 0.625, rate 1.75.
    const BlindResult result = Analysed(GreyBitmap(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 10}).get());
    const WsResult& ws = result.channels.at(0).ws;
    ExpectNear(ws.betaRaw, 0.25, "beta_raw");
    ExpectNear(ws.bias, -2.5, "bias");
    ExpectNear(ws.rate, 1.75, "rate");
}

TEST(BlindAttacks, DefinedAnswersOfTheEquations) {
    struct Case {
        double a, b, c, rs, spa;
    };
    const Case cases[] = {
        {0, 0, 5, 0, 0},             // a = b = 0
        {0, 2, 4, -2, -2},           // leading coefficient 0: −c/b
        {1, 0, 1, 0, 0},             // negative discriminant: −b/2a
        {2, -4, 4, 1, 1},            // negative discriminant again
        {1, -3, 2, 1, 1},            // roots 1 and 2
        {1, 1, -2, 1, -2},           // roots 1 and −2: RS the smaller magnitude, SPA the smaller
        {1, 0, 0, 0, 0},             // double root 0
        {1e-3, -1e6, 1, 1e-6, 1e-6}, // stable small root
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(RsRoot(c.a, c.b, c.c), c.rs, 1e-12) << c.a << ' ' << c.b << ' ' << c.c;
        EXPECT_NEAR(SpaRoot(c.a, c.b, c.c), c.spa, 1e-12) << c.a << ' ' << c.b << ' ' << c.c;
    }
    RsCounts half; // a = 0, b = 2, c = −1: x = 1/2, whose rate is defined as 0
    half.regularMinusM = 1;
    half.flippedSingularMinusM = 1;
    EXPECT_EQ(RsRate(half), 0.0);
}

// The fused pass agrees with the formulas written out pixel by pixel, on every kind of size.
TEST(BlindAttacks, KernelMatchesTheNaiveFormulas) {
    struct Case {
        int width, height, bitsPerPixel;
        double noise;
    };
    const Case cases[] = {{1, 1, 24, 2},     {2, 2, 32, 2},     {3, 5, 24, 2},   {5, 3, 24, 40},
                          {4, 1, 24, 9},     {1, 9, 24, 9},     {33, 17, 32, 1}, {101, 67, 24, 1.5},
                          {257, 130, 24, 3}, {64, 200, 24, 0.4}};
    for (const Case& c : cases) {
        const BitmapHandle bitmap =
            NaturalImage(c.width, c.height, 7U + c.width, c.noise, c.bitsPerPixel);
        EmbedLsb(bitmap.get(), 0.3, false, 11);
        const BlindResult result = Analysed(bitmap.get());
        ASSERT_EQ(result.channels.size(), 3u);
        for (int channel = 0; channel < 3; ++channel) {
            SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " channel " +
                         std::to_string(channel));
            const naive::Samples samples = naive::ReadChannel(bitmap.get(), channel);
            const ChannelResult& fused = result.channels[static_cast<std::size_t>(channel)];
            const ChiSquareResult chi = naive::ChiSquare(samples);
            const RsResult rs = naive::Rs(samples);
            const SpaResult spa = naive::Spa(samples);
            const WsResult ws = naive::Ws(samples);
            ExpectNoNan(fused);
            for (int k = 0; k < kCurvePoints; ++k) {
                ExpectNear(fused.chiSquare.curve[k], chi.curve[k], "curve");
            }
            ExpectNear(fused.chiSquare.fraction, chi.fraction, "fraction");
            EXPECT_EQ(fused.chiSquare.status, chi.status);
            EXPECT_TRUE(fused.rs.counts == rs.counts);
            EXPECT_EQ(fused.rs.status, rs.status);
            ExpectNear(fused.rs.rate, rs.rate, "RS");
            EXPECT_TRUE(fused.spa.counts == spa.counts);
            EXPECT_EQ(fused.spa.status, spa.status);
            ExpectNear(fused.spa.rate, spa.rate, "SPA");
            EXPECT_EQ(fused.ws.status, ws.status);
            ExpectNear(fused.ws.betaRaw, ws.betaRaw, "beta_raw");
            ExpectNear(fused.ws.bias, ws.bias, "bias");
            ExpectNear(fused.ws.rate, ws.rate, "WS");
        }
    }
}

TEST(BlindAttacks, EdgeInputsGiveDefinedStatuses) {
    struct Case {
        int width, height;
        AttackStatus chi, rs, spa, ws;
    };
    using S = AttackStatus;
    const Case cases[] = {
        {1, 1, S::NoTest, S::NoGroups, S::NoPairs, S::TooSmall},
        {2, 2, S::NoTest, S::NoGroups, S::Ok, S::TooSmall},
        {3, 5, S::NoTest, S::NoGroups, S::Ok, S::Ok},
        {5, 2, S::NoTest, S::Ok, S::Ok, S::TooSmall},
        {1, 40, S::NoTest, S::NoGroups, S::Ok, S::TooSmall},
    };
    for (const Case& c : cases) {
        const BitmapHandle bitmap = NaturalImage(c.width, c.height, 3, 30);
        for (const ChannelResult& channel : Analysed(bitmap.get()).channels) {
            EXPECT_EQ(channel.chiSquare.status, c.chi) << c.width << 'x' << c.height;
            EXPECT_EQ(channel.rs.status, c.rs) << c.width << 'x' << c.height;
            EXPECT_EQ(channel.spa.status, c.spa) << c.width << 'x' << c.height;
            EXPECT_EQ(channel.ws.status, c.ws) << c.width << 'x' << c.height;
            ExpectNoNan(channel);
            if (c.rs != S::Ok) {
                EXPECT_EQ(channel.rs.rate, 0.0);
            }
            if (c.ws != S::Ok) {
                EXPECT_EQ(channel.ws.rate, 0.0);
            }
        }
    }
}

// One colour leaves no usable sample: every attack says why it cannot judge.
TEST(BlindAttacks, OneColourIsNotApplicableWithEveryRateZero) {
    for (const int bits : {24, 32}) {
        const BitmapHandle flat = MakeBitmap(
            9, 7, bits, [](int, int, std::uint8_t* p) { p[0] = 17, p[1] = 200, p[2] = 64; });
        const BlindResult result = Analysed(flat.get());
        EXPECT_FALSE(result.suspicious);
        for (const ChannelResult& c : result.channels) {
            EXPECT_EQ(c.chiSquare.status, AttackStatus::NoTest);
            EXPECT_EQ(c.rs.rate, 0.0);
            EXPECT_EQ(c.spa.rate, 0.0);
            EXPECT_EQ(c.ws.rate, 0.0);
            EXPECT_EQ(c.usable, 0);
            EXPECT_EQ(StateLine(c.ws.judgement.state),
                      "not applicable: no usable samples: the channel is flat or saturated "
                      "everywhere");
        }
    }
}

// Each kind of clean image that once fooled the attacks: none may be flagged, and each reads
// "not applicable" with its reason where the attacks cannot judge it.
TEST(BlindAttacks, KindsOfCleanImageAreNotFlagged) {
    const auto scene = [](int width, int height, int bits, auto change) {
        BitmapHandle bitmap = NaturalImage(width, height, 21, 2, bits);
        const MutablePixelView view = MutableViewOfBitmap(bitmap.get());
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                change(x, y, view.row(y) + x * view.bytesPerPixel);
            }
        }
        return bitmap;
    };
    struct Case {
        const char* name;
        BitmapHandle image;
        const char* reason; // of every attack on the first channel; empty: they apply
    };
    const Case cases[] = {
        // Flat fills with soft anti-aliased edges between them, as a vector drawing renders.
        {"flat render",
         scene(400, 300, 24,
               [](int x, int y, std::uint8_t* p) {
                   const double edge = std::clamp((x + y / 3 - 200) / 2.0, 0.0, 1.0);
                   for (int c = 0; c < 3; ++c) {
                       p[c] = static_cast<std::uint8_t>(std::lrint(40 + 60 * c + 120 * edge));
                   }
               }),
         "palette image"}, // three colours
        // Under alpha 0 the painter left one constant colour; only the middle is seen.
        {"sprite with a transparent border",
         scene(300, 300, 32,
               [](int x, int y, std::uint8_t* p) {
                   const bool seen = x >= 100 && x < 200 && y >= 100 && y < 200;
                   p[3] = seen ? 255 : 0;
                   if (!seen) {
                       p[0] = p[1] = p[2] = 0;
                   }
               }),
         "too few usable samples"},
        {"60x40 figure", NaturalImage(60, 40, 5, 3), "too few usable samples: "},
        {"constant channel", scene(300, 200, 24, [](int, int, std::uint8_t* p) { p[2] = 77; }),
         "no usable samples"},
        {"four colours",
         scene(256, 256, 24,
               [](int x, int y, std::uint8_t* p) {
                   std::fill_n(p, 3, static_cast<std::uint8_t>(((x / 16 + y / 16) % 4) * 60));
               }),
         "usable samples"}, // grey: four levels are no palette
        // Every level equally often: even in any pairing, the chi-square test has nothing to say.
        {"smooth gradient",
         scene(256, 256, 24,
               [](int x, int y, std::uint8_t* p) {
                   p[2] = static_cast<std::uint8_t>((x + y) & 0xFF);
               }),
         ""},
    };
    for (const Case& c : cases) {
        const BlindResult result = Analysed(c.image.get());
        EXPECT_FALSE(result.suspicious) << c.name << '\n' << BlindTable(result);
        const ChannelResult& first = result.channels.at(0);
        if (*c.reason != '\0') {
            for (const Judgement* judgement : {&first.chiSquare.judgement, &first.rs.judgement,
                                               &first.spa.judgement, &first.ws.judgement}) {
                EXPECT_NE(judgement->state.reason.find(c.reason), std::string::npos)
                    << c.name << ": " << judgement->state.reason;
            }
        }
    }
    const BlindResult gradient = Analysed(cases[5].image.get());
    EXPECT_NE(gradient.channels.at(0).chiSquare.judgement.state.reason.find("every pairing"),
              std::string::npos);
}

// What lies under a sprite's transparent border: one stored colour is clean, the same colour with
// its LSBs set at random is a message, a picture kept under the border cannot be judged.
TEST(TransparentLsb, OneColourCleanRandomLsbsFlaggedAPictureNotApplicable) {
    struct Row {
        const char* name;
        int bits;
        int (*under)(int x, int y, int c); // the colour under alpha 0
        DetectorState::Kind state;
        bool flagged;
    };
    const Row rows[] = {
        {"one colour", 32, [](int, int, int) { return 0; }, DetectorState::Kind::Ok, false},
        {"random LSBs", 32,
         [](int x, int y, int c) {
             return 0x40 | static_cast<int>((x * 7919u + y * 104729u + c * 31u) >> 3 & 1u);
         },
         DetectorState::Kind::Ok, true},
        {"a picture", 32, [](int x, int y, int c) { return (x * 5 + y * 3 + c * 40) & 0xFF; },
         DetectorState::Kind::NotApplicable, false},
        {"opaque", 24, [](int, int, int) { return 0; }, DetectorState::Kind::NotApplicable, false},
    };
    for (const Row& row : rows) {
        BitmapHandle bitmap = NaturalImage(300, 300, 21, 2, row.bits);
        const MutablePixelView view = MutableViewOfBitmap(bitmap.get());
        for (int y = 0; row.bits == 32 && y < 300; ++y) {
            for (int x = 0; x < 300; ++x) {
                std::uint8_t* p = view.row(y) + x * 4;
                const bool seen = x >= 100 && x < 200 && y >= 100 && y < 200;
                p[kAlpha] = seen ? 255 : 0;
                for (int c = 0; !seen && c < 3; ++c) {
                    p[c] = static_cast<std::uint8_t>(row.under(x, y, c));
                }
            }
        }
        const BlindResult result = Analysed(bitmap.get());
        EXPECT_EQ(result.transparentLsb.judgement.state.kind, row.state) << row.name;
        EXPECT_EQ(result.transparentLsb.judgement.flagged, row.flagged) << row.name;
        EXPECT_EQ(result.suspicious, row.flagged) << row.name;
    }
}

// LSB replacement at known rates, at random and from the first pixel on as steggy and stepic
// write, and on a cover with a transparent border: the attacks that apply keep flagging it.
TEST(BlindAttacks, LsbReplacementStaysFlagged) {
    struct Case {
        double rate;
        bool sequential;
        int bits;
        bool flatTop = false; // a banded sky over the picture, as on a wallpaper
    };
    // Sequential rows: a message too short for the whole image's rates, held by the top rows'.
    const Case cases[] = {{0.5, false, 24}, {1.0, false, 24}, {0.3, true, 24},
                          {0.5, true, 32},  {0.6, false, 32}, {0.1, true, 24, true}};
    unsigned seed = 40;
    for (const Case& c : cases) {
        const BitmapHandle stego = NaturalImage(320, 240, ++seed, 1.5, c.bits);
        for (int y = 0; c.flatTop && y < 120; ++y) {
            std::uint8_t* row = MutableViewOfBitmap(stego.get()).row(y);
            for (int x = 0; x < 320; ++x) {
                const int band = 80 + 4 * (x / 8 % 30) + 2 * (y % 3 == 0); // even levels only
                std::fill_n(row + 3 * x, 3, static_cast<std::uint8_t>(band));
            }
        }
        if (c.bits == 32) { // a transparent band along the top, constant underneath
            const MutablePixelView view = MutableViewOfBitmap(stego.get());
            for (int y = 0; y < 30; ++y) {
                for (int x = 0; x < view.width; ++x) {
                    std::fill_n(view.row(y) + 4 * x, 4, std::uint8_t{0});
                }
            }
            for (int y = 30; y < view.height; ++y) {
                for (int x = 0; x < view.width; ++x) {
                    view.row(y)[4 * x + 3] = 255;
                }
            }
        }
        EmbedLsb(stego.get(), c.rate, c.sequential, ++seed);
        BlindResult result = Analysed(stego.get());
        EXPECT_TRUE(result.suspicious)
            << c.rate << (c.sequential ? " sequential\n" : "\n") << BlindTable(result);
        // The same pixels out of a lossy coder say nothing.
        JudgeNotApplicable(result, "lossy");
        EXPECT_FALSE(result.suspicious);
        EXPECT_FALSE(ChannelApplies(result.channels.at(0)));
        EXPECT_FALSE(FiguresFlagged(result.channels.at(0)).any());
    }
}

// A flat painting (blocks of one colour, nearly nothing usable) written from its first pixel on:
// the first samples of every colour channel come out even together, which a clean one's do not,
// though no channel alone reaches the single-channel threshold. Grey has one channel to go on.
TEST(BlindAttacks, FirstSamplesEvenInEveryChannelTogether) {
    struct Row {
        const char* name;
        std::vector<double> p; // each channel's first-samples p
        bool applies = true;   // the test's state in the last channel
        bool flagged;
        double threshold; // of the last channel
    };
    const Row rows[] = {
        {"three even", {0.45, 0.8, 0.41}, true, true, kTopChiSquareJointP},
        {"one below", {0.9, 0.39, 0.95}, true, false, kTopChiSquarePThreshold},
        {"one not applicable", {0.9, 0.9, 0.9}, false, false, kTopChiSquarePThreshold},
        {"grey", {0.9}, true, false, kTopChiSquarePThreshold},
        {"one alone", {0.1, 0.2, 0.995}, true, true, kTopChiSquarePThreshold},
    };
    for (const Row& row : rows) {
        std::vector<ChannelResult> channels(row.p.size());
        for (std::size_t i = 0; i < row.p.size(); ++i) {
            channels[i].topChiSquare.p = row.p[i];
            channels[i].topChiSquare.judgement = {DetectorState::Ok(), row.p[i] >= 0.99,
                                                  kTopChiSquarePThreshold};
        }
        if (!row.applies) {
            channels.back().topChiSquare.judgement.state = DetectorState::NotApplicable("few");
        }
        EXPECT_EQ(JudgeChannelsTogether(channels), row.flagged) << row.name;
        EXPECT_EQ(channels.back().topChiSquare.judgement.flagged, row.flagged) << row.name;
        EXPECT_EQ(channels.back().suspicious, row.flagged) << row.name;
        EXPECT_EQ(channels.back().topChiSquare.judgement.threshold, row.threshold) << row.name;
    }
    for (const double rate : {0.0, 0.3}) {
        const BitmapHandle painting = MakeBitmap(256, 256, 24, [](int x, int y, std::uint8_t* p) {
            const unsigned block = static_cast<unsigned>(x / 8 * 37 + y / 8 * 101);
            for (unsigned c = 0; c < 3; ++c) {
                p[c] = static_cast<std::uint8_t>(2 * ((block * (c + 3) * 2654435761u) >> 25));
            }
        });
        EmbedLsb(painting.get(), rate, true, 7);
        const BlindResult result = Analysed(painting.get());
        EXPECT_EQ(result.suspicious, rate > 0) << rate << '\n' << BlindTable(result);
        // Mostly flat: the structural attacks stand aside, the first samples decide.
        EXPECT_FALSE(result.channels.at(0).rs.judgement.state.ok());
        EXPECT_EQ(result.channels[0].topChiSquare.judgement.flagged, rate > 0);
    }
}

// Grey comes as 32-bit or as 24-bit with R = G = B; alpha other than 0 is ignored. Each gives the
// answers of the plain 24-bit picture of the same colours; no pixels at all are a failure.
// The top rows' figure is the median of the three rates over the fewest top bands that hold
// enough usable samples: the whole of a small image, a part of a large one.
TEST(BlindAttacks, TopRowsReadTheFirstBands) {
    const struct {
        int width, height;
        bool whole;
    } cases[] = {{100, 100, true}, {640, 480, false}};
    for (const auto& c : cases) {
        const BitmapHandle image = NaturalImage(c.width, c.height, 7, 1.5);
        for (const ChannelResult& channel : Analysed(image.get()).channels) {
            EXPECT_EQ(channel.top.rows == c.height, c.whole) << c.width << " " << channel.top.rows;
            if (c.whole) {
                std::array<double, 3> rates{channel.rs.rate, channel.spa.rate, channel.ws.rate};
                std::sort(rates.begin(), rates.end());
                EXPECT_DOUBLE_EQ(channel.top.rate, rates[1]);
                EXPECT_EQ(channel.top.usable, channel.usable);
            } else {
                EXPECT_GE(channel.top.usable, kMinUsableSamples);
                EXPECT_TRUE(channel.top.judgement.state.ok()) << channel.top.judgement.state.reason;
            }
        }
    }
}

TEST(BlindAttacks, GreyAndAlphaReadTheColours) {
    const BitmapHandle colour = NaturalImage(40, 30, 5, 3);
    const BitmapHandle rgba = CloneBitmap(colour.get());
    const BitmapHandle withAlpha(FreeImage_ConvertTo32Bits(rgba.get()));
    MutablePixelView alpha = MutableViewOfBitmap(withAlpha.get());
    for (int y = 0; y < alpha.height; ++y) {
        for (int x = 0; x < alpha.width; ++x) {
            alpha.row(y)[4 * x + 3] = static_cast<std::uint8_t>((x * 31 + y) | 1); // never 0
        }
    }
    const BitmapHandle grey8(FreeImage_ConvertToGreyscale(colour.get()));
    const BitmapHandle grey(FreeImage_ConvertTo32Bits(grey8.get()));
    const BitmapHandle greyColours(FreeImage_ConvertTo24Bits(grey8.get()));
    struct Case {
        const FIBITMAP* bitmap;
        const FIBITMAP* same;
        std::size_t channels;
    };
    const Case cases[] = {{withAlpha.get(), colour.get(), 3}, {grey.get(), greyColours.get(), 1}};
    for (const Case& c : cases) {
        const std::string a = BlindJson("x", Analysed(c.bitmap));
        EXPECT_EQ(a, BlindJson("x", Analysed(c.same)));
        EXPECT_EQ(Analysed(c.bitmap).channels.size(), c.channels) << a;
    }
    EXPECT_EQ(Analysed(greyColours.get()).channels.at(0).name, "Y");
    EXPECT_FALSE(AnalyseBitmap(PixelView{}).ok());
}

TEST(BlindAttacks, SerialAndParallelRunsAgreeToTheBit) {
    const BitmapHandle bitmap = NaturalImage(300, 211, 9);
    EmbedLsb(bitmap.get(), 0.2, false, 4);
    BlindOptions serial;
    serial.parallel = false;
    EXPECT_EQ(BlindJson("x", Analysed(bitmap.get())),
              BlindJson("x", Analysed(bitmap.get(), serial)));
    std::atomic<bool> cancel{true};
    serial.cancel = &cancel;
    EXPECT_TRUE(Analysed(bitmap.get(), serial).cancelled);
}

struct AccuracyBounds {
    double median[3];
    double p90[3];
    double detectedFrom; // every embedding at this rate or more must be flagged
};

// Embeds every rate at random positions and sequentially into each cover and checks |rate −
// truth| of RS, SPA and WS, and how far the chi-square fraction follows sequential embedding.
// Prints the medians, 90th percentiles and the clean covers flagged, for the record.
void CheckAccuracy(const std::vector<std::pair<std::string, BitmapHandle>>& covers,
                   const AccuracyBounds& bounds, int cleanFlagsAllowed, double fractionShare) {
    std::vector<double> errors[3];
    int cleanFlagged = 0, fractions = 0, fractionsNear = 0, missed = 0;
    unsigned seed = 1;
    for (const auto& [name, cover] : covers) {
        const bool grey = SamplesOf(ViewOfBitmap(cover.get())).value().planes.size() == 1;
        if (Analysed(cover.get()).suspicious) {
            ++cleanFlagged;
            std::printf("clean cover flagged: %s\n", name.c_str());
        }
        for (const double truth : {0.05, 0.1, 0.2, 0.4, 0.6, 0.8}) {
            for (const bool sequential : {false, true}) {
                const BitmapHandle stego = CloneBitmap(cover.get());
                EmbedLsb(stego.get(), truth, sequential, ++seed, grey);
                const BlindResult result = Analysed(stego.get());
                // Near the thresholds detection is a matter of chance: counted, not required.
                EXPECT_TRUE(result.suspicious || truth < bounds.detectedFrom)
                    << name << ' ' << truth;
                missed += !result.suspicious;
                for (const ChannelResult& c : result.channels) {
                    errors[0].push_back(std::abs(c.rs.rate - truth));
                    errors[1].push_back(std::abs(c.spa.rate - truth));
                    errors[2].push_back(std::abs(c.ws.rate - truth));
                    // A short prefix is a weak test: the walk can stop early by chance.
                    fractions += sequential && truth >= 0.2;
                    fractionsNear +=
                        sequential && truth >= 0.2 && std::abs(c.chiSquare.fraction - truth) <= 0.1;
                }
            }
        }
    }
    EXPECT_LE(cleanFlagged, cleanFlagsAllowed);
    EXPECT_GE(fractionsNear, fractions * fractionShare);
    std::printf("%d of %zu clean covers flagged; %d of %zu stego images missed; chi-square "
                "fraction within 0.1 of the sequential length: %d of %d\n",
                cleanFlagged, covers.size(), missed, covers.size() * 12, fractionsNear, fractions);
    const char* names[] = {"RS", "SPA", "WS"};
    for (int attack = 0; attack < 3; ++attack) {
        std::vector<double>& e = errors[attack];
        std::sort(e.begin(), e.end());
        const double median = e[e.size() / 2], p90 = e[e.size() * 9 / 10];
        std::printf("%-4s |rate - truth| median %.4f, 90th percentile %.4f (%zu estimates)\n",
                    names[attack], median, p90, e.size());
        EXPECT_LT(median, bounds.median[attack]) << names[attack];
        EXPECT_LT(p90, bounds.p90[attack]) << names[attack];
    }
}

// Scenes standing in for photographs. WS falls short at high rates, where the neighbours it
// predicts from carry message too.
TEST(BlindAttacks, RatesFollowTheEmbeddedLength) {
    std::vector<std::pair<std::string, BitmapHandle>> covers;
    for (unsigned seed = 1; seed <= 6; ++seed) {
        covers.emplace_back("scene " + std::to_string(seed),
                            NaturalImage(384, 256, seed, 0.8 + 0.4 * seed));
    }
    CheckAccuracy(covers, {{0.03, 0.03, 0.045}, {0.08, 0.08, 0.11}, 0.6}, 0, 0.8);
}

// Real photographs, when tools/blind_corpus.sh points VANTREL_BLIND_CORPUS at a folder of them
// (they stay out of the repository).
TEST(BlindAttacks, RatesOnACorpusOfPhotographs) {
    const char* folder = std::getenv("VANTREL_BLIND_CORPUS");
    if (folder == nullptr) {
        GTEST_SKIP() << "VANTREL_BLIND_CORPUS names no folder of photographs";
    }
    std::vector<std::pair<std::string, BitmapHandle>> covers;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (BitmapHandle cover = testing::Loaded(entry.path().string())) {
            covers.emplace_back(entry.path().filename().string(), std::move(cover));
        }
    }
    std::sort(covers.begin(), covers.end());
    ASSERT_FALSE(covers.empty());
    CheckAccuracy(covers, {{0.04, 0.04, 0.04}, {0.15, 0.15, 0.15}, 0.6}, int(covers.size()) / 5,
                  0.3);
}

TEST(BlindAttacks, BlockMapShowsWhereTheLsbsAreRandom) {
    const BitmapHandle bitmap = NaturalImage(256, 256, 2);
    EmbedLsb(bitmap.get(), 0.5, true, 8); // the top half, fully
    const ImageSamples samples = SamplesOf(ViewOfBitmap(bitmap.get())).value();
    EXPECT_EQ(BlockSideFor(256, 256), 32);
    EXPECT_EQ(BlockSideFor(6000, 4000), 94);
    const BlockMap map = ChiSquareBlockMap(samples, 64);
    ASSERT_EQ(map.columns, 4);
    ASSERT_EQ(map.rows, 4);
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            const double p = map.p[static_cast<std::size_t>(row * 4 + column)];
            if (row < 2) {
                EXPECT_GT(p, 0.3) << row << ',' << column;
            } else {
                EXPECT_LT(p, 0.01) << row << ',' << column;
            }
        }
    }
}

TEST(BlindReport, PathsAndNumbersSurviveTheirFormats) {
    struct Case {
        std::string path, json, csv;
    };
    const Case cases[] = {
        {"plain.png", "\"plain.png\"", "plain.png"},
        {"a \"b\"\\c,d.png", "\"a \\\"b\\\"\\\\c,d.png\"", "\"a \"\"b\"\"\\c,d.png\""},
        {std::string("tab\tnew\nbell\x07\x01", 14), "\"tab\\u0009new\\u000abell\\u0007\\u0001\"",
         "\"tab\tnew\nbell\x07\x01\""},
        {"caf\xc3\xa9-\xff.png", "\"caf\xc3\xa9-\xff.png\"", "caf\xc3\xa9-\xff.png"}, // bytes kept
    };
    for (const Case& c : cases) {
        EXPECT_EQ(JsonString(c.path), c.json);
        EXPECT_EQ(BlindCsvRow(c.path, {}, "x").substr(0, c.csv.size()), c.csv);
    }
    for (const double value : {0.1, -1.0 / 3, 1e-300, 0.16000000000000003, 123456789.0}) {
        EXPECT_EQ(std::stod(JsonNumber(value)), value);
    }
    EXPECT_EQ(JsonNumber(-0.0), "0");
    EXPECT_EQ(JsonNumber(std::nan("")), "0");
    EXPECT_EQ(RateCell(-0.00001, AttackStatus::Ok), "0.0000");
    EXPECT_EQ(RateCell(0.5, AttackStatus::NoGroups), "no_groups");
}

} // namespace
} // namespace vantrel
