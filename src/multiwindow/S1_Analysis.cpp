#include "multiwindow/S1_Analysis.h"

namespace vantrel {

S1_Analysis::S1_Analysis(QWidget* parent) : ChildWindow(parent) {
    setObjectName(QStringLiteral("S1_Analysis"));
}

void S1_Analysis::StartAnalysis() {}

} // namespace vantrel
