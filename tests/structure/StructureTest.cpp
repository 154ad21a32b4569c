// The structure walk on planted cases (made by real tools, see tools/make_structure_fixtures.sh)
// and on clean files, a cut IHDR solved from its CRC, truncations at every part boundary, a
// zlib bomb and a directory loop.
#include "structure/FileStructure.h"
#include "structure/JpegEnd.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace vantrel::structure {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadFile(const std::string& name) {
    std::ifstream in(std::string(VANTREL_TEST_DATA) + "/" + name, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), {});
}

std::string Sha256(std::span<const std::uint8_t> bytes) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int size = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest.data(), &size, EVP_sha256(), nullptr);
    std::string hex;
    for (unsigned int i = 0; i < size; ++i) {
        static constexpr char kHex[] = "0123456789abcdef";
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}

std::vector<std::string> Kinds(const FileStructure& s) {
    std::vector<std::string> kinds;
    for (const Anomaly& a : s.anomalies) {
        kinds.push_back(AnomalyText(a.kind));
    }
    std::sort(kinds.begin(), kinds.end());
    return kinds;
}

struct Row {
    const char* file;
    const char* format;
    std::vector<std::string> anomalies; // sorted
    const char* carves = nullptr;       // a carved item is this file, byte for byte
    const char* text = nullptr;         // a value the texts must hold
    const char* part = nullptr;         // a part of the tree is named so
};

constexpr const char* kSecret = "structure/secret.zip";

