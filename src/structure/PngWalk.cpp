// PNG: chunks with their CRCs, the image data inflated as far as IHDR needs (and a margin, to
// see rows a cut header hides), text chunks inflated under a cap; the size arithmetic of IHDR
// (and the true size of a cut IHDR from its stale CRC) is PngSize's.
#include "bytes/BoundedInflate.h"
#include "bytes/Crc32.h"
#include "structure/PaletteUse.h"
#include "structure/PngSize.h"
#include "structure/Walk.h"

#include <algorithm>
#include <array>
#include <memory>

namespace vantrel::structure::detail {

namespace {

bool IsKnownChunk(const std::uint8_t* type) {
    // Every chunk the PNG and APNG formats and their registered extensions define, and those
    // that common writers put in ordinary files (ImageMagick, Apple, Fireworks, Android).
    static constexpr const char* kKnown[] = {
        "IHDR", "PLTE", "IDAT", "IEND", "tRNS", "cHRM", "gAMA", "iCCP", "sBIT", "sRGB", "cICP",
        "mDCv", "cLLi", "cLLI", "mDCV", "tEXt", "zTXt", "iTXt", "bKGD", "hIST", "pHYs", "sPLT",
        "eXIf", "tIME", "acTL", "fcTL", "fdAT", "oFFs", "pCAL", "sCAL", "sTER", "gIFg", "gIFx",
        "gIFt", "fRAc", "dSIG", "vpAg", "caNv", "orNT", "iDOT", "CgBI", "prVW", "mkBF", "mkTS",
        "mkBS", "mkBT", "npTc", "npLb", "npOl", "zxIf", "exIf", "jdAT", "JDAA", "JSEP"};
    return std::any_of(std::begin(kKnown), std::end(kKnown),
                       [&](const char* name) { return std::memcmp(type, name, 4) == 0; });
}

// Inflates a text chunk's zlib data under the cap; the bytes made, and whether it ended.
std::vector<std::uint8_t> InflateText(const std::uint8_t* data, std::uint64_t count,
                                      std::uint64_t cap, bool* ended) {
    std::vector<std::uint8_t> out;
    bytes::BoundedInflater inflater(
        15, cap, 16384, [&](const std::uint8_t* piece, std::size_t made) {
            out.insert(out.end(), piece, piece + std::min<std::size_t>(made, cap - out.size()));
        });
    inflater.feed(data, count);
    *ended = inflater.ended();
    return out;
}

std::string Utf8Clean(const std::uint8_t* bytes, std::size_t count) {
    std::string text(reinterpret_cast<const char*>(bytes), count);
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t') {
            c = ' ';
        }
    }
    return text;
}

// The keyword of a text chunk: 1 to 79 bytes before a NUL.
std::size_t Keyword(const std::uint8_t* data, std::size_t count) {
    const std::size_t limit = std::min<std::size_t>(count, 80);
    const auto* nul = static_cast<const std::uint8_t*>(std::memchr(data, 0, limit));
    return nul ? std::size_t(nul - data) : 0;
}

class PngWalker {
public:
    explicit PngWalker(Walk& walk) : walk_(walk), out_(walk.out()) {}

