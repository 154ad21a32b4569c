#include "multiwindow/S4_Direction.h"

namespace vantrel {

S4_Direction::S4_Direction(QWidget* parent) : ImagePairGridWindow(PlaneKind::Direction, parent) {}

} // namespace vantrel
