#include "extract/PayloadChecks.h"

#include <magic.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstring>
#include <memory>

namespace vantrel::extract {

namespace {

Finding MakeFinding(const char* kind, Tier tier, Strength strength, std::uint64_t offset,
                    std::uint64_t length, std::string what) {
    Finding finding;
    finding.kind = kind;
    finding.tier = tier;
    finding.strength = strength;
    finding.offset = offset;
    finding.length = length;
    finding.what = std::move(what);
    return finding;
}

std::uint32_t Crc32(const std::uint8_t* bytes, std::uint64_t count, std::uint32_t crc = 0) {
    while (count > 0) {
        const auto piece = static_cast<uInt>(std::min<std::uint64_t>(count, 1u << 30));
        crc = static_cast<std::uint32_t>(crc32(crc, bytes, piece));
        bytes += piece;
        count -= piece;
    }
    return crc;
}

struct Inflated {
    bool ended = false;
    std::uint64_t consumed = 0;
    std::uint64_t produced = 0;
    std::uint32_t crc = 0;
};

// Inflates from `start` until the stream ends, the data is wrong, input runs out or the output
// cap is reached. zlib checks a zlib stream's Adler-32 itself.
Inflated InflateFrom(StreamBytes& stream, std::uint64_t start, int windowBits,
                     std::uint64_t outputCap) {
    Inflated result;
    z_stream z{};
    if (inflateInit2(&z, windowBits) != Z_OK) {
        return result;
    }
    std::array<std::uint8_t, 16384> out;
    std::uint64_t fed = start;
    while (result.produced <= outputCap) {
        if (z.avail_in == 0) {
            stream.has(fed + 65536);
            if (stream.held() <= fed) {
                break;
            }
            const std::uint64_t count = std::min<std::uint64_t>(stream.held() - fed, 1u << 20);
            // Set only here, after has(): growing the stream may move its bytes.
            z.next_in = const_cast<Bytef*>(stream.data() + fed);
            z.avail_in = static_cast<uInt>(count);
            fed += count;
        }
        z.next_out = out.data();
        z.avail_out = out.size();
        const int code = inflate(&z, Z_NO_FLUSH);
        const std::size_t made = out.size() - z.avail_out;
        result.produced += made;
        result.crc = Crc32(out.data(), made, result.crc);
        if (code == Z_STREAM_END) {
            result.ended = true;
            break;
        }
        if (code != Z_OK && !(code == Z_BUF_ERROR && z.avail_in == 0)) {
            break;
        }
    }
    result.consumed = z.total_in;
    inflateEnd(&z);
    return result;
}

std::string Bytes(std::uint64_t count) {
    return std::to_string(count) + " bytes";
}

bool Printable(std::uint8_t byte) {
    return (byte >= 0x20 && byte < 0x7F) || byte == '\t' || byte == '\n' || byte == '\r';
}

// --- formats -------------------------------------------------------------------------------

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
        const std::uint32_t crc = Crc32(s.data() + pos + 4, 4 + std::uint64_t(length));
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
        const Inflated inflated = InflateFrom(s, data, -15, limits.inflated);
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
    if (Crc32(s.data() + data, packed) != crc) {
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
    const Inflated inflated = InflateFrom(s, pos, -15, limits.inflated);
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

bool CheckZlib(StreamBytes& s, std::uint64_t at, const CheckLimits& limits, Finding& out) {
    if (!s.has(at + 2)) {
        return false;
    }
    const std::uint8_t cmf = s.at(at), flg = s.at(at + 1);
    if ((cmf & 0x0F) != 8 || (cmf >> 4) > 7 || (cmf * 256 + flg) % 31 != 0 || (flg & 0x20)) {
        return false;
    }
    const Inflated inflated = InflateFrom(s, at, 15, limits.inflated);
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
    if (Crc32(s.data() + at + 12, 20) != s.le32(at + 8)) {
        out = MakeFinding("7z", Tier::Raw, Strength::Signature, at, 6, "7z signature");
        return true;
    }
    const std::uint64_t offset = s.le64(at + 12), size = s.le64(at + 20);
    const bool whole = offset < limits.follow && size < limits.follow &&
                       s.has(at + 32 + offset + size) &&
                       Crc32(s.data() + at + 32 + offset, size) == s.le32(at + 28);
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

struct Signature {
    const char* bytes;
    std::size_t size;
    bool anywhere; // long enough to be searched for at every offset of the prefix
    bool (*check)(StreamBytes&, std::uint64_t, const CheckLimits&, Finding&);
};

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

// --- text ----------------------------------------------------------------------------------

bool IsLetter(std::uint8_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

void CheckText(StreamBytes& s, std::size_t prefix, const CheckLimits& limits,
               std::vector<Finding>& findings) {
    const std::uint64_t scan = std::min<std::uint64_t>(prefix, s.held());
    std::uint64_t pos = 0;
    while (pos < scan) {
        if (!Printable(s.at(pos))) {
            ++pos;
            continue;
        }
        // Bright even regions read as long printable runs under 8-bit layouts: judge the first
        // 4 KB, and follow prose on as far as 1 MB.
        std::uint64_t end = pos;
        auto followTo = [&](std::uint64_t most) {
            const std::uint64_t limit = std::min<std::uint64_t>(limits.follow, most);
            while (end - pos < limit && s.has(end + 1) && Printable(s.at(end))) {
                ++end;
            }
        };
        followTo(4096);
        if (end - pos == 4096 && ReadsLikeProse({s.data() + pos, end - pos})) {
            followTo(1u << 20);
        }
        // Noise after a message is printable about one byte in three: a sentence end among
        // the last few bytes is where the message most likely stopped.
        for (std::uint64_t k = end; k > pos && end - k < 4; --k) {
            if (std::strchr(".!?", s.at(k - 1)) && k < end) {
                end = k;
                break;
            }
        }
        const std::uint64_t length = end - pos;
        if (length >= 16 && ReadsLikeProse({s.data() + pos, length})) {
            Finding finding = MakeFinding("text", Tier::Found, Strength::Statistics, pos, length,
                                          "text reading like prose, " + Bytes(length));
            findings.push_back(std::move(finding));
        } else if (length >= 32) {
            findings.push_back(MakeFinding("text", Tier::Raw, Strength::Signature, pos, length,
                                           "printable bytes, not prose"));
        }
        pos = end;
    }
}

// A 32-bit big-endian length and that many random-looking bytes. Any four bytes form a length,
// so the length must be small enough that noise across the whole walk would rarely give one.
void CheckLengthPrefixed(StreamBytes& s, const CheckLimits& limits,
                         std::vector<Finding>& findings) {
    if (!s.has(4)) {
        return;
    }
    const std::uint32_t length = s.be32(0);
    const double chance = (double(length) + 1) / 4294967296.0 * double(limits.walkLayouts);
    if (length < 32 || chance > kLengthChanceBound || !s.has(4 + std::uint64_t(length))) {
        return;
    }
    if (!LooksRandom({s.data() + 4, length})) {
        return;
    }
    Finding finding = MakeFinding(
        "length-prefixed", Tier::Found, Strength::Statistics, 0, 4 + std::uint64_t(length),
        "32-bit length " + std::to_string(length) + " followed by random-looking bytes");
    finding.chance = chance;
    findings.push_back(std::move(finding));
}

// 64 random bytes hold about 56 distinct values; a file header far fewer.
bool LooksLikeNoise(std::span<const std::uint8_t> bytes) {
    std::array<bool, 256> seen{};
    int distinct = 0;
    for (const std::uint8_t byte : bytes) {
        distinct += !seen[byte];
        seen[byte] = true;
    }
    return distinct > 40;
}

// libmagic without its decompressors, on a bounded buffer; one handle a thread.
std::string MagicName(std::span<const std::uint8_t> bytes) {
    struct Closer {
        void operator()(magic_set* set) const { magic_close(set); }
    };
    thread_local std::unique_ptr<magic_set, Closer> handle = [] {
        const int flags = MAGIC_NO_CHECK_COMPRESS | MAGIC_NO_CHECK_TAR | MAGIC_NO_CHECK_ENCODING |
                          MAGIC_NO_CHECK_TEXT | MAGIC_NO_CHECK_CDF | MAGIC_NO_CHECK_TOKENS |
                          MAGIC_NO_CHECK_ELF | MAGIC_NO_CHECK_JSON | MAGIC_NO_CHECK_CSV;
        std::unique_ptr<magic_set, Closer> set(magic_open(flags));
        if (set && magic_load(set.get(), nullptr) != 0) {
            set.reset();
        }
        return set;
    }();
    if (!handle) {
        return {};
    }
    const char* name = magic_buffer(handle.get(), bytes.data(), bytes.size());
    const std::string text = name ? name : "";
    return text == "data" || text.empty() ? std::string() : text;
}

} // namespace

const char* TierText(Tier tier) {
    switch (tier) {
    case Tier::Found:
        return "found";
    case Tier::Weak:
        return "weak";
    case Tier::Raw:
        break;
    }
    return "raw";
}

StreamBytes::StreamBytes(std::vector<std::uint8_t> prefix, Source more, std::uint64_t cap)
    : bytes_(std::move(prefix)), more_(std::move(more)), cap_(cap) {}

StreamBytes::StreamBytes(std::span<const std::uint8_t> whole)
    : bytes_(whole.begin(), whole.end()), cap_(whole.size()), ended_(true) {}

bool StreamBytes::has(std::uint64_t end) {
    if (end <= bytes_.size()) {
        return true;
    }
    if (ended_ || !more_ || end > cap_) {
        return false;
    }
    // Grow at least geometrically so that following a long stream byte by byte stays linear.
    const std::uint64_t target =
        std::min<std::uint64_t>(cap_, std::max<std::uint64_t>(end, 2 * bytes_.size()));
    const std::size_t old = bytes_.size();
    bytes_.resize(target);
    const std::size_t got = more_(std::span<std::uint8_t>(bytes_.data() + old, target - old));
    bytes_.resize(old + got);
    ended_ = old + got < target;
    return end <= bytes_.size();
}

std::uint32_t StreamBytes::be32(std::uint64_t i) const {
    return std::uint32_t(bytes_[i]) << 24 | std::uint32_t(bytes_[i + 1]) << 16 |
           std::uint32_t(bytes_[i + 2]) << 8 | bytes_[i + 3];
}
std::uint16_t StreamBytes::le16(std::uint64_t i) const {
    return static_cast<std::uint16_t>(bytes_[i] | bytes_[i + 1] << 8);
}
std::uint32_t StreamBytes::le32(std::uint64_t i) const {
    return le16(i) | std::uint32_t(le16(i + 2)) << 16;
}
std::uint64_t StreamBytes::le64(std::uint64_t i) const {
    return le32(i) | std::uint64_t(le32(i + 4)) << 32;
}

bool LooksRandom(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 2) {
        return false;
    }
    std::array<int, 256> counts{};
    double sum = 0, sumSquares = 0, sumProducts = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        ++counts[bytes[i]];
        sum += bytes[i];
        sumSquares += double(bytes[i]) * bytes[i];
        if (i + 1 < bytes.size()) {
            sumProducts += double(bytes[i]) * bytes[i + 1];
        }
    }
    const double n = double(bytes.size()), mean = sum / n;
    const double variance = sumSquares / n - mean * mean;
    const double correlation =
        variance > 0 ? (sumProducts / (n - 1) - mean * mean) / variance : 1.0;
    const int distinct =
        static_cast<int>(std::count_if(counts.begin(), counts.end(), [](int c) { return c > 0; }));
    const double expectedDistinct = 256.0 * (1.0 - std::exp(-n / 256.0));
    // Neighbour correlation of noise has a standard error of 1/sqrt(n): short blocks get four
    // of them, so a genuine 32-byte block is not refused one time in six.
    return distinct >= 0.85 * expectedDistinct &&
           std::abs(correlation) <= std::max(0.25, 4.0 / std::sqrt(n)) &&
           std::abs(mean - 127.5) <= 40;
}

namespace {

std::uint64_t SampleBits(const CoverSample& cover) {
    const std::uint64_t held = cover.stream.size() * 8;
    return held > cover.firstBit ? std::min(cover.bits, held - cover.firstBit) : 0;
}

int BitAt(const CoverSample& cover, std::uint64_t k) {
    const int within = static_cast<int>(k % 8);
    return (cover.stream[k / 8] >> (cover.lowFirst ? within : 7 - within)) & 1;
}

} // namespace

double CoverLengthChance(const CoverSample& cover, std::uint32_t length) {
    const int period = std::clamp(cover.period, 1, 32);
    const bool lowFirst = cover.lowFirst;
    // The length's high bits must be zero; its low `free` bits may be anything up to `length`.
    const int free = std::bit_width(length);
    std::vector<std::uint32_t> masks((32 + period - 1) / period, 0);
    for (int i = free; i < 32; ++i) {
        const int within = i % 8, at = (3 - i / 8) * 8 + (lowFirst ? within : 7 - within);
        masks[at / period] |= 1u << (at % period);
    }
    while (!masks.empty() && masks.back() == 0) {
        masks.pop_back();
    }
    const double lowPart = (double(length) + 1) / std::ldexp(1.0, free);
    const std::uint64_t pixels = SampleBits(cover) / std::uint64_t(period);
    if (masks.empty()) {
        return lowPart;
    }
    if (pixels < masks.size() + 64) {
        return 1.0; // too few bits to judge the cover by
    }
    std::vector<std::uint32_t> values(pixels, 0);
    for (std::uint64_t p = 0, k = cover.firstBit; p < pixels; ++p) {
        for (int b = 0; b < period; ++b, ++k) {
            values[p] |= std::uint32_t(BitAt(cover, k)) << b;
        }
    }
    // Counts after a zero pixel [0] or another [1], and over all pixels [2]: pixels, zero pixels,
    // and those meeting each pixel's mask. A share never seen is not taken for impossible, and
    // a rare state's shares lean on the overall ones rather than on a guess.
    const std::size_t n = masks.size();
    std::array<double, 3> seen{}, zero{};
    std::vector<std::array<double, 3>> meets(n, {0.0, 0.0, 0.0});
    std::uint64_t hits = 0;
    for (std::uint64_t p = 0; p < pixels; ++p) {
        for (const int state : {p == 0 ? -1 : values[p - 1] == 0 ? 0 : 1, 2}) {
            if (state < 0) {
                continue;
            }
            seen[state] += 1;
            zero[state] += values[p] == 0;
            for (std::size_t j = 0; j < n; ++j) {
                meets[j][state] += (values[p] & masks[j]) == 0;
            }
        }
    }
    auto share = [&](double count, int state, double overall) {
        return (count + 2 * overall) / (seen[state] + 2);
    };
    // Shares too rare for the sample to show lean on the bits' own zero shares taken apart.
    std::vector<double> bitZero(std::size_t(period), 0.5);
    for (int b = 0; b < period; ++b) {
        const auto zeros = std::count_if(values.begin(), values.end(),
                                         [b](std::uint32_t v) { return ((v >> b) & 1) == 0; });
        bitZero[std::size_t(b)] = (double(zeros) + 0.5) / (double(pixels) + 1);
    }
    auto apart = [&](std::uint32_t mask) {
        double product = 1;
        for (int b = 0; b < period; ++b) {
            product *= (mask >> b) & 1 ? bitZero[std::size_t(b)] : 1.0;
        }
        return product;
    };
    const std::uint32_t all = period == 32 ? ~0u : (1u << period) - 1;
    const double zeroShare = (zero[2] + apart(all)) / (seen[2] + 1);
    std::array<double, 2> weight{};
    for (std::size_t j = 0; j < n; ++j) {
        const double meetShare = (meets[j][2] + apart(masks[j])) / (seen[2] + 1);
        std::array<double, 2> next{};
        if (j == 0) {
            next = {zeroShare, std::max(0.0, meetShare - zeroShare)};
        }
        for (int s = 0; s < 2 && j > 0; ++s) {
            const double meet = share(meets[j][s], s, meetShare);
            const double allZero = std::min(meet, share(zero[s], s, zeroShare));
            next[0] += weight[s] * allZero;
            next[1] += weight[s] * (meet - allZero);
        }
        weight = next;
    }
    for (std::uint64_t t = 0; t + n <= pixels; ++t) {
        std::size_t j = 0;
        while (j < n && (values[t + j] & masks[j]) == 0) {
            ++j;
        }
        hits += j == n;
    }
    const double runs = double(hits) / double(pixels - n + 1);
    return std::min(1.0, std::max(weight[0] + weight[1], runs) * lowPart);
}

double BlockSurprise(const CoverSample& cover, std::uint64_t from, std::uint64_t count) {
    const auto period = std::uint64_t(std::clamp(cover.period, 1, 32));
    const std::uint64_t sampleEnd = cover.firstBit + SampleBits(cover);
    count = std::min(count, cover.stream.size() * 8 > from ? cover.stream.size() * 8 - from : 0);
    if (count < 8 * period || sampleEnd < cover.firstBit + 8 * period) {
        return 0;
    }
    // Ones after a zero [0] or a one [1] in the same place of the pixel before, place by place.
    std::vector<std::array<std::array<double, 2>, 2>> counts(period, {{{1, 1}, {1, 1}}});
    for (std::uint64_t k = cover.firstBit + period; k < sampleEnd; ++k) {
        counts[(k - cover.firstBit) % period][BitAt(cover, k - period)][BitAt(cover, k)] += 1;
    }
    double surprise = 0;
    for (std::uint64_t k = from + period; k < from + count; ++k) {
        const auto& given =
            counts[(k + period - cover.firstBit % period) % period][BitAt(cover, k - period)];
        surprise += -1 - std::log2(given[BitAt(cover, k)] / (given[0] + given[1]));
    }
    return surprise / double(count - period);
}

void WeighAgainstCover(Finding& finding, std::span<const std::uint8_t> stream, int period,
                       bool lowFirst, std::size_t layouts) {
    constexpr double kFairTolerance = 8;
    if (finding.kind != "length-prefixed" || finding.offset != 0 || stream.size() < 4) {
        return;
    }
    const std::uint32_t length = std::uint32_t(stream[0]) << 24 | std::uint32_t(stream[1]) << 16 |
                                 std::uint32_t(stream[2]) << 8 | stream[3];
    const auto step = std::uint64_t(std::clamp(period, 1, 32));
    const std::uint64_t held = stream.size() * 8, blockEnd = 8 * finding.length;
    // Whole pixels past the prefix, and past the block.
    const std::uint64_t pastPrefix = (32 + step - 1) / step * step;
    const std::uint64_t pastBlock = std::min(held, (blockEnd + step - 1) / step * step);
    const std::uint64_t end = std::min(held, pastBlock + kCoverSampleBits);
    // The block's own bits, where there are enough of them, and the cover's past it.
    const std::uint64_t blockBits = std::min(pastBlock, kCoverSampleBits * 8);
    const CoverSample block{stream, pastPrefix, blockBits - std::min(blockBits, pastPrefix), period,
                            lowFirst};
    const CoverSample beyond{stream, pastBlock, end - pastBlock, period, lowFirst};
    // A measured chance within a few times the fair coins' is estimation noise, not structure.
    const double fair = (double(length) + 1) / 4294967296.0;
    auto measured = [&](const CoverSample& sample) {
        const double chance = sample.bits >= 64 * step ? CoverLengthChance(sample, length) : 0;
        return chance > kFairTolerance * fair ? chance : std::min(chance, fair);
    };
    const double blockChance = measured(block), beyondChance = measured(beyond);
    const double walk = double(std::max<std::size_t>(layouts, 1));
    // Random bytes where the cover's bits are structured (high bits, a clipped channel) tell a
    // payload apart whatever its prefix: a clean stream's own bits score about zero or below.
    const double surprise = BlockSurprise(beyond, 32, blockEnd - 32);
    const bool unlikeCover = beyondChance * walk > kLengthChanceBound &&
                             surprise >= kBlockSurpriseBound &&
                             surprise * double(blockEnd - 32) >= kBlockSurpriseBits;
    const double coverChance = unlikeCover ? blockChance : std::max(blockChance, beyondChance);
    finding.chance = std::max(finding.chance, std::min(1.0, coverChance * walk));
    if (finding.tier != Tier::Found || coverChance * walk <= kLengthChanceBound) {
        return;
    }
    finding.tier = Tier::Weak;
    finding.what += ", but this layout's own bits start as low one time in " +
                    std::to_string(std::llrint(1.0 / std::max(coverChance, 1e-18)));
    finding.payload.clear();
}

bool ReadsLikeProse(std::span<const std::uint8_t> text) {
    std::size_t letters = 0, spaces = 0, vowels = 0, words = 0, goodWords = 0, wordLetters = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ' || text[i] == '\n' || text[i] == '\t' || text[i] == '\r') {
            ++spaces;
            ++i;
            continue;
        }
        // A word: optional opening punctuation, letters (an apostrophe or hyphen inside), then
        // closing punctuation; capitals only at its start, or throughout.
        const std::size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\n' && text[i] != '\t' &&
               text[i] != '\r') {
            ++i;
        }
        std::size_t a = start, b = i;
        while (a < b && std::strchr("\"'([", text[a])) {
            ++a;
        }
        while (b > a && std::strchr(".,;:!?\"')]", text[b - 1])) {
            --b;
        }
        ++words;
        bool shaped = b > a;
        std::size_t capitals = 0, inner = 0;
        for (std::size_t j = a; j < b; ++j) {
            const std::uint8_t c = text[j];
            if (IsLetter(c)) {
                ++inner;
                capitals += c < 'a';
                vowels += std::strchr("aeiouyAEIOUY", c) != nullptr;
            } else if (!((c == '\'' || c == '-') && j > a && j + 1 < b) &&
                       !(c >= '0' && c <= '9' && b - a <= 4)) {
                shaped = false;
            }
        }
        letters += inner;
        shaped &= capitals == 0 || capitals == inner ||
                  (capitals == 1 && IsLetter(text[a]) && text[a] < 'a');
        goodWords += shaped;
        wordLetters += shaped ? inner : 0;
    }
    const double n = double(text.size());
    if (words < 3 || goodWords < 3 || letters == 0) {
        return false;
    }
    const double meanWord = double(wordLetters) / double(goodWords);
    const double vowelShare = double(vowels) / double(letters);
    return letters / n >= 0.6 && spaces / n >= 0.08 && spaces / n <= 0.3 &&
           double(goodWords) / double(words) >= 0.8 && meanWord >= 2.0 && meanWord <= 10.0 &&
           vowelShare >= 0.2 && vowelShare <= 0.6;
}

