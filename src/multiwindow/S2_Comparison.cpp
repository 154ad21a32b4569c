#include "multiwindow/S2_Comparison.h"

namespace vantrel {

S2_Comparison::S2_Comparison(QWidget* parent)
    : ImagePairGridWindow(PlaneKind::Comparison, parent) {}

} // namespace vantrel
