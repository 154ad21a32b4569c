#pragma once
// A picture of a whole window for the clipboard: the window at its outer size, frame and title
// bar included.
#include <QImage>

class QWidget;

namespace vantrel {

// The window's current image at its outer size. For a work window shown in the main window's
// MDI area that is its sub-window with frame and title bar.
QImage CaptureWindowPicture(QWidget* window);

// The Copy button of the analysis windows: hides the button and the status label, lets the
// window repaint, puts the window's picture on the clipboard (as an image only) and shows the
// two controls again.
void CopyWindowImage(QWidget* window, QWidget* copyButton, QWidget* statusLabel);

} // namespace vantrel
