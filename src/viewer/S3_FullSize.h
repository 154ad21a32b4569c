#pragma once
// The full-size viewer: one decoded image at one screen pixel per image pixel, with a readout of
// the pixel under the pointer and a zoom window.
#include "image/Image.h"
#include "widgets/WindowKit.h"

#include <QPointer>

class QLabel;
class QPushButton;

namespace vantrel {

class PictureBox;
class S5_Zoom;

class S3_FullSize : public ChildWindow {
    Q_OBJECT

public:
    explicit S3_FullSize(SharedImage image = {}, QWidget* parent = nullptr);

    SharedImage FIBMP; // the image shown, shared with the opener; set before ShowBMP
    int ZoomOpen = 0;  // 1 while a zoom window is attached

    // Sizes the picture and the window to FIBMP and shows the image.
    void ShowBMP();

    // The zoom window attached last; null before the first "Zoom" and once it is gone.
    S5_Zoom* zoomWindow() const;

public slots:
    void Command1_Click(); // Zoom
    void Command3_Click(); // Copy
    void P1_MouseDown(Qt::MouseButton Button, Qt::MouseButtons buttons, QPoint position);
    void P1_MouseMove(Qt::MouseButtons Button, QPoint position);

protected:
    void mouseMoveEvent(QMouseEvent* event) override; // Form_MouseMove
    void closeEvent(QCloseEvent* event) override;

private:
    void updateZoom(int x, int y);

    QPointer<S5_Zoom> ZoomForm;
    int ZoomFrozen = 0; // 1: the zoom window no longer follows the pointer
    QPushButton* Command3 = nullptr;
    QPushButton* Command1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    PictureBox* P1 = nullptr;
};

// The opening sequence every opener uses: a new viewer, shown, holding the image, with the
// caption, then ShowBMP. Returns the viewer.
S3_FullSize* OpenFullSizeViewer(ChildWindow* opener, SharedImage image, const QString& caption);

} // namespace vantrel
