#include "SearchFixtures.h"

#include "image/ImageLoading.h"
#include "search/ImageHeaders.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace vantrel {
namespace {

using testing::MakePaletteBitmap;
using testing::Rgb;
using testing::SaveImage;
using testing::TempTree;

std::string Bytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

class GifHeader : public ::testing::Test {
protected:
    void SetUp() override {
        const std::vector<Rgb> palette{{0, 0, 0}, {255, 255, 255}, {200, 10, 10}};
        SaveImage(MakePaletteBitmap(5, 3, palette, std::vector<std::uint8_t>(15, 2)).get(),
                  tree.path("frame.gif"));
        bytes = Bytes(tree.path("frame.gif"));
    }

    TempTree tree;
    std::string bytes;
};

TEST_F(GifHeader, GivesTheSizeTheDecoderGives) {
    EXPECT_EQ(GifImageSize(tree.path("frame.gif")), (Size{5, 3}));
    // A logical screen larger than the first image: the decoder, and the header, tell the image.
    std::string larger = bytes;
    larger[6] = 40;
    larger[8] = 30;
    tree.write("screen.gif", larger);
    const BitmapHandle decoded = LoadImageFile(tree.path("screen.gif"));
    ASSERT_TRUE(decoded);
    const Size size{BitmapWidth(decoded.get()), BitmapHeight(decoded.get())};
    EXPECT_EQ(GifImageSize(tree.path("screen.gif")), size);
}

TEST_F(GifHeader, SkipsExtensionsBeforeTheImage) {
    // A comment extension of two sub-blocks right after the colour table.
    const auto packed = static_cast<std::uint8_t>(bytes[10]);
    const std::size_t tableEnd = 13 + ((packed & 0x80) ? 3 * (std::size_t{2} << (packed & 7)) : 0);
    std::string commented = bytes;
    commented.insert(tableEnd, std::string("\x21\xFE\x03"
                                           "abc"
                                           "\x02"
                                           "de"
                                           "\x00",
                                           10));
    tree.write("commented.gif", commented);
    EXPECT_EQ(GifImageSize(tree.path("commented.gif")), (Size{5, 3}));
    ASSERT_TRUE(LoadImageFile(tree.path("commented.gif")));
}

TEST_F(GifHeader, NothingForFilesThatAreNoGif) {
    tree.write("short.gif", bytes.substr(0, 20));
    tree.write("text.gif", "GIF? no, just text");
    EXPECT_EQ(GifImageSize(tree.path("short.gif")), std::nullopt);
    EXPECT_EQ(GifImageSize(tree.path("text.gif")), std::nullopt);
    EXPECT_EQ(GifImageSize(tree.path("missing.gif")), std::nullopt);
}

std::string Data(const std::string& name) {
    return std::string(VANTREL_TEST_DATA) + "/" + name;
}

TEST(Jpeg2000Header, GivesTheSizeTheDecoderGives) {
    for (const char* name : {"pattern.jp2", "pattern.j2k"}) {
        const BitmapHandle decoded = LoadImageFile(Data(name));
        ASSERT_TRUE(decoded) << name;
        const Size size{BitmapWidth(decoded.get()), BitmapHeight(decoded.get())};
        EXPECT_EQ(Jpeg2000ImageSize(Data(name)), size) << name;
        EXPECT_EQ(HeaderImageSize(Data(name)), size) << name;
    }
}

TEST(Jpeg2000Header, FollowsLongBoxesAndRefusesWhatItCannotRead) {
    TempTree tree;
    const std::string jp2 = Bytes(Data("pattern.jp2"));
    // The file type box (at 12) rewritten with a 64-bit length: 1, the type, then 8 + 20 bytes.
    std::string extended = jp2.substr(0, 12);
    extended += std::string("\0\0\0\x01", 4) + "ftyp" + std::string(7, '\0') + "\x1C";
    extended += jp2.substr(20);
    tree.write("extended.jp2", extended);
    EXPECT_EQ(Jpeg2000ImageSize(tree.path("extended.jp2")), (Size{4, 3}));

    tree.write("cut.jp2", jp2.substr(0, 90));
    tree.write("cut.j2k", Bytes(Data("pattern.j2k")).substr(0, 30));
    tree.write("other.jp2", Bytes(Data("pattern.png")));
    for (const char* name : {"cut.jp2", "cut.j2k", "other.jp2", "missing.j2k"}) {
        EXPECT_EQ(Jpeg2000ImageSize(tree.path(name)), std::nullopt) << name;
    }
    EXPECT_EQ(HeaderImageSize(Data("pattern.png")), std::nullopt);
}

} // namespace
} // namespace vantrel
