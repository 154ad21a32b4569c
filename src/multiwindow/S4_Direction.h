#pragma once
// The direction-of-change window: whether each bit, value or colour grew or shrank from the first
// image to the second.
#include "multiwindow/AnalysisGridWindow.h"

namespace vantrel {

class S4_Direction : public ImagePairGridWindow {
    Q_OBJECT

public:
    explicit S4_Direction(SharedImage first = nullptr, SharedImage second = nullptr,
                          QWidget* parent = nullptr);
};

} // namespace vantrel