// Each planted file holds what its line in the fixture script put there; clean files hold
// nothing, whatever their metadata.
const Row kRows[] = {
    {"structure/appended-zip.png", "png", {"data-after-end"}, kSecret},
    {"structure/zip-a.png", "png", {"data-after-end"}},
    {"structure/private-chunk.png", "png", {"unknown-chunk"}, kSecret},
    {"structure/idat-trailer.png", "png", {"idat-trailer"}, kSecret},
    {"structure/cut-recomputed.png", "png", {"idat-excess"}},
    {"structure/cut-stale.png", "png", {"crc-mismatch", "idat-excess"}},
    {"structure/palette-text.png", "png", {"palette-unused"}, "structure/palette-text.unused"},
    {"structure/comment.png", "png", {}, nullptr, "the key is under the mat"},
    {"structure/clean-im.png", "png", {}, nullptr, "a plain comment"},
    {"structure/clean-palette.png", "png", {}},
    {"structure/clean-interlaced.png", "png", {}},
    {"pattern.png", "png", {}},
    {"pattern24.png", "png", {}},
    {"commented.png", "png", {}},
    {"structure/appended-zip.jpg", "jpeg", {"data-after-end"}, kSecret},
    {"structure/appended-text.jpg", "jpeg", {"data-after-end"}},
    {"structure/appended-zip-mpf.jpg", "jpeg", {"data-after-end"}, kSecret},
    {"structure/app15-zip.jpg", "jpeg", {"unknown-chunk"}, kSecret},
    {"structure/comment-zip.jpg", "jpeg", {"embedded-file"}, kSecret},
    {"structure/bad-exif.jpg", "jpeg", {"bad-metadata"}},
    {"structure/comment.jpg", "jpeg", {}, nullptr, "the key is under the mat"},
    {"structure/exif-comment.jpg", "jpeg", {}, nullptr, "bring the folder"},
    {"structure/clean-camera.jpg", "jpeg", {}, nullptr, "harbour at dusk"},
    {"structure/clean-letterbox.jpg", "jpeg", {}},
    {"structure/clean-icc.jpg", "jpeg", {}},
    {"structure/clean-cmyk.jpg", "jpeg", {}},
    {"structure/clean-mpf.jpg", "jpeg", {}},
    {"pattern.jpg", "jpeg", {}},
    {"structure/zero-padded.jpg", "jpeg", {}, nullptr, nullptr, "padding 0x00"},
    {"structure/ff-padded.png", "png", {}, nullptr, nullptr, "padding 0xFF"},
    {"structure/padded-zip.jpg", "jpeg", {"data-after-end"}, kSecret},
    {"structure/thumbnail-replaced.jpg",
     "jpeg",
     {"thumbnail-mismatch"},
     "structure/thumbnail-replaced.thumb"},
    {"structure/maker-NikonD70.jpg", "jpeg", {}, nullptr, nullptr, "EXIF Nikon IFD"},
    {"structure/maker-Canon.jpg", "jpeg", {}, nullptr, nullptr, "EXIF maker IFD"},
    {"structure/maker-FujiFilm.jpg", "jpeg", {}, nullptr, nullptr, "EXIF Fujifilm IFD"},
    {"structure/maker-Olympus2.jpg", "jpeg", {}, nullptr, nullptr, "EXIF Olympus IFD"},
    {"structure/maker-Sony.jpg", "jpeg", {}, nullptr, nullptr, "EXIF SONY IFD"},
    {"structure/maker-Panasonic.jpg", "jpeg", {}, nullptr, nullptr, "EXIF Panasonic IFD"},
    {"structure/maker-GPS.jpg", "jpeg", {}, nullptr, "54.989667, -1.914167"},
    {"structure/appended-zip.gif", "gif", {"data-after-end"}, kSecret},
    {"structure/app-text.gif", "gif", {"unknown-chunk"}, nullptr, "the north gate"},
    {"structure/hidden-frame.gif", "gif", {"hidden-frame"}},
    {"structure/app-extension.gif", "gif", {"unknown-chunk"}, kSecret},
    {"structure/comment.gif", "gif", {}, nullptr, "the key is under the mat"},
    {"structure/clean-padded.gif", "gif", {}},
    {"structure/clean-anim.gif", "gif", {}},
    {"pattern.gif", "gif", {}},
    {"structure/appended-zip.bmp", "bmp", {"data-after-end"}, kSecret},
    {"structure/gap.bmp", "bmp", {"gap"}, kSecret},
    {"structure/clean.bmp", "bmp", {}},
    {"structure/clean-palette.bmp", "bmp", {}},
    {"pattern.bmp", "bmp", {}},
    {"pattern-v4.bmp", "bmp", {}},
    {"pattern-v5.bmp", "bmp", {}},
    {"pattern-rle8.bmp", "bmp", {}},
    {"structure/appended-zip.webp", "webp", {"data-after-end"}, kSecret},
    {"structure/private-chunk.webp", "webp", {"unknown-chunk"}, kSecret},
    {"structure/clean-meta.webp", "webp", {}, nullptr, "harbour at dusk"},
    {"pattern.webp", "webp", {}},
    {"structure/appended-zip.tif", "tiff", {"data-after-end"}, kSecret},
    {"structure/ifd-loop.tif", "tiff", {"bad-metadata"}},
    {"structure/clean-multipage.tif", "tiff", {}},
    {"structure/clean-orphan-ifd.tif", "tiff", {}},
    {"pattern.tif", "tiff", {}},
    {"structure/appended-zip.ppm", "pnm", {"data-after-end"}, kSecret},
    {"structure/clean-ascii.ppm", "pnm", {}},
    {"structure/clean-binary.ppm", "pnm", {}, nullptr, "made by a scanner"},
    {"structure/appended-zip.psd", "psd", {"data-after-end"}, kSecret},
    {"structure/clean-photomechanic.psd", "psd", {}, nullptr, "harbour"},
    {"pattern.psd", "psd", {}},
    {"structure/appended-zip.jp2", "jp2", {"data-after-end"}, kSecret},
    {"pattern.jp2", "jp2", {}},
    {"pattern.j2k", "j2k", {}},
    {"pattern.jxr", "unknown", {}},
};

bool HasPart(const std::vector<Part>& parts, std::string_view name) {
    return std::any_of(parts.begin(), parts.end(), [&](const Part& p) {
        return p.name.find(name) != std::string::npos || HasPart(p.children, name);
    });
}

