#include "viewer/S3_FullSize.h"

#include "viewer/S5_Zoom.h"
#include "viewer/ViewerMaths.h"
#include "widgets/PictureBox.h"
#include "widgets/Pictures.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

#include <algorithm>

namespace vantrel {

S3_FullSize::S3_FullSize(SharedImage image, QWidget* parent)
    : ChildWindow(parent), FIBMP(std::move(image)) {
    setObjectName(QStringLiteral("S3_FullSize"));
    SetBackgroundColour(this, QColor(192, 192, 192));
    // Pointer moves over the window's own surface clear the readout.
    setMouseTracking(true);

    const QString copyTip = QStringLiteral("Copy analysis image to clipboard.");
    Command3 = MakeButton(this, QStringLiteral("Command3"), QStringLiteral("Copy"), copyTip, 90, 60,
                          795, 400);
    Command1 = MakeButton(this, QStringLiteral("Command1"), QStringLiteral("Zoom"),
                          QStringLiteral("Zoom window."), 1080, 60, 795, 400);
    Label1 = MakeLabel(this, QStringLiteral("Label1"), {}, 2280, 120, 4020, 375);
    Label2 = MakeLabel(this, QStringLiteral("Label2"), {}, 6600, 120, 7995, 375);
    // No frame: every image pixel is visible and the pointer position is the pixel position.
    P1 = MakePicture(this, QStringLiteral("P1"), 105, 525, 0, 0, QColor(31, 31, 31), false);
    P1->setToolTip(
        QStringLiteral("Right-click to stop Zoom window movement. Left-click to restore."));

    connect(Command1, &QPushButton::clicked, this, &S3_FullSize::Command1_Click);
    connect(Command3, &QPushButton::clicked, this, &S3_FullSize::Command3_Click);
    connect(P1, &PictureBox::mousePressed, this, &S3_FullSize::P1_MouseDown);
    connect(P1, &PictureBox::mouseMoved, this, &S3_FullSize::P1_MouseMove);
}

S5_Zoom* S3_FullSize::zoomWindow() const {
    return ZoomForm;
}

void S3_FullSize::ShowBMP() {
    if (!FIBMP) {
        FIBMP = ShareImage(nullptr);
    }
    const int width = FIBMP->width();
    const int height = FIBMP->height();
    P1->setSurfaceSize(width, height);
    Label1->setText(QString::fromStdString(PixelSizeCaption(width, height)));
    const Size outer = ViewerOuterSize(width, height);
    // The outer size, frame and title bar included where the window has them.
    setOuterSize(QSize(outer.width, outer.height));
    P1->setPicture(PictureOf(*FIBMP));
    P1->refresh();
}

void S3_FullSize::Command3_Click() {
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->clear();
    clipboard->setImage(P1->surface());
}

void S3_FullSize::P1_MouseDown(Qt::MouseButton Button, Qt::MouseButtons, QPoint) {
    if (Button == Qt::LeftButton) {
        ZoomFrozen = 0;
    } else if (Button == Qt::RightButton) {
        ZoomFrozen = 1;
    }
}

void S3_FullSize::P1_MouseMove(Qt::MouseButtons, QPoint position) {
    const PixelReading reading =
        ReadPixelUnderPointer(FIBMP ? FIBMP->pixels() : PixelView{},
                              static_cast<float>(position.x()), static_cast<float>(position.y()));
    Label2->setText(QString::fromStdString(ReadoutText(reading)));
    if (ZoomFrozen != 1 && ZoomOpen == 1) {
        updateZoom(reading.x, reading.y);
    }
}

void S3_FullSize::updateZoom(int x, int y) {
    S5_Zoom* zoom = ZoomForm;
    if (zoom == nullptr || zoom->isClosing()) {
        return;
    }
    const ZoomRect rect =
        ZoomRectangle(x, static_cast<float>(y), zoom->W, zoom->h, std::max(zoom->ZoomScale, 1));
    if (!FIBMP || !ZoomRectInside(rect, FIBMP->width(), FIBMP->height())) {
        return; // near the edges the zoom keeps its last picture
    }
    zoom->ShowCutOut(ShareImage(ZoomCutOut(FIBMP->bitmap(), zoom->W, zoom->h, rect)));
}

void S3_FullSize::Command1_Click() {
    if (ZoomOpen == 1 && ZoomForm) {
        return;
    }
    // Each attach makes a fresh window; a closed one is never reused.
    auto* zoom = new S5_Zoom;
    ZoomForm = zoom;
    zoom->ResizeFlag = 1;
    openChild(zoom);
    zoom->ParentForm = this;
    zoom->setWindowTitle(windowTitle());
    zoom->RefreshZoom();
    ZoomOpen = 1;
}

void S3_FullSize::mouseMoveEvent(QMouseEvent* event) {
    ChildWindow::mouseMoveEvent(event);
    Label2->clear();
}

void S3_FullSize::closeEvent(QCloseEvent* event) {
    ChildWindow::closeEvent(event);
    // An attached zoom window stays open with its last picture.
    FIBMP.reset();
}

S3_FullSize* OpenFullSizeViewer(ChildWindow* opener, SharedImage image, const QString& caption) {
    auto* viewer = new S3_FullSize(std::move(image));
    opener->openChild(viewer);
    viewer->setWindowTitle(caption);
    viewer->ShowBMP();
    return viewer;
}

} // namespace vantrel
