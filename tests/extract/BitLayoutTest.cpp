#include "reference/ExtractSupport.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <random>
#include <tuple>

namespace vantrel::extract {
namespace {

using testing::BytesOf;
using testing::LayoutOf;

TEST(ParseLayout, AcceptsTheWrittenFormsAndPrintsOneCanonicalText) {
    const struct {
        const char* text;
        const char* canonical; // null: refused
    } rows[] = {
        {"b1,rgb,lsb,xy", "b1,rgb,lsb,xy"},
        {"1b,bgr,msb,YX", "b1,bgr,msb,YX"},
        {"b8,rgba,lsb,Xy,prime", "b8,rgba,lsb,Xy,prime"},
        {"b00001000,g,lsb,xy", "b00001000,g,lsb,xy"},
        {"0x08,g,lsb,xy", "b00001000,g,lsb,xy"},
        {"b11,i,lsb,yX", "b00000011,i,lsb,yX"},
        {"b9,r,lsb,xy", nullptr},
        {"b0,r,lsb,xy", nullptr},
        {"b00000000,r,lsb,xy", nullptr},
        {"b12,r,lsb,xy", nullptr},
        {"b1,rx,lsb,xy", nullptr},
        {"b1,rr,lsb,xy", nullptr},
        {"b1,r,lsb,zz", nullptr},
        {"b1,r,LSB,xy", nullptr},
        {"b1,r,lsb", nullptr},
        {"b1,r,lsb,xy,odd", nullptr},
        {"b1,,lsb,xy", nullptr},
    };
    for (const auto& row : rows) {
        const LayoutParse parsed = ParseLayout(row.text);
        ASSERT_EQ(parsed.layout.has_value(), row.canonical != nullptr) << row.text;
        if (row.canonical) {
            EXPECT_EQ(ToText(*parsed.layout), row.canonical);
            EXPECT_EQ(ParseLayout(row.canonical).layout, parsed.layout) << row.text;
        } else {
            EXPECT_FALSE(parsed.error.empty()) << row.text;
        }
    }
}

// R = 10 y + x on a 3 x 2 image: the R bytes name the pixels in the order they are read.
TEST(LayoutReader, WalksTheEightOrders) {
    BitmapHandle bitmap(FreeImage_Allocate(3, 2, 24));
    const MutablePixelView view = MutableViewOfBitmap(bitmap.get());
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            view.row(y)[3 * x + kRed] = static_cast<std::uint8_t>(10 * y + x);
        }
    }
    const auto image = SampleImage::Of(bitmap.get());
    const struct {
        const char* order;
        std::vector<std::uint8_t> expected;
    } rows[] = {
        {"xy", {0, 1, 2, 10, 11, 12}}, {"Xy", {2, 1, 0, 12, 11, 10}}, {"xY", {10, 11, 12, 0, 1, 2}},
        {"XY", {12, 11, 10, 2, 1, 0}}, {"yx", {0, 10, 1, 11, 2, 12}}, {"Yx", {10, 0, 11, 1, 12, 2}},
        {"yX", {2, 12, 1, 11, 0, 10}}, {"YX", {12, 2, 11, 1, 10, 0}},
    };
    for (const auto& row : rows) {
        const std::string text = std::string("b8,r,lsb,") + row.order;
        EXPECT_EQ(ExtractBytes(*image, LayoutOf(text.c_str()), 100), row.expected) << text;
    }
    EXPECT_EQ(ExtractBytes(*image, LayoutOf("b8,r,lsb,xy,prime"), 100),
              (std::vector<std::uint8_t>{2, 10, 12}));
}