TEST(StructureWalk, PlantedAndCleanFiles) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.file);
        const Bytes file = ReadFile(row.file);
        ASSERT_FALSE(file.empty());
        const auto walked = WalkStructure(file);
        ASSERT_TRUE(walked.ok()) << walked.error();
        EXPECT_EQ(walked->format, row.format);
        EXPECT_EQ(Kinds(*walked), row.anomalies);
        if (row.carves) {
            const Bytes expected = ReadFile(row.carves);
            ASSERT_FALSE(expected.empty());
            const auto carved =
                std::find_if(walked->carved.begin(), walked->carved.end(),
                             [&](const Carved& c) { return c.sha256 == Sha256(expected); });
            ASSERT_NE(carved, walked->carved.end());
            EXPECT_EQ(carved->type == "zip", row.carves == std::string(kSecret));
            // The digest is of the bytes the extent or the joined bytes name: check them too.
            const Bytes bytes = carved->bytes.empty()
                                    ? Bytes(file.begin() + carved->offset,
                                            file.begin() + carved->offset + carved->length)
                                    : carved->bytes;
            EXPECT_EQ(bytes, expected);
        }
        if (row.text) {
            EXPECT_TRUE(std::any_of(
                walked->texts.begin(), walked->texts.end(),
                [&](const Text& t) { return t.value.find(row.text) != std::string::npos; }))
                << "no text holds '" << row.text << "'";
        }
        if (row.part) {
            EXPECT_TRUE(HasPart(walked->parts, row.part)) << "no part named '" << row.part << "'";
        }
    }
}

// What follows a JPEG, as the coefficient reader is told it: after a camera's further images
// and after fill, never before.
TEST(StructureWalk, JpegTrailerStartsAfterImagesAndFill) {
    const std::size_t secret = ReadFile("structure/secret.zip").size();
    const std::size_t cover = ReadFile("structure/clean.jpg").size();
    const struct {
        const char* file;
        std::size_t trailer; // its length; it runs to the end of the file
    } rows[] = {{"structure/clean-mpf.jpg", 0},
                {"structure/zero-padded.jpg", 0},
                {"structure/appended-zip-mpf.jpg", secret},
                {"structure/padded-zip.jpg", secret},
                {"structure/appended-zip.jpg", secret},
                {"structure/clean.jpg", 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        const Bytes file = ReadFile(row.file);
        const JpegTrailer trailer = JpegTrailerOf(file);
        EXPECT_EQ(trailer.length, row.trailer);
        EXPECT_EQ(trailer.offset, file.size() - row.trailer);
    }
    EXPECT_EQ(JpegTrailerOf(ReadFile("structure/appended-text.jpg")).offset, cover);
}

// zip -A rewrites the archive's offsets to count from the cover's first byte: the carved
// archive is the bytes after the cover, no longer secret.zip's.
TEST(StructureWalk, SelfExtractingZipIsCarvedAfterTheCover) {
    const Bytes cover = ReadFile("structure/clean-im.png");
    const Bytes file = ReadFile("structure/zip-a.png");
    const auto walked = WalkStructure(file);
    ASSERT_TRUE(walked.ok());
    ASSERT_EQ(walked->carved.size(), 1u);
    EXPECT_EQ(walked->carved[0].offset, cover.size());
    EXPECT_EQ(walked->carved[0].length, file.size() - cover.size());
    EXPECT_EQ(walked->carved[0].type, "zip");
    EXPECT_EQ(walked->carved[0].sha256, Sha256(std::span(file).subspan(cover.size())));
}

// --- PNGs built here --------------------------------------------------------------------------

void Put32(Bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(std::uint8_t(v >> shift));
    }
}

void Chunk(Bytes& png, const char* type, const Bytes& body) {
    Put32(png, std::uint32_t(body.size()));
    const std::size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), body.begin(), body.end());
    Put32(png, std::uint32_t(crc32(0, png.data() + start, uInt(png.size() - start))));
}

Bytes Deflate(const Bytes& raw) {
    uLongf size = compressBound(uLong(raw.size()));
    Bytes out(size);
    compress(out.data(), &size, raw.data(), uLong(raw.size()));
    out.resize(size);
    return out;
}

