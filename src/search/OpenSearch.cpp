#include "app/WorkWindows.h"
#include "search/S6_Search.h"

namespace vantrel {

bool HasSimilarImageSearch() {
    return true;
}

void OpenSimilarImageSearch() {
    ShowChildWindow(new S6_Search);
}

} // namespace vantrel
