#include "multiwindow/S4_Direction.h"

namespace vantrel {

S4_Direction::S4_Direction(SharedImage first, SharedImage second, QWidget* parent)
    : ImagePairGridWindow(PlaneKind::Direction, std::move(first), std::move(second), parent) {}

} // namespace vantrel