// 8-bit samples; colour type 2 is RGB, 0 grey.
Bytes Ihdr(std::uint32_t width, std::uint32_t height, std::uint8_t colourType = 2) {
    Bytes body;
    Put32(body, width);
    Put32(body, height);
    body.insert(body.end(), {8, colourType, 0, 0, 0});
    return body;
}

// An RGB PNG whose IHDR says declaredW x declaredH, with the CRC of trueW x trueH and image
// data for trueW x trueH: a cut header left with its stale CRC.
Bytes StalePng(std::uint32_t trueW, std::uint32_t trueH, std::uint32_t declaredW,
               std::uint32_t declaredH) {
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    Chunk(png, "IHDR", Ihdr(trueW, trueH));
    const Bytes declared = Ihdr(declaredW, declaredH);
    std::copy(declared.begin(), declared.end(), png.begin() + 16);
    Chunk(png, "IDAT", Deflate(Bytes(std::size_t(trueH) * (1 + 3 * trueW), 0)));
    Chunk(png, "IEND", {});
    return png;
}

TEST(StructureWalk, StaleIhdrCrcGivesTheTrueSize) {
    struct Case {
        std::uint32_t trueW, trueH, declaredW, declaredH;
    };
    const Case cases[] = {
        {40, 30, 40, 12},   // height cut
        {640, 480, 640, 1}, // height cut to one row
        {33, 7, 17, 7},     // width changed
        {25, 20, 30, 10},   // both changed: only the image data's length tells them apart
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.trueW) + "x" + std::to_string(c.trueH));
        const auto walked = WalkStructure(StalePng(c.trueW, c.trueH, c.declaredW, c.declaredH));
        ASSERT_TRUE(walked.ok());
        ASSERT_TRUE(walked->info.ihdrTrueSize.has_value());
        EXPECT_EQ(walked->info.ihdrTrueSize->first, c.trueW);
        EXPECT_EQ(walked->info.ihdrTrueSize->second, c.trueH);
        const auto kinds = Kinds(*walked);
        EXPECT_NE(std::find(kinds.begin(), kinds.end(), "crc-mismatch"), kinds.end());
    }
}

// Bytes after the zlib stream spread over two IDAT chunks are carved joined, without the
// chunk header and CRC between them.
TEST(StructureWalk, IdatTrailerOverTwoChunksIsCarvedJoined) {
    const Bytes secret = ReadFile("structure/secret.zip");
    ASSERT_GT(secret.size(), 2u);
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    Chunk(png, "IHDR", Ihdr(4, 4));
    Bytes first = Deflate(Bytes(4 * (1 + 3 * 4), 7));
    const std::size_t half = secret.size() / 2;
    first.insert(first.end(), secret.begin(), secret.begin() + half);
    Chunk(png, "IDAT", first);
    Chunk(png, "IDAT", Bytes(secret.begin() + half, secret.end()));
    Chunk(png, "IEND", {});
    const auto walked = WalkStructure(png);
    ASSERT_TRUE(walked.ok());
    EXPECT_EQ(Kinds(*walked), std::vector<std::string>{"idat-trailer"});
    ASSERT_EQ(walked->carved.size(), 1u);
    EXPECT_EQ(walked->carved[0].bytes, secret);
    EXPECT_EQ(walked->carved[0].sha256, Sha256(secret));
    EXPECT_EQ(walked->carved[0].type, "zip");
}

// Cutting a file at any of its parts' boundaries (or one byte on, or halfway) leaves a partial
// structure and says the file is truncated.
void Collect(const std::vector<Part>& parts, std::vector<std::uint64_t>& cuts) {
    for (const Part& part : parts) {
        cuts.push_back(part.offset);
        cuts.push_back(part.offset + 1);
        cuts.push_back(part.offset + part.length / 2);
        cuts.push_back(part.offset + part.length);
        Collect(part.children, cuts);
    }
}

