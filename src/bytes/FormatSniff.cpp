#include "bytes/FormatSniff.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

namespace vantrel::bytes {

namespace {

bool Starts(std::span<const std::uint8_t> head, std::string_view bytes, std::size_t at = 0) {
    return at <= head.size() && bytes.size() <= head.size() - at &&
           std::memcmp(head.data() + at, bytes.data(), bytes.size()) == 0;
}

} // namespace

FileFormat SniffFormat(std::span<const std::uint8_t> head) {
    using namespace std::string_view_literals;
    if (Starts(head, "\x89PNG\r\n\x1a\n"sv)) {
        return FileFormat::Png;
    }
    if (Starts(head, "\xff\xd8\xff"sv)) {
        return FileFormat::Jpeg;
    }
    if (Starts(head, "GIF87a"sv) || Starts(head, "GIF89a"sv)) {
        return FileFormat::Gif;
    }
    if (Starts(head, "BM"sv)) {
        return FileFormat::Bmp;
    }
    if (Starts(head, "RIFF"sv) && Starts(head, "WEBP"sv, 8)) {
        return FileFormat::Webp;
    }
    if (Starts(head, "II*\0"sv) || Starts(head, "MM\0*"sv)) {
        return FileFormat::Tiff;
    }
    // P1 to P7 and then whitespace or a comment: a PNM header, not text that starts with "P1".
    if (head.size() >= 3 && head[0] == 'P' && head[1] >= '1' && head[1] <= '7' && head[2] != 0 &&
        std::strchr(" \t\r\n#", head[2])) {
        return FileFormat::Pnm;
    }
    if (Starts(head, "8BPS"sv)) {
        return FileFormat::Psd;
    }
    if (Starts(head, "\0\0\0\x0cjP  \r\n\x87\n"sv)) {
        return FileFormat::Jp2;
    }
    if (Starts(head, "\xff\x4f\xff\x51"sv)) {
        return FileFormat::CodeStream;
    }
    if (Starts(head, "II\xbc"sv)) {
        return FileFormat::JpegXr;
    }
    return FileFormat::Unknown;
}

FileFormat SniffFileFormat(const char* path) {
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    const std::unique_ptr<std::FILE, Closer> file(std::fopen(path, "rb"));
    if (!file) {
        return FileFormat::Unknown;
    }
    std::uint8_t head[kSniffBytes];
    const std::size_t got = std::fread(head, 1, sizeof head, file.get());
    return SniffFormat({head, got});
}

} // namespace vantrel::bytes
