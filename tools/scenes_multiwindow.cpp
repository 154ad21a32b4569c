#include "RenderScenes.h"

#include "app/MDIForm1.h"
#include "multiwindow/S0_Images.h"
#include "viewer/S3_FullSize.h"
#include "viewer/S5_Zoom.h"
#include "widgets/PictureBox.h"
#include "widgets/WindowKit.h"

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>

namespace vantrel::render {
namespace {

// A pointer movement over the picture, as the mouse would deliver it.
void MovePointer(PictureBox* picture, QPoint position) {
    QMouseEvent move(QEvent::MouseMove, QPointF(position), picture->mapToGlobal(QPointF(position)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(picture, &move);
}

template <typename T> T* NewestWindow(MDIForm1& main) {
    T* newest = nullptr;
    for (QMdiSubWindow* frame : main.mdiArea()->subWindowList(QMdiArea::CreationOrder)) {
        if (auto* window = qobject_cast<T*>(frame->widget())) {
            newest = window;
        }
    }
    return newest;
}

void PlaceFrame(ChildWindow* window, int x, int y) {
    if (QMdiSubWindow* frame = window->subWindow()) {
        frame->move(x, y);
        KeepInMdiArea(frame); // as far up and left as the area's edges ask
    }
}

} // namespace

void RenderMultiWindowScenes(MDIForm1& main, const Inputs& inputs) {
    main.MultiWindowAnalysis_Click();
    S0_Images* hub = NewestWindow<S0_Images>(main);
    if (hub == nullptr || inputs.image1.isEmpty()) {
        return;
    }
    PlaceFrame(hub, 0, 0);
    hub->LoadImage1(inputs.image1);
    hub->LoadImage2(inputs.image2);
    Save(hub->outerWindow(), inputs, "hub.png");

    // The viewer of image 2, with the pointer a little inside the picture's centre.
    hub->Picture4_Click();
    S3_FullSize* viewer = NewestWindow<S3_FullSize>(main);
    PlaceFrame(viewer, hub->outerWindow()->width() + 4, 0);
    auto* picture = viewer->findChild<PictureBox*>(QStringLiteral("P1"));
    const QPoint centre(picture->surfaceWidth() * 9 / 16, picture->surfaceHeight() * 9 / 16);
    viewer->Command1_Click();
    S5_Zoom* zoom = viewer->zoomWindow();
    PlaceFrame(zoom, hub->outerWindow()->width() / 2, 330);
    // The first movement re-fits the zoom picture, the second fills it at its fitted size.
    MovePointer(picture, centre - QPoint(1, 0));
    MovePointer(picture, centre);
    Save(viewer->outerWindow(), inputs, "viewer.png");
    Save(zoom->outerWindow(), inputs, "zoom.png");
    Save(&main, inputs, "multiwindow.png");
}

} // namespace vantrel::render
