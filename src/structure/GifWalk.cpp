// GIF: header, colour tables (entries and duplicates), every extension with its label and
// application identifier, each frame, the trailer.
#include "structure/Walk.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace vantrel::structure::detail {

namespace {

bool KnownApplication(const std::string& id) {
    // Application extensions ordinary writers make: animation loops, XMP, ICC, ImageMagick.
    static constexpr const char* kKnown[] = {"NETSCAPE2.0",        "ANIMEXTS1.0", "XMP DataXMP",
                                             "ICCRGBG1012",        "MGK8BIM0000", "MGKIPTC0000",
                                             "MGLK\0\0\0\0\0\0\0", "ImageMagick"};
    return std::any_of(std::begin(kKnown), std::end(kKnown),
                       [&](const char* known) { return id.compare(0, 11, known, 11) == 0; });
}

bool Printable(const std::uint8_t* bytes, std::size_t count) {
    return std::all_of(bytes, bytes + count, [](std::uint8_t c) {
        return (c >= 0x20 && c != 0x7F) || c == '\n' || c == '\r' || c == '\t';
    });
}

class GifWalker {
public:
    explicit GifWalker(Walk& walk) : walk_(walk), out_(walk.out()) {}

    void run() {
        root_ = walk_.root("gif", "GIF");
        if (!walk_.has(0, 13)) {
            walk_.truncated(0, "the GIF header is cut short");
            return;
        }
        walk_.add(root_->children, 0, 13, "header",
                  std::string(walk_.at(0), walk_.at(6)) + " " + std::to_string(walk_.le16(6)) +
                      "x" + std::to_string(walk_.le16(8)));
        std::uint64_t pos = 13;
        if (walk_.u8(10) & 0x80) {
            pos = colourTable(pos, walk_.u8(10) & 7, "global colour table");
            if (pos == 0) {
                return;
            }
        }
        int frames = 0;
        while (!walk_.full()) {
            if (!walk_.has(pos, 1)) {
                walk_.truncated(pos, "the GIF ends before its trailer");
                return;
            }
            const std::uint8_t introducer = walk_.u8(pos);
            if (introducer == 0x3B) {
                walk_.add(root_->children, pos, 1, "trailer", "trailer", Check::Ok);
                hiddenFrames();
                walk_.tail(pos + 1, "the GIF trailer");
                return;
            }
            if (introducer == 0x21) {
                pos = extension(pos);
            } else if (introducer == 0x2C) {
                pos = frame(pos, ++frames);
            } else {
                walk_.truncated(pos, "bytes at " + std::to_string(pos) + " are no GIF block");
                return;
            }
            if (pos == 0) {
                return;
            }
        }
    }

private:
    std::uint64_t colourTable(std::uint64_t pos, int bits, const char* name) {
        const std::uint64_t entries = 2ull << bits, bytes = 3 * entries;
        if (!walk_.has(pos, bytes)) {
            walk_.truncated(pos, std::string("the ") + name + " is cut short");
            return 0;
        }
        // Duplicates: entries that repeat an earlier colour (encoders pad tables with black).
        std::vector<std::uint32_t> colours;
        for (std::uint64_t i = 0; i < entries; ++i) {
            const std::uint8_t* c = walk_.at(pos + 3 * i);
            colours.push_back(std::uint32_t(c[0]) << 16 | c[1] << 8 | c[2]);
        }
        std::sort(colours.begin(), colours.end());
        const std::uint64_t distinct =
            std::uint64_t(std::unique(colours.begin(), colours.end()) - colours.begin());
        walk_.add(root_->children, pos, bytes, "palette",
                  std::string(name) + ", " + std::to_string(entries) + " entries, " +
                      std::to_string(entries - distinct) + " duplicates");
        CheckPalette(walk_, pos, bytes, name);
        return pos + bytes;
    }

    // Sub-blocks from `pos` to their terminator; the offset after it, or 0 when cut short.
    std::uint64_t subBlocks(std::uint64_t pos, std::vector<std::uint8_t>* joined = nullptr) {
        while (walk_.has(pos, 1)) {
            const std::uint8_t size = walk_.u8(pos);
            if (size == 0) {
                return pos + 1;
            }
            if (!walk_.has(pos + 1, size)) {
                break;
            }
            if (joined && joined->size() < walk_.limits().carveFollow) {
                joined->insert(joined->end(), walk_.at(pos + 1), walk_.at(pos + 1 + size));
            }
            pos += 1 + std::uint64_t(size);
        }
        walk_.truncated(pos, "GIF sub-blocks are cut short");
        return 0;
    }

