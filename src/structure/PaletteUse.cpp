#include "structure/PaletteUse.h"

#include <algorithm>
#include <cstdlib>

namespace vantrel::structure::detail {

namespace {

// Adam7: start column, start row, column step, row step.
constexpr int kPass[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                             {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

std::uint8_t Paeth(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return std::uint8_t(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

} // namespace

PaletteUse::PaletteUse(std::uint32_t width, std::uint32_t height, int depth, bool interlaced)
    : width_(width), height_(height), depth_(depth), interlaced_(interlaced) {
    startPass();
}

void PaletteUse::startPass() {
    // Passes with no pixels have no rows, not even filter bytes.
    for (++pass_; pass_ < 7; ++pass_) {
        const auto& p = kPass[interlaced_ ? pass_ : 6];
        const std::uint64_t step = interlaced_ ? p[2] : 1, down = interlaced_ ? p[3] : 1;
        const std::uint64_t left = interlaced_ ? p[0] : 0, top = interlaced_ ? p[1] : 0;
        rowPixels_ = width_ > left ? (width_ - left + step - 1) / step : 0;
        rowsLeft_ = height_ > top ? (height_ - top + down - 1) / down : 0;
        if (!interlaced_) {
            pass_ = 6;
        }
        if (rowPixels_ > 0 && rowsLeft_ > 0) {
            row_.assign(1 + (rowPixels_ * depth_ + 7) / 8, 0);
            previous_.assign(row_.size(), 0);
            filled_ = 0;
            return;
        }
    }
}

void PaletteUse::feed(const std::uint8_t* bytes, std::size_t count) {
    while (count > 0 && !complete()) {
        const std::size_t take = std::min(count, row_.size() - filled_);
        std::copy(bytes, bytes + take, row_.begin() + filled_);
        filled_ += take;
        bytes += take;
        count -= take;
        if (filled_ == row_.size()) {
            finishRow();
        }
    }
}

void PaletteUse::finishRow() {
    // A palette pixel is at most one byte: the filters' left neighbour is the byte before.
    std::uint8_t* x = row_.data() + 1;
    const std::uint8_t* b = previous_.data() + 1;
    const std::size_t n = row_.size() - 1;
    switch (row_[0]) {
    case 1:
        for (std::size_t i = 1; i < n; ++i) {
            x[i] = std::uint8_t(x[i] + x[i - 1]);
        }
        break;
    case 2:
        for (std::size_t i = 0; i < n; ++i) {
            x[i] = std::uint8_t(x[i] + b[i]);
        }
        break;
    case 3:
        for (std::size_t i = 0; i < n; ++i) {
            x[i] = std::uint8_t(x[i] + ((i ? x[i - 1] : 0) + b[i]) / 2);
        }
        break;
    case 4:
        for (std::size_t i = 0; i < n; ++i) {
            x[i] = std::uint8_t(x[i] + Paeth(i ? x[i - 1] : 0, b[i], i ? b[i - 1] : 0));
        }
        break;
    default:
        break;
    }
    if (depth_ == 8) {
        highest_ = std::max<int>(highest_, *std::max_element(x, x + n));
    } else {
        const int mask = (1 << depth_) - 1;
        for (std::uint64_t i = 0; i < rowPixels_; ++i) {
            const std::uint64_t bit = i * depth_;
            highest_ = std::max(highest_, (x[bit / 8] >> (8 - depth_ - bit % 8)) & mask);
        }
    }
    std::swap(row_, previous_);
    filled_ = 0;
    if (--rowsLeft_ == 0) {
        startPass();
    }
}

} // namespace vantrel::structure::detail
