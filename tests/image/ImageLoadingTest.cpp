#include "openimage/OpenImage.h"

#include "TestData.h"
#include <FreeImage.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace vantrel {
namespace {

using testing::Data;

// The colours of tests/data/pattern.*, top row first, as red, green, blue.
constexpr int kPattern[3][4][3] = {
    {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}},
    {{0, 0, 0}, {128, 64, 32}, {1, 2, 3}, {254, 253, 252}},
    {{17, 34, 51}, {200, 100, 50}, {7, 7, 7}, {129, 0, 255}},
};

struct ThumbCase {
    int width, height, longSide, thumbWidth, thumbHeight;
};

class FitLongSideSizes : public ::testing::TestWithParam<ThumbCase> {};

TEST_P(FitLongSideSizes, RoundHalvesToEven) {
    const ThumbCase& c = GetParam();
    EXPECT_EQ(FitLongSideSize(c.width, c.height, c.longSide), (Size{c.thumbWidth, c.thumbHeight}))
        << c.width << " x " << c.height;
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, FitLongSideSizes,
    ::testing::Values(ThumbCase{640, 480, 300, 300, 225}, ThumbCase{480, 640, 300, 225, 300},
                      ThumbCase{500, 500, 300, 300, 300}, ThumbCase{1000, 3, 300, 300, 1},
                      ThumbCase{1, 1000, 300, 0, 300}, ThumbCase{120, 1, 300, 300, 2},
                      ThumbCase{200, 1, 300, 300, 2}, ThumbCase{640, 480, 100, 100, 75}));

TEST(FitLongSide, MakesANewBitmapOrNull) {
    BitmapHandle wide = AllocateZeroedBitmap(640, 480, 32);
    BitmapHandle thumb = FitLongSide(wide.get(), 300);
    ASSERT_TRUE(thumb);
    EXPECT_NE(thumb.get(), wide.get());
    EXPECT_EQ(BitmapWidth(thumb.get()), 300);
    EXPECT_EQ(BitmapHeight(thumb.get()), 225);

    BitmapHandle tall = AllocateZeroedBitmap(1, 1000, 32);
    EXPECT_FALSE(FitLongSide(tall.get(), 300)); // 0.3 rounds to 0: refused
    EXPECT_FALSE(FitLongSide(nullptr, 300));
}

void ExpectPattern(const FIBITMAP* bitmap, int tolerance, const std::string& what) {
    ASSERT_NE(bitmap, nullptr) << what;
    ASSERT_EQ(BitmapWidth(bitmap), 4) << what;
    ASSERT_EQ(BitmapHeight(bitmap), 3) << what;
    const PixelView view = ViewOfBitmap(bitmap);
    ASSERT_FALSE(view.empty()) << what << " is not a standard 24/32-bit bitmap";
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            const std::uint8_t* pixel = view.row(y) + x * view.bytesPerPixel;
            EXPECT_NEAR(pixel[kRed], kPattern[y][x][0], tolerance) << what << " " << x << "," << y;
            EXPECT_NEAR(pixel[kGreen], kPattern[y][x][1], tolerance)
                << what << " " << x << "," << y;
            EXPECT_NEAR(pixel[kBlue], kPattern[y][x][2], tolerance) << what << " " << x << "," << y;
        }
    }
}

class RealFiles : public ::testing::TestWithParam<const char*> {};

TEST_P(RealFiles, DecodeToTheExactPattern) {
    const Result<BitmapHandle> bitmap = LoadImageFile(Data(GetParam()));
    ASSERT_TRUE(bitmap) << bitmap.error();
    ExpectPattern(bitmap->get(), 0, GetParam());
}

// Lossless files of every format this FreeImage reads (the GIF through its palette), and names
// the extension table does not know or gets wrong, decoded by their content.
INSTANTIATE_TEST_SUITE_P(Formats, RealFiles,
                         ::testing::Values("pattern.png", "pattern24.png", "pattern.bmp",
                                           "pattern.tif", "pattern.gif", "pattern.psd",
                                           "pattern.webp", "pattern.jp2", "photo.Png",
                                           "png-with-jpeg-extension.jpg", "scan.TIFF"));

TEST(LoadImageFile, LossyFilesComeClose) {
    ExpectPattern(testing::Loaded(Data("pattern.jpg")).get(), 40, "jpg");
    ExpectPattern(testing::Loaded(Data("pattern.j2k")).get(), 40, "j2k");
}

TEST(LoadImageFile, KeepsTheCommentThroughConversion) {
    const BitmapHandle bitmap = testing::Loaded(Data("commented.png"));
    ASSERT_TRUE(bitmap);
    FITAG* tag = nullptr;
    // ImageMagick writes the comment under the lowercase key.
    ASSERT_TRUE(FreeImage_GetMetadata(FIMD_COMMENTS, bitmap.get(), "comment", &tag));
    EXPECT_STREQ(static_cast<const char*>(FreeImage_GetTagValue(tag)), "hidden note");
}

class BadFiles : public ::testing::TestWithParam<const char*> {};

TEST_P(BadFiles, LoadAsNothingWithAReason) {
    const Result<BitmapHandle> bitmap = LoadImageFile(Data(GetParam()));
    EXPECT_FALSE(bitmap);
    EXPECT_NE(bitmap.error().find(GetParam()), std::string::npos) << bitmap.error();
}

INSTANTIATE_TEST_SUITE_P(Files, BadFiles,
                         ::testing::Values("empty.png", "truncated.png", "text.png",
                                           "huge-header.png", "does-not-exist.png"));

TEST(LoadImageFile, LongPathsLoadLikeAnyOther) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / "vantrel-long-path";
    for (int i = 0; i < 6; ++i) {
        dir /= std::string(50, static_cast<char>('a' + i));
    }
    fs::create_directories(dir);
    const fs::path target = dir / "pattern.png";
    fs::copy_file(Data("pattern.png"), target, fs::copy_options::overwrite_existing);
    ASSERT_GT(target.string().size(), 300u);
    ExpectPattern(testing::Loaded(target.string()).get(), 0, "long path");
    fs::remove_all(fs::temp_directory_path() / "vantrel-long-path");
}

TEST(CopyBitmapToBgrx, WritesTopRowFirstWithOpaqueAlpha) {
    const BitmapHandle bitmap = testing::Loaded(Data("pattern24.png"));
    ASSERT_TRUE(bitmap);
    std::uint8_t rows[3][16] = {};
    ASSERT_TRUE(CopyBitmapToBgrx(bitmap.get(), &rows[0][0], 16));
    EXPECT_EQ(rows[0][2], 255);         // red of the top-left pixel
    EXPECT_EQ(rows[2][3 * 4 + 0], 255); // blue of the bottom-right pixel
    EXPECT_EQ(rows[2][3 * 4 + 2], 129);
    EXPECT_EQ(rows[1][7], 0xFF);
    EXPECT_FALSE(CopyBitmapToBgrx(nullptr, &rows[0][0], 16));
}

} // namespace
} // namespace vantrel