    std::uint64_t extension(std::uint64_t pos) {
        if (!walk_.has(pos, 2)) {
            walk_.truncated(pos, "a GIF extension is cut short");
            return 0;
        }
        const std::uint8_t label = walk_.u8(pos + 1);
        std::vector<std::uint8_t> data;
        const std::uint64_t end = subBlocks(pos + 2, &data);
        if (end == 0) {
            return 0;
        }
        char name[48];
        std::snprintf(name, sizeof name, "extension 0x%02X", label);
        std::string text = name;
        switch (label) {
        case 0xF9:
            text = "graphic control extension";
            if (data.size() >= 4) {
                control_ = {true, std::uint16_t(data[1] | data[2] << 8), (data[0] & 1) != 0};
            }
            break;
        case 0x01:
            text = "plain text extension";
            break;
        case 0xFE: {
            text = "comment extension";
            walk_.text("GIF comment", "Comment", Latin1(data.data(), data.size()), pos + 2);
            const std::size_t before = out_.anomalies.size();
            CheckEmbeddedBytes(walk_, data, pos + 2, "a GIF comment");
            if (out_.anomalies.size() > before) {
                out_.anomalies.back().length = end - pos - 2;
                walk_.ownBytes(std::move(data));
            }
            break;
        }
        case 0xFF: {
            const std::string id = walk_.has(pos + 3, 11) && walk_.u8(pos + 2) == 11
                                       ? std::string(walk_.at(pos + 3), walk_.at(pos + 14))
                                       : std::string();
            text = "application extension " +
                   Latin1(reinterpret_cast<const std::uint8_t*>(id.data()), id.size());
            if (id.rfind("XMP Data", 0) == 0 && walk_.has(pos + 14, end - pos - 14)) {
                // XMP is stored raw, its sub-block lengths being part of the text.
                XmpTexts(walk_, pos + 14, end - pos - 14);
            } else if (data.size() > 11 && Printable(data.data() + 11, data.size() - 11)) {
                // A text an application keeps beside the image: the reader sees it as one.
                walk_.text("GIF application " + Latin1(data.data(), 11), "Text",
                           Latin1(data.data() + 11, data.size() - 11), pos + 14);
            }
            if (!id.starts_with("XMP Data") && !KnownApplication(id)) {
                walk_.anomaly(AnomalyKind::UnknownChunk, pos, end - pos,
                              text + " is not one any common writer makes");
                if (data.size() > 12) {
                    data.erase(data.begin(), data.begin() + 11);
                    walk_.ownBytes(std::move(data));
                }
            }
            break;
        }
        default:
            walk_.anomaly(AnomalyKind::UnknownChunk, pos, end - pos,
                          text + " has a label no GIF version defines");
            walk_.ownBytes(std::move(data));
            break;
        }
        walk_.add(root_->children, pos, end - pos, "extension", text);
        return end;
    }

    std::uint64_t frame(std::uint64_t pos, int index) {
        if (!walk_.has(pos, 11)) {
            walk_.truncated(pos, "a GIF image descriptor is cut short");
            return 0;
        }
        const std::uint64_t start = pos;
        const std::uint8_t packed = walk_.u8(pos + 9);
        // An index, not a pointer: the colour table's part grows the same list.
        const std::size_t slot = root_->children.size();
        const bool added =
            walk_.add(root_->children, pos, 0, "frame",
                      "frame " + std::to_string(index) + " " + std::to_string(walk_.le16(pos + 5)) +
                          "x" + std::to_string(walk_.le16(pos + 7)) + " at " +
                          std::to_string(walk_.le16(pos + 1)) + "," +
                          std::to_string(walk_.le16(pos + 3))) != nullptr;
        pos += 10;
        if (packed & 0x80) {
            pos = colourTable(pos, packed & 7, "local colour table");
            if (pos == 0) {
                return 0;
            }
        }
        const std::uint64_t end = subBlocks(pos + 1);
        if (added && end) {
            Part& part = root_->children[slot];
            part.length = end - start;
            if (control_.present) {
                part.name += ", delay " + std::to_string(control_.delay) + "/100 s";
            }
        }
        if (end) {
            frames_.push_back({start, end - start, walk_.le16(start + 1), walk_.le16(start + 3),
                               walk_.le16(start + 5), walk_.le16(start + 7), control_});
        }
        control_ = {};
        return end;
    }

    // A frame nobody sees: outside the logical screen, or shown for no time and painted over
    // whole by an opaque next frame. Animations composed of zero-delay tiles are not covered;
    // where no frame has a delay, viewers give each one a default and every frame is seen.
    void hiddenFrames() {
        const std::uint32_t width = walk_.le16(6), height = walk_.le16(8);
        const bool timed = std::any_of(frames_.begin(), frames_.end(),
                                       [](const FrameBox& f) { return f.control.delay > 0; });
        for (std::size_t i = 0; i < frames_.size(); ++i) {
            const FrameBox& f = frames_[i];
            std::string why;
            // A screen of 0 x 0 is a writer's way of saying "as large as the frames".
            if (width > 0 && height > 0 &&
                (f.width == 0 || f.height == 0 || f.left >= width || f.top >= height)) {
                why = "lies outside the logical screen";
            } else if (timed && i + 1 < frames_.size() && f.control.delay == 0) {
                const FrameBox& next = frames_[i + 1];
                if (!next.control.transparent && next.left <= f.left && next.top <= f.top &&
                    next.left + next.width >= f.left + f.width &&
                    next.top + next.height >= f.top + f.height) {
                    why = "has no delay and frame " + std::to_string(i + 2) + " covers it";
                }
            }
            if (!why.empty() && frames_.size() > 1) {
                walk_.anomaly(AnomalyKind::HiddenFrame, f.offset, f.length,
                              "frame " + std::to_string(i + 1) + " is never shown: it " + why);
            }
        }
    }

    struct Control {
        bool present = false;
        std::uint16_t delay = 0; // hundredths of a second
        bool transparent = false;
    };
    struct FrameBox {
        std::uint64_t offset, length;
        std::uint32_t left, top, width, height;
        Control control;
    };
    Control control_;
    std::vector<FrameBox> frames_;

    Walk& walk_;
    FileStructure& out_;
    Part* root_ = nullptr;
};

} // namespace

void WalkGif(Walk& walk) {
    GifWalker(walk).run();
}

} // namespace vantrel::structure::detail