    void run() {
        Part* root = walk_.root("png", "PNG");
        walk_.add(root->children, 0, 8, "signature", "PNG signature", Check::Ok);
        std::uint64_t pos = 8;
        bool ended = false;
        for (int chunks = 0; pos < walk_.size() && !walk_.full(); ++chunks) {
            if (!walk_.has(pos, 12)) {
                walk_.truncated(pos, "a chunk header is cut short at " + std::to_string(pos));
                break;
            }
            const std::uint32_t length = walk_.be32(pos);
            const std::uint8_t* type = walk_.at(pos + 4);
            const bool letters = std::all_of(type, type + 4, [](std::uint8_t c) {
                return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
            });
            if (!letters || length > 0x7FFFFFFFu) {
                walk_.truncated(pos, "bytes at " + std::to_string(pos) + " are not a chunk");
                break;
            }
            const std::string name(type, type + 4);
            if (!walk_.has(pos + 8, std::uint64_t(length) + 4)) {
                walk_.add(root->children, pos, walk_.size() - pos, "chunk", name, Check::Bad);
                if (name == "IDAT") {
                    idat(pos + 8, walk_.size() - pos - 8);
                }
                walk_.truncated(pos, name + " chunk of " + std::to_string(length) +
                                         " bytes is cut short by the end of the file");
                break;
            }
            const std::uint32_t stored = walk_.be32(pos + 8 + length);
            const bool crcOk = bytes::Crc32(type, 4 + std::uint64_t(length)) == stored;
            Part* part = walk_.add(root->children, pos, 12 + std::uint64_t(length), "chunk", name,
                                   crcOk ? Check::Ok : Check::Bad);
            if (!part) {
                break;
            }
            if (!crcOk) {
                if (chunks == 0 && name == "IHDR") {
                    staleIhdr_ = true;
                    storedIhdrCrc_ = stored;
                } else {
                    walk_.anomaly(AnomalyKind::CrcMismatch, pos, 12 + std::uint64_t(length),
                                  name + " CRC is wrong");
                }
            }
            chunk(name, pos + 8, length, *part, chunks);
            pos += 12 + std::uint64_t(length);
            if (name == "IEND") {
                ended = true;
                break;
            }
        }
        finishImageData();
        if (ended) {
            walk_.tail(pos, "IEND");
        } else if (out_.anomalies.empty() ||
                   std::none_of(out_.anomalies.begin(), out_.anomalies.end(),
                                [](auto& a) { return a.kind == AnomalyKind::Truncated; })) {
            walk_.truncated(pos, "the file ends without IEND");
        }
    }

private:
    void chunk(const std::string& name, std::uint64_t data, std::uint32_t length, Part& part,
               int index) {
        if (name == "IHDR") {
            if (index == 0 && length == 13) {
                header_.width = walk_.be32(data);
                header_.height = walk_.be32(data + 4);
                header_.depth = walk_.u8(data + 8);
                header_.colour = walk_.u8(data + 9);
                header_.interlace = walk_.u8(data + 12);
                header_.valid = header_.width > 0 && header_.height > 0 &&
                                header_.width <= 0x7FFFFFFF && header_.height <= 0x7FFFFFFF &&
                                DepthAllowed(header_.colour, header_.depth) &&
                                header_.interlace <= 1;
                ihdrAt_ = data;
                part.name =
                    "IHDR " + std::to_string(header_.width) + "x" + std::to_string(header_.height);
            }
            return;
        }
        if (name == "IDAT") {
            idat(data, length);
            return;
        }
        if (name == "PLTE") {
            plte_ = {data, length};
            return;
        }
        if (name == "tEXt" || name == "zTXt" || name == "iTXt") {
            textChunk(name, data, length, part);
            return;
        }
        if (name == "eXIf") {
            const std::uint64_t skip = walk_.matches(data, std::string_view("Exif\0\0", 6)) ? 6 : 0;
            if (!WalkTiff(walk_, data + skip, length - skip, part.children, "EXIF", 1).valid) {
                walk_.anomaly(AnomalyKind::BadMetadata, data, length,
                              "eXIf chunk does not hold a TIFF structure");
            }
            return;
        }
        if (!IsKnownChunk(walk_.at(data - 4))) {
            walk_.anomaly(AnomalyKind::UnknownChunk, data, length,
                          "chunk " + name + " (" + std::to_string(length) +
                              " bytes) is not one any common writer makes");
        }
    }

    void textChunk(const std::string& name, std::uint64_t data, std::uint32_t length, Part& part) {
        const std::uint8_t* bytes = walk_.at(data);
        const std::size_t key = Keyword(bytes, length);
        if (key == 0) {
            walk_.anomaly(AnomalyKind::BadMetadata, data, length, name + " chunk has no keyword");
            return;
        }
        const std::string keyword = Latin1(bytes, key);
        part.name = name + " " + keyword;
        std::uint64_t at = key + 1;
        bool compressed = name == "zTXt";
        if (name == "zTXt") {
            at += 1;
        } else if (name == "iTXt") {
            if (at + 2 > length) {
                return;
            }
            compressed = bytes[at] != 0;
            at += 2;
            for (int field = 0; field < 2; ++field) { // language tag, translated keyword
                const auto* nul =
                    static_cast<const std::uint8_t*>(std::memchr(bytes + at, 0, length - at));
                if (!nul) {
                    return;
                }
                at = std::uint64_t(nul - bytes) + 1;
            }
        }
        if (at > length) {
            return;
        }
        const std::uint64_t valueAt = data + at, valueLength = length - at;
        if (!compressed) {
            walk_.text(name, keyword,
                       name == "iTXt" ? Utf8Clean(bytes + at, valueLength)
                                      : Latin1(bytes + at, valueLength),
                       valueAt);
            CheckEmbedded(walk_, valueAt, valueLength, (name + " " + keyword).c_str());
            return;
        }
        bool ended = false;
        std::vector<std::uint8_t> value =
            InflateText(bytes + at, valueLength, walk_.limits().textInflate, &ended);
        if (!ended && value.size() < walk_.limits().textInflate) {
            walk_.anomaly(AnomalyKind::BadMetadata, valueAt, valueLength,
                          name + " " + keyword + " does not inflate");
        }
        walk_.text(name, keyword,
                   name == "iTXt" ? Utf8Clean(value.data(), value.size())
                                  : Latin1(value.data(), value.size()),
                   valueAt);
        const std::size_t before = out_.anomalies.size();
        CheckEmbeddedBytes(walk_, value, valueAt, (name + " " + keyword).c_str());
        if (out_.anomalies.size() > before) {
            out_.anomalies.back().length = valueLength;
            walk_.ownBytes(std::move(value));
        }
    }

