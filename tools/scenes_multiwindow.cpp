#include "RenderScenes.h"

namespace vantrel::render {

void RenderMultiWindowScenes(MDIForm1&, const Inputs&) {}

} // namespace vantrel::render
