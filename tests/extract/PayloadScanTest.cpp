#include "extract/PayloadScan.h"
#include "reference/ExtractSupport.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <random>

namespace vantrel::extract {
namespace {

using testing::Bytes;
using testing::BytesOf;
using testing::Deflated;
using testing::kProse;
using testing::LayoutOf;
using testing::LengthPrefixed;
using testing::Png;
using testing::Zip;

const Finding* FoundAt(const ScanResult& result, const std::string& kind,
                       const std::string& layout) {
    for (const Finding& finding : result.findings) {
        if (finding.kind == kind && finding.layout == layout && finding.tier == Tier::Found) {
            return &finding;
        }
    }
    return nullptr;
}

ScanResult Scan(FIBITMAP* bitmap, bool prime = false) {
    ScanOptions options;
    options.prime = prime;
    return ScanImage(*SampleImage::Of(bitmap), options);
}

TEST(ScanImage, RecoversEachFormatExactlyUnderItsLayout) {
    const Bytes zlibText = Deflated(BytesOf(kProse), 15);
    const Bytes gzipText = Deflated(BytesOf(kProse), 31);
    const struct {
        const char* kind;
        Bytes payload;
        const char* layout;
    } rows[] = {
        {"png", Png(), "b1,rgb,lsb,xy"},
        {"zip", Zip(), "b2,bgr,msb,Yx"},
        {"zlib", zlibText, "b1,g,lsb,XY"},
        {"gzip", gzipText, "b4,r,lsb,xy,prime"},
        {"text", BytesOf(kProse), "b3,b,msb,yX"},
        {"length-prefixed", LengthPrefixed(), "b2,g,lsb,xY"},
    };
    for (const auto& row : rows) {
        BitmapHandle bitmap = testing::NaturalBitmap(120, 90, 24, 21);
        ASSERT_TRUE(testing::Embed(bitmap.get(), LayoutOf(row.layout), row.payload));
        const ScanResult result = Scan(bitmap.get(), true);
        const Finding* finding = FoundAt(result, row.kind, row.layout);
        ASSERT_NE(finding, nullptr) << row.kind;
        EXPECT_EQ(finding->payload, row.payload) << row.kind;
        EXPECT_EQ(result.findings.front().kind, row.kind) << "ranked first";
    }
}

TEST(ScanImage, TruncatedStreamsAreNeverFound) {
    for (const Bytes& whole : {Png(), Zip(), Deflated(BytesOf(kProse + kProse), 15)}) {
        const Bytes half(whole.begin(), whole.begin() + whole.size() / 2);
        BitmapHandle bitmap = testing::NaturalBitmap(100, 80, 24, 4);
        ASSERT_TRUE(testing::Embed(bitmap.get(), LayoutOf("b1,rgb,lsb,xy"), half));
        const ScanResult result = Scan(bitmap.get());
        for (const Finding& finding : result.findings) {
            EXPECT_NE(finding.tier, Tier::Found) << finding.kind << ' ' << finding.what;
        }
    }
}

TEST(ScanImage, CleanAndTinyImagesYieldNothingFound) {
    const struct {
        int width, height, bits;
        unsigned seed;
        int colour; // -1: a natural field
    } rows[] = {
        {200, 150, 24, 1, -1}, {151, 97, 32, 2, -1},  {320, 240, 24, 3, -1}, {1, 1, 24, 0, 0x41},
        {2, 3, 32, 0, -1},     {64, 64, 24, 0, 0x41}, {64, 64, 24, 0, 0xFF}, {33, 7, 24, 0, 0x00},
    };
    for (const auto& row : rows) {
        BitmapHandle bitmap = testing::NaturalBitmap(row.width, row.height, row.bits, row.seed);
        if (row.colour >= 0) {
            const MutablePixelView view = MutableViewOfBitmap(bitmap.get());
            for (int y = 0; y < row.height; ++y) {
                std::fill_n(view.row(y), row.width * view.bytesPerPixel, row.colour);
            }
        }
        const ScanResult result = Scan(bitmap.get(), true);
        EXPECT_EQ(result.verdict, Verdict::Nothing)
            << row.width << 'x' << row.height << ' '
            << (result.findings.empty() ? "" : result.findings[0].what);
    }
}

TEST(ScanImage, ReportsIdenticalStreamsOnce) {
    BitmapHandle bitmap = testing::NaturalBitmap(80, 60, 24, 9);
    for (const char* layout : {"b1,r,lsb,xy", "b1,g,lsb,xy", "b1,b,lsb,xy"}) {
        testing::Embed(bitmap.get(), LayoutOf(layout), BytesOf(kProse + kProse + kProse));
    }
    const ScanResult result = Scan(bitmap.get());
    const Finding* finding = FoundAt(result, "text", "b1,r,lsb,xy");
    ASSERT_NE(finding, nullptr);
    EXPECT_EQ(finding->sameAs, (std::vector<std::string>{"b1,g,lsb,xy", "b1,b,lsb,xy"}));
    EXPECT_EQ(FoundAt(result, "text", "b1,g,lsb,xy"), nullptr);
}

TEST(ToolFormats, RealToolsMessagesComeBackExactly) {
    const struct {
        const char* file;
        const char* kind;
        std::string message;
    } rows[] = {
        {"steggy.png", "steggy", "Meet at the north gate at dawn; bring the blue folder."},
        {"stegano.png", "stegano", "Stegano escapes \x02, \x17 and \x1b with depth 2."},
        {"stepic.png", "stepic", "Stepic hid this line; the ninth bit marks its end."},
        {"cover.png", nullptr, ""},
    };
    for (const auto& row : rows) {
        const std::string path = std::string(VANTREL_TEST_DATA) + "/extract/" + row.file;
        BitmapHandle bitmap(FreeImage_Load(FIF_PNG, path.c_str(), PNG_DEFAULT));
        ASSERT_TRUE(bitmap) << path;
        const ScanResult result = Scan(bitmap.get());
        if (!row.kind) {
            EXPECT_EQ(result.verdict, Verdict::Nothing) << row.file;
            continue;
        }
        ASSERT_FALSE(result.findings.empty()) << row.file;
        EXPECT_EQ(result.findings[0].kind, row.kind);
        EXPECT_EQ(result.findings[0].tier, Tier::Found);
        EXPECT_EQ(result.findings[0].payload, BytesOf(row.message)) << row.file;
    }
}

} // namespace
} // namespace vantrel::extract