TEST(LayoutReader, PacksMasksChannelsAndBitOrderAsWritten) {
    // R LSBs 1,0,0,0,0,0,1,0; G = 0x08 where R is odd; B = 0x80 everywhere.
    BitmapHandle bitmap(FreeImage_Allocate(8, 1, 24));
    const std::uint8_t lsbs[] = {1, 0, 0, 0, 0, 0, 1, 0};
    std::uint8_t* row = MutableViewOfBitmap(bitmap.get()).row(0);
    for (int x = 0; x < 8; ++x) {
        row[3 * x + kRed] = static_cast<std::uint8_t>(0x40 | lsbs[x]);
        row[3 * x + kGreen] = static_cast<std::uint8_t>(lsbs[x] * 0x08);
        row[3 * x + kBlue] = 0x80;
    }
    const auto image = SampleImage::Of(bitmap.get());
    const struct {
        const char* layout;
        std::vector<std::uint8_t> expected;
    } rows[] = {
        {"b1,r,lsb,xy", {0x82}},
        {"b1,r,msb,xy", {0x41}},
        {"b00001000,g,lsb,xy", {0x82}},
        {"0x48,r,lsb,xy", {0xAA, 0xAA}},            // bits 6 then 3 of each R: 1,0 per pixel
        {"b2,br,lsb,xy", {0x10, 0x00, 0x00, 0x10}}, // B's 00 then R's 01/00
        {"b8,bgr,lsb,Xy", {0x80, 0x00, 0x40, 0x80, 0x08, 0x41}},
        {"b1,rgb,lsb,xy", {0x80, 0x00, 0x20}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ExtractBytes(*image, LayoutOf(row.layout), 6), row.expected) << row.layout;
    }
}

