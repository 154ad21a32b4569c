#include "multiwindow/PictureThumbnails.h"

#include "image/Parallel.h"
#include "multiwindow/RowReducer.h"

#include <FreeImage.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace vantrel {
namespace {

// A reduced row added to its box's sums: the integer sum, and the weighted sum as FreeImage
// forms it, a product added at a time.
VANTREL_WIDE_VECTORS void AddRow(const std::uint8_t* reduced, std::size_t count, double weight,
                                 int* __restrict sums, double* __restrict exact) {
    for (std::size_t i = 0; i < count; ++i) {
        sums[i] += reduced[i];
        exact[i] += weight * static_cast<double>(reduced[i]);
    }
}

} // namespace

struct ThumbnailMaker::Work {
    std::unique_ptr<RowReducer> reducer;
    Rounding rounding; // of the second (vertical) pass
};

ThumbnailMaker::ThumbnailMaker(const PictureFormat& format, int pictureWidth, int pictureHeight,
                               int width, int height)
    : format_(format), pictureHeight_(pictureHeight),
      columns_(BoxReductionTaps(width, pictureWidth)),
      rows_(BoxReductionTaps(height, pictureHeight)) {
    if (columns_.empty() || rows_.empty() || MostTaps(columns_) > kMostTaps ||
        MostTaps(rows_) > kMostTaps) {
        return;
    }
    std::unique_ptr<RowReducer> reducer = RowReducer::For(format_, columns_);
    if (!reducer) {
        return;
    }
    work_.reset(new Work{std::move(reducer), Rounding(MostTaps(rows_))});
    const int channels = work_->reducer->channels();
    thumbnail_.reset(FreeImage_Allocate(width, height, channels * 8));
    if (!thumbnail_) {
        return;
    }
    reducedRow_ = static_cast<std::size_t>(width) * static_cast<std::size_t>(channels);
    // What the pass leaves unwritten is a row of code 0: reduced once, from a row of zeros.
    const std::vector<std::uint8_t> blank(
        (static_cast<std::size_t>(pictureWidth) * format_.bitsPerPixel + 7) / 8, 0);
    std::vector<int> sums(reducedRow_);
    std::vector<std::uint8_t> undecided(reducedRow_);
    blankReduced_.resize(reducedRow_);
    work_->reducer->reduce(blank.data(), blankReduced_.data(), sums.data(), undecided.data());
    boxes_.resize(rows_.size());
    for (std::size_t u = 0; u < rows_.size(); ++u) {
        if (rows_[u].first >= rows_[u].end) {
            // A box without rows averages nothing: black.
            std::memset(FreeImage_GetScanLine(thumbnail_.get(), static_cast<int>(u)), 0,
                        reducedRow_);
            boxes_[u].done = true;
        }
    }
}

ThumbnailMaker::~ThumbnailMaker() = default;

std::vector<int> ThumbnailMaker::rowPieces(int least) const {
    // A piece may end where no box of rows goes on across the cut: at the top edge of a box.
    std::vector<bool> cut(static_cast<std::size_t>(pictureHeight_) + 1, true);
    for (const BoxTaps& tap : rows_) {
        // Box rows [first, end) counted from the bottom are [height - end, height - first) from
        // the top: no cut strictly inside.
        for (int y = pictureHeight_ - tap.end + 1; y < pictureHeight_ - tap.first; ++y) {
            cut[static_cast<std::size_t>(y)] = false;
        }
    }
    std::vector<int> ends;
    int start = 0;
    for (int y = 1; y <= pictureHeight_; ++y) {
        if (cut[static_cast<std::size_t>(y)] && (y - start >= least || y == pictureHeight_)) {
            ends.push_back(y);
            start = y;
        }
    }
    return ends;
}

void ThumbnailMaker::row(int y, const std::uint8_t* packed) {
    const int r = pictureHeight_ - 1 - y; // FreeImage counts rows from the bottom
    if (!thumbnail_ || r < 0 || r >= pictureHeight_) {
        return;
    }
    // The boxes of row r, in order: a row may lie in none, in one, or (a row exactly between
    // two boxes) in two.
    const auto first = std::upper_bound(rows_.begin(), rows_.end(), r,
                                        [](int row, const BoxTaps& tap) { return row < tap.end; });
    auto end = first;
    while (end != rows_.end() && end->first <= r) {
        ++end;
    }
    const std::uint8_t* reduced = blankReduced_.data();
    for (auto tap = first; tap != end; ++tap) {
        Box& box = boxes_[static_cast<std::size_t>(tap - rows_.begin())];
        if (box.done || r != tap->first + box.rowsDone) {
            box.broken = true; // out of order: the second pass's sums would round differently
            return;
        }
        if (box.rowsDone == 0) {
            box.sums.assign(reducedRow_, 0);
            box.exact.assign(reducedRow_, 0.0);
            box.reduced.resize(reducedRow_);
            box.rowSums.resize(reducedRow_);
            box.undecided.resize(reducedRow_);
        }
        if (tap == first && packed != nullptr) {
            work_->reducer->reduce(packed, box.reduced.data(), box.rowSums.data(),
                                   box.undecided.data());
            reduced = box.reduced.data();
        }
        // The second (vertical) pass's sums, kept as the rows come: the integer sum, and the
        // weighted sum added row by row from the bottom, in FreeImage's order, for values too
        // close to a rounding boundary.
        AddRow(reduced, reducedRow_, tap->weight, box.sums.data(), box.exact.data());
    }
    // Finished only now: the first box's room holds the reduced row the second one adds.
    for (auto tap = first; tap != end; ++tap) {
        const auto u = static_cast<std::size_t>(tap - rows_.begin());
        if (++boxes_[u].rowsDone == tap->end - tap->first) {
            finishRow(u);
        }
    }
}

void ThumbnailMaker::finishRow(std::size_t u) {
    const BoxTaps& tap = rows_[u];
    Box& box = boxes_[u];
    BYTE* out = FreeImage_GetScanLine(thumbnail_.get(), static_cast<int>(u));
    for (std::size_t i = 0; i < reducedRow_; ++i) {
        const double estimate = tap.weight * box.sums[i];
        out[i] =
            static_cast<BYTE>(ToByte(work_->rounding.decides(estimate) ? estimate : box.exact[i]));
    }
    box = Box{};
    box.done = true;
}

BitmapHandle ThumbnailMaker::take() {
    for (const Box& box : boxes_) {
        if (!box.done || box.broken) {
            return nullptr; // some rows never came, or not in order
        }
    }
    return std::move(thumbnail_);
}

BitmapHandle BoxThumbnail(const PackedView& picture, const PictureFormat& format, int width,
                          int height) {
    if (picture.top == nullptr || width <= 0 || height <= 0 || width >= picture.width ||
        height >= picture.height) {
        return nullptr;
    }
    ThumbnailMaker maker(format, picture.width, picture.height, width, height);
    if (!maker.ready()) {
        return nullptr;
    }
    const std::vector<int> ends = maker.rowPieces(1);
    ForEachPiece(ends, [&](int first, int end, int) {
        for (int y = end - 1; y >= first; --y) {
            maker.row(y, picture.row(y));
        }
    });
    return maker.take();
}

} // namespace vantrel
