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

} // namespace
} // namespace vantrel
