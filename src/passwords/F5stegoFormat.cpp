#include "passwords/F5stegoFormat.h"
#include "passwords/Rc4.h"

#include "jpeg/JpegScanOrder.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace vantrel::passwords {
namespace {

int CeilDiv(int a, int b) {
    return (a + b - 1) / b;
}

} // namespace

Result<F5stegoCover> F5stegoJpegCover(const JpegCoefficients& jpeg) {
    if (jpeg.components.empty()) {
        return Failure("no components");
    }
    const JpegComponent* luma = &jpeg.components.front();
    for (const JpegComponent& component : jpeg.components) {
        if (component.id == 1) {
            luma = &component;
            break;
        }
    }
    const int columns = CeilDiv(jpeg.width, 8 * jpeg.maxHSampling) * luma->hSampling;
    const int rows = CeilDiv(jpeg.height, 8 * jpeg.maxVSampling) * luma->vSampling;
    if (columns < luma->widthInBlocks || rows < luma->heightInBlocks ||
        luma->coefficients.size() != static_cast<std::size_t>(luma->widthInBlocks) *
                                         static_cast<std::size_t>(luma->heightInBlocks) * 64) {
        return Failure("the luminance blocks do not match the frame");
    }
    // Only a scan of all components codes the padding blocks; alone in its scan a component's
    // padding stays zero, which is what a coefficient f5stegojs skips.
    const bool paddingCoded = !jpeg.progressive && jpeg.components.size() > 1;
    if (paddingCoded && (columns != luma->widthInBlocks || rows != luma->heightInBlocks)) {
        return Failure("its luminance is padded to whole MCUs by coded blocks the decoder does "
                       "not keep");
    }
    F5stegoCover cover;
    cover.coefficients.assign(
        static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows) * 64, 0);
    for (int row = 0; row < luma->heightInBlocks; ++row) {
        for (int column = 0; column < luma->widthInBlocks; ++column) {
            const std::span<const std::int16_t> block = luma->block(row, column);
            std::int16_t* to =
                cover.coefficients.data() + (static_cast<std::size_t>(row) * columns + column) * 64;
            for (std::size_t z = 1; z < 64; ++z) {
                to[z] = block[kZigzagToNatural[z]];
            }
        }
    }
    return cover;
}

std::optional<F5stegoRead> F5stegoReadAt(const F5stegoCover& cover, std::string_view password,
                                         std::size_t bytes) {
    const std::size_t count = cover.coefficients.size();
    if (password.empty() || count == 0 || count > UINT32_MAX) {
        return std::nullopt;
    }
    Rc4 stream = Rc4::Textbook(password);
    // The inside-out shuffle: the k-th word places coefficient k. Every word is read, so the
    // stream is where the message's mask starts whatever the message.
    thread_local std::vector<std::uint32_t> order;
    order.assign(count, 0);
    stream.LittleEndianWord();
    // A chunk of words at a time: its places are known before any is swapped, so their cache
    // lines (a large cover's order is megabytes, read at random) come in while the RC4 chain
    // runs, and the chain is not held up by the swaps.
    constexpr std::uint32_t kChunk = 32;
    std::array<std::uint32_t, kChunk> places{};
    const auto total = static_cast<std::uint32_t>(count);
    for (std::uint32_t k = 1; k < total;) {
        const std::uint32_t n = std::min(kChunk, total - k);
        std::uint32_t m = 0;
        stream.LittleEndianWords(n, [&](std::uint32_t word) {
            places[m] = word % (k + m + 1);
            __builtin_prefetch(&order[places[m]], 1);
            ++m;
        });
        for (m = 0; m < n; ++m, ++k) {
            const std::uint32_t to = places[m];
            order[k] = order[to];
            order[to] = k;
        }
    }
    F5MatrixReader<Rc4> reader(cover.coefficients, order, stream, true);
    F5stegoRead read;
    // The code choice: four bits, masked with a stream byte's low four.
    unsigned bits = 0;
    for (int n = 0; n < 4; ++n) {
        const std::optional<unsigned> bit = reader.NextBit();
        if (!bit) {
            return std::nullopt;
        }
        bits |= *bit << n;
    }
    read.k = static_cast<int>((bits ^ (stream.Byte() & 15u)) + 1);
    reader.SetCode(read.k);
    std::vector<std::uint8_t> out;
    reader.ReadTo(out, 2);
    if (out.size() < 2) {
        return std::nullopt;
    }
    std::size_t header = 2;
    read.length = out[0] + (std::uint32_t{out[1]} << 8);
    if (out[1] & 0x80) {
        reader.ReadTo(out, 3);
        if (out.size() < 3) {
            return std::nullopt;
        }
        header = 3;
        read.length =
            out[0] + ((std::uint32_t{out[1]} & 0x7f) << 8) + (std::uint32_t{out[2]} << 15);
    }
    if (read.length == 0) {
        return std::nullopt;
    }
    const std::size_t want = header + std::min<std::size_t>(bytes, read.length);
    reader.ReadTo(out, want);
    if (out.size() < want) {
        return std::nullopt;
    }
    read.payload.assign(out.begin() + static_cast<std::ptrdiff_t>(header), out.end());
    return read;
}

int F5stegoChosenCode(const F5stegoCover& cover, std::size_t bytes) {
    double zero = 0;
    double one = 0;
    const double total = static_cast<double>(cover.coefficients.size());
    for (std::size_t i = 0; i < cover.coefficients.size(); ++i) {
        const std::int16_t c = cover.coefficients[i];
        if (i % 64 == 0) {
            continue;
        }
        zero += c == 0 ? 1 : 0;
        one += (c == 1 || c == -1) ? 1 : 0;
    }
    const double large = total - zero - one - total / 64;
    const double ratio = one / (large + one);
    const auto bytesOf = [](double bits) { return std::trunc(bits / 8) - 1; };
    for (int i = 16; i >= 2; --i) {
        double k = static_cast<double>((1 << i) - 1);
        double usable = large + one;
        double embedded = 0;
        while (usable > k) {
            const double matched = std::trunc(usable / k / (1 << i) / (1 << i));
            usable -= matched * k;
            const double changed = std::trunc(usable * (1 - ratio) / k * 0.96);
            usable -= changed * k;
            embedded += changed + matched;
            k += 1;
        }
        if (bytesOf(i * embedded) >= static_cast<double>(bytes)) {
            return i;
        }
    }
    return bytesOf(large + 0.49 * one) >= static_cast<double>(bytes) ? 1 : 0;
}

} // namespace vantrel::passwords
