#include "multiwindow/WindowCapture.h"

#include "widgets/WindowKit.h"

#include <QApplication>
#include <QClipboard>
#include <QPointer>
#include <QWidget>

namespace vantrel {

QImage CaptureWindowPicture(QWidget* window) {
    if (window == nullptr) {
        return {};
    }
    QWidget* outer = window;
    if (auto* child = qobject_cast<ChildWindow*>(window)) {
        outer = child->outerWindow();
    }
    // Rendering the window rather than copying the screen: parts covered by other windows or
    // off screen come out as the window draws them.
    return outer->grab().toImage();
}

void CopyWindowImage(QWidget* window, QWidget* copyButton, QWidget* statusLabel) {
    const QPointer<QWidget> alive(window);
    const QPointer<QWidget> button(copyButton);
    const QPointer<QWidget> label(statusLabel);
    if (button) {
        button->hide();
    }
    if (label) {
        label->hide();
    }
    YieldToEvents();
    if (alive) {
        const QImage picture = CaptureWindowPicture(alive);
        QClipboard* clipboard = QApplication::clipboard();
        clipboard->clear();
        clipboard->setImage(picture);
    }
    if (button) {
        button->show();
    }
    if (label) {
        label->show();
    }
}

} // namespace vantrel
