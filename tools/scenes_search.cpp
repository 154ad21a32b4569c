#include "RenderScenes.h"

namespace vantrel::render {

void RenderSearchScenes(MDIForm1&, const Inputs&) {}

} // namespace vantrel::render
