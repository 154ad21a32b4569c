#include "extract/BitStream.h"

#include <FreeImage.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace vantrel::extract {

namespace {

constexpr std::uint8_t ReverseBits(std::uint8_t byte) {
    std::uint8_t reversed = 0;
    for (int bit = 0; bit < 8; ++bit) {
        reversed = static_cast<std::uint8_t>(reversed | (((byte >> bit) & 1) << (7 - bit)));
    }
    return reversed;
}

constexpr std::array<std::uint8_t, 256> kReversed = [] {
    std::array<std::uint8_t, 256> table{};
    for (int byte = 0; byte < 256; ++byte) {
        table[byte] = ReverseBits(static_cast<std::uint8_t>(byte));
    }
    return table;
}();

// Steps through the pixels of an order without a division a pixel.
struct OrderCursor {
    int x, y, dx, dy;
    bool rowsFast;
    int width, height;

    OrderCursor(PixelOrder order, int w, int h, std::uint64_t k) : width(w), height(h) {
        const PixelAt at = PixelInOrder(order, w, h, k);
        x = at.x;
        y = at.y;
        const int o = static_cast<int>(order);
        rowsFast = o < 4;
        // xy Xy xY XY: x fast; yx Yx yX YX: y fast. Upper case runs backwards.
        static constexpr int kDx[] = {1, -1, 1, -1, 1, 1, -1, -1};
        static constexpr int kDy[] = {1, 1, -1, -1, 1, -1, 1, -1};
        dx = kDx[o];
        dy = kDy[o];
    }
    void step() {
        if (rowsFast) {
            x += dx;
            if (x < 0 || x >= width) {
                x = dx > 0 ? 0 : width - 1;
                y += dy;
            }
        } else {
            y += dy;
            if (y < 0 || y >= height) {
                y = dy > 0 ? 0 : height - 1;
                x += dx;
            }
        }
    }
};

// LSBs of eight bytes, the first byte's in bit 7.
inline std::uint64_t LowBitsHighFirst(std::uint64_t word) {
    return ((word & 0x0101010101010101ull) * 0x8040201008040201ull) >> 56;
}

// Eight B, G, R pixels (24 bytes) to the 24 bits R0 G0 B0 R1 G1 B1 ..., first bit highest.
inline std::uint32_t RgbLowBitsOfEight(const std::uint8_t* pixels) {
    std::uint64_t words[3];
    std::memcpy(words, pixels, 24);
    const auto inMemoryOrder =
        static_cast<std::uint32_t>((LowBitsHighFirst(words[0]) << 16) |
                                   (LowBitsHighFirst(words[1]) << 8) | LowBitsHighFirst(words[2]));
    // Bit 23 - i holds byte i; swap the first and third bit of every triplet (B <-> R).
    constexpr std::uint32_t kFirst = 0b100100100100100100100100;
    constexpr std::uint32_t kMiddle = kFirst >> 1;
    constexpr std::uint32_t kLast = kFirst >> 2;
    return (inMemoryOrder & kMiddle) | ((inMemoryOrder << 2) & kFirst) |
           ((inMemoryOrder >> 2) & kLast);
}

struct BitSink {
    std::uint8_t* out;
    std::uint64_t bits = 0;
    int count = 0;
    void put(std::uint32_t value, int width) {
        bits = (bits << width) | value;
        count += width;
        while (count >= 8) {
            count -= 8;
            *out++ = static_cast<std::uint8_t>(bits >> count);
        }
    }
};

void RgbLsbRows(const SampleImage& image, int firstRow, int endRow, std::uint8_t* out,
                std::uint8_t* end) {
    BitSink sink{out};
    const int width = image.width();
    for (int y = firstRow; y < endRow; ++y) {
        const std::uint8_t* row = image.row(y);
        int x = 0;
        if (sink.count == 0) {
            // Byte-aligned (always so when the width is a multiple of 8): three bytes a group.
            for (; x + 8 <= width && sink.out + 3 <= end; x += 8, sink.out += 3) {
                const std::uint32_t bits = RgbLowBitsOfEight(row + 3 * x);
                sink.out[0] = static_cast<std::uint8_t>(bits >> 16);
                sink.out[1] = static_cast<std::uint8_t>(bits >> 8);
                sink.out[2] = static_cast<std::uint8_t>(bits);
            }
        }
        for (; x + 8 <= width && sink.out + 3 <= end; x += 8) {
            sink.put(RgbLowBitsOfEight(row + 3 * x), 24);
        }
        for (; x < width; ++x) {
            const std::uint8_t* p = row + 3 * x;
            const std::uint32_t bits = ((p[2] & 1u) << 2) | ((p[1] & 1u) << 1) | (p[0] & 1u);
            if (sink.out == end) {
                return;
            }
            if (sink.out + 1 == end && sink.count + 3 >= 8) {
                // The last whole byte of the stream; the bits after it are dropped.
                sink.put(bits >> (sink.count + 3 - 8), 8 - sink.count);
                return;
            }
            sink.put(bits, 3);
        }
    }
}

} // namespace

