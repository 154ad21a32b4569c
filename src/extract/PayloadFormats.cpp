// The checks of payload formats at their own signatures: each follows the bytes as far as the
// format's structure or checksum lets it, under the limits.
#include "bytes/BoundedInflate.h"
#include "bytes/Crc32.h"
#include "extract/PayloadCheckParts.h"

#include <algorithm>
#include <cstring>

namespace vantrel::extract::detail {

Inflated InflateFrom(StreamBytes& stream, std::uint64_t start, int windowBits,
                     std::uint64_t outputCap) {
    Inflated result;
    const std::uint64_t cap = outputCap == UINT64_MAX ? UINT64_MAX : outputCap + 1;
    bytes::BoundedInflater inflater(windowBits, cap, 16384,
                                    [&](const std::uint8_t* piece, std::size_t made) {
                                        result.crc = bytes::Crc32(piece, made, result.crc);
                                    });
    std::uint64_t fed = start;
    while (inflater.open()) {
        stream.has(fed + 65536);
        if (stream.held() <= fed) {
            break;
        }
        // Fed a piece at a time: growing the stream may move its bytes.
        const std::uint64_t count = std::min<std::uint64_t>(stream.held() - fed, 1u << 20);
        inflater.feed(stream.data() + fed, count);
        fed += count;
    }
    result.ended = inflater.ended();
    result.consumed = inflater.consumed();
    result.produced = inflater.produced();
    return result;
}

bool CheckZlib(StreamBytes& s, std::uint64_t at, const CheckLimits& limits, Finding& out) {
    if (!s.has(at + 2)) {
        return false;
    }
    const std::uint8_t cmf = s.at(at), flg = s.at(at + 1);
    if ((cmf & 0x0F) != 8 || (cmf >> 4) > 7 || (cmf * 256 + flg) % 31 != 0 || (flg & 0x20)) {
        return false;
    }
    const Inflated inflated = detail::InflateFrom(s, at, 15, limits.inflated);
    if (inflated.ended) {
        out = MakeFinding("zlib", Tier::Found, Strength::Checksum, at, inflated.consumed,
                          "zlib stream, " + Bytes(inflated.produced) +
                              " inflated, Adler-32 verified");
        return true;
    }
    if (inflated.produced < 64) {
        return false; // two header bytes are too common in noise to be worth a line
    }
    out = MakeFinding("zlib", Tier::Weak, Strength::Structure, at, inflated.consumed,
                      "zlib stream that breaks off after " + Bytes(inflated.produced));
    return true;
}

namespace {

bool CheckPng(StreamBytes& s, std::uint64_t at, const CheckLimits&, Finding& out) {
    std::uint64_t pos = at + 8;
    int chunks = 0;
    while (chunks < 100000 && s.has(pos + 12)) {
        const std::uint32_t length = s.be32(pos);
        const std::uint8_t* type = s.data() + pos + 4;
        const bool letters = std::all_of(type, type + 4, [](std::uint8_t c) {
            return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        });
        if (!letters || length > 0x7FFFFFFFu || (chunks == 0 && std::memcmp(type, "IHDR", 4)) ||
            !s.has(pos + 12 + length)) {
            break;
        }
        const std::uint32_t crc = bytes::Crc32(s.data() + pos + 4, 4 + std::uint64_t(length));
        if (crc != s.be32(pos + 8 + length)) {
            break;
        }
        ++chunks;
        const bool end = std::memcmp(s.data() + pos + 4, "IEND", 4) == 0;
        pos += 12 + std::uint64_t(length);
        if (end) {
            out = MakeFinding("png", Tier::Found, Strength::Checksum, at, pos - at,
                              "PNG image, " + std::to_string(chunks) + " chunk CRCs verified");
            return true;
        }
    }
    out = chunks > 0 ? MakeFinding("png", Tier::Weak, Strength::Checksum, at, pos - at,
                                   "PNG image cut short after " + std::to_string(chunks) +
                                       " verified chunks")
                     : MakeFinding("png", Tier::Raw, Strength::Signature, at, 8, "PNG signature");
    return true;
}

// One local member: header, then its data checked against the stored CRC-32.
bool ZipMember(StreamBytes& s, std::uint64_t pos, const CheckLimits& limits, std::uint64_t* end,
               std::string* why) {
    if (!s.has(pos + 30)) {
        *why = "header cut short";
        return false;
    }
    const std::uint16_t flags = s.le16(pos + 6), method = s.le16(pos + 8);
    std::uint32_t crc = s.le32(pos + 14), packed = s.le32(pos + 18), size = s.le32(pos + 22);
    const std::uint64_t data = pos + 30 + s.le16(pos + 26) + s.le16(pos + 28);
    const bool descriptor = (flags & 8) != 0;
    if (flags & 1) {
        *why = "encrypted member";
        return false;
    }
    if (method == 8) {
        const Inflated inflated = detail::InflateFrom(s, data, -15, limits.inflated);
        if (!inflated.ended) {
            *why = "deflate data does not end";
            return false;
        }
        std::uint64_t next = data + inflated.consumed;
        if (descriptor) {
            if (s.has(next + 4) && s.le32(next) == 0x08074b50u) {
                next += 4;
            }
            if (!s.has(next + 12)) {
                *why = "data descriptor cut short";
                return false;
            }
            crc = s.le32(next);
            packed = s.le32(next + 4);
            size = s.le32(next + 8);
            next += 12;
        } else if (inflated.consumed != packed) {
            *why = "deflate length differs from the header";
            return false;
        }
        if (inflated.crc != crc || inflated.produced != size) {
            *why = "member CRC-32 differs";
            return false;
        }
        *end = next;
        return true;
    }
    if (method != 0 || descriptor || packed != size) {
        *why = "compression method " + std::to_string(method) + " not checked";
        return false;
    }
    if (!s.has(data + packed)) {
        *why = "stored data cut short";
        return false;
    }
    if (bytes::Crc32(s.data() + data, packed) != crc) {
        *why = "member CRC-32 differs";
        return false;
    }
    *end = data + packed;
    return true;
}

bool CheckZip(StreamBytes& s, std::uint64_t at, const CheckLimits& limits, Finding& out) {
    std::uint64_t pos = at;
    int members = 0;
    std::string why;
    while (members < 65535 && s.has(pos + 4) && s.le32(pos) == 0x04034b50u) {
        std::uint64_t end = 0;
        if (!ZipMember(s, pos, limits, &end, &why)) {
            break;
        }
        ++members;
        pos = end;
    }
    if (members == 0) {
        out = s.has(at + 30)
                  ? MakeFinding("zip", Tier::Raw, Strength::Signature, at, 30,
                                "ZIP local header, " + why)
                  : MakeFinding("zip", Tier::Raw, Strength::Signature, at, 4, "ZIP signature");
        return true;
    }
    // The central directory and its end record close the archive.
    int entries = 0;
    while (entries < 65535 && s.has(pos + 46) && s.le32(pos) == 0x02014b50u) {
        pos += 46 + std::uint64_t(s.le16(pos + 28)) + s.le16(pos + 30) + s.le16(pos + 32);
        ++entries;
    }
    std::string what = "ZIP archive, " + std::to_string(members) + " member CRC-32s verified";
    if (s.has(pos + 22) && s.le32(pos) == 0x06054b50u && s.has(pos + 22 + s.le16(pos + 20))) {
        pos += 22 + std::uint64_t(s.le16(pos + 20));
    } else {
        what += ", no end record";
    }
    out = MakeFinding("zip", Tier::Found, Strength::Checksum, at, pos - at, what);
    return true;
}

bool CheckGzip(StreamBytes& s, std::uint64_t at, const CheckLimits& limits, Finding& out) {
    if (!s.has(at + 18) || s.at(at + 2) != 8 || (s.at(at + 3) & 0xE0) != 0) {
        return false;
    }
    const std::uint8_t flags = s.at(at + 3);
    std::uint64_t pos = at + 10;
    if (flags & 4) {
        if (!s.has(pos + 2)) {
            return false;
        }
        pos += 2 + std::uint64_t(s.le16(pos));
    }
    for (const int zeroTerminated : {8, 16}) {
        if (flags & zeroTerminated) {
            while (s.has(pos + 1) && s.at(pos) != 0 && pos - at < 65536) {
                ++pos;
            }
            ++pos;
        }
    }
    pos += (flags & 2) ? 2 : 0;
    const Inflated inflated = detail::InflateFrom(s, pos, -15, limits.inflated);
    const std::uint64_t trailer = pos + inflated.consumed;
    if (inflated.ended && s.has(trailer + 8) && s.le32(trailer) == inflated.crc &&
        s.le32(trailer + 4) == static_cast<std::uint32_t>(inflated.produced)) {
        out = MakeFinding("gzip", Tier::Found, Strength::Checksum, at, trailer + 8 - at,
                          "gzip stream, " + Bytes(inflated.produced) +
                              " inflated, CRC-32 and size verified");
    } else if (inflated.produced >= 64) {
        out = MakeFinding("gzip", Tier::Weak, Strength::Structure, at, inflated.consumed,
                          "gzip stream that breaks off after " + Bytes(inflated.produced));
    } else {
        out = MakeFinding("gzip", Tier::Raw, Strength::Signature, at, 10, "gzip header");
    }
    return true;
}

bool CheckJpeg(StreamBytes& s, std::uint64_t at, const CheckLimits&, Finding& out) {
    std::uint64_t pos = at + 2;
    bool frame = false, scan = false;
    int segments = 0;
    while (segments < 100000 && s.has(pos + 2) && s.at(pos) == 0xFF) {
        while (s.has(pos + 2) && s.at(pos + 1) == 0xFF) {
            ++pos; // fill bytes
        }
        if (!s.has(pos + 2)) {
            break; // fill bytes up to the end of the stream
        }
        const std::uint8_t marker = s.at(pos + 1);
        pos += 2;
        ++segments;
        if (marker == 0xD9) {
            if (frame && scan) {
                out = MakeFinding("jpeg", Tier::Found, Strength::Structure, at, pos - at,
                                  "JPEG image, " + std::to_string(segments) +
                                      " segments to the end marker");
                return true;
            }
            break;
        }
        if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
            continue;
        }
        if (marker == 0x00 || marker == 0xD8 || !s.has(pos + 2) ||
            s.at(pos) * 256 + s.at(pos + 1) < 2) {
            break;
        }
        const std::uint64_t length = s.at(pos) * 256u + s.at(pos + 1);
        frame |=
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        pos += length;
        if (marker == 0xDA) {
            if (!frame) {
                break;
            }
            scan = true;
            // Entropy-coded data runs to the next marker that is not a stuffed byte or restart.
            while (s.has(pos + 2) && !(s.at(pos) == 0xFF && s.at(pos + 1) != 0 &&
                                       (s.at(pos + 1) < 0xD0 || s.at(pos + 1) > 0xD7))) {
                ++pos;
            }
        }
    }
    out = segments >= 3
              ? MakeFinding("jpeg", Tier::Weak, Strength::Structure, at, pos - at,
                            "JPEG segments that break off after " + std::to_string(segments))
              : MakeFinding("jpeg", Tier::Raw, Strength::Signature, at, 3, "JPEG start marker");
    return true;
}

bool CheckGif(StreamBytes& s, std::uint64_t at, const CheckLimits&, Finding& out) {
    if (!s.has(at + 13) || s.le16(at + 6) == 0 || s.le16(at + 8) == 0) {
        return false;
    }
    std::uint64_t pos = at + 13;
    if (s.at(at + 10) & 0x80) {
        pos += 3u << ((s.at(at + 10) & 7) + 1);
    }
    int images = 0, blocks = 0;
    auto skipSubBlocks = [&] {
        while (s.has(pos + 1) && s.at(pos) != 0 && blocks < 1000000) {
            pos += 1 + std::uint64_t(s.at(pos));
            ++blocks;
        }
        return s.has(++pos);
    };
    while (blocks < 1000000 && s.has(pos + 1)) {
        const std::uint8_t introducer = s.at(pos);
        if (introducer == 0x3B) {
            if (images == 0) {
                break;
            }
            out = MakeFinding("gif", Tier::Found, Strength::Structure, at, pos + 1 - at,
                              "GIF image, " + std::to_string(images) + " frames to the trailer");
            return true;
        }
        if (introducer == 0x21 && s.has(pos + 2)) {
            pos += 2;
        } else if (introducer == 0x2C && s.has(pos + 11)) {
            const std::uint8_t packed = s.at(pos + 9);
            pos += 10 + ((packed & 0x80) ? (3u << ((packed & 7) + 1)) : 0);
            if (!s.has(pos + 1) || s.at(pos) < 2 || s.at(pos) > 11) {
                break;
            }
            ++pos;
            ++images;
        } else {
            break;
        }
        if (!skipSubBlocks()) {
            break;
        }
    }
    out = images > 0 ? MakeFinding("gif", Tier::Weak, Strength::Structure, at, pos - at,
                                   "GIF image that breaks off")
                     : MakeFinding("gif", Tier::Raw, Strength::Signature, at, 6, "GIF header");
    return true;
}

bool CheckPdf(StreamBytes& s, std::uint64_t at, const CheckLimits& limits, Finding& out) {
    if (!s.has(at + 8) || !std::isdigit(s.at(at + 5)) || s.at(at + 6) != '.' ||
        !std::isdigit(s.at(at + 7))) {
        return false;
    }
    const std::uint64_t limit = std::min<std::uint64_t>(limits.follow, 16u << 20);
    for (std::uint64_t pos = at + 8; s.has(pos + 5) && pos - at < limit; ++pos) {
        if (s.at(pos) == '%' && std::memcmp(s.data() + pos, "%%EOF", 5) == 0) {
            std::uint64_t end = pos + 5;
            end += s.has(end + 1) && s.at(end) == '\r' ? 1 : 0;
            end += s.has(end + 1) && s.at(end) == '\n' ? 1 : 0;
            out = MakeFinding("pdf", Tier::Found, Strength::Structure, at, end - at,
                              "PDF document, header to %%EOF");
            return true;
        }
    }
    out = MakeFinding("pdf", Tier::Raw, Strength::Signature, at, 8, "PDF header, no %%EOF");
    return true;
}

bool CheckElf(StreamBytes& s, std::uint64_t at, const CheckLimits& limits, Finding& out) {
    if (!s.has(at + 64)) {
        return false;
    }
    const std::uint8_t elfClass = s.at(at + 4), order = s.at(at + 5);
    if ((elfClass != 1 && elfClass != 2) || (order != 1 && order != 2) || s.at(at + 6) != 1) {
        return false;
    }
    const bool wide = elfClass == 2, little = order == 1;
    auto field = [&](std::uint64_t offset, int size) {
        std::uint64_t value = 0;
        for (int i = 0; i < size; ++i) {
            const int shift = 8 * (little ? i : size - 1 - i);
            value |= std::uint64_t(s.at(at + offset + i)) << shift;
        }
        return value;
    };
    const std::uint64_t type = field(16, 2), version = field(20, 4);
    const std::uint64_t ph = field(wide ? 32 : 28, wide ? 8 : 4);
    const std::uint64_t sh = field(wide ? 40 : 32, wide ? 8 : 4);
    const int base = wide ? 52 : 40;
    const std::uint64_t headerSize = field(base, 2), phSize = field(base + 2, 2),
                        phCount = field(base + 4, 2), shSize = field(base + 6, 2),
                        shCount = field(base + 8, 2);
    const bool sane = type >= 1 && type <= 4 && version == 1 && headerSize == (wide ? 64u : 52u) &&
                      (phCount == 0 || phSize == (wide ? 56u : 32u)) &&
                      (shCount == 0 || shSize == (wide ? 64u : 40u));
    if (!sane) {
        out = MakeFinding("elf", Tier::Raw, Strength::Signature, at, 4, "ELF signature");
        return true;
    }
    const std::uint64_t end = std::max({headerSize, ph + phCount * phSize, sh + shCount * shSize});
    const bool whole = end <= limits.follow && s.has(at + end);
    out = MakeFinding("elf", whole ? Tier::Found : Tier::Weak, Strength::Structure, at,
                      whole ? end : s.held() - at,
                      std::string(wide ? "64" : "32") + "-bit ELF file, header fields sane");
    return true;
}

bool CheckSevenZip(StreamBytes& s, std::uint64_t at, const CheckLimits& limits, Finding& out) {
    if (!s.has(at + 32) || s.at(at + 6) != 0) {
        return false;
    }
    if (bytes::Crc32(s.data() + at + 12, 20) != s.le32(at + 8)) {
        out = MakeFinding("7z", Tier::Raw, Strength::Signature, at, 6, "7z signature");
        return true;
    }
    const std::uint64_t offset = s.le64(at + 12), size = s.le64(at + 20);
    const bool whole = offset < limits.follow && size < limits.follow &&
                       s.has(at + 32 + offset + size) &&
                       bytes::Crc32(s.data() + at + 32 + offset, size) == s.le32(at + 28);
    out = MakeFinding("7z", whole ? Tier::Found : Tier::Weak, Strength::Checksum, at,
                      whole ? 32 + offset + size : 32,
                      whole ? "7z archive, header CRCs verified"
                            : "7z start header CRC verified, archive cut short");
    return true;
}

bool CheckBzip2(StreamBytes& s, std::uint64_t at, const CheckLimits& limits, Finding& out) {
    static constexpr std::uint8_t kBlock[] = {0x31, 0x41, 0x59, 0x26, 0x53, 0x59};
    if (!s.has(at + 10) || s.at(at + 3) < '1' || s.at(at + 3) > '9' ||
        std::memcmp(s.data() + at + 4, kBlock, 6) != 0) {
        return false;
    }
    // The end-of-stream marker and its CRC need not fall on a byte boundary.
    constexpr std::uint64_t kEnd = 0x177245385090ull;
    std::uint64_t window = 0;
    const std::uint64_t limit = std::min<std::uint64_t>(limits.follow, 4u << 20);
    for (std::uint64_t pos = at + 10; s.has(pos + 1) && pos - at < limit; ++pos) {
        for (int bit = 7; bit >= 0; --bit) {
            window = ((window << 1) | ((s.at(pos) >> bit) & 1)) & 0xFFFFFFFFFFFFull;
            if (window == kEnd) {
                const std::uint64_t bitsAfter = 8 * (pos - at) + (8 - bit) + 32;
                const std::uint64_t length = (bitsAfter + 7) / 8;
                if (s.has(at + length)) {
                    out = MakeFinding("bzip2", Tier::Found, Strength::Structure, at, length,
                                      "bzip2 stream, block and end markers");
                    return true;
                }
            }
        }
    }
    out = MakeFinding("bzip2", Tier::Weak, Strength::Structure, at, 10,
                      "bzip2 header and block marker, no end marker");
    return true;
}

bool CheckBmp(StreamBytes& s, std::uint64_t at, const CheckLimits& limits, Finding& out) {
    if (!s.has(at + 30)) {
        return false;
    }
    const std::uint32_t size = s.le32(at + 2), pixels = s.le32(at + 10), header = s.le32(at + 14);
    const std::uint16_t bpp = s.le16(at + 28);
    const bool headerKnown = header == 12 || header == 40 || header == 52 || header == 56 ||
                             header == 108 || header == 124;
    if (s.le32(at + 6) != 0 || !headerKnown || pixels < 14 + header || pixels >= size ||
        (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) ||
        s.le16(at + 26) != 1) {
        return false;
    }
    const bool whole = size <= limits.follow && s.has(at + size);
    out = MakeFinding("bmp", whole ? Tier::Found : Tier::Weak, Strength::Structure, at,
                      whole ? size : 30, "BMP image, header fields sane");
    return true;
}

bool CheckRiff(StreamBytes& s, std::uint64_t at, const CheckLimits& limits, Finding& out) {
    if (!s.has(at + 20)) {
        return false;
    }
    auto fourCc = [&](std::uint64_t pos) {
        return std::all_of(s.data() + pos, s.data() + pos + 4,
                           [](std::uint8_t c) { return c >= 0x20 && c < 0x7F; });
    };
    const std::uint64_t end = at + 8 + std::uint64_t(s.le32(at + 4));
    if (!fourCc(at + 8) || end - at > limits.follow) {
        return false;
    }
    std::uint64_t pos = at + 12;
    int chunks = 0;
    while (pos + 8 <= end && chunks < 100000 && s.has(pos + 8) && fourCc(pos)) {
        pos += 8 + std::uint64_t(s.le32(pos + 4));
        pos += pos & 1;
        ++chunks;
    }
    if (chunks > 0 && (pos == end || pos == end + 1) && s.has(end)) {
        out = MakeFinding("riff", Tier::Found, Strength::Structure, at, end - at,
                          "RIFF " + std::string(s.data() + at + 8, s.data() + at + 12) + ", " +
                              std::to_string(chunks) + " chunks to its size");
    } else {
        out = MakeFinding("riff", Tier::Raw, Strength::Signature, at, 12, "RIFF header");
    }
    return true;
}

bool CheckTiff(StreamBytes& s, std::uint64_t at, const CheckLimits& limits, Finding& out) {
    if (!s.has(at + 8)) {
        return false;
    }
    const bool little = s.at(at) == 'I';
    auto get = [&](std::uint64_t pos, int size) {
        std::uint64_t value = 0;
        for (int i = 0; i < size; ++i) {
            value |= std::uint64_t(s.at(pos + i)) << (8 * (little ? i : size - 1 - i));
        }
        return value;
    };
    const std::uint64_t ifd = get(at + 4, 4);
    if (ifd < 8 || ifd > limits.follow || !s.has(at + ifd + 2)) {
        return false;
    }
    const std::uint64_t count = get(at + ifd, 2);
    if (count == 0 || count > 1000 || !s.has(at + ifd + 2 + 12 * count + 4)) {
        return false;
    }
    static constexpr int kTypeSize[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
    std::uint64_t end = ifd + 2 + 12 * count + 4, previousTag = 0;
    std::uint64_t stripOffset = 0, stripBytes = 0;
    bool width = false, height = false;
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t entry = at + ifd + 2 + 12 * i;
        const std::uint64_t tag = get(entry, 2), type = get(entry + 2, 2), n = get(entry + 4, 4);
        if ((i > 0 && tag <= previousTag) || type == 0 || type > 12 || n > (1u << 24)) {
            return false;
        }
        previousTag = tag;
        const std::uint64_t bytes = n * kTypeSize[type];
        const std::uint64_t value = bytes > 4 ? get(entry + 8, 4) : 0;
        end = std::max(end, value + (bytes > 4 ? bytes : 0));
        width |= tag == 256;
        height |= tag == 257;
        if ((tag == 273 || tag == 279) && n == 1) {
            (tag == 273 ? stripOffset : stripBytes) = get(entry + 8, type == 3 ? 2 : 4);
        }
    }
    if (!width || !height) {
        return false;
    }
    end = std::max(end, stripOffset + stripBytes);
    const bool whole = end <= limits.follow && s.has(at + end);
    out = MakeFinding("tiff", whole ? Tier::Found : Tier::Weak, Strength::Structure, at,
                      whole ? end : 8,
                      "TIFF image, " + std::to_string(count) + " directory entries in order");
    return true;
}

const Signature kSignatures[] = {
    {"\x89PNG\r\n\x1a\n", 8, true, CheckPng},
    {"PK\x03\x04", 4, true, CheckZip},
    {"\x1f\x8b", 2, false, CheckGzip},
    {"\xff\xd8\xff", 3, false, CheckJpeg},
    {"GIF87a", 6, true, CheckGif},
    {"GIF89a", 6, true, CheckGif},
    {"%PDF-", 5, true, CheckPdf},
    {"\x7f"
     "ELF",
     4, true, CheckElf},
    {"7z\xbc\xaf\x27\x1c", 6, true, CheckSevenZip},
    {"BZh", 3, true, CheckBzip2},
    {"BM", 2, false, CheckBmp},
    {"RIFF", 4, false, CheckRiff},
    {"II*\0", 4, false, CheckTiff},
    {"MM\0*", 4, false, CheckTiff},
};

} // namespace

std::span<const Signature> Signatures() {
    return kSignatures;
}

} // namespace vantrel::extract::detail
