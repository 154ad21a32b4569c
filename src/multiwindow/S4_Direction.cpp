#include "multiwindow/S4_Direction.h"

namespace vantrel {

S4_Direction::S4_Direction(QWidget* parent) : ChildWindow(parent) {
    setObjectName(QStringLiteral("S4_Direction"));
}

void S4_Direction::StartComparison() {}

} // namespace vantrel
