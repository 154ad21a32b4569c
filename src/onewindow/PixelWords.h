#pragma once
// Rows of a picture as 32-bit words, the form the one-window kernels work on. A word holds a
// pixel as the bytes blue, green, red, x read little-endian: blue in bits 0-7, green in 8-15, red
// in 16-23 (the reverse of RgbColor). Four-byte rows that are suitably aligned are used in place;
// anything else (three-byte rows, odd addresses) goes through a small row buffer.
#include "image/ColorModel.h"
#include "image/PixelView.h"

#include <cstdint>
#include <vector>

namespace vantrel::onewindow {

using Word = std::uint32_t;

inline constexpr Word kBlueLsbBit = 0x000001;
inline constexpr Word kGreenLsbBit = 0x000100;
inline constexpr Word kRedLsbBit = 0x010000;
inline constexpr Word kLsbBits = kRedLsbBit | kGreenLsbBit | kBlueLsbBit;
inline constexpr Word kOpaque = 0xFF000000u;

constexpr Word WordOf(int red, int green, int blue) {
    return kOpaque | static_cast<Word>(red) << 16 | static_cast<Word>(green) << 8 |
           static_cast<Word>(blue);
}

// A read outside a picture (-1) keeps all its bits set in the word as well.
constexpr Word WordFromRgbColor(RgbColor colour) {
    const auto bits = static_cast<Word>(colour);
    return (bits & 0xFF000000u) | (bits & 0xFF) << 16 | (bits & 0xFF00) | (bits >> 16 & 0xFF);
}

constexpr RgbColor RgbColorFromWord(Word word) {
    return MakeRgb(static_cast<int>(word >> 16 & 0xFF), static_cast<int>(word >> 8 & 0xFF),
                   static_cast<int>(word & 0xFF));
}

// Rows of four-byte pixels at word-aligned addresses are read and written in place.
inline bool NeedsRowBuffer(const PixelView& view) {
    return !view.empty() && !(view.bytesPerPixel == 4 &&
                              reinterpret_cast<std::uintptr_t>(view.top) % alignof(Word) == 0 &&
                              view.stride % static_cast<std::ptrdiff_t>(alignof(Word)) == 0);
}

inline void ReadWords(const std::uint8_t* bytes, int width, int bytesPerPixel, Word* words) {
    for (int x = 0; x < width; ++x) {
        const std::uint8_t* pixel = bytes + static_cast<std::ptrdiff_t>(x) * bytesPerPixel;
        words[x] = WordOf(pixel[kRed], pixel[kGreen], pixel[kBlue]);
    }
}

// Reads the rows of a view as words.
class WordRows {
public:
    explicit WordRows(const PixelView& view) : view_(view) {
        if (NeedsRowBuffer(view)) {
            buffer_.resize(static_cast<std::size_t>(view.width));
        }
    }

    int width() const { return view_.width; }
    int height() const { return view_.height; }

    // The words of row y; valid until the next call.
    const Word* row(int y) {
        const std::uint8_t* bytes = view_.row(y);
        if (buffer_.empty()) {
            return reinterpret_cast<const Word*>(bytes);
        }
        ReadWords(bytes, view_.width, view_.bytesPerPixel, buffer_.data());
        return buffer_.data();
    }

private:
    PixelView view_;
    std::vector<Word> buffer_;
};

// Writes rows of a view as words: fill the row that `row(y)` hands out, then `commit(y)`.
class WordRowWriter {
public:
    explicit WordRowWriter(const MutablePixelView& view) : view_(view) {
        if (NeedsRowBuffer(view)) {
            buffer_.resize(static_cast<std::size_t>(view.width));
        }
    }

    Word* row(int y) {
        if (buffer_.empty()) {
            return reinterpret_cast<Word*>(view_.row(y));
        }
        // Pixels the caller leaves alone must keep their colours when written back.
        const std::uint8_t* bytes = view_.row(y);
        ReadWords(bytes, view_.width, view_.bytesPerPixel, buffer_.data());
        return buffer_.data();
    }

    void commit(int y) {
        if (buffer_.empty()) {
            return;
        }
        std::uint8_t* bytes = view_.row(y);
        for (int x = 0; x < view_.width; ++x) {
            std::uint8_t* pixel = bytes + static_cast<std::ptrdiff_t>(x) * view_.bytesPerPixel;
            const Word word = buffer_[static_cast<std::size_t>(x)];
            pixel[kBlue] = static_cast<std::uint8_t>(word);
            pixel[kGreen] = static_cast<std::uint8_t>(word >> 8);
            pixel[kRed] = static_cast<std::uint8_t>(word >> 16);
            if (view_.bytesPerPixel == 4) {
                pixel[kAlpha] = 0xFF;
            }
        }
    }

private:
    MutablePixelView view_;
    std::vector<Word> buffer_;
};

} // namespace vantrel::onewindow