std::vector<Finding> CheckStream(StreamBytes& stream, std::size_t prefix,
                                 const CheckLimits& limits) {
    std::vector<Finding> findings;
    stream.has(prefix);
    const std::uint64_t scan = std::min<std::uint64_t>(prefix, stream.held());
    for (std::uint64_t at = 0; at < scan; ++at) {
        for (const Signature& signature : kSignatures) {
            if ((at > 0 && !signature.anywhere) ||
                stream.at(at) != std::uint8_t(signature.bytes[0]) ||
                !stream.has(at + signature.size) ||
                std::memcmp(stream.data() + at, signature.bytes, signature.size) != 0) {
                continue;
            }
            Finding finding;
            if (signature.check(stream, at, limits, finding)) {
                findings.push_back(std::move(finding));
            }
        }
    }
    const bool atStart = std::any_of(findings.begin(), findings.end(),
                                     [](const Finding& f) { return f.offset == 0; });
    if (!atStart) {
        Finding zlib;
        if (CheckZlib(stream, 0, limits, zlib)) {
            findings.push_back(std::move(zlib));
        }
    }
    CheckText(stream, prefix, limits, findings);
    CheckLengthPrefixed(stream, limits, findings);
    const bool named = std::any_of(findings.begin(), findings.end(),
                                   [](const Finding& f) { return f.tier != Tier::Raw; });
    if (limits.magic && !named && scan >= 64 && !LooksLikeNoise({stream.data(), 64})) {
        // A name from libmagic alone matches noise in clean photos: listed, never more than raw.
        // Streams of noise are not asked: file headers repeat bytes (zeros, letters), and a
        // libmagic look costs as much as the rest of a layout's checks together.
        if (std::string name = MagicName({stream.data(), scan}); !name.empty()) {
            findings.push_back(
                MakeFinding("magic", Tier::Raw, Strength::Signature, 0, scan, "libmagic: " + name));
        }
    }
    for (Finding& finding : findings) {
        if (finding.tier == Tier::Found && stream.has(finding.offset + finding.length)) {
            finding.payload.assign(stream.data() + finding.offset,
                                   stream.data() + finding.offset + finding.length);
        }
    }
    return findings;
}

std::string DescribePayload(std::span<const std::uint8_t> payload, bool* recognised) {
    StreamBytes stream(payload);
    CheckLimits limits;
    limits.magic = false;
    const auto findings = CheckStream(stream, payload.size(), limits);
    for (const Finding& finding : findings) {
        if (finding.tier == Tier::Found && finding.offset == 0) {
            if (recognised) {
                *recognised = true;
            }
            return finding.what;
        }
    }
    if (recognised) {
        *recognised = false;
    }
    const bool printable = std::all_of(payload.begin(), payload.end(),
                                       [](std::uint8_t c) { return Printable(c) || c >= 0x80; });
    return printable ? "text" : "binary data";
}

} // namespace vantrel::extract
