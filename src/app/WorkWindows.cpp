#include "app/WorkWindows.h"

namespace vantrel {

bool HasMultiWindowAnalysis() { return false; }
bool HasSimilarImageSearch() { return false; }
void OpenMultiWindowAnalysis() {}
void OpenSimilarImageSearch() {}

} // namespace vantrel
