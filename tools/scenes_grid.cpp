#include "RenderScenes.h"

namespace vantrel::render {

void RenderGridScenes(MDIForm1&, const Inputs&) {}

} // namespace vantrel::render
