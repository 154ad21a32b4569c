#pragma once
// The zoom window: shows the magnified cut-out that its viewer makes around the pointer, keeps
// the magnification factor and the size of its picture, and tells the viewer when it closes.
#include "image/Image.h"
#include "widgets/WindowKit.h"

#include <QPointer>

class QLabel;
class QPushButton;
class QScrollBar;

namespace vantrel {

class PictureBox;
class S3_FullSize;

class S5_Zoom : public ChildWindow {
    Q_OBJECT

public:
    explicit S5_Zoom(QWidget* parent = nullptr);

    // The picture shown, made by the viewer; a 10 x 10 black placeholder until the first
    // update. The viewer replaces it (`ShowCutOut`), this window releases the last one.
    SharedImage FIBMP;
    // The viewer that feeds this window; null once that viewer is gone.
    QPointer<S3_FullSize> ParentForm;
    int ZoomScale = 5;
    int ResizeFlag = 0; // 1: re-fit the picture to the window at the next refresh
    int W = 0;          // width of the zoom picture, 0 until the first re-fit
    int h = 0;          // height of the zoom picture

    // Shows FIBMP with the size label of the picture as it was before this refresh, then
    // re-fits the picture when the window was resized.
    void RefreshZoom();
    // Takes the viewer's new cut-out and shows it.
    void ShowCutOut(SharedImage picture);

public slots:
    void Command3_Click(); // Copy
    void HScroll1_Change();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_QueryUnload();

    bool placed_ = false;
    QPushButton* Command3 = nullptr;
    QScrollBar* HScroll1 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label1 = nullptr;
    PictureBox* P1 = nullptr;
};

} // namespace vantrel
