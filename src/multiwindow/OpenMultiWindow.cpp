#include "app/WorkWindows.h"

namespace vantrel {

bool HasMultiWindowAnalysis() {
    return false;
}
void OpenMultiWindowAnalysis() {}

} // namespace vantrel
