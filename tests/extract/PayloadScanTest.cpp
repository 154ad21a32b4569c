#include "extract/PayloadScan.h"
#include "extract/ExtractSupport.h"

#include <FreeImage.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

namespace vantrel::extract {
namespace {

using testing::BytesOf;
using testing::LayoutOf;
using Bytes = std::vector<std::uint8_t>;

const std::string kProse = "The committee will meet again on Thursday, after the harvest fair, "
                           "to settle the question of the north bridge.";

Bytes Png() {
    BitmapHandle bitmap = testing::NaturalBitmap(9, 7, 24, 1);
    FIMEMORY* memory = FreeImage_OpenMemory();
    FreeImage_SaveToMemory(FIF_PNG, bitmap.get(), memory);
    BYTE* data = nullptr;
    DWORD size = 0;
    FreeImage_AcquireMemory(memory, &data, &size);
    Bytes png(data, data + size);
    FreeImage_CloseMemory(memory);
    return png;
}

Bytes Deflated(const Bytes& input, int windowBits) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    Bytes out(input.size() + 64);
    z.next_in = const_cast<Bytef*>(input.data());
    z.avail_in = static_cast<uInt>(input.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

void Put(Bytes& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(i < 4 ? static_cast<std::uint8_t>(value >> (8 * i)) : 0);
    }
}

// One deflated member, its central directory entry and the end record.
Bytes Zip() {
    const Bytes content = BytesOf(kProse + kProse);
    const Bytes packed = Deflated(content, -15);
    const auto crc = static_cast<std::uint32_t>(crc32(0, content.data(), content.size()));
    Bytes zip;
    auto header = [&](std::uint32_t signature, bool central) {
        Put(zip, signature, 4);
        Put(zip, 20, central ? 4 : 2); // versions
        Put(zip, 0, 2);
        Put(zip, 8, 2);
        Put(zip, 0, 4);
        Put(zip, crc, 4);
        Put(zip, static_cast<std::uint32_t>(packed.size()), 4);
        Put(zip, static_cast<std::uint32_t>(content.size()), 4);
        Put(zip, 5, 2);
        Put(zip, 0, central ? 16 : 2);
        zip.insert(zip.end(), {'n', 'o', 't', 'e', 's'});
    };
    header(0x04034b50, false);
    zip.insert(zip.end(), packed.begin(), packed.end());
    const auto directory = static_cast<std::uint32_t>(zip.size());
    header(0x02014b50, true);
    const auto directorySize = static_cast<std::uint32_t>(zip.size()) - directory;
    Put(zip, 0x06054b50, 4);
    Put(zip, 0, 4);
    Put(zip, 0x00010001, 4);
    Put(zip, directorySize, 4);
    Put(zip, directory, 4);
    Put(zip, 0, 2);
    return zip;
}

Bytes LengthPrefixed() {
    std::mt19937 random(11);
    Bytes bytes = {0, 0, 0x01, 0x00};
    for (int i = 0; i < 256; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(random()));
    }
    return bytes;
}

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
        {"length-prefixed", LengthPrefixed(), "b1,bgr,lsb,xY"},
    };
    int recovered = 0;
    for (const auto& row : rows) {
        BitmapHandle bitmap = testing::NaturalBitmap(120, 90, 24, 21);
        ASSERT_TRUE(testing::Embed(bitmap.get(), LayoutOf(row.layout), row.payload));
        const ScanResult result = Scan(bitmap.get(), true);
        const Finding* finding = FoundAt(result, row.kind, row.layout);
        ASSERT_NE(finding, nullptr) << row.kind;
        // Text has no end mark: a few noise bytes that happen to be printable may follow it.
        Bytes carved = finding->payload;
        if (row.kind == std::string("text") && carved.size() <= row.payload.size() + 8) {
            carved.resize(row.payload.size());
        }
        EXPECT_EQ(carved, row.payload) << row.kind;
        EXPECT_EQ(result.findings.front().kind, row.kind) << "ranked first";
        recovered += carved == row.payload;
    }
    EXPECT_EQ(recovered, 6);
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
