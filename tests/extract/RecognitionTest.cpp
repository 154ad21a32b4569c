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
    for (const char* file : {"extract/cover.png", "pattern.png", "pattern24.png", "photo.Png",
                             "jpeg/chelsea-q85.jpg", "commented.png"}) {
        const std::string path = std::string(VANTREL_TEST_DATA) + "/" + file;
        BitmapHandle bitmap(FreeImage_Load(FreeImage_GetFileType(path.c_str()), path.c_str(), 0));
        ASSERT_TRUE(bitmap) << path;
        ScanOptions options;
        options.prime = true;
        const auto image = SampleImage::Of(bitmap.get());
        ASSERT_TRUE(image) << file;
        const ScanResult result = ScanImage(*image, options);
        EXPECT_NE(result.verdict, Verdict::Found) << file << ": " << result.findings.front().layout
                                                  << ' ' << result.findings.front().what;
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

} // namespace
} // namespace vantrel::extract