TEST(SampleImage, ReadsPaletteColoursAlphaAndIndex) {
    BitmapHandle bitmap(FreeImage_Allocate(2, 1, 8));
    RGBQUAD* palette = FreeImage_GetPalette(bitmap.get());
    palette[5] = {30, 20, 10, 0}; // blue, green, red
    BYTE transparency[6] = {255, 255, 255, 255, 255, 77};
    FreeImage_SetTransparencyTable(bitmap.get(), transparency, 6);
    FreeImage_GetScanLine(bitmap.get(), 0)[1] = 5;
    const auto image = SampleImage::Of(bitmap.get());
    ASSERT_TRUE(image);
    EXPECT_TRUE(image->channels().palette);
    EXPECT_TRUE(image->channels().alpha);
    std::uint8_t samples[5];
    image->pixel(1, 0, samples);
    EXPECT_EQ(std::vector<std::uint8_t>(samples, samples + 5),
              (std::vector<std::uint8_t>{10, 20, 30, 77, 5}));
    EXPECT_EQ(ExtractBytes(*image, LayoutOf("b8,i,lsb,xy"), 9), (std::vector<std::uint8_t>{0, 5}));

    // Packed indices: 4-bit high nibble first, 1-bit highest bit first.
    for (const auto& [bits, packed, indices] :
         {std::tuple{4, std::vector<BYTE>{0x3C, 0x70}, std::vector<std::uint8_t>{3, 12, 7}},
          std::tuple{1, std::vector<BYTE>{0xA0}, std::vector<std::uint8_t>{1, 0, 1}}}) {
        BitmapHandle packedBitmap(FreeImage_Allocate(3, 1, bits));
        FreeImage_GetPalette(packedBitmap.get())[1] = {9, 40, 90, 0}; // a colour: a palette
        std::copy(packed.begin(), packed.end(), FreeImage_GetScanLine(packedBitmap.get(), 0));
        const auto packedImage = SampleImage::Of(packedBitmap.get());
        EXPECT_EQ(ExtractBytes(*packedImage, LayoutOf("b8,i,lsb,xy"), 9), indices) << bits;
    }

    BitmapHandle grey(FreeImage_Allocate(1, 1, 8));
    for (int i = 0; i < 256; ++i) {
        FreeImage_GetPalette(grey.get())[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
    }
    FreeImage_GetScanLine(grey.get(), 0)[0] = 200;
    const auto greyImage = SampleImage::Of(grey.get());
    EXPECT_FALSE(greyImage->channels().palette);
    EXPECT_EQ(ExtractBytes(*greyImage, LayoutOf("b8,rgba,lsb,xy"), 9),
              (std::vector<std::uint8_t>{200, 200, 200, 255}));
}

TEST(LayoutReader, ReadsBackWhatTheWriterHid) {
    std::mt19937 random(7);
    std::vector<std::uint8_t> payload(200);
    for (auto& byte : payload) {
        byte = static_cast<std::uint8_t>(random());
    }
    for (const char* text : {"b1,rgb,lsb,xy", "b1,bgr,msb,yX", "b2,g,lsb,XY,prime",
                             "b00100100,rgba,msb,Yx", "b8,abgr,lsb,xY", "b3,a,lsb,YX,prime"}) {
        BitmapHandle bitmap = testing::NaturalBitmap(101, 67, 32, 3);
        const Layout layout = LayoutOf(text);
        ASSERT_TRUE(testing::Embed(bitmap.get(), layout, payload)) << text;
        const auto image = SampleImage::Of(bitmap.get());
        LayoutReader reader(*image, layout);
        std::vector<std::uint8_t> pieces = reader.read(1);
        for (const std::size_t piece : {2u, 97u, 100u}) {
            const auto more = reader.read(piece);
            pieces.insert(pieces.end(), more.begin(), more.end());
        }
        pieces.resize(payload.size());
        EXPECT_EQ(pieces, payload) << text;
    }
}

TEST(ExtractWholeStream, RowKernelMatchesTheReaderOnOddSizes) {
    for (const auto& [width, height] : {std::pair{13, 7}, {8, 8}, {1, 1}, {3, 2}, {77, 130}}) {
        BitmapHandle bitmap = testing::NaturalBitmap(width, height, 24, width);
        const auto image = SampleImage::Of(bitmap.get());
        LayoutReader reader(*image, Layout{});
        const std::vector<std::uint8_t> expected = reader.read(reader.totalBytes());
        EXPECT_EQ(expected.size(), std::size_t(width) * height * 3 / 8);
        EXPECT_EQ(ExtractWholeStream(*image, Layout{}), expected) << width << 'x' << height;
    }
}

TEST(LayoutReader, SmallImagesAndLongRequestsGiveShortStreams) {
    const struct {
        int width, height;
        const char* layout;
        std::size_t bytes;
    } rows[] = {
        {1, 1, "b1,rgb,lsb,xy", 0},       {1, 1, "b8,rgb,lsb,xy", 3},
        {1, 1, "b8,r,lsb,xy,prime", 0},   {2, 3, "b1,rgb,lsb,xy", 2},
        {2, 3, "b1,rgb,lsb,yx,prime", 1}, {2, 3, "b8,rgba,msb,YX", 24},
    };
    for (const auto& row : rows) {
        BitmapHandle bitmap(FreeImage_Allocate(row.width, row.height, 24));
        const auto image = SampleImage::Of(bitmap.get());
        LayoutReader reader(*image, LayoutOf(row.layout));
        EXPECT_EQ(reader.read(1000).size(), row.bytes) << row.layout;
        EXPECT_EQ(reader.totalBytes(), row.bytes) << row.layout;
        EXPECT_TRUE(reader.read(5).empty());
    }
}

TEST(LayoutReader, APrefixTouchesOnlyThePixelsItNeeds) {
    BitmapHandle bitmap(FreeImage_Allocate(1000, 1000, 24));
    const auto image = SampleImage::Of(bitmap.get());
    LayoutReader reader(*image, LayoutOf("b1,r,lsb,yx,prime"));
    EXPECT_EQ(reader.read(256).size(), 256u);
    EXPECT_EQ(reader.pixelsTouched(), 2048u);
    LayoutReader rgb(*image, LayoutOf("b3,rgb,lsb,xy"));
    rgb.read(9); // 72 bits: 8 pixels of 9 bits
    EXPECT_EQ(rgb.pixelsTouched(), 8u);
}

TEST(WalkLayouts, NestsOrderPrimeBitsChannelsPacking) {
    EXPECT_EQ(WalkLayouts({}, true, false).size(), 640u);
    EXPECT_EQ(WalkLayouts({}, true, true).size(), 1280u);
    EXPECT_EQ(WalkLayouts({}, false, true).size(), 40u);
    EXPECT_EQ(WalkLayouts({true, true}, true, false).size(), 8u * 8 * 9 * 2);
    const auto walk = WalkLayouts({true, false}, true, true);
    const char* expected[] = {"b1,r,lsb,xy", "b1,r,msb,xy", "b1,g,lsb,xy"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ToText(walk[i]), expected[i]);
    }
    EXPECT_EQ(ToText(walk[15]), "b1,abgr,msb,xy");
    EXPECT_EQ(ToText(walk[16]), "b2,r,lsb,xy");
    EXPECT_EQ(ToText(walk[8 * 16]), "b1,r,lsb,xy,prime");
    EXPECT_EQ(ToText(walk[8 * 16 * 2]), "b1,r,lsb,Xy");
}

} // namespace
} // namespace vantrel::extract
