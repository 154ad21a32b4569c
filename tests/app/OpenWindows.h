#pragma once
// The work windows of one kind that the main window's MDI area holds, in its order.
#include "app/MDIForm1.h"

#include <QList>
#include <QMdiArea>
#include <QMdiSubWindow>

namespace vantrel {

template <typename Window> QList<Window*> OpenWindows(MDIForm1& main) {
    QList<Window*> windows;
    for (QMdiSubWindow* frame : main.mdiArea()->subWindowList()) {
        if (auto* window = qobject_cast<Window*>(frame->widget())) {
            windows.append(window);
        }
    }
    return windows;
}

} // namespace vantrel
