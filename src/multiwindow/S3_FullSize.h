#pragma once
// The full-size viewer: one decoded image at one screen pixel per image pixel, with a readout of
// the pixel under the pointer and a zoom window.
#include "image/Bitmap.h"
#include "image/WindowKit.h"

namespace vantrel {

class S3_FullSize : public ChildWindow {
    Q_OBJECT

public:
    explicit S3_FullSize(QWidget* parent = nullptr);

    BitmapHandle FIBMP; // the viewer's own copy, set by the opener before ShowBMP
    int ZoomOpen = 0;

    void ShowBMP();
};

// The opening sequence every opener uses: a new viewer, shown, holding a clone of the bitmap,
// with the caption, then ShowBMP. Returns the viewer.
S3_FullSize* OpenFullSizeViewer(const FIBITMAP* bitmap, const QString& caption);

} // namespace vantrel
