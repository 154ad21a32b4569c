#pragma once
// The comparison window: where the second image's bits, values or colours differ from the first's.
#include "multiwindow/AnalysisGridWindow.h"

namespace vantrel {

class S2_Comparison : public ImagePairGridWindow {
    Q_OBJECT

public:
    explicit S2_Comparison(SharedImage first = nullptr, SharedImage second = nullptr,
                           QWidget* parent = nullptr);
};

} // namespace vantrel
