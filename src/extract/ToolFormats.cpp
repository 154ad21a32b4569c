#include "extract/ToolFormats.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <string_view>

namespace vantrel::extract {

namespace {

Layout RgbLayout(int bits) {
    Layout layout;
    layout.mask = static_cast<std::uint8_t>((1u << bits) - 1);
    return layout;
}

Finding ToolFinding(const char* kind, const Layout& layout, Strength strength, Tier tier,
                    std::vector<std::uint8_t> message, const std::string& what) {
    Finding finding;
    finding.kind = kind;
    finding.layout = ToText(layout);
    finding.tier = tier;
    finding.strength = strength;
    finding.length = message.size();
    finding.ownStream = true;
    bool recognised = false;
    const std::string content = DescribePayload(message, &recognised);
    finding.what = what + ", " + std::to_string(message.size()) + " bytes: " + content;
    finding.payload = std::move(message);
    return finding;
}

bool IsPrintableUtf8(const std::vector<std::uint8_t>& text, std::string_view controls = "\t\n\r") {
    for (std::size_t i = 0; i < text.size();) {
        const std::uint8_t c = text[i];
        if (c < 0x80) {
            if (c < 0x20 && controls.find(static_cast<char>(c)) == std::string_view::npos) {
                return false;
            }
            ++i;
            continue;
        }
        const int follow = c >= 0xF0 && c < 0xF5 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 ? 1 : -1;
        if (follow < 0) {
            return false;
        }
        for (int k = 1; k <= follow; ++k) {
            if (i + k >= text.size() || (text[i + k] & 0xC0) != 0x80) {
                return false;
            }
        }
        i += 1 + follow;
    }
    return true;
}

// steggy: 8-byte big-endian length, the SHA-256 of the message, the message.
void CheckSteggy(const SampleImage& image, const CheckLimits& limits, std::vector<Finding>& out) {
    LayoutReader reader(image, Layout{});
    const std::vector<std::uint8_t> header = reader.read(40);
    if (header.size() < 40) {
        return;
    }
    std::uint64_t length = 0;
    for (int i = 0; i < 8; ++i) {
        length = (length << 8) | header[i];
    }
    if (length > limits.follow || length > image.pixelCount() * 3 / 8 - 40) {
        return;
    }
    std::vector<std::uint8_t> message = reader.read(length);
    std::array<unsigned char, 32> digest{};
    unsigned int digestSize = 0;
    if (message.size() != length ||
        EVP_Digest(message.data(), message.size(), digest.data(), &digestSize, EVP_sha256(),
                   nullptr) != 1 ||
        !std::equal(digest.begin(), digest.end(), header.begin() + 8)) {
        return;
    }
    Finding finding = ToolFinding("steggy", Layout{}, Strength::Checksum, Tier::Found,
                                  std::move(message), "steggy message, SHA-256 verified");
    // Its extent is a plain stretch of the layout's stream: a text inside it is not reported.
    finding.ownStream = false;
    finding.length = 40 + length;
    out.push_back(std::move(finding));
}

// The bits of a layout's stream from a bit offset on, a byte at a time.
class ShiftedBytes {
public:
    ShiftedBytes(const SampleImage& image, const Layout& layout, int skipBits)
        : reader_(image, layout), shift_(skipBits % 8) {
        reader_.read(static_cast<std::size_t>(skipBits / 8));
        fill();
    }
    bool next(std::uint8_t* byte) {
        if (held_ < 8) {
            fill();
            if (held_ < 8) {
                return false;
            }
        }
        held_ -= 8;
        *byte = static_cast<std::uint8_t>(bits_ >> held_);
        return true;
    }
    // The next `count` bits (up to 24) are all zero; true too where the stream ends first.
    bool zeroBits(int count) {
        fill();
        count = std::min(count, held_);
        return count == 0 || ((bits_ >> (held_ - count)) & ((1u << count) - 1)) == 0;
    }

private:
    void fill() {
        while (held_ <= 24) {
            const auto byte = reader_.read(1);
            if (byte.empty()) {
                return;
            }
            bits_ = (bits_ << 8) | byte[0];
            held_ += 8;
            if (!started_) {
                started_ = true;
                held_ -= shift_; // drop the first bits of the first byte
            }
        }
    }
    LayoutReader reader_;
    int shift_;
    std::uint64_t bits_ = 0;
    int held_ = 0;
    bool started_ = false;
};

// stegano: depth d in pixel (0, 0); from pixel 1 the low d bits of R, G, B carry 02, the message
// with 02, 17 and 1B escaped as 1B then byte XOR 0E, then 17; the rest of that pixel is zero.
void CheckStegano(const SampleImage& image, const CheckLimits& limits, std::vector<Finding>& out) {
    std::uint8_t first[5];
    image.pixel(0, 0, first);
    const int depth = 4 * (first[0] & 1) + 2 * (first[1] & 1) + (first[2] & 1);
    if (depth == 0) {
        return;
    }
    ShiftedBytes bytes(image, RgbLayout(depth), 3 * depth);
    std::uint8_t byte = 0;
    if (!bytes.next(&byte) || byte != 0x02) {
        return;
    }
    std::vector<std::uint8_t> message;
    std::uint64_t frame = 1;
    bool escaped = false;
    while (frame < limits.follow && bytes.next(&byte)) {
        ++frame;
        if (escaped) {
            if (byte != (0x02 ^ 0x0E) && byte != (0x17 ^ 0x0E) && byte != (0x1B ^ 0x0E)) {
                return;
            }
            message.push_back(byte ^ 0x0E);
            escaped = false;
        } else if (byte == 0x1B) {
            escaped = true;
        } else if (byte == 0x02) {
            return;
        } else if (byte == 0x17) {
            const int pixelBits = 3 * depth;
            const int padding = static_cast<int>((pixelBits - (8 * frame) % pixelBits) % pixelBits);
            if (message.empty() || !bytes.zeroBits(padding) ||
                !IsPrintableUtf8(message, "\t\n\r\x02\x17\x1b")) {
                return;
            }
            out.push_back(ToolFinding(
                "stegano", RgbLayout(depth), Strength::Structure, Tier::Found, std::move(message),
                "stegano frame at depth " + std::to_string(depth) + ", escapes and padding hold"));
            return;
        } else {
            message.push_back(byte);
        }
    }
}

// stepic: nine samples a byte (R, G, B of three pixels in turn); the first eight LSBs are the
// byte, the ninth is set on the last byte only.
void CheckStepic(const SampleImage& image, const CheckLimits& limits, std::vector<Finding>& out) {
    LayoutReader reader(image, Layout{});
    std::vector<std::uint8_t> message, chunk;
    std::size_t used = 0;
    std::uint64_t bits = 0;
    int held = 0;
    const std::uint64_t most = std::min<std::uint64_t>(limits.follow, image.pixelCount() / 3);
    while (message.size() < most) {
        while (held < 9) {
            if (used == chunk.size()) {
                chunk = reader.read(4096);
                used = 0;
                if (chunk.empty()) {
                    return; // the stream ended before a byte with its ninth bit set
                }
            }
            bits = (bits << 8) | chunk[used++];
            held += 8;
        }
        held -= 9;
        const auto group = static_cast<std::uint32_t>((bits >> held) & 0x1FF);
        message.push_back(static_cast<std::uint8_t>(group >> 1));
        if (group & 1) {
            break;
        }
        if (message.size() == 4096 &&
            std::all_of(message.begin(), message.end(), [](std::uint8_t c) { return c == 0; })) {
            return; // an even region, not a message
        }
    }
    if (message.size() >= most) {
        return;
    }
    bool recognised = false;
    DescribePayload(message, &recognised);
    // The ninth bits stay zero by chance as often as the cover's LSBs past the message are zero:
    // in an even or dark stretch nearly always, so printable bytes there prove nothing.
    const std::vector<std::uint8_t> after = reader.read(4096);
    std::size_t zeros = 0;
    for (const std::uint8_t byte : after) {
        zeros += 8 - static_cast<std::size_t>(std::popcount(byte));
    }
    const double zeroShare = (double(zeros) + 1) / (8.0 * double(after.size()) + 2);
    const bool endByChance =
        std::pow(zeroShare, double(message.size() - 1)) * (1 - zeroShare) > kLengthChanceBound;
    std::array<std::size_t, 256> counts{};
    for (const std::uint8_t byte : message) {
        ++counts[byte];
    }
    const std::size_t commonest = *std::max_element(counts.begin(), counts.end());
    // Prose spends about a sixth of its bytes on spaces; an even stretch repeats one byte.
    const bool text = message.size() >= 12 && IsPrintableUtf8(message) && !endByChance &&
                      commonest * 3 <= message.size();
    // Even regions (icons, flat backgrounds) give long runs of a few values, not data.
    const bool varied = commonest * 10 <= message.size();
    // On a clean cover each ninth bit is a coin toss, so an end bit first set after n bytes
    // has odds near 2^-n: past 32 bytes of data or prose that is a message, whatever it holds.
    const bool longRun = message.size() >= 32 && (LooksRandom(message) || ReadsLikeProse(message));
    if (recognised || text || longRun) {
        out.push_back(ToolFinding("stepic", Layout{}, Strength::Structure, Tier::Found,
                                  std::move(message), "stepic message, end bit in place"));
    } else if (message.size() >= 32 && varied) {
        out.push_back(ToolFinding("stepic", Layout{}, Strength::Signature, Tier::Weak,
                                  std::move(message), "stepic-shaped framing"));
    }
}

} // namespace

std::vector<Finding> CheckToolFormats(const SampleImage& image, const CheckLimits& limits) {
    std::vector<Finding> findings;
    CheckSteggy(image, limits, findings);
    CheckStegano(image, limits, findings);
    CheckStepic(image, limits, findings);
    return findings;
}

} // namespace vantrel::extract
