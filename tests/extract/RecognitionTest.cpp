#include "extract/ExtractLoading.h"
#include "extract/JstegLayouts.h"
#include "extract/PayloadScan.h"
#include "reference/ExtractSupport.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

namespace vantrel::extract {
namespace {

using testing::Bytes;

bool Found(const ScanResult& result, const std::string& kind, const Bytes& payload) {
    for (const Finding& finding : result.findings) {
        if (finding.kind == kind && finding.tier == Tier::Found && finding.payload == payload) {
            return true;
        }
    }
    return false;
}

Bytes RandomBytes(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes(count);
    for (std::uint8_t& byte : bytes) {
        byte = static_cast<std::uint8_t>(random());
    }
    return bytes;
}

Bytes ProseBytes(std::size_t count) {
    Bytes bytes;
    while (bytes.size() < count) {
        bytes.insert(bytes.end(), testing::kProse.begin(), testing::kProse.end());
    }
    bytes.resize(count);
    return bytes;
}

// The stepic framing written bit by bit from its description: eight message bits then a stop
// bit, set on the last byte only; the bits then go into the R, G, B LSBs in pixel order.
Bytes StepicFramed(const Bytes& message) {
    Bytes packed;
    int held = 0;
    auto put = [&](int bit) {
        if (held % 8 == 0) {
            packed.push_back(0);
        }
        packed.back() |= static_cast<std::uint8_t>(bit << (7 - held % 8));
        ++held;
    };
    for (std::size_t i = 0; i < message.size(); ++i) {
        for (int b = 7; b >= 0; --b) {
            put(message[i] >> b & 1);
        }
        put(i + 1 == message.size());
    }
    return packed;
}

TEST(Recognition, StepicFramedDataAndProseAreFound) {
    for (const std::size_t size : {32u, 1000u, 8192u}) {
        for (const bool prose : {false, true}) {
            const Bytes message = prose ? ProseBytes(size) : RandomBytes(size, unsigned(size));
            BitmapHandle bitmap = testing::NaturalBitmap(170, 150, 24, unsigned(size) + prose);
            ASSERT_TRUE(testing::Embed(bitmap.get(), testing::LayoutOf("b1,rgb,lsb,xy"),
                                       StepicFramed(message)));
            EXPECT_TRUE(Found(ScanImage(*SampleImage::Of(bitmap.get())), "stepic", message))
                << size << (prose ? " prose" : " random");
        }
    }
}

TEST(Recognition, CleanCoversFindNothing) {
    for (const char* file :
         {"extract/cover.png", "pattern.png", "pattern24.png", "photo.Png", "jpeg/chelsea-q85.jpg",
          "jpeg/chelsea-q85-444.jpg", "jpeg/chelsea-q75.jpg", "commented.png"}) {
        const auto loaded = LoadImageForExtraction(std::string(VANTREL_TEST_DATA) + "/" + file);
        ASSERT_TRUE(loaded) << file;
        const SampleImage* image = &loaded->samples;
        for (const bool prime : {false, true}) { // a shorter walk admits longer prefixes
            ScanOptions options;
            options.prime = prime;
            const ScanResult result = ScanImage(*image, options);
            EXPECT_NE(result.verdict, Verdict::Found)
                << file << ": " << result.findings.front().layout << ' '
                << result.findings.front().what;
        }
    }
}

// A length prefix is evidence only while noise would rarely give one anywhere in the walk:
// lengths are drawn below the bound where (L + 1) / 2^32 times the walk stays under 1/1000.
TEST(Recognition, LengthPrefixedRandomBlocksAreMostlyFound) {
    std::mt19937 random(2026);
    int found = 0, tried = 0;
    for (unsigned seed = 0; seed < 40; ++seed) {
        BitmapHandle bitmap = testing::NaturalBitmap(160, 120, 24, 100 + seed);
        const auto walk = WalkLayouts({}, true, false);
        const double bound = 1e-3 * 4294967296.0 / double(walk.size()) - 1;
        const Layout& layout = walk[random() % walk.size()];
        const std::uint64_t capacity = 160ull * 120 * std::uint64_t(layout.bitsPerPixel()) / 8;
        const auto length = static_cast<std::uint32_t>(
            32 + random() % std::uint64_t(std::min<double>(bound, double(capacity - 4)) - 32));
        Bytes payload = {std::uint8_t(length >> 24), std::uint8_t(length >> 16),
                         std::uint8_t(length >> 8), std::uint8_t(length)};
        const Bytes body = RandomBytes(length, seed);
        payload.insert(payload.end(), body.begin(), body.end());
        ASSERT_TRUE(testing::Embed(bitmap.get(), layout, payload));
        const ScanResult result = ScanImage(*SampleImage::Of(bitmap.get()));
        const bool hit = Found(result, "length-prefixed", payload);
        if (!hit) {
            std::printf("missed %s L=%u: %s %s\n", ToText(layout).c_str(), length,
                        result.findings.empty() ? "-" : result.findings[0].layout.c_str(),
                        result.findings.empty() ? "-" : result.findings[0].what.c_str());
        }
        found += hit;
        ++tried;
    }
    std::printf("length-prefixed found %d of %d\n", found, tried);
    EXPECT_GE(found * 10, tried * 9);
}

// Quantized coefficients of a 40 x 40-block grey JPEG, Laplacian like a photograph's, with
// `message`'s bits (high bit first) written into the LSBs JSteg uses: each block's AC
// coefficients in zigzag order, skipping 0 and 1 (twos) or |v| < 2 (magnitude).
JpegCoefficients JstegStego(const Bytes& message, JstegPairing pairing) {
    JpegCoefficients jpeg;
    jpeg.width = jpeg.height = 320;
    JpegComponent grey;
    grey.widthInBlocks = grey.heightInBlocks = 40;
    grey.width = grey.height = 320;
    std::mt19937 random(5);
    std::exponential_distribution<double> size(0.4);
    for (int i = 0; i < 40 * 40 * 64; ++i) {
        const auto magnitude = static_cast<int>(size(random));
        grey.coefficients.push_back(
            static_cast<std::int16_t>(random() % 2 ? magnitude : -magnitude));
    }
    std::vector<int> zigzag; // natural index of each zigzag position, walked diagonal by diagonal
    for (int sum = 0; sum < 15; ++sum) {
        for (int k = 0; k <= sum; ++k) {
            const int row = sum % 2 ? k : sum - k;
            if (row < 8 && sum - row < 8) {
                zigzag.push_back(row * 8 + sum - row);
            }
        }
    }
    std::size_t bit = 0;
    for (int block = 0; block < 40 * 40 && bit < message.size() * 8; ++block) {
        for (int z = 1; z < 64 && bit < message.size() * 8; ++z) {
            std::int16_t& v = grey.coefficients[std::size_t(block) * 64 + std::size_t(zigzag[z])];
            const int want = message[bit / 8] >> (7 - bit % 8) & 1;
            if (pairing == JstegPairing::Twos && v != 0 && v != 1) {
                v = static_cast<std::int16_t>((v & ~1) | want);
                ++bit;
            } else if (pairing == JstegPairing::Magnitude && std::abs(v) >= 2) {
                const int m = (std::abs(v) & ~1) | want;
                v = static_cast<std::int16_t>(v < 0 ? -m : m);
                ++bit;
            }
        }
    }
    jpeg.components.push_back(std::move(grey));
    return jpeg;
}

TEST(Recognition, JstegPayloadsAreFoundAndCarvedExactly) {
    const struct {
        const char* kind;
        Bytes payload;
        JstegPairing pairing;
        const char* layout;
    } rows[] = {
        {"zip", testing::Zip(), JstegPairing::Twos, "jsteg-twos"},
        {"png", testing::Png(), JstegPairing::Magnitude, "jsteg-magnitude"},
        {"zip", testing::Zip(), JstegPairing::Magnitude, "jsteg-magnitude"},
        {"png", testing::Png(), JstegPairing::Twos, "jsteg-twos"},
        {nullptr, {}, JstegPairing::Twos, ""},
    };
    for (const auto& row : rows) {
        ScanResult result; // no pixel layouts: the JSteg streams alone
        AddJstegFindings(result, JstegStego(row.payload, row.pairing));
        if (!row.kind) {
            EXPECT_EQ(result.verdict, Verdict::Nothing) << result.findings.front().what;
            continue;
        }
        ASSERT_EQ(result.verdict, Verdict::Found) << row.layout;
        EXPECT_EQ(result.findings.front().layout, row.layout);
        EXPECT_EQ(result.findings.front().kind, row.kind);
        EXPECT_EQ(result.findings.front().payload, row.payload) << row.layout;
    }
}

// A stream whose bits lean to zero, as a clipped channel's low bits or the LSBs of even-leaning
// magnitudes do, opening with the length 600; with `payload` that block is random bytes instead.
Bytes LeaningStream(std::size_t count, bool payload) {
    std::mt19937 random(7);
    std::bernoulli_distribution one(0.4);
    Bytes bytes(count);
    for (std::uint8_t& byte : bytes) {
        for (int bit = 0; bit < 8; ++bit) {
            byte = static_cast<std::uint8_t>(byte << 1 | int(one(random)));
        }
    }
    const Bytes block = RandomBytes(600, 3);
    if (payload) {
        std::copy(block.begin(), block.end(), bytes.begin() + 4);
    }
    const Bytes length = {0, 0, 600 >> 8, 600 & 0xFF};
    std::copy(length.begin(), length.end(), bytes.begin());
    return bytes;
}

// Fair coins would start this low about once in 11,000 walks; these bits, once in 200.
TEST(Recognition, LengthPrefixesAreWeighedByTheLayoutsOwnBits) {
    const struct {
        const char* layout;
        bool payload;
        Tier tier;
    } rows[] = {
        {"b2,b,lsb,xy", false, Tier::Weak},
        {"b2,b,lsb,xy", true, Tier::Found},
        {"jsteg-magnitude", false, Tier::Weak},
        {"jsteg-magnitude", true, Tier::Found},
    };
    for (const auto& row : rows) {
        ScanResult result;
        if (std::string(row.layout) == "jsteg-magnitude") {
            result.walk = WalkLayouts({}, true, false); // weighed as in a JPEG's scan
            AddJstegFindings(result,
                             JstegStego(LeaningStream(4000, row.payload), JstegPairing::Magnitude));
        } else {
            BitmapHandle bitmap = testing::NaturalBitmap(100, 80, 24, 3);
            ASSERT_TRUE(testing::Embed(bitmap.get(), testing::LayoutOf(row.layout),
                                       LeaningStream(2000, row.payload)));
            result = ScanImage(*SampleImage::Of(bitmap.get()));
        }
        const auto at = std::find_if(result.findings.begin(), result.findings.end(),
                                     [&](const Finding& f) { return f.layout == row.layout; });
        ASSERT_NE(at, result.findings.end()) << row.layout;
        EXPECT_EQ(at->kind, "length-prefixed") << row.layout;
        EXPECT_EQ(at->tier, row.tier) << row.layout << ' ' << at->what;
        EXPECT_EQ(result.verdict == Verdict::Found, row.payload) << row.layout;
    }
}

} // namespace
} // namespace vantrel::extract
