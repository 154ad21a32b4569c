#include "multiwindow/S3_FullSize.h"

namespace vantrel {

S3_FullSize::S3_FullSize(QWidget* parent) : ChildWindow(parent) {
    setObjectName(QStringLiteral("S3_FullSize"));
}

void S3_FullSize::ShowBMP() {}

S3_FullSize* OpenFullSizeViewer(const FIBITMAP* bitmap, const QString& caption) {
    auto* viewer = new S3_FullSize;
    ShowChildWindow(viewer);
    viewer->FIBMP = CloneBitmap(bitmap);
    viewer->setWindowTitle(caption);
    viewer->ShowBMP();
    return viewer;
}

} // namespace vantrel
