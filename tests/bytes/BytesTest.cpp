#include "bytes/BoundedInflate.h"
#include "bytes/ByteOrder.h"
#include "bytes/Crc32.h"
#include "bytes/FormatSniff.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string_view>
#include <vector>

namespace vantrel::bytes {
namespace {

std::span<const std::uint8_t> Span(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(Bytes, SniffsEachFormatFromItsFirstBytesOnly) {
    using namespace std::string_view_literals;
    const struct {
        std::string_view head;
        FileFormat format;
    } rows[] = {
        {"\x89PNG\r\n\x1a\n\0\0"sv, FileFormat::Png},
        {"\x89PNG\r\n\x1a"sv, FileFormat::Unknown},
        {"\xff\xd8\xff\xe0"sv, FileFormat::Jpeg},
        {"\xff\xd8\x00"sv, FileFormat::Unknown},
        {"GIF89a"sv, FileFormat::Gif},
        {"GIF88a"sv, FileFormat::Unknown},
        {"BM"sv, FileFormat::Bmp},
        {"RIFF\0\0\0\0WEBP"sv, FileFormat::Webp},
        {"RIFF\0\0\0\0WAVE"sv, FileFormat::Unknown},
        {"MM\0*"sv, FileFormat::Tiff},
        {"P6\n"sv, FileFormat::Pnm},
        {"P6x"sv, FileFormat::Unknown},
        {"P8 "sv, FileFormat::Unknown},
        {"8BPS"sv, FileFormat::Psd},
        {"\0\0\0\x0cjP  \r\n\x87\n"sv, FileFormat::Jp2},
        {"\xff\x4f\xff\x51"sv, FileFormat::CodeStream},
        {"II\xbc\x01"sv, FileFormat::JpegXr},
        {""sv, FileFormat::Unknown},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(SniffFormat(Span(row.head)), row.format) << row.head.size();
    }
}

TEST(Bytes, ReadsBothByteOrdersAndTheZlibCrc) {
    const std::uint8_t word[8] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
    EXPECT_EQ(Be16(word), 0x0102u);
    EXPECT_EQ(Be32(word), 0x01020304u);
    EXPECT_EQ(Le32(word), 0x04030201u);
    EXPECT_EQ(Le64(word), 0x0807060504030201ull);
    std::uint8_t out[4];
    PutBe32(out, 0xA1B2C3D4u);
    EXPECT_EQ(Be32(out), 0xA1B2C3D4u);
    // The published check value of CRC-32, whole and in two calls.
    const auto check = Span("123456789");
    EXPECT_EQ(Crc32(check.data(), check.size()), 0xCBF43926u);
    EXPECT_EQ(Crc32(check.data() + 4, 5, Crc32(check.data(), 4)), 0xCBF43926u);
}

TEST(Bytes, InflatesUnderTheCapAndReportsHowTheStreamStopped) {
    std::vector<std::uint8_t> plain(100000);
    for (std::size_t i = 0; i < plain.size(); ++i) {
        plain[i] = static_cast<std::uint8_t>(i * i >> 7);
    }
    uLongf size = compressBound(plain.size());
    std::vector<std::uint8_t> packed(size + 3);
    ASSERT_EQ(compress(packed.data(), &size, plain.data(), plain.size()), Z_OK);
    packed.resize(size + 3); // three bytes after the stream's end
    std::vector<std::uint8_t> broken = packed;
    broken[size / 2] ^= 0xFF;
    const struct {
        const char* name;
        const std::vector<std::uint8_t>* input;
        std::uint64_t fed, piece, cap;
        bool ended, capped, broken;
        std::uint64_t after; // input bytes past the stream's end
    } rows[] = {
        {"whole", &packed, size + 3, size + 3, 1 << 20, true, false, false, 3},
        {"byte by byte", &packed, size + 3, 1, 1 << 20, true, false, false, 3},
        {"cut short", &packed, size - 4, 7, 1 << 20, false, false, false, 0},
        {"capped", &packed, size + 3, size + 3, 50000, false, true, false, 0},
        {"corrupt", &broken, size + 3, size + 3, 1 << 20, false, false, true, 0},
    };
    for (const auto& row : rows) {
        std::vector<std::uint8_t> made;
        BoundedInflater inflater(15, row.cap, 4096, [&](const std::uint8_t* p, std::size_t n) {
            made.insert(made.end(), p, p + n);
        });
        std::uint64_t after = 0;
        for (std::uint64_t at = 0; at < row.fed; at += row.piece) {
            after += inflater.feed(row.input->data() + at, std::min(row.piece, row.fed - at));
        }
        EXPECT_EQ(inflater.ended(), row.ended) << row.name;
        EXPECT_EQ(inflater.capped(), row.capped) << row.name;
        EXPECT_EQ(inflater.broken(), row.broken) << row.name;
        EXPECT_EQ(after, row.after) << row.name;
        EXPECT_EQ(made.size(), inflater.produced()) << row.name;
        if (!row.broken) {
            EXPECT_TRUE(std::equal(made.begin(), made.end(), plain.begin())) << row.name;
        }
        if (row.ended) {
            EXPECT_EQ(made.size(), plain.size()) << row.name;
            EXPECT_EQ(inflater.consumed(), size) << row.name;
        }
        if (row.capped) {
            EXPECT_GE(made.size(), row.cap) << row.name;
            EXPECT_LT(made.size(), row.cap + 4096) << row.name;
        }
    }
}

} // namespace
} // namespace vantrel::bytes
