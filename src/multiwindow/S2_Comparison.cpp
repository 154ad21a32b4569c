#include "multiwindow/S2_Comparison.h"

namespace vantrel {

S2_Comparison::S2_Comparison(SharedImage first, SharedImage second, QWidget* parent)
    : ImagePairGridWindow(PlaneKind::Comparison, std::move(first), std::move(second), parent) {}

} // namespace vantrel
