#pragma once
// Reading a layout's byte stream out of an image, on demand: the first N bytes touch only the
// pixels those bytes need.
#include "extract/BitLayout.h"
#include "image/Result.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct FIBITMAP;

namespace vantrel::extract {

// The samples of an image as the layouts see them: R, G, B, A and the palette index of each
// pixel, (0, 0) the top-left pixel. Borrows the bitmap's rows; the bitmap must outlive it.
class SampleImage {
public:
    // Standard 24/32-bit, 8-bit grey, and 1/4/8-bit palette bitmaps; anything else is refused
    // with a one-line reason.
    static Result<SampleImage> Of(const FIBITMAP* bitmap);
    // Rows of 3 (B, G, R) or 4 (B, G, R, A) bytes a pixel, top row first.
    static SampleImage OfRows(int width, int height, int bytesPerPixel, std::ptrdiff_t stride,
                              const std::uint8_t* top);

    int width() const { return width_; }
    int height() const { return height_; }
    std::uint64_t pixelCount() const { return std::uint64_t(width_) * std::uint64_t(height_); }
    ImageChannels channels() const { return {hasAlpha_, palette_}; }
    // True for plain B, G, R rows, which the whole-stream fast path reads directly.
    bool isRgb24() const { return kind_ == Kind::Rgb24; }
    const std::uint8_t* row(int y) const { return top_ + std::ptrdiff_t(y) * stride_; }

    // Writes R, G, B, A, I of pixel (x, y).
    void pixel(int x, int y, std::uint8_t* samples) const {
        const std::uint8_t* line = row(y);
        if (kind_ == Kind::Rgb24 || kind_ == Kind::Rgba32) {
            const int size = kind_ == Kind::Rgb24 ? 3 : 4;
            const std::uint8_t* p = line + size * x;
            samples[0] = p[2];
            samples[1] = p[1];
            samples[2] = p[0];
            samples[3] = size == 4 ? p[3] : 255;
            samples[4] = 0;
            return;
        }
        paletteSamples(line, x, samples);
    }

private:
    void paletteSamples(const std::uint8_t* line, int x, std::uint8_t* samples) const;
    enum class Kind { Rgb24, Rgba32, Palette1, Palette4, Palette8 };
    Kind kind_ = Kind::Rgb24;
    int width_ = 0;
    int height_ = 0;
    std::ptrdiff_t stride_ = 0;
    const std::uint8_t* top_ = nullptr;
    bool hasAlpha_ = false;
    bool palette_ = false;
    std::array<std::array<std::uint8_t, 4>, 256> colours_{}; // R, G, B, A of each index
};

// The primes below a bound, sieved as far as a reader has needed so far.
class PrimeIndices {
public:
    explicit PrimeIndices(std::uint64_t bound) : bound_(bound) {}
    // The n-th prime (n from 0: 2, 3, 5, ...), or `bound` when there are fewer primes below it.
    std::uint64_t nth(std::uint64_t n);
    std::uint64_t countBelowBound();

private:
    void sieveTo(std::uint64_t limit);
    std::uint64_t bound_;
    std::uint64_t sieved_ = 0;
    std::vector<std::uint32_t> primes_;
};

// The pixel that comes k-th in an order.
struct PixelAt {
    int x;
    int y;
};
PixelAt PixelInOrder(PixelOrder order, int width, int height, std::uint64_t k);

class LayoutReader {
public:
    LayoutReader(const SampleImage& image, const Layout& layout);

    // Fills `out` with the next bytes; fewer at the end of the stream.
    std::size_t read(std::span<std::uint8_t> out);
    std::vector<std::uint8_t> read(std::size_t count);
    // Whole bytes the stream holds in all (sieves the image's primes for a prime layout).
    std::uint64_t totalBytes();
    std::uint64_t bytesRead() const { return bytesRead_; }
    std::uint64_t pixelsTouched() const { return nextPixel_; }

    // Samples (R, G, B, A, I a pixel) of the first pixels of this reader's order and prime
    // choice, gathered once for many layouts; read from here instead of the image.
    using Gathered = std::shared_ptr<const std::vector<std::uint8_t>>;
    void useGathered(Gathered samples) { gathered_ = std::move(samples); }
    static Gathered Gather(const SampleImage& image, PixelOrder order, bool prime,
                           std::uint64_t pixels);

private:
    std::uint64_t walkLength();
    const std::uint8_t* gather(std::uint64_t count);

    const SampleImage& image_;
    Layout layout_;
    std::vector<std::uint8_t> bitShifts_; // the mask's bits, highest first
    std::unique_ptr<PrimeIndices> primes_;
    std::uint64_t nextPixel_ = 0;
    std::uint64_t bytesRead_ = 0;
    std::uint64_t pending_ = 0; // extracted bits not yet in a byte, newest lowest
    int pendingBits_ = 0;
    std::vector<std::uint8_t> samples_;
    Gathered gathered_;
};

// The first `count` bytes of a layout (fewer when the stream is shorter).
std::vector<std::uint8_t> ExtractBytes(const SampleImage& image, const Layout& layout,
                                       std::size_t count);

// The whole stream of a layout. `b1,rgb,lsb,xy` of B, G, R rows runs on a row kernel over every
// core; other layouts go through LayoutReader.
std::vector<std::uint8_t> ExtractWholeStream(const SampleImage& image, const Layout& layout);

} // namespace vantrel::extract
