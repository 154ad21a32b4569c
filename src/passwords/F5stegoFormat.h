#pragma once
// f5stegojs's embedding read back: an RC4 stream keyed by the password's UTF-8 bytes, whose first
// 4-byte words shuffle the luminance coefficients (one word per coefficient) and whose following
// bytes mask the message; the 4-bit code choice, then the 2- or 3-byte length, then the payload,
// by F5's matrix encoding over the shuffled coefficients other than 0.
#include "image/Result.h"
#include "jpeg/JpegCoefficients.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace vantrel::passwords {

// F5's extraction, as every F5 reads it: the bits of the shuffled coefficients other than 0 (a
// positive one's lowest bit, a negative one's inverted), gathered by the matrix code (2^k - 1, k)
// into k bits a group, least significant first, each completed byte masked with the next byte of
// the tool's stream. `order` lists the coefficients in walk order.
template <class Stream> class F5MatrixReader {
public:
    // `flushPartial`: a last partial byte is kept when the coefficients run out (f5stegojs)
    // rather than dropped.
    F5MatrixReader(std::span<const std::int16_t> coefficients, std::span<const std::uint32_t> order,
                   Stream& stream, bool flushPartial)
        : coefficients_(coefficients), order_(order), stream_(stream), flushPartial_(flushPartial) {
    }

    std::optional<unsigned> NextBit() {
        while (position_ < order_.size()) {
            const std::int16_t c = coefficients_[order_[position_++]];
            if (c != 0) {
                return static_cast<unsigned>((c & 1) ^ (c < 0 ? 1 : 0));
            }
        }
        return std::nullopt;
    }
    void SetCode(int k) { k_ = k; }
    // Appends decoded bytes to `out` until it holds `size` or the coefficients run out.
    void ReadTo(std::vector<std::uint8_t>& out, std::size_t size) {
        const unsigned groupSize = (1u << k_) - 1;
        while (out.size() < size) {
            if (pending_ >= 8) {
                out.push_back(static_cast<std::uint8_t>((bits_ & 0xff) ^ stream_.Byte()));
                bits_ >>= 8;
                pending_ -= 8;
                continue;
            }
            unsigned hash = 0;
            unsigned code = 0;
            while (code < groupSize) {
                const std::optional<unsigned> bit = NextBit();
                if (!bit) {
                    if (pending_ > 0 && flushPartial_) {
                        out.push_back(static_cast<std::uint8_t>((bits_ & 0xff) ^ stream_.Byte()));
                        pending_ = 0;
                    }
                    return;
                }
                ++code;
                hash ^= *bit * code;
            }
            bits_ |= std::uint64_t{hash} << pending_;
            pending_ += k_;
        }
    }

private:
    std::span<const std::int16_t> coefficients_;
    std::span<const std::uint32_t> order_;
    Stream& stream_;
    bool flushPartial_;
    std::size_t position_ = 0;
    int k_ = 1;
    std::uint64_t bits_ = 0;
    int pending_ = 0;
};

// The luminance component (id 1, else the first) as f5stegojs holds it: every block of the MCU
// grid, block row by block row, each block's coefficients in zigzag order with the DC slot 0.
struct F5stegoCover {
    std::vector<std::int16_t> coefficients;
};

// Refused where the grid needs blocks the decoder did not keep: an interleaved baseline file
// whose luminance is padded to whole MCUs has coded padding blocks that f5stegojs walks too. The
// decoder keeps them on request (kF5stegoCoefficientsAnalysis).
Result<F5stegoCover> F5stegoJpegCover(const JpegCoefficients& jpeg);

// The decoder's coefficients with each component's padding blocks kept (the jpeg wire's format).
inline constexpr const char* kF5stegoCoefficientsAnalysis = "jpeg-coefficients-padded";

struct F5stegoRead {
    int k = 0;                // the matrix code (2^k - 1, k)
    std::uint32_t length = 0; // payload bytes the header declares
    std::vector<std::uint8_t> payload;
};

// What one password reads: nothing for the empty password (the tool refuses it), a zero length,
// or a length the shuffled coefficients cannot hold; else the first `bytes` payload bytes (all
// of them when `bytes` is at least the length).
std::optional<F5stegoRead> F5stegoReadAt(const F5stegoCover& cover, std::string_view password,
                                         std::size_t bytes);

// The code f5stegojs picks for a message of `bytes` (its length header included): the largest k
// whose capacity estimate from the cover's counts holds it. 0: none does.
int F5stegoChosenCode(const F5stegoCover& cover, std::size_t bytes);

} // namespace vantrel::passwords