Result<SampleImage> SampleImage::Of(const FIBITMAP* constBitmap) {
    auto* bitmap = const_cast<FIBITMAP*>(constBitmap);
    const auto fail = [](const char* reason) { return Failure(reason); };
    if (bitmap == nullptr || !FreeImage_HasPixels(bitmap)) {
        return fail("no image");
    }
    if (FreeImage_GetImageType(bitmap) != FIT_BITMAP) {
        return fail("only 8-bit samples can be extracted from");
    }
    SampleImage image;
    image.width_ = static_cast<int>(FreeImage_GetWidth(bitmap));
    image.height_ = static_cast<int>(FreeImage_GetHeight(bitmap));
    image.stride_ = -static_cast<std::ptrdiff_t>(FreeImage_GetPitch(bitmap));
    image.top_ = FreeImage_GetScanLine(bitmap, image.height_ - 1);
    switch (FreeImage_GetBPP(bitmap)) {
    case 24:
        image.kind_ = Kind::Rgb24;
        return image;
    case 32:
        image.kind_ = Kind::Rgba32;
        image.hasAlpha_ = true;
        return image;
    case 8:
        image.kind_ = Kind::Palette8;
        break;
    case 4:
        image.kind_ = Kind::Palette4;
        break;
    case 1:
        image.kind_ = Kind::Palette1;
        break;
    default:
        return fail("only 1, 4, 8, 24 and 32-bit images can be extracted from");
    }
    const RGBQUAD* palette = FreeImage_GetPalette(bitmap);
    const unsigned entries = FreeImage_GetColorsUsed(bitmap);
    const BYTE* transparency = FreeImage_GetTransparencyTable(bitmap);
    const unsigned transparent = transparency ? FreeImage_GetTransparencyCount(bitmap) : 0;
    for (unsigned index = 0; index < 256; ++index) {
        auto& colour = image.colours_[index];
        colour = {0, 0, 0, 255};
        if (palette && index < entries) {
            colour = {palette[index].rgbRed, palette[index].rgbGreen, palette[index].rgbBlue, 255};
        }
        if (index < transparent) {
            colour[3] = transparency[index];
        }
    }
    image.hasAlpha_ = transparent > 0;
    image.palette_ = FreeImage_GetColorType(bitmap) == FIC_PALETTE;
    return image;
}

SampleImage SampleImage::OfRows(int width, int height, int bytesPerPixel, std::ptrdiff_t stride,
                                const std::uint8_t* top) {
    SampleImage image;
    image.width_ = width;
    image.height_ = height;
    image.stride_ = stride;
    image.top_ = top;
    image.kind_ = bytesPerPixel == 4 ? Kind::Rgba32 : Kind::Rgb24;
    image.hasAlpha_ = bytesPerPixel == 4;
    return image;
}

