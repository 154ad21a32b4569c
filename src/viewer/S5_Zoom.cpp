#include "viewer/S5_Zoom.h"

#include "viewer/S3_FullSize.h"
#include "viewer/ViewerMaths.h"
#include "widgets/PictureBox.h"
#include "widgets/Pictures.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

namespace vantrel {
namespace {

// The outer size the window opens with: 9225 x 9030 twips.
constexpr int kInitialOuterWidth = 615;
constexpr int kInitialOuterHeight = 602;
constexpr int kInitialScale = 5;

} // namespace

S5_Zoom::S5_Zoom(QWidget* parent) : ChildWindow(parent) {
    setObjectName(QStringLiteral("S5_Zoom"));
    SetBackgroundColour(this, QColor(192, 192, 192));

    Command3 = MakeButton(this, QStringLiteral("Command3"), QStringLiteral("Copy"),
                          QStringLiteral("Copy analysis image to clipboard."), 120, 120, 795, 400);
    HScroll1 = new QScrollBar(Qt::Horizontal, this);
    HScroll1->setObjectName(QStringLiteral("HScroll1"));
    PlaceTwips(HScroll1, 1440, 120, 1455, 375);
    // The viewer divides by the factor: its lowest value is 1, never 0.
    HScroll1->setRange(1, 20);
    HScroll1->setSingleStep(1);
    HScroll1->setPageStep(1);
    HScroll1->setValue(kInitialScale);
    Label8 =
        MakeLabel(this, QStringLiteral("Label8"),
                  QString::fromStdString(ZoomPercentCaption(kInitialScale)), 3000, 120, 975, 255);
    Label8->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label1 = MakeLabel(this, QStringLiteral("Label1"), {}, 4200, 120, 4020, 375);
    P1 = MakePicture(this, QStringLiteral("P1"), 120, 600, 0, 0, QColor(31, 31, 31), false);

    connect(Command3, &QPushButton::clicked, this, &S5_Zoom::Command3_Click);
    connect(HScroll1, &QScrollBar::valueChanged, this, &S5_Zoom::HScroll1_Change);

    // Form_Load: the factor and the black placeholder; the outer size is set once the window
    // has its frame (showEvent).
    ZoomScale = kInitialScale;
    FIBMP = ShareImage(AllocateZeroedBitmap(10, 10, 32));
    setClientSize(kInitialOuterWidth, kInitialOuterHeight);
}

void S5_Zoom::showEvent(QShowEvent* event) {
    ChildWindow::showEvent(event);
    if (!placed_) {
        placed_ = true;
        setOuterSize(QSize(kInitialOuterWidth, kInitialOuterHeight));
    }
}

void S5_Zoom::resizeEvent(QResizeEvent* event) {
    ChildWindow::resizeEvent(event);
    ResizeFlag = 1; // re-fitted at the next refresh, not now
}

void S5_Zoom::ShowCutOut(SharedImage picture) {
    FIBMP = std::move(picture);
    RefreshZoom();
}

void S5_Zoom::RefreshZoom() {
    // The label shows the size the picture had before this refresh's re-fit.
    Label1->setText(QString::fromStdString(PixelSizeCaption(W, h)));
    P1->setPicture(FIBMP ? PictureOf(*FIBMP) : QImage());
    P1->refresh();
    if (ResizeFlag == 1) {
        const QSize outer = outerWindow()->size();
        const Size fitted = FitZoomPicture(outer.width(), outer.height());
        P1->setSurfaceSize(fitted.width, fitted.height);
        P1->clear(); // the whole picture again, also where the surface grew
        W = fitted.width;
        h = fitted.height;
        ResizeFlag = 0;
    }
}

void S5_Zoom::HScroll1_Change() {
    ZoomScale = HScroll1->value();
    Label8->setText(QString::fromStdString(ZoomPercentCaption(ZoomScale)));
}

void S5_Zoom::Command3_Click() {
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->clear();
    clipboard->setImage(P1->surface());
}

void S5_Zoom::Form_QueryUnload() {
    // The viewer may have closed first; then there is no one left to tell.
    if (ParentForm) {
        ParentForm->ZoomOpen = 0;
    }
    FIBMP.reset();
}

void S5_Zoom::closeEvent(QCloseEvent* event) {
    ChildWindow::closeEvent(event);
    Form_QueryUnload();
}

} // namespace vantrel