    void idat(std::uint64_t data, std::uint64_t length) {
        if (!inflater_) {
            const std::uint64_t needed =
                header_.valid ? NeededBytes(header_, header_.width, header_.height) : 0;
            const std::uint64_t margin = std::max(needed, walk_.limits().inflateMargin);
            cap_ = std::min(walk_.limits().inflateTotal,
                            needed > UINT64_MAX - margin ? UINT64_MAX : needed + margin);
            if (header_.valid && header_.colour == 3) {
                paletteUse_.emplace(header_.width, header_.height, header_.depth,
                                    header_.interlace == 1);
            }
            // The image data is only counted, and followed through the palette's indices.
            inflater_ = std::make_unique<bytes::BoundedInflater>(
                15, cap_, 256 * 1024, [this](const std::uint8_t* piece, std::size_t made) {
                    if (paletteUse_) {
                        paletteUse_->feed(piece, made);
                    }
                });
        }
        if (totals_.chunks++ == 0) {
            idatFirst_ = data - 8;
        }
        idatLast_ = data + length + 4;
        totals_.compressed += length;
        const std::uint64_t left = inflater_->feed(walk_.at(data), length);
        if (left > 0) {
            trailer_.emplace_back(data + length - left, left);
        }
    }

    void finishImageData() {
        checkPalette();
        if (!header_.valid) {
            walk_.anomaly(AnomalyKind::BadMetadata, 8, 0, "IHDR is missing or invalid");
            return;
        }
        totals_.needed = NeededBytes(header_, header_.width, header_.height);
        if (inflater_) {
            totals_.inflated = inflater_->produced();
            totals_.streamEnded = inflater_->ended();
            totals_.capped = inflater_->capped();
        }
        out_.info.idat = totals_;
        if (staleIhdr_) {
            solveIhdr();
        }
        // A file cut short has said so once; its image data is short for the same reason.
        const bool cut =
            std::any_of(out_.anomalies.begin(), out_.anomalies.end(),
                        [](const Anomaly& a) { return a.kind == AnomalyKind::Truncated; });
        const std::uint64_t idatLength = idatLast_ - idatFirst_;
        if (inflater_ && inflater_->broken()) {
            walk_.anomaly(AnomalyKind::Truncated, idatFirst_, idatLength,
                          "the image data is not a valid zlib stream after " +
                              std::to_string(totals_.inflated) + " bytes");
        }
        if (totals_.inflated > totals_.needed && header_.interlace == 0) {
            const std::uint64_t rows = RowsIn(header_, totals_.inflated);
            walk_.anomaly(AnomalyKind::IdatExcess, idatFirst_, idatLength,
                          "image data holds " + std::string(totals_.capped ? "at least " : "") +
                              std::to_string(rows) + " rows, IHDR declares " +
                              std::to_string(header_.height));
            if (!out_.info.ihdrTrueSize && !totals_.capped) {
                out_.info.ihdrTrueSize = {header_.width, std::uint32_t(rows)};
            }
        } else if (totals_.inflated > totals_.needed) {
            walk_.anomaly(AnomalyKind::IdatExcess, idatFirst_, idatLength,
                          "interlaced image data holds " + std::to_string(totals_.inflated) +
                              " bytes, IHDR needs " + std::to_string(totals_.needed));
        } else if (cut) {
            // nothing more to say about image data the end of the file cut
        } else if (totals_.chunks == 0) {
            walk_.anomaly(AnomalyKind::Truncated, 0, 0, "the PNG holds no image data");
        } else if (!totals_.streamEnded && !totals_.capped && !inflater_->broken()) {
            walk_.anomaly(AnomalyKind::Truncated, idatFirst_, idatLength,
                          "the image data's zlib stream does not end");
        } else if (totals_.streamEnded && totals_.inflated < totals_.needed) {
            walk_.anomaly(AnomalyKind::Truncated, idatFirst_, idatLength,
                          "image data ends after " + std::to_string(totals_.inflated) + " of the " +
                              std::to_string(totals_.needed) + " bytes IHDR needs");
        }
        if (!trailer_.empty()) {
            std::uint64_t total = 0;
            std::vector<std::uint8_t> joined;
            for (const auto& [offset, length] : trailer_) {
                total += length;
                joined.insert(joined.end(), walk_.at(offset), walk_.at(offset) + length);
            }
            walk_.anomaly(AnomalyKind::IdatTrailer, trailer_.front().first, total,
                          std::to_string(total) + " bytes in IDAT after the zlib stream's end");
            if (trailer_.size() > 1) {
                walk_.ownBytes(std::move(joined));
            }
        }
    }

