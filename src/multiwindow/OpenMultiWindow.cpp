#include "app/WorkWindows.h"
#include "multiwindow/S0_Images.h"

namespace vantrel {

bool HasMultiWindowAnalysis() {
    return true;
}

// Every use makes a new, independent hub.
void OpenMultiWindowAnalysis() {
    ShowChildWindow(new S0_Images);
}

} // namespace vantrel
