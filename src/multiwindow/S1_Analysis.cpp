#include "multiwindow/S1_Analysis.h"

namespace vantrel {

S1_Analysis::S1_Analysis(SharedImage image, QWidget* parent)
    : AnalysisGridWindow(PlaneKind::Planes, parent), FIBMP1(std::move(image)) {}

void S1_Analysis::StartAnalysis() {
    runAnalysis(FIBMP1, nullptr);
}

void S1_Analysis::releaseImages() {
    FIBMP1.reset();
}

} // namespace vantrel