    // Only the entries past the highest index the pixels use can carry anything unseen; when
    // the image data cannot tell (cut, broken), the whole table is looked at.
    void checkPalette() {
        const auto [data, length] = plte_;
        if (length == 0) {
            return;
        }
        if (paletteUse_ && paletteUse_->complete()) {
            const std::uint64_t used = 3 * std::uint64_t(paletteUse_->highest() + 1);
            if (used < length) {
                CheckPalette(walk_, data + used, length - used, "PLTE", true);
            }
            return;
        }
        CheckPalette(walk_, data, length, "PLTE");
    }

    // The stale CRC of IHDR fixes one unknown side exactly; both sides are tried where the image
    // data's length can tell the right pair from the many that fit the CRC alone.
    void solveIhdr() {
        std::array<std::uint8_t, 17> message{};
        std::memcpy(message.data(), walk_.at(ihdrAt_ - 4), 17);
        const bool know = totals_.streamEnded && !totals_.capped;
        auto fits = [&](std::uint64_t w, std::uint64_t h) {
            if (w == 0 || h == 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF) {
                return false;
            }
            return know ? NeededBytes(header_, w, h) == totals_.inflated : h <= (1u << 20);
        };
        std::optional<std::pair<std::uint32_t, std::uint32_t>> size;
        if (auto h = SolveField(message, 8, storedIhdrCrc_); h && fits(header_.width, *h)) {
            size = {header_.width, *h};
        } else if (auto w = SolveField(message, 4, storedIhdrCrc_); w && fits(*w, header_.height)) {
            size = {*w, header_.height};
        } else if (know) {
            for (std::uint32_t width = 1; width <= walk_.limits().sizeSearchWidth; ++width) {
                bytes::PutBe32(message.data() + 4, width);
                if (auto hh = SolveField(message, 8, storedIhdrCrc_); hh && fits(width, *hh)) {
                    size = {width, *hh};
                    break;
                }
            }
        }
        std::string reason = "IHDR CRC is stale";
        if (size) {
            out_.info.ihdrTrueSize = size;
            reason += ": it was computed for " + std::to_string(size->first) + "x" +
                      std::to_string(size->second) + ", IHDR says " +
                      std::to_string(header_.width) + "x" + std::to_string(header_.height);
        }
        walk_.anomaly(AnomalyKind::CrcMismatch, ihdrAt_ - 8, 25, reason);
    }

    Walk& walk_;
    FileStructure& out_;
    PngHeader header_;
    std::uint64_t ihdrAt_ = 0;
    bool staleIhdr_ = false;
    std::uint32_t storedIhdrCrc_ = 0;
    std::unique_ptr<bytes::BoundedInflater> inflater_;
    std::uint64_t cap_ = 0;
    IdatTotals totals_;
    std::uint64_t idatFirst_ = 0, idatLast_ = 0; // first IDAT chunk's start, last one's end
    std::vector<std::pair<std::uint64_t, std::uint64_t>> trailer_;
    std::pair<std::uint64_t, std::uint64_t> plte_{0, 0}; // data offset and length
    std::optional<PaletteUse> paletteUse_;
};

} // namespace

void WalkPng(Walk& walk) {
    PngWalker(walk).run();
}

} // namespace vantrel::structure::detail
