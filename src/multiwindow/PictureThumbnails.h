#pragma once
// Thumbnails of the compact analysis pictures, made straight from their packed codes with the box
// filter. The pixels are the very ones FreeImage_Rescale(..., FILTER_BOX) gives for the same
// bitmap, and so is the kind of bitmap: 8-bit grey for a picture whose palette is the plain grey
// ramp (or black and white), 24-bit colour otherwise.
#include "image/Bitmap.h"
#include "multiwindow/BoxTaps.h"
#include "multiwindow/PlaneKernels.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace vantrel {

// A thumbnail made while its picture is computed: each packed row is handed over as it is
// written, and the row of the thumbnail it belongs to is finished as soon as the last row of
// its box arrives. The rows of one box must come from one thread, one at a time, from the
// bottom row up (the order FreeImage adds them in, which the pass of ComputePictures keeps: see
// PassRows); the pieces of rowPieces() never split a box, so a pass that runs each piece from
// its last row to its first may run them on any threads. Rows out of that order leave the maker
// without a thumbnail.
class ThumbnailMaker final : public PictureRowSink {
public:
    ThumbnailMaker(const PictureFormat& format, int pictureWidth, int pictureHeight, int width,
                   int height);
    ~ThumbnailMaker();
    ThumbnailMaker(const ThumbnailMaker&) = delete;
    ThumbnailMaker& operator=(const ThumbnailMaker&) = delete;

    // False where BoxThumbnail would decline (see RowReducer::For), or memory was refused.
    bool ready() const { return thumbnail_ != nullptr; }

    // Ends of row pieces (rows counted from the top, ascending, the last the picture's height),
    // each at least `least` rows where the boxes allow, none cutting a box.
    std::vector<int> rowPieces(int least) const;

    // Picture row y, counted from the top, in the picture's packed form.
    void row(int y, const std::uint8_t* packed) override;

    // The thumbnail, once every row has come; null otherwise.
    BitmapHandle take();

private:
    struct Box {
        std::vector<int> sums;             // per thumbnail value: its rows' reduced bytes
        std::vector<double> exact;         // and their weighted sum, row by row
        std::vector<std::uint8_t> reduced; // room for one row shrunk to the width
        std::vector<int> rowSums;          // and its integer sums
        std::vector<std::uint8_t> undecided;
        int rowsDone = 0;
        bool done = false;
        bool broken = false;
    };
    void finishRow(std::size_t u);

    struct Work; // the row reducer and the rounding rule, kept out of this header

    PictureFormat format_;
    int pictureHeight_;
    std::vector<BoxTaps> columns_;
    std::vector<BoxTaps> rows_;
    std::unique_ptr<Work> work_;
    std::size_t reducedRow_ = 0;
    std::vector<std::uint8_t> blankReduced_; // a row of code 0, reduced
    std::vector<Box> boxes_;
    BitmapHandle thumbnail_;
};

// The picture reduced to width x height. Null when that is not a reduction on both sides or the
// palette is one FreeImage would treat in yet another way (or no picture has); FreeImage's own
// rescale serves those cases.
BitmapHandle BoxThumbnail(const PackedView& picture, const PictureFormat& format, int width,
                          int height);

} // namespace vantrel
