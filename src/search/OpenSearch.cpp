#include "app/WorkWindows.h"

namespace vantrel {

bool HasSimilarImageSearch() { return false; }
void OpenSimilarImageSearch() {}

} // namespace vantrel