TEST(StructureWalk, TruncationsAtEveryPartBoundary) {
    for (const char* name :
         {"structure/clean-camera.jpg", "structure/clean-im.png", "structure/clean-anim.gif",
          "structure/clean-palette.bmp", "structure/clean-meta.webp",
          "structure/clean-multipage.tif", "structure/clean.psd", "structure/clean.jp2",
          "structure/clean-binary.ppm", "structure/clean-ascii.ppm", "pattern.j2k"}) {
        SCOPED_TRACE(name);
        const Bytes file = ReadFile(name);
        const auto whole = WalkStructure(file);
        ASSERT_TRUE(whole.ok());
        std::vector<std::uint64_t> cuts;
        Collect(whole->parts, cuts);
        std::sort(cuts.begin(), cuts.end());
        cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
        int tried = 0;
        for (const std::uint64_t cut : cuts) {
            // Cuts in the signature give another format; after the end there is nothing to cut.
            if (cut < 16 || cut >= whole->end) {
                continue;
            }
            SCOPED_TRACE(cut);
            ++tried;
            const auto walked = WalkStructure(std::span(file.data(), cut));
            ASSERT_TRUE(walked.ok());
            const auto kinds = Kinds(*walked);
            EXPECT_NE(std::find(kinds.begin(), kinds.end(), "truncated"), kinds.end());
        }
        EXPECT_GE(tried, 2);
    }
}

TEST(StructureWalk, ZlibBombIsInflatedOnlyToTheCap) {
    // A 1x1 grey PNG whose image data inflates to 256 MB of zeros.
    Bytes idat;
    z_stream z{};
    ASSERT_EQ(deflateInit(&z, 9), Z_OK);
    const Bytes zeros(1 << 20, 0);
    Bytes piece(1 << 16);
    for (int i = 0; i < 256; ++i) {
        z.next_in = const_cast<Bytef*>(zeros.data());
        z.avail_in = uInt(zeros.size());
        do {
            z.next_out = piece.data();
            z.avail_out = uInt(piece.size());
            deflate(&z, i == 255 ? Z_FINISH : Z_NO_FLUSH);
            idat.insert(idat.end(), piece.data(), piece.data() + piece.size() - z.avail_out);
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    Chunk(png, "IHDR", Ihdr(1, 1, 0));
    Chunk(png, "IDAT", idat);
    Chunk(png, "IEND", {});
    StructureLimits limits;
    limits.inflateMargin = 4 << 20;
    const auto walked = WalkStructure(png, limits);
    ASSERT_TRUE(walked.ok());
    ASSERT_TRUE(walked->info.idat.has_value());
    EXPECT_TRUE(walked->info.idat->capped);
    EXPECT_GE(walked->info.idat->inflated, limits.inflateMargin);
    EXPECT_LE(walked->info.idat->inflated, limits.inflateMargin + (1 << 20));
    EXPECT_EQ(Kinds(*walked), std::vector<std::string>{"idat-excess"});
}

// Inputs the fuzzer once broke the walk with: they walk, and every extent lies in the file.
TEST(StructureWalk, HostileInputsStayInsideTheFile) {
    for (const char* name :
         {"structure/hostile-jpeg-fill.bin", "structure/hostile-exif-loop.bin"}) {
        SCOPED_TRACE(name);
        const Bytes file = ReadFile(name);
        ASSERT_FALSE(file.empty());
        const auto walked = WalkStructure(file);
        ASSERT_TRUE(walked.ok());
        for (const Anomaly& a : walked->anomalies) {
            EXPECT_LE(a.offset + a.length, file.size()) << a.reason;
        }
    }
}

TEST(StructureWalk, UnknownBytesAndEmptyFilesAreQuiet) {
    for (const Bytes& bytes : {Bytes{}, Bytes{'P'}, Bytes(100, 0x42), Bytes{0xFF, 0xD8}}) {
        const auto walked = WalkStructure(bytes);
        ASSERT_TRUE(walked.ok());
        EXPECT_EQ(walked->format, "unknown");
        EXPECT_TRUE(walked->anomalies.empty());
    }
}

} // namespace
} // namespace vantrel::structure
