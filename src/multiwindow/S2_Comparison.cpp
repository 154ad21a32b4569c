#include "multiwindow/S2_Comparison.h"

namespace vantrel {

S2_Comparison::S2_Comparison(QWidget* parent) : ChildWindow(parent) {
    setObjectName(QStringLiteral("S2_Comparison"));
}

void S2_Comparison::StartComparison() {}

} // namespace vantrel