void SampleImage::paletteSamples(const std::uint8_t* line, int x, std::uint8_t* samples) const {
    int index = 0;
    switch (kind_) {
    case Kind::Palette8:
        index = line[x];
        break;
    case Kind::Palette4:
        index = (line[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F;
        break;
    case Kind::Palette1:
        index = (line[x >> 3] >> (7 - (x & 7))) & 1;
        break;
    case Kind::Rgb24:
    case Kind::Rgba32:
        break;
    }
    std::memcpy(samples, colours_[index].data(), 4);
    samples[4] = static_cast<std::uint8_t>(index);
}

void PrimeIndices::sieveTo(std::uint64_t limit) {
    limit = std::min(limit, bound_);
    if (limit <= sieved_) {
        return;
    }
    std::vector<bool> composite(limit, false);
    primes_.clear();
    for (std::uint64_t n = 2; n < limit; ++n) {
        if (composite[n]) {
            continue;
        }
        primes_.push_back(static_cast<std::uint32_t>(n));
        for (std::uint64_t multiple = n * n; multiple < limit; multiple += n) {
            composite[multiple] = true;
        }
    }
    sieved_ = limit;
}

std::uint64_t PrimeIndices::nth(std::uint64_t n) {
    while (primes_.size() <= n && sieved_ < bound_) {
        // The m-th prime lies below m (ln m + ln ln m) for m >= 6.
        const double m = static_cast<double>(n + 1) + 6.0;
        const auto estimate = static_cast<std::uint64_t>(m * (std::log(m) + std::log(std::log(m))));
        sieveTo(std::max({estimate + 16, 2 * sieved_, std::uint64_t{64}}));
    }
    return n < primes_.size() ? primes_[n] : bound_;
}

std::uint64_t PrimeIndices::countBelowBound() {
    sieveTo(bound_);
    return primes_.size();
}

PixelAt PixelInOrder(PixelOrder order, int width, int height, std::uint64_t k) {
    const auto w = static_cast<std::uint64_t>(width);
    const auto h = static_cast<std::uint64_t>(height);
    const int xFast = static_cast<int>(k % w), yRow = static_cast<int>(k / w);
    const int yFast = static_cast<int>(k % h), xColumn = static_cast<int>(k / h);
    switch (order) {
    case PixelOrder::xy:
        return {xFast, yRow};
    case PixelOrder::Xy:
        return {width - 1 - xFast, yRow};
    case PixelOrder::xY:
        return {xFast, height - 1 - yRow};
    case PixelOrder::XY:
        return {width - 1 - xFast, height - 1 - yRow};
    case PixelOrder::yx:
        return {xColumn, yFast};
    case PixelOrder::Yx:
        return {xColumn, height - 1 - yFast};
    case PixelOrder::yX:
        return {width - 1 - xColumn, yFast};
    case PixelOrder::YX:
        return {width - 1 - xColumn, height - 1 - yFast};
    }
    return {0, 0};
}

LayoutReader::LayoutReader(const SampleImage& image, const Layout& layout)
    : image_(image), layout_(layout) {
    for (int bit = 7; bit >= 0; --bit) {
        if ((layout.mask >> bit) & 1) {
            bitShifts_.push_back(static_cast<std::uint8_t>(bit));
        }
    }
    if (layout.prime) {
        primes_ = std::make_unique<PrimeIndices>(image.pixelCount());
    }
}

std::uint64_t LayoutReader::walkLength() {
    return primes_ ? primes_->countBelowBound() : image_.pixelCount();
}

std::uint64_t LayoutReader::totalBytes() {
    return walkLength() * static_cast<std::uint64_t>(layout_.bitsPerPixel()) / 8;
}

const std::uint8_t* LayoutReader::gather(std::uint64_t count) {
    if (gathered_ && (nextPixel_ + count) * kChannelCount <= gathered_->size()) {
        return gathered_->data() + nextPixel_ * kChannelCount;
    }
    samples_.resize(count * kChannelCount);
    std::uint8_t* out = samples_.data();
    const int width = image_.width(), height = image_.height();
    if (primes_) {
        for (std::uint64_t j = 0; j < count; ++j, out += kChannelCount) {
            const PixelAt at =
                PixelInOrder(layout_.order, width, height, primes_->nth(nextPixel_ + j));
            image_.pixel(at.x, at.y, out);
        }
        return samples_.data();
    }
    OrderCursor cursor(layout_.order, width, height, nextPixel_);
    for (std::uint64_t j = 0; j < count; ++j, out += kChannelCount) {
        image_.pixel(cursor.x, cursor.y, out);
        cursor.step();
    }
    return samples_.data();
}

LayoutReader::Gathered LayoutReader::Gather(const SampleImage& image, PixelOrder order, bool prime,
                                            std::uint64_t pixels) {
    Layout layout;
    layout.order = order;
    layout.prime = prime;
    LayoutReader reader(image, layout);
    std::uint64_t available = image.pixelCount();
    if (prime) {
        while (pixels > 0 && reader.primes_->nth(pixels - 1) >= available) {
            --pixels;
        }
    }
    pixels = std::min(pixels, available);
    const std::uint8_t* samples = reader.gather(pixels);
    return std::make_shared<const std::vector<std::uint8_t>>(samples,
                                                             samples + pixels * kChannelCount);
}

std::size_t LayoutReader::read(std::span<std::uint8_t> out) {
    const int perPixel = layout_.bitsPerPixel();
    const int perSample = layout_.bitsPerSample();
    const bool lowRun = (layout_.mask & (layout_.mask + 1)) == 0;
    std::size_t produced = 0;
    auto drain = [&] {
        while (pendingBits_ >= 8 && produced < out.size()) {
            pendingBits_ -= 8;
            auto byte = static_cast<std::uint8_t>(pending_ >> pendingBits_);
            out[produced++] = layout_.msbFirstBitLow ? kReversed[byte] : byte;
        }
        pending_ &= (std::uint64_t{1} << pendingBits_) - 1;
    };
    drain();
    const std::uint64_t pixelCount = image_.pixelCount();
    while (produced < out.size() && (primes_ || nextPixel_ < pixelCount)) {
        const std::uint64_t bitsWanted = (out.size() - produced) * 8 - pendingBits_;
        std::uint64_t chunk = std::min<std::uint64_t>((bitsWanted + perPixel - 1) / perPixel, 4096);
        if (primes_) {
            while (chunk > 0 && primes_->nth(nextPixel_ + chunk - 1) >= pixelCount) {
                --chunk; // past the last prime below the pixel count
            }
        } else {
            chunk = std::min(chunk, pixelCount - nextPixel_);
        }
        if (chunk == 0) {
            break;
        }
        const std::uint8_t* chunkSamples = gather(chunk);
        std::uint64_t used = 0;
        for (; used < chunk && pendingBits_ < 8; ++used) {
            const std::uint8_t* samples = chunkSamples + used * kChannelCount;
            for (const Channel channel : layout_.channels) {
                const std::uint8_t sample = samples[static_cast<int>(channel)];
                if (lowRun) {
                    pending_ = (pending_ << perSample) | (sample & layout_.mask);
                } else {
                    for (const std::uint8_t shift : bitShifts_) {
                        pending_ = (pending_ << 1) | ((sample >> shift) & 1u);
                    }
                }
            }
            pendingBits_ += perPixel;
            drain();
        }
        nextPixel_ += used;
    }
    bytesRead_ += produced;
    return produced;
}

std::vector<std::uint8_t> LayoutReader::read(std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    bytes.resize(read(std::span<std::uint8_t>(bytes)));
    return bytes;
}

std::vector<std::uint8_t> ExtractBytes(const SampleImage& image, const Layout& layout,
                                       std::size_t count) {
    LayoutReader reader(image, layout);
    return reader.read(count);
}

std::vector<std::uint8_t> ExtractWholeStream(const SampleImage& image, const Layout& layout) {
    Layout fast;
    if (!(image.isRgb24() && layout == fast)) {
        LayoutReader reader(image, layout);
        return reader.read(reader.totalBytes());
    }
    const std::uint64_t total = image.pixelCount() * 3 / 8;
    std::vector<std::uint8_t> bytes(total);
    // Bands of whole groups of eight rows start on byte boundaries: 3 bits x 8 rows x width.
    constexpr int kBandRows = 64;
    const int bands = (image.height() + kBandRows - 1) / kBandRows;
    const std::uint64_t bandBytes = std::uint64_t(image.width()) * 3 * kBandRows / 8;
    tbb::parallel_for(0, bands, [&](int band) {
        const int first = band * kBandRows;
        const int end = std::min(image.height(), first + kBandRows);
        std::uint8_t* out = bytes.data() + bandBytes * band;
        std::uint8_t* limit = band + 1 == bands ? bytes.data() + total : out + bandBytes;
        RgbLsbRows(image, first, end, out, limit);
    });
    return bytes;
}

} // namespace vantrel::extract
