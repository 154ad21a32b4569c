// The coefficient reader against an independent reader (f5stegojs's stegodctdump) and
// ImageMagick's quality estimate, and on files that must fail cleanly.
#include "JpegTestSupport.h"

#include "jpeg/CoefficientsWire.h"
#include "jpeg/JpegQuality.h"
#include "jpeg/JpegScanOrder.h"
#include "jpeg/ReadCoefficients.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using test::JpegFixture;
using test::ReadBytes;

fs::path ScratchFolder() {
    fs::path folder =
        fs::temp_directory_path() / ("vantrel-jpeg-" + std::to_string(std::random_device{}()));
    fs::create_directories(folder);
    return folder;
}

std::string Shell(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
            output += buffer;
        }
        pclose(pipe);
    }
    return output;
}

bool Have(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

class EveryFixture : public testing::TestWithParam<const char*> {};

// stegodctdump writes each component as its MCU-padded block grid, blocks in zigzag order.
TEST_P(EveryFixture, CoefficientsMatchStegodctdump) {
    if (!Have("stegodctdump")) {
        GTEST_SKIP() << "npm f5stegojs is not installed";
    }
    const fs::path folder = ScratchFolder();
    const fs::path copy = folder / "file.jpg";
    fs::copy_file(JpegFixture(GetParam()), copy);
    Shell("stegodctdump " + copy.string() + " 2>&1");
    const JpegCoefficients jpeg = test::ReadJpegOrFail(copy.string());
    ASSERT_FALSE(jpeg.components.empty());
    const bool single = jpeg.components.size() == 1;
    for (const JpegComponent& c : jpeg.components) {
        const std::vector<std::uint8_t> dump =
            ReadBytes(copy.string() + ".DCT_" + std::to_string(c.id));
        const int mcuColumns = (jpeg.width + 8 * jpeg.maxHSampling - 1) / (8 * jpeg.maxHSampling);
        const int perLine = single ? c.widthInBlocks : mcuColumns * c.hSampling;
        ASSERT_GE(dump.size(), static_cast<std::size_t>(perLine) * c.heightInBlocks * 128);
        int mismatches = 0;
        for (int row = 0; row < c.heightInBlocks; ++row) {
            for (int column = 0; column < c.widthInBlocks; ++column) {
                const auto block = c.block(row, column);
                for (int z = 0; z < 64; ++z) {
                    const std::size_t at =
                        (static_cast<std::size_t>(row * perLine + column) * 64 + z) * 2;
                    const auto theirs = static_cast<std::int16_t>(dump[at] | (dump[at + 1] << 8));
                    mismatches += theirs != block[kZigzagToNatural[z]];
                }
            }
        }
        EXPECT_EQ(mismatches, 0) << "component " << c.id;
    }
    fs::remove_all(folder);
}

TEST_P(EveryFixture, QualityAgreesWithImageMagick) {
    if (!Have("identify")) {
        GTEST_SKIP() << "ImageMagick is not installed";
    }
    const std::string path = JpegFixture(GetParam());
    const int theirs = std::stoi(Shell("identify -format %Q " + path));
    const JpegQuality ours = EstimateQuality(test::ReadJpegOrFail(path));
    EXPECT_EQ(ours.quality, theirs);
    EXPECT_TRUE(ours.exact);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, EveryFixture,
                         testing::Values("chelsea-q75.jpg", "chelsea-q85.jpg", "chelsea-q95.jpg",
                                         "chelsea-q85-444.jpg", "chelsea-q85-progressive.jpg",
                                         "chelsea-grey-q85.jpg", "chelsea-double-80-95.jpg",
                                         "chelsea-f5.jpg", "chelsea-outguess.jpg"));

// cjpeg -baseline over the whole range, the clamp included. Without -baseline cjpeg writes 16-bit
// tables below quality 25, where identify's guess goes wrong (92 for 5): those are checked
// against cjpeg's setting alone.
TEST(JpegQuality, AgreesWithImageMagickAcrossTheRange) {
    if (!Have("identify") || !Have("cjpeg") || !Have("djpeg")) {
        GTEST_SKIP() << "cjpeg, djpeg or identify missing";
    }
    const fs::path folder = ScratchFolder();
    const std::string pixels = (folder / "p.ppm").string();
    Shell("djpeg " + JpegFixture("chelsea-q85.jpg") + " > " + pixels);
    for (const int q : {1, 5, 10, 25, 49, 50, 51, 60, 75, 90, 97, 100}) {
        // Built by appends: GCC 12's optimiser misreads "q" + std::string as an overlapping copy.
        std::string name = std::to_string(q);
        name.insert(0, 1, 'q');
        name += ".jpg";
        const std::string file = (folder / name).string();
        Shell("cjpeg -baseline -quality " + std::to_string(q) + " " + pixels + " > " + file);
        const int theirs = std::stoi(Shell("identify -format %Q " + file));
        const JpegQuality ours = EstimateQuality(test::ReadJpegOrFail(file));
        EXPECT_EQ(ours.quality, theirs) << "cjpeg -quality " << q;
        EXPECT_EQ(ours.quality, q);
        EXPECT_TRUE(ours.exact);
        Shell("cjpeg -quality " + std::to_string(q) + " " + pixels + " > " + file);
        const JpegQuality wide = EstimateQuality(test::ReadJpegOrFail(file));
        EXPECT_EQ(wide.quality, q);
        EXPECT_TRUE(wide.exact);
    }
    fs::remove_all(folder);
}

TEST(JpegQuality, OtherTablesAreApproximate) {
    JpegCoefficients jpeg = test::ReadJpegOrFail(JpegFixture("chelsea-q85.jpg"));
    jpeg.quantTables[0][0] += 3; // one step off the scaled table
    const JpegQuality quality = EstimateQuality(jpeg);
    EXPECT_FALSE(quality.exact);
    EXPECT_EQ(quality.quality, 85);
    EXPECT_EQ(quality.difference, 3u);
}

struct BadFile {
    const char* name;
    const char* message; // a part of the expected one-line failure
};

class BadFiles : public testing::TestWithParam<BadFile> {};

TEST_P(BadFiles, FailOnOneLine) {
    const std::string path = GetParam().name[0] == '/'
                                 ? GetParam().name
                                 : std::string(VANTREL_TEST_DATA) + "/" + GetParam().name;
    const Result<JpegCoefficients> jpeg = ReadJpegCoefficients(ReadBytes(path));
    ASSERT_FALSE(jpeg.ok());
    EXPECT_NE(jpeg.error().find(GetParam().message), std::string::npos) << jpeg.error();
    EXPECT_EQ(jpeg.error().find('\n'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Files, BadFiles,
                         testing::Values(BadFile{"jpeg/truncated.jpg", "truncated JPEG data"},
                                         BadFile{"jpeg/corrupt.jpg", "JPEG"},
                                         BadFile{"png-with-jpeg-extension.jpg", "Not a JPEG"},
                                         BadFile{"empty.png", "JPEG"}));

TEST(JpegReader, RefusesFramesOverTheLimitsBeforeReading) {
    const std::vector<std::uint8_t> bytes = ReadBytes(JpegFixture("chelsea-q85.jpg"));
    JpegReadLimits pixels;
    pixels.maxPixels = 320 * 240 - 1;
    EXPECT_NE(ReadJpegCoefficients(bytes, pixels).error().find("pixel limit"), std::string::npos);
    // 4:2:0 at 320 x 240: 40 x 30 luminance blocks and 20 x 15 of each chroma, 128 bytes a block.
    JpegReadLimits arrays;
    arrays.maxCoefficientBytes = (40 * 30 + 2 * 20 * 15) * 128 - 1;
    EXPECT_NE(ReadJpegCoefficients(bytes, arrays).error().find("coefficient arrays"),
              std::string::npos);
    arrays.maxCoefficientBytes += 1;
    EXPECT_TRUE(ReadJpegCoefficients(bytes, arrays).ok());
}

TEST(JpegReader, ScanCapStopsManyScanProgressiveFiles) {
    JpegReadLimits limits;
    limits.maxScans = 3; // cjpeg's progressive script has 10
    const Result<JpegCoefficients> jpeg =
        ReadJpegCoefficients(ReadBytes(JpegFixture("chelsea-q85-progressive.jpg")), limits);
    EXPECT_NE(jpeg.error().find("more than 3 scans"), std::string::npos) << jpeg.error();
}

TEST(JpegReader, EveryPrefixAndDamagedCopyEndsCleanly) {
    for (const char* name : {"chelsea-q75.jpg", "chelsea-q85-progressive.jpg"}) {
        const std::vector<std::uint8_t> bytes = ReadBytes(JpegFixture(name));
        for (std::size_t length = 0; length < bytes.size(); length += 97) {
            const std::vector<std::uint8_t> prefix(bytes.begin(), bytes.begin() + length);
            EXPECT_FALSE(ReadJpegCoefficients(prefix).ok()) << name << " cut at " << length;
        }
        std::mt19937 random(7);
        for (int copy = 0; copy < 200; ++copy) {
            std::vector<std::uint8_t> damaged = bytes;
            for (int flip = 0; flip < 4; ++flip) {
                damaged[random() % damaged.size()] ^= static_cast<std::uint8_t>(1 + random() % 255);
            }
            const Result<JpegCoefficients> jpeg = ReadJpegCoefficients(damaged);
            if (jpeg) {
                EXPECT_EQ(jpeg->components.size(), 3u);
            }
        }
    }
}

TEST(JpegReader, LayoutOfTheFrame) {
    const JpegCoefficients colour = test::ReadJpegOrFail(JpegFixture("chelsea-q85.jpg"));
    ASSERT_EQ(colour.components.size(), 3u);
    EXPECT_EQ(colour.components[0].widthInBlocks, 40);
    EXPECT_EQ(colour.components[1].width, 160);
    EXPECT_EQ(colour.components[1].heightInBlocks, 15);
    EXPECT_EQ(colour.maxHSampling, 2);
    EXPECT_TRUE(test::ReadJpegOrFail(JpegFixture("chelsea-q85-progressive.jpg")).progressive);
    EXPECT_EQ(test::ReadJpegOrFail(JpegFixture("chelsea-grey-q85.jpg")).components.size(), 1u);
}

// The fixture is chelsea-q85.jpg with two COM segments added, then chelsea-q95.jpg appended
// whole: the trailer is exactly that second file, and the first EOI must end the image.
TEST(JpegReader, CommentsAndTrailerMatchTheFileLayout) {
    const JpegCoefficients jpeg = test::ReadJpegOrFail(JpegFixture("chelsea-comments-trailer.jpg"));
    const std::uintmax_t appended = fs::file_size(JpegFixture("chelsea-q95.jpg"));
    EXPECT_EQ(jpeg.trailerLength, appended);
    EXPECT_EQ(jpeg.trailerOffset,
              fs::file_size(JpegFixture("chelsea-comments-trailer.jpg")) - appended);
    EXPECT_EQ(jpeg.comments, (std::vector<std::string>{"first note", "caf\xe9"}));
    const JpegCoefficients plain = test::ReadJpegOrFail(JpegFixture("chelsea-q85.jpg"));
    EXPECT_EQ(plain.trailerLength, 0u);
    EXPECT_EQ(plain.trailerOffset, fs::file_size(JpegFixture("chelsea-q85.jpg")));
    EXPECT_TRUE(plain.comments.empty());
}

// The wire ends with the trailer's offset and length; replies placing it impossibly are refused.
TEST(JpegWire, TrailerIsCheckedOnArrival) {
    const JpegCoefficients jpeg = test::ReadJpegOrFail(JpegFixture("chelsea-comments-trailer.jpg"));
    const std::vector<std::uint8_t> good = EncodeJpegCoefficients(jpeg);
    // The file-inputs message is sized by it and refuses a part that breaks its size.
    EXPECT_EQ(EncodedJpegCoefficientsSize(jpeg), good.size());
    const Result<JpegCoefficients> back = DecodeJpegCoefficients(good);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->comments, jpeg.comments);
    EXPECT_EQ(back->trailerOffset, jpeg.trailerOffset);
    EXPECT_EQ(back->trailerLength, jpeg.trailerLength);
    const struct {
        std::uint64_t offset, length;
        bool accepted;
    } cases[] = {{17107, 0, true},
                 {3, 0, false},
                 {17107, ~std::uint64_t{0}, false},
                 {std::uint64_t{1} << 41, 0, false}};
    for (const auto& c : cases) {
        std::vector<std::uint8_t> reply = good;
        std::memcpy(reply.data() + reply.size() - 16, &c.offset, 8);
        std::memcpy(reply.data() + reply.size() - 8, &c.length, 8);
        EXPECT_EQ(static_cast<bool>(DecodeJpegCoefficients(reply)), c.accepted) << c.offset;
    }
}

} // namespace
} // namespace vantrel
